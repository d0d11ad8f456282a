#pragma once

// A log save's record in the update history, by either program.

#include <filesystem>
#include <string>
#include <vector>

#include "common/Result.h"
#include "trevlog/TrvFile.h"

namespace teelink {

class CTeelinkDoc;

// Appends the record of saving `image` (the log as read from the document's
// device) to `file` with `result`; a record that cannot be written says why.
Status RecordLogSave(const std::filesystem::path& historyFile, const std::string& program,
                     const CTeelinkDoc& doc, const std::filesystem::path& file,
                     const std::vector<uint8_t>& image, SaveResult result);

}  // namespace teelink
