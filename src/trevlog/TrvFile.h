#pragma once

// The .trv file: a six-byte header naming the model, then the 64 KiB log image.
// It is written beside its target under a short temporary name, flushed to
// disk, and only then published under its name, so a failure never leaves a
// partial file or destroys one the user had.

#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

namespace teelink {

inline constexpr size_t TRV_HEADER_SIZE = 6;

// "TL", the three model bytes, a zero byte.
std::array<uint8_t, TRV_HEADER_SIZE> TrvHeader(const std::array<char, 4>& modelId);

enum class SaveResult {
    Saved,
    CreateError,  // the folder takes no new file, or the name is too long for it
    WriteError,   // the bytes could not all be written and flushed, or published
    Exists,       // KeepExisting: a file of that name is there (it may have just appeared)
    NotRegular,   // the name is taken by something other than a file: a folder, a FIFO, a
                  // device, a symbolic link that leads nowhere
};

enum class SaveMode {
    // The user agreed to replace a file of that name; it keeps its permissions.
    // A symbolic link is followed: the file it points to is replaced, the link stays.
    Replace,
    // Nothing that is there, or that appears while the log is read, is replaced.
    KeepExisting,
};

// What saving to `path` would meet, checked before the device is read: a
// target that must not or cannot be replaced, a folder that takes no file.
// Saved when nothing stands in the way.
SaveResult CheckTrvTarget(const std::filesystem::path& path, SaveMode mode);

// Writes the header and the log image to `path`.
SaveResult SaveTrvFile(const std::filesystem::path& path, const std::array<char, 4>& modelId,
                       const std::vector<uint8_t>& image, SaveMode mode = SaveMode::Replace);

}  // namespace teelink
