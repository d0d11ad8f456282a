#include "trevlog/LogHistory.h"

#include "core/TeelinkDoc.h"
#include "history/History.h"
#include "history/Sha256.h"

namespace teelink {

Status RecordLogSave(const std::filesystem::path& historyFile, const std::string& program,
                     const CTeelinkDoc& doc, const std::filesystem::path& file,
                     const std::vector<uint8_t>& image, SaveResult result) {
    doc.CheckThread();
    CHistoryRecord record = HistoryRecordOf(doc, program, "log save");
    record.time = std::chrono::system_clock::now();
    record.packageBytes = image.size();
    record.packageSha256 = Sha256Hex(image.data(), image.size());
    record.file = file.string();
    switch (result) {
        case SaveResult::Saved:
            record.result = "ok";
            break;
        case SaveResult::WriteError:
            record.result = "failed";
            record.texts.push_back("FileWriteError");
            break;
        default:
            record.result = "failed";
            record.texts.push_back("FileCreateError");
            break;
    }
    return CHistoryFile(historyFile).Append(record);
}

}  // namespace teelink
