// The reference server's content: what it refuses to load, how it answers the
// forms without HTTP in between, and the rules of the package recipe.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "refserver/ContentRecipe.h"
#include "refserver/ServerContent.h"
#include "refserver/ServerOptions.h"

namespace teelink {

namespace fs = std::filesystem;

namespace {

class CTempDir {
public:
    CTempDir() {
        char pattern[] = "/tmp/teelink-content-XXXXXX";
        m_path = ::mkdtemp(pattern);
    }
    ~CTempDir() {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }
    void Write(const std::string& name, const std::string& text) const {
        fs::create_directories((m_path / name).parent_path());
        std::ofstream(m_path / name, std::ios::binary) << text;
    }

private:
    fs::path m_path;
};

const std::string kVersions = "tool 1.0.0.3\nR7 1.05\nR8 1.06\nKS2 1.03\n";
const std::string kAreas = "JPN\t日本\tJapan\t일본\t日本\t日本\n";

std::string Repeat(const std::string& line, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += line;
    }
    return out;
}

std::string LoadError(const std::string& file, const std::string& text) {
    CTempDir dir;
    dir.Write("versions.txt", kVersions);
    dir.Write("areas.tsv", kAreas);
    dir.Write(file, text);
    CServerContent content;
    std::string error;
    return content.Load(dir.Path(), error) ? std::string() : error;
}

TEST(ReferenceContent, RefusesContentThatTheToolWouldMisread) {
    struct Case {
        std::string file;
        std::string text;
        std::string error;
    };
    std::string longArea;
    for (int i = 0; i < 40; ++i) {
        longArea += "A" + std::to_string(i) + "\t" + Repeat("名", 8) + "\tName\t이름\t名\t名\n";
    }
    const std::vector<Case> cases = {
        // A field of 20 characters has no ':' within the tool's 20 bytes.
        {"versions.txt", "tool 1234567890123456789A\nR7 1\nR8 1\nKS2 1\n", "versions.txt:1"},
        {"versions.txt", "tool 1.0:3\nR7 1\nR8 1\nKS2 1\n", "versions.txt:1"},
        {"versions.txt", "tool 1.0.0.3\nR7 1\nR8 1\n", "\"KS2\""},
        {"versions.txt", "tool 1\nR7 1\nR7 2\nR8 1\nKS2 1\n", "versions.txt:3"},
        {"areas.tsv", "JPN\t日本\tJapan\t일본\t日本\n", "areas.tsv:1"},
        {"areas.tsv", "../x\ta\tb\tc\td\te\n", "areas.tsv:1"},
        // The tool reads the area list in one read of 1024 bytes.
        {"areas.tsv", longArea, "longer than 1024"},
        {"directory.tsv", "md=5&n=1&s=1&g=1\t0\t1\t0\t0\t0\tx\n", "directory.tsv:1"},
        {"directory.tsv", "md=8\t0\t1\t0\t0\t0\tx\n", "directory.tsv:1"},
        {"directory.tsv", "md=8&n=1\t5\t1\t0\t0\t0\tx\n", "directory.tsv:1"},
        {"directory.tsv", "md=8&n=1\t0\t1\t0\t0\t0\t\xC3\x28\n", "directory.tsv:1"},
        {"directory.tsv", Repeat("md=6\t0\t1\t0\t0\t0\tx\n", 256), "directory.tsv:256"},
        // 255 records of 255-byte names do not fit the 16-bit length.
        {"directory.tsv", Repeat("md=6\t0\t1\t0\t0\t0\t" + std::string(255, 'x') + "\n", 255),
         "longer than 65536"},
        {"courses.tsv", "1\t1\t1\t171201\ta\tb\tc\td\te\n", "courses.tsv:1"},
        {"courses.tsv", "1\t1\t1\t1712011200\t" + std::string(246, 'a') + "\tb\tc\td\te\n",
         "courses.tsv:1"},
        {"courses.tsv", Repeat("1\t1\t1\t1712011200\ta\tb\tc\td\te\n", 2), "courses.tsv:2"},
    };
    for (const Case& c : cases) {
        const std::string error = LoadError(c.file, c.text);
        EXPECT_NE(error.find(c.error), std::string::npos)
            << c.file << ": " << c.text.substr(0, 60) << " gave \"" << error << "\"";
    }
}

TEST(ReferenceContent, NeedsTheStartupAnswersButNotTheDirectory) {
    CTempDir dir;
    CServerContent content;
    std::string error;
    EXPECT_FALSE(content.Load(dir.Path() / "missing", error));
    EXPECT_FALSE(content.Load(dir.Path(), error));
    EXPECT_NE(error.find("versions.txt"), std::string::npos);

    dir.Write("versions.txt", kVersions);
    dir.Write("areas.tsv", kAreas);
    ASSERT_TRUE(content.Load(dir.Path(), error)) << error;
    EXPECT_FALSE(content.Notes().empty());
    EXPECT_EQ(content.Answer("l=0&md=6").body, std::string("TL\0\0\0\0", 6));
    EXPECT_EQ(content.Answer("md=5&l=0&n=1&s=1&g=1").body,
              std::string("TL\0\x0A", 4) + "0001010000");
    EXPECT_EQ(content.Answer("md=4&pd=R7&ga=JPN&udate=170315").status, 404);
}

TEST(ReferenceContent, AnswersInTheLayoutsTheToolReads) {
    CTempDir dir;
    dir.Write("versions.txt", kVersions);
    dir.Write("areas.tsv", kAreas + "KOR\t韓国\tKorea\t한국\t韩国\t韓國\n");
    dir.Write("directory.tsv",
              "# comment\n"
              "md=7&a=-1\t1\t258\t3\t772\t1\tAb\n"
              "md=7&a=-1\t1\t1\t0\t0\t0\t\n"
              "md=7&a=-1\t2\t9\t0\t0\t0\tko\n");
    dir.Write("courses.tsv", "7\t2\t300\t1712011030\t名\tName\t이름\t名\t名\n");
    dir.Write("favorite/R7.zip", "PK");
    CServerContent content;
    std::string error;
    ASSERT_TRUE(content.Load(dir.Path(), error)) << error;

    EXPECT_EQ(content.Answer("md=1").body, std::string("TL\0", 3) + "1.0.0.3:1.05:1.06:1.03:");
    // L counts N and the records; each record is a counted code and name.
    EXPECT_EQ(content.Answer("md=14&l=1").body,
              std::string("TL\0\x15\0\x02", 6) + "\x03JPN\x05Japan" + "\x03KOR\x05Korea");
    // Records of 10 bytes and the name; L is the body's size less one.
    EXPECT_EQ(content.Answer("l=1&md=7&a=-1").body,
              std::string("TL\0\x16\0\x02", 6) +
                  std::string("\x02\x01\x03\x04\x03\x01\0\0\0\x02", 10) + "Ab" +
                  std::string("\x01\0\0\0\0\0\0\0\0\0", 10));
    EXPECT_EQ(content.Answer("md=5&l=2&n=7&s=2&g=300").body,
              std::string("TL\0\x10", 4) + "1712011030" + "이름");
    const CServedAnswer package = content.Answer("md=13&pd=R7&f=" + std::string(150, '0'));
    EXPECT_TRUE(package.IsPackage());
    EXPECT_EQ(package.packagePath, dir.Path() / "favorite" / "R7.zip");
    EXPECT_EQ(PackageHeader(0x01020304), std::string("TL\0\x04\x03\x02\x01", 7));
}

TEST(ReferenceContent, AFavouritePackageHoldsTheKnownCoursesAtTheirSlotsAddresses) {
    CTempDir dir;
    dir.Write("versions.txt", kVersions);
    dir.Write("areas.tsv", kAreas);
    dir.Write("courses.tsv",
              "7\t2\t300\t1712011030\t名\tName\t이름\t名\t名\n"
              "1\t1\t2\t1604091215\t名\tOther\t이름\t名\t名\n");
    dir.Write("favorite/R7.zip", "PK");
    CServerContent content;
    std::string error;
    ASSERT_TRUE(content.Load(dir.Path(), error)) << error;
    const auto query = [](const std::string& model, std::map<int, std::string> slots) {
        std::string f;
        for (int slot = 1; slot <= 15; ++slot) {
            f += slots.count(slot) ? slots[slot] : "0000000000";
        }
        return "md=13&pd=" + model + "&f=" + f;
    };

    // Slot 3 names a known course, slot 4 one the server has never heard of.
    const CServedAnswer built = content.Answer(query("R7", {{3, "000702012c"}, {4, "0009010001"}}));
    EXPECT_EQ(built.status, 200);
    ASSERT_FALSE(built.IsPackage());
    ASSERT_GT(built.body.size(), 7u);
    EXPECT_EQ(built.body.substr(0, 7), PackageHeader(static_cast<uint32_t>(built.body.size() - 7)));
    const std::vector<uint8_t> archive(built.body.begin() + 7, built.body.end());
    const std::string names(archive.begin(), archive.end());
    EXPECT_NE(names.find("favorite-3.bin"), std::string::npos);
    EXPECT_EQ(names.find("favorite-4.bin"), std::string::npos);
    // The same keys give the same bytes: a retried download writes the same data.
    EXPECT_EQ(content.Answer(query("R7", {{3, "000702012c"}})).body, built.body);
    EXPECT_NE(content.Answer(query("R7", {{1, "0001010002"}})).body, built.body);

    // Nothing known: the model's own package. A model without one: none at all.
    const CServedAnswer fallback = content.Answer(query("R7", {{4, "0009010001"}}));
    EXPECT_EQ(fallback.packagePath, dir.Path() / "favorite" / "R7.zip");
    EXPECT_EQ(content.Answer(query("R9", {{3, "000702012c"}})).status, 404);
}

// ---- The package recipe ----

CRecipeEntry Data(const std::string& archive, uint32_t address, uint32_t kib) {
    CRecipeEntry e;
    e.archive = archive;
    e.name = "data.bin";
    e.address = address;
    e.dataKiB = kib;
    return e;
}

CRecipeEntry Header(const std::string& archive, uint32_t address = 0x280000) {
    CRecipeEntry e;
    e.archive = archive;
    e.name = "header.bin";
    e.address = address;
    e.headerDate = "171201";
    return e;
}

TEST(ReferenceRecipe, TheSampleRecipeFollowsTheRules) {
    std::vector<CRecipeEntry> entries;
    std::string error;
    ASSERT_TRUE(ReadRecipe(TEELINK_SAMPLE_RECIPE, entries, error)) << error;
    EXPECT_GE(entries.size(), 3u);
}

TEST(ReferenceRecipe, RefusesPackagesThatWouldHarmTheDevice) {
    const std::string course = "course/R7/JPN.zip";
    const std::string system = "system/R7/A01.zip";
    struct Case {
        std::vector<CRecipeEntry> entries;
        std::string error;
    };
    const std::vector<Case> cases = {
        // Up to the log image is fine; the tool writes whole blocks, so one KiB
        // more reaches into it.
        {{Data(system, 0x22000, 4), Data(system, 0x40000, 1)}, ""},
        {{Data(system, 0x22000, 5)}, "marked-position log"},
        {{Data(system, 0x32000, 8)}, "marked-position log"},
        {{Header(course), Data(course, 0x281000, 64)}, "ends with its course data header"},
        {{Data(course, 0x281000, 64)}, "ends with its course data header"},
        {{Header(system)}, "belongs at 0x280000"},
        {{Data(course, 0x281000, 4), Header(course, 0x290000)}, "belongs at 0x280000"},
        {{Data(system, 0x27F000, 8)}, "only the course data header"},
        {{Data(system, 0x40000, 8), Data(system, 0x41000, 4)}, "overlaps"},
        {{Data(system, 0xFFFFF000, 8)}, "address space"},
        {{Data(course, 0x281000, 64), Header(course)}, ""},
    };
    for (const Case& c : cases) {
        std::string error;
        const bool ok = CheckRecipe(c.entries, error);
        if (c.error.empty()) {
            EXPECT_TRUE(ok) << error;
        } else {
            EXPECT_FALSE(ok) << c.error;
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }
}

TEST(ReferenceOptions, TakeAPortAndAContentDirectory) {
    const auto parse = [](std::vector<const char*> args, CServerOptions& options,
                          std::string& error) {
        args.insert(args.begin(), "teelink-update-server");
        return ParseServerOptions(static_cast<int>(args.size()), args.data(), options, error);
    };
    CServerOptions options;
    std::string error;
    ASSERT_TRUE(parse({}, options, error));
    EXPECT_EQ(options.port, 8750);
    ASSERT_TRUE(parse({"--port", "0", "--content", "/srv/c"}, options, error));
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.contentDir, "/srv/c");
    for (const auto& bad : std::vector<std::vector<const char*>>{
             {"--port", "65536"}, {"--port", "-1"}, {"--port"}, {"--content", ""}, {"--host"}}) {
        CServerOptions o;
        EXPECT_FALSE(parse(bad, o, error)) << bad[0];
    }
}

}  // namespace

}  // namespace teelink
