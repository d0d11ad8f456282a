#pragma once

// The recipe of the sample packages (content/packages.tsv): which archive holds
// which entries at which device addresses. The content generator builds the
// archives from it and refuses a recipe whose packages would harm a device.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace teelink {

struct CRecipeEntry {
    std::string archive;  // "course/R7/JPN.zip", relative to the content directory
    std::string name;     // entry name inside the archive
    uint32_t address = 0;
    std::string headerDate;  // a course data header with this date, or
    uint32_t dataKiB = 0;    // this much generated data
    int line = 0;
};

// Reads and checks the recipe. On false `error` names the line and the rule.
bool ReadRecipe(const std::filesystem::path& file, std::vector<CRecipeEntry>& entries,
                std::string& error);

// The rules, over a whole recipe: every entry clear of the log area; entries of
// one archive clear of one another; a course archive ends with its course data
// header at the header address (written last, so that an interrupted write leaves
// the old date and the update is offered again); other archives leave the header
// block alone.
bool CheckRecipe(const std::vector<CRecipeEntry>& entries, std::string& error);

// `size` bytes of generated data that start with `tag` and are the same on every
// build: packages differ only where their content differs.
std::vector<uint8_t> SampleBytes(const std::string& tag, size_t size);

// The entry's bytes: "TL", the address, the payload.
std::vector<uint8_t> EntryBytes(const CRecipeEntry& entry);

// Builds every archive of the recipe under `outDir`. Each archive is written to
// a temporary name and renamed, so a running server never sends half a file.
bool BuildRecipe(const std::vector<CRecipeEntry>& entries, const std::filesystem::path& outDir,
                 std::string& error);

}  // namespace teelink
