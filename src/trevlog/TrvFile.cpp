#include "trevlog/TrvFile.h"

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace teelink {

namespace fs = std::filesystem;

std::array<uint8_t, TRV_HEADER_SIZE> TrvHeader(const std::array<char, 4>& modelId) {
    return {'T',
            'L',
            static_cast<uint8_t>(modelId[0]),
            static_cast<uint8_t>(modelId[1]),
            static_cast<uint8_t>(modelId[2]),
            0};
}

namespace {

// Where the bytes go: the name itself, or the file a symbolic link leads to.
struct CTarget {
    fs::path path;
    bool exists = false;
    fs::perms perms = fs::perms::none;
};

// The target behind `path`, or why it cannot be written.
SaveResult Resolve(const fs::path& path, SaveMode mode, CTarget& target) {
    std::error_code error;
    const fs::file_status followed = fs::status(path, error);
    if (followed.type() == fs::file_type::not_found) {
        // Nothing there, or a link that leads nowhere: only the first is free.
        if (fs::is_symlink(fs::symlink_status(path, error))) {
            return SaveResult::NotRegular;
        }
        target.path = path;
        return SaveResult::Saved;
    }
    if (error) {
        return SaveResult::CreateError;
    }
    if (followed.type() != fs::file_type::regular) {
        return SaveResult::NotRegular;
    }
    if (mode == SaveMode::KeepExisting) {
        return SaveResult::Exists;
    }
    target.path = fs::canonical(path, error);
    if (error) {
        return SaveResult::CreateError;
    }
    target.exists = true;
    target.perms = followed.permissions();
    return SaveResult::Saved;
}

bool NameFits(const fs::path& path) {
#ifdef _WIN32
    return path.filename().native().size() <= MAX_PATH;
#else
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
    return limit <= 0 || path.filename().native().size() <= static_cast<size_t>(limit);
#endif
}

// A new file beside `target` under a short name of its own, created
// exclusively so that nothing is overwritten.
std::FILE* CreateTemporary(const fs::path& target, fs::path& created) {
    std::random_device random;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, ".tl%08x.tmp", static_cast<unsigned>(random()));
        const fs::path candidate = folder / name;
#ifdef _WIN32
        // The C runtime's fopen ignores the exclusive flag: create with _wopen.
        const int fd = _wopen(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                              _S_IREAD | _S_IWRITE);
#else
        // 0666 less the user's umask, as any new file of theirs.
        const int fd = open(candidate.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
#endif
        if (fd >= 0) {
            created = candidate;
#ifdef _WIN32
            return _fdopen(fd, "wb");
#else
            return fdopen(fd, "wb");
#endif
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

bool WriteAndFlush(std::FILE* file, const std::array<char, 4>& modelId,
                   const std::vector<uint8_t>& image) {
    const auto header = TrvHeader(modelId);
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
              std::fwrite(image.data(), 1, image.size(), file) == image.size() &&
              std::fflush(file) == 0;
#ifdef _WIN32
    ok = ok && _commit(_fileno(file)) == 0;
#else
    ok = ok && fsync(fileno(file)) == 0;
#endif
    return std::fclose(file) == 0 && ok;
}

// Puts the finished file in place: over the target when replacing, otherwise
// only where nothing is (not even what appeared meanwhile).
SaveResult Publish(const fs::path& temporary, const CTarget& target, SaveMode mode) {
    std::error_code error;
    if (mode == SaveMode::Replace) {
        if (target.exists) {
            fs::permissions(temporary, target.perms, error);
        }
        fs::rename(temporary, target.path, error);
        return error ? SaveResult::WriteError : SaveResult::Saved;
    }
#ifdef _WIN32
    if (MoveFileExW(temporary.c_str(), target.path.c_str(), MOVEFILE_WRITE_THROUGH)) {
        return SaveResult::Saved;
    }
    const DWORD code = GetLastError();
    return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? SaveResult::Exists
                                                                     : SaveResult::WriteError;
#else
    // A hard link never replaces; where the file system has none, the same
    // check and move would leave a moment in between.
    if (link(temporary.c_str(), target.path.c_str()) == 0) {
        unlink(temporary.c_str());
        return SaveResult::Saved;
    }
    if (errno == EEXIST) {
        return SaveResult::Exists;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) {
        return SaveResult::WriteError;
    }
    if (fs::exists(fs::symlink_status(target.path, error))) {
        return SaveResult::Exists;
    }
    fs::rename(temporary, target.path, error);
    return error ? SaveResult::WriteError : SaveResult::Saved;
#endif
}

// The folder's entry of the renamed file reaches the disk too.
void SyncFolder(const fs::path& file) {
#ifndef _WIN32
    const fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
#else
    (void)file;
#endif
}

// Where the bytes would go and a new temporary file beside it, or why not.
SaveResult Begin(const fs::path& path, SaveMode mode, CTarget& target, fs::path& temporary,
                 std::FILE*& file) {
    if (const SaveResult resolved = Resolve(path, mode, target); resolved != SaveResult::Saved) {
        return resolved;
    }
    if (!NameFits(target.path)) {
        return SaveResult::CreateError;
    }
    file = CreateTemporary(target.path, temporary);
    return file == nullptr ? SaveResult::CreateError : SaveResult::Saved;
}

}  // namespace

SaveResult CheckTrvTarget(const fs::path& path, SaveMode mode) {
    CTarget target;
    fs::path temporary;
    std::FILE* file = nullptr;
    if (const SaveResult begun = Begin(path, mode, target, temporary, file);
        begun != SaveResult::Saved) {
        return begun;
    }
    std::fclose(file);
    std::error_code error;
    fs::remove(temporary, error);
    return SaveResult::Saved;
}

SaveResult SaveTrvFile(const fs::path& path, const std::array<char, 4>& modelId,
                       const std::vector<uint8_t>& image, SaveMode mode) {
    CTarget target;
    fs::path temporary;
    std::FILE* file = nullptr;
    if (const SaveResult begun = Begin(path, mode, target, temporary, file);
        begun != SaveResult::Saved) {
        return begun;
    }
    const SaveResult result = WriteAndFlush(file, modelId, image) ? Publish(temporary, target, mode)
                                                                  : SaveResult::WriteError;
    std::error_code error;
    if (result != SaveResult::Saved) {
        fs::remove(temporary, error);
        return result;
    }
    SyncFolder(target.path);
    return SaveResult::Saved;
}

}  // namespace teelink
