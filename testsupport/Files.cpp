#include "testsupport/Files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace teelink {

CTempDir::CTempDir(const std::string& prefix) {
    // Short names: a Unix-domain socket's path has room for about 100 bytes.
    namespace fs = std::filesystem;
    std::error_code error;
#ifdef _WIN32
    const fs::path base = fs::temp_directory_path(error);
#else
    const fs::path base = "/tmp";
#endif
    std::random_device random;
    for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06x", static_cast<unsigned>(random() & 0xFFFFFF));
        const fs::path candidate = base / (prefix + "-" + suffix);
        if (fs::create_directory(candidate, error) && !error) {
            m_path = candidate;
        }
    }
    EXPECT_FALSE(m_path.empty()) << "cannot create a folder under " << base;
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    // A test may have taken the write permission away; give it back first.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace teelink
