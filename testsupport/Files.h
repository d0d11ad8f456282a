#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace teelink {

// A fresh folder under /tmp (the temporary folder on Windows), removed with
// everything in it.
class CTempDir {
public:
    explicit CTempDir(const std::string& prefix = "teelink");
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

}  // namespace teelink
