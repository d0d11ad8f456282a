#include "trevlog/LogReader.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <system_error>

#include "device/DeviceChannel.h"
#include "device/Protocol.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#define TEELINK_FSYNC(fd) _commit(fd)
#else
#include <fcntl.h>
#include <unistd.h>

#define TEELINK_FSYNC(fd) fsync(fd)
#endif

namespace teelink {

namespace {

Status ReadLog(CLogJob& job, const CDevice& device, ILogReport& report) {
    std::fill(job.readBuf.begin(), job.readBuf.end(), 0);
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open;
    }
    for (int k = 0; k < LOG_BLOCKS; ++k) {
        if (job.m_bCancel.load()) {
            return CFailure::Cancelled();
        }
        if (Status read = ReadBlock(channel, LOG_ADDRESS + static_cast<uint32_t>(k) * BLOCK_SIZE);
            !read) {
            return read;
        }
        std::copy(channel.data.begin(), channel.data.end(),
                  job.readBuf.begin() + static_cast<std::ptrdiff_t>(k) * BLOCK_SIZE);
        report.Progress(0, static_cast<int>(k * 0.0625 * 1000));
    }
    CloseChannel(channel);
    report.Progress(0, 1000);
    return Success();
}

}  // namespace

void LogReadJob(CLogJob& job, const CJobContext& context, ILogReport& report) {
    const Status read = ReadLog(job, context.device, report);  // the channel is closed here
    if (read) {
        EndJob(report, context.notifier, nullptr, WM_LOG_READ_DONE);
    } else if (read.Failure().Kind() == FailureKind::Cancelled) {
        EndJob(report, context.notifier, nullptr, WM_LOG_READ_CANCELLED);
    } else {
        EndJob(report, context.notifier, &read.Failure(), WM_LOG_READ_FAILED);
    }
}

std::array<uint8_t, TRV_HEADER_SIZE> TrvHeader(const std::array<char, 4>& modelId) {
    return {'T',
            'L',
            static_cast<uint8_t>(modelId[0]),
            static_cast<uint8_t>(modelId[1]),
            static_cast<uint8_t>(modelId[2]),
            0};
}

std::wstring ProposedLogName(int year, int month, int day) {
    wchar_t name[32];
    std::swprintf(name, 32, L"TL%d%02d%02d", year, month, day);
    return name;
}

std::wstring ProposedLogNameToday() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    const bool ok = localtime_s(&local, &now) == 0;
#else
    const bool ok = localtime_r(&now, &local) != nullptr;
#endif
    if (!ok) {
        return ProposedLogName(0, 0, 0);
    }
    return ProposedLogName(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
}

namespace {

// A new file beside `target`, created exclusively so that nothing is overwritten.
std::FILE* CreateSibling(const std::filesystem::path& target, std::filesystem::path& created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path candidate = target;
        candidate += ".part" + std::to_string(attempt);
#ifdef _WIN32
        // The C runtime's fopen ignores the exclusive flag: create with _wopen.
        const int fd = _wopen(candidate.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY,
                              _S_IREAD | _S_IWRITE);
        std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
        std::FILE* file = std::fopen(candidate.c_str(), "wbx");
#endif
        if (file != nullptr) {
            created = candidate;
            return file;
        }
        if (errno != EEXIST) {
            return nullptr;
        }
    }
    return nullptr;
}

}  // namespace

SaveResult SaveTrvFile(const std::filesystem::path& path, const std::array<char, 4>& modelId,
                       const std::vector<uint8_t>& image) {
    std::filesystem::path temporary;
    std::FILE* file = CreateSibling(path, temporary);
    if (file == nullptr) {
        return SaveResult::CreateError;
    }
    const auto header = TrvHeader(modelId);
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
              std::fwrite(image.data(), 1, image.size(), file) == image.size() &&
              std::fflush(file) == 0 && TEELINK_FSYNC(fileno(file)) == 0;
    ok = std::fclose(file) == 0 && ok;
    std::error_code error;
    if (ok) {
        std::filesystem::rename(temporary, path, error);
        ok = !error;
    }
    if (!ok) {
        std::filesystem::remove(temporary, error);
        return SaveResult::WriteError;
    }
    return SaveResult::Saved;
}

std::filesystem::path WithLogExtension(const std::filesystem::path& chosen) {
    std::filesystem::path final = chosen;
    if (!final.has_extension()) {
        final += ".trv";
    }
    return final;
}

std::wstring ReplaceQuestion(int language, const std::wstring& path) {
    // In the order of the language dialog; "%s" stands for the file.
    static const wchar_t* const kQuestions[] = {
        L"%s は既に存在します。\n置き換えますか?",
        L"%s already exists.\nDo you want to replace it?",
        L"%s 파일이 이미 있습니다.\n바꾸시겠습니까?",
        L"%s 已存在。\n要替换它吗?",
        L"%s 已存在。\n要取代它嗎?",
    };
    const std::wstring question = kQuestions[language >= 0 && language < 5 ? language : 1];
    const size_t at = question.find(L"%s");
    return question.substr(0, at) + path + question.substr(at + 2);
}

}  // namespace teelink
