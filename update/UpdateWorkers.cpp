#include "update/UpdateWorkers.h"

#include <algorithm>
#include <array>
#include <new>
#include <thread>

#include "common/ByteOrder.h"
#include "common/UserNotifier.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceChannel.h"
#include "device/DeviceList.h"
#include "device/Protocol.h"
#include "server/Answers.h"
#include "server/ServerRequest.h"
#include "update/PackageReader.h"

namespace teelink {

namespace {

constexpr size_t kReadSize = 1024;

// A bar position. A body longer than announced would run past the end of the
// bar: positions stay within 0..1000 whatever the counts.
int Thousandths(uint64_t part, uint64_t whole) {
    if (whole == 0) {
        return 0;
    }
    const double position = static_cast<double>(part) / static_cast<double>(whole) * 1000.0;
    return static_cast<int>(std::min(position, 1000.0));
}

// The download proper; returns the failure text, or "" when the worker posted
// its result itself.
std::string Download(CUpdateJob& job, IUpdateReport& report, const CServerSettings& settings) {
    CServerRequest request(settings);
    request.SetAbortFlag(job.m_pStop);
    job.m_pPackage.clear();
    job.m_pPackage.shrink_to_fit();
    if (!request.Open(job.m_strUrl)) {
        return "Error: Connect server";
    }
    std::array<uint8_t, PACKAGE_HEADER_SIZE> header{};
    const size_t got = request.Read(header.data(), header.size());
    const auto size = ParsePackageHeader(std::span(header.data(), got));
    if (!size) {
        return "Error: Download data";
    }
    const uint64_t packageSize = *size;
    job.m_nPackageSize = *size;
    if (packageSize > MAX_PACKAGE_SIZE) {
        return "Error: malloc zip";
    }
    try {
        // Not zero-filled: the download fills what it uses, and nothing reads
        // past what arrived.
        job.m_pPackage.resize(packageSize + kReadSize);
    } catch (const std::bad_alloc&) {
        return "Error: malloc zip";
    }
    const uint64_t capacity = job.m_pPackage.size();
    uint64_t total = 0;
    int position = -1;
    for (;;) {
        if (job.m_bCancel.load()) {
            report.Post(WM_UPDATE_DOWNLOAD_CANCELLED, 0);
            return "";
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadSize, capacity - total));
        const size_t n = request.Read(job.m_pPackage.data() + total, want);
        total += n;
        if (n < kReadSize) {
            if (total != packageSize && total != packageSize + 1) {
                return "Error: Read size zip";
            }
            if (position != 1000) {
                report.Progress(BAR_DOWNLOAD, 1000);
            }
            report.Post(WM_UPDATE_DOWNLOADED, 0);
            return "";
        }
        const int now = Thousandths(total, packageSize);
        if (packageSize != 0 && now != position) {
            position = now;
            report.Progress(BAR_DOWNLOAD, position);
        }
    }
}

}  // namespace

void DownloadWorker(CUpdateJob& job, IUpdateReport& report, IUserNotifier& notifier,
                    const CServerSettings& settings) {
    const std::string failure = Download(job, report, settings);
    if (failure.empty()) {
        return;
    }
    job.m_pPackage.clear();
    job.m_pPackage.shrink_to_fit();
    notifier.ShowPlain(failure);
    report.Post(WM_UPDATE_DOWNLOAD_FAILED, 0);
}

int RemainingMinutes(uint64_t total, uint64_t written, uint64_t elapsedSeconds) {
    const uint64_t product = (total - written) * elapsedSeconds;
    const auto seconds =
        static_cast<uint64_t>(static_cast<double>(product) / static_cast<double>(written));
    return static_cast<int>(seconds / 60 + 1);
}

