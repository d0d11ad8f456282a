#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>

CTempDir::CTempDir(const std::string& prefix) {
    std::string templ = "/tmp/" + prefix + "-XXXXXX";
    const char* made = mkdtemp(templ.data());
    EXPECT_NE(made, nullptr) << "cannot create a folder under /tmp";
    m_path = made != nullptr ? made : "";
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
