#include "trevlog/LogReader.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <system_error>

#include "device/DeviceChannel.h"
#include "device/Protocol.h"

namespace teelink {

namespace {

Status ReadLog(LogImage& image, const CJobContext& context, ILogReport& report) {
    const CDevice& device = context.device;
    CDeviceChannel channel;
    if (Status open = OpenChannel(device, channel); !open) {
        return open;
    }
    for (int k = 0; k < LOG_BLOCKS; ++k) {
        if (auto stopped = context.Interruption()) {
            return *stopped;
        }
        if (Status read = ReadBlock(channel, LOG_ADDRESS + static_cast<uint32_t>(k) * BLOCK_SIZE);
            !read) {
            return read;
        }
        std::copy(channel.data.begin(), channel.data.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(k) * BLOCK_SIZE);
        report.Progress(0, static_cast<int>(k * 0.0625 * 1000));
    }
    CloseChannel(channel);
    report.Progress(0, 1000);
    return Success();
}

}  // namespace

Result<LogImage> LogReadJob(const CJobContext& context, ILogReport& report) {
    LogImage image(LOG_SIZE, 0);
    Status read = ReadLog(image, context, report);  // the channel is closed here
    if (!read) {
        return read.TakeFailure();
    }
    return image;
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