bool WritePackageEntry(const std::vector<uint8_t>& entry, uint64_t entrySize, uint64_t total,
                       uint64_t done, CUpdateJob& job, IUpdateReport& report,
                       IUserNotifier& notifier, const CDeviceList& devices,
                       const CWriteSettings& settings) {
    CDeviceChannel channel;
    if (!OpenChannel(devices, channel, notifier)) {
        return false;
    }
    std::this_thread::sleep_for(settings.settle);
    if (entry[0] != 'T' || entry[1] != 'L') {
        CloseChannel(channel);
        notifier.ShowPlain("Data format error");
        return false;
    }
    const uint32_t base = teelink::LoadLe32(entry.data() + 2);
    const uint64_t blocks = (entrySize + 4089) / BLOCK_SIZE;
    for (uint64_t k = 0; k < blocks; ++k) {
        if (job.m_bCancel.load() || job.Stopping()) {
            report.Post(WM_UPDATE_WRITE_CANCELLED, 0);
            CloseChannel(channel);
            return false;
        }
        const auto address = static_cast<uint32_t>(base + k * BLOCK_SIZE);
        const int code = WriteBlock(channel, address, &entry[6 + k * BLOCK_SIZE]);
        if (code != 0) {
            CloseChannel(channel);
            notifier.ShowPlain(DeviceErrorText(code));
            return false;
        }
        job.m_nBlocksWritten.fetch_add(1);
        const uint64_t written = done + k * BLOCK_SIZE;
        report.Progress(BAR_WRITE, Thousandths(written, total));
        if (written != 0) {
            // A monotonic clock: setting the wall clock back cannot make the
            // elapsed time negative.
            const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
                std::chrono::steady_clock::now() - job.m_writeStart);
            const int minutes = RemainingMinutes(
                total, written,
                static_cast<uint64_t>(std::max<int64_t>(0, static_cast<int64_t>(elapsed.count()))));
            if (job.m_pLastRemainMinutes != nullptr &&
                job.m_pLastRemainMinutes->exchange(minutes) != minutes) {
                report.Post(WM_UPDATE_REMAIN_TIME, minutes);
            }
        }
    }
    std::this_thread::sleep_for(settings.settle);
    CloseChannel(channel);
    return true;
}

bool StartSystemUpdate(const CDeviceList& devices, IUserNotifier& notifier,
                       const CWriteSettings& settings) {
    CDeviceChannel channel;
    if (!OpenChannel(devices, channel, notifier)) {
        return false;
    }
    std::this_thread::sleep_for(settings.settle);
    SendEnd(channel);
    std::this_thread::sleep_for(settings.settle);
    CloseChannel(channel);
    return true;
}

namespace {

std::string WriteAll(CUpdateJob& job, IUpdateReport& report, IUserNotifier& notifier,
                     const CDeviceList& devices, const CWriteSettings& settings) {
    CPackageReader reader;
    if (!reader.Open(job.m_pPackage.data(), job.m_nPackageSize)) {
        return "Error: zip init";
    }
    const uint64_t count = reader.EntryCount();
    uint64_t total = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t size = 0;
        if (!reader.EntrySize(i, size)) {
            return "Error: zip stat read";
        }
        total += size;
    }
    uint64_t done = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t size = 0;
        if (!reader.EntrySize(i, size)) {
            return "Error: zip stat read";
        }
        if (size > MAX_ENTRY_SIZE) {
            return "Error: zip alloc";
        }
        // Room for the whole entry and for every block read from offset 6; the
        // zero fill pads the last block.
        const uint64_t blocks = (size + 4089) / BLOCK_SIZE;
        std::vector<uint8_t> entry;
        try {
            entry.assign(std::max<uint64_t>(6 + blocks * BLOCK_SIZE, BLOCK_SIZE), 0);
        } catch (const std::bad_alloc&) {
            return "Error: zip alloc";
        }
        if (!reader.Extract(i, size, entry.data())) {
            return "Error: zip extract";
        }
        if (!WritePackageEntry(entry, size, total, done, job, report, notifier, devices,
                               settings)) {
            return "Error: HID write";
        }
        done += size;
    }
    reader.Close();
    if (job.m_nUpdateMode == UPDATE_SYSTEM_DATA) {
        std::this_thread::sleep_for(settings.settle);
        StartSystemUpdate(devices, notifier, settings);  // its failure does not fail the run
    }
    report.Progress(BAR_WRITE, 1000);
    report.Post(WM_UPDATE_WRITTEN, 0);
    return "";
}

}  // namespace

void WriteWorker(CUpdateJob& job, IUpdateReport& report, IUserNotifier& notifier,
                 const CDeviceList& devices, const CWriteSettings& settings) {
    const std::string failure = WriteAll(job, report, notifier, devices, settings);
    if (failure.empty()) {
        return;
    }
    notifier.ShowPlain(failure);
    report.Post(WM_UPDATE_WRITE_FAILED, 0);
}

}  // namespace teelink
