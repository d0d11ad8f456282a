#include "update/UpdateJob.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <optional>
#include <span>
#include <thread>

#include "common/ByteOrder.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceChannel.h"
#include "device/Protocol.h"
#include "history/Sha256.h"
#include "update/PackageReader.h"
#include "updateclient/Answers.h"
#include "updateclient/ServerRequest.h"

namespace teelink {

namespace {

constexpr size_t kReadSize = 1024;

// A bar position. A body longer than announced would run past the end of the
// bar: positions stay within 0..1000 whatever the counts.
// "0x00280000"
std::string Hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

int Thousandths(uint64_t part, uint64_t whole) {
    if (whole == 0) {
        return 0;
    }
    const double position = static_cast<double>(part) / static_cast<double>(whole) * 1000.0;
    return static_cast<int>(std::min(position, 1000.0));
}

// The body of the package into job.m_pPackage, S + 1024 bytes, moving the bar.
Status Download(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                IUpdateReport& report) {
    CServerRequest request(context.server);
    // Cancel ends an open request at once, even one that has stalled.
    request.SetAbortFlag(&context.stop);
    job.m_pPackage.clear();
    job.m_pPackage.shrink_to_fit();
    if (!request.Open(order.url)) {
        return context.Interruption().value_or(CFailure("Error: Connect server"));
    }
    std::array<uint8_t, PACKAGE_HEADER_SIZE> header{};
    const size_t got = request.Read(header.data(), header.size());
    const auto size = ParsePackageHeader(std::span(header.data(), got));
    if (!size) {
        return context.Interruption().value_or(CFailure("Error: Download data"));
    }
    const uint64_t packageSize = *size;
    job.m_nPackageSize = *size;
    if (packageSize > MAX_PACKAGE_SIZE) {
        return CFailure("Error: malloc zip");
    }
    try {
        // Not zero-filled: the download fills what it uses, and nothing reads
        // past what arrived.
        job.m_pPackage.resize(packageSize + kReadSize);
    } catch (const std::bad_alloc&) {
        return CFailure("Error: malloc zip");
    }
    const uint64_t capacity = job.m_pPackage.size();
    // The body goes straight into the package buffer; the reads below take it
    // 1024 bytes at a time as it arrives.
    request.SetReadTarget(job.m_pPackage.data(), job.m_pPackage.size());
    uint64_t total = 0;
    int position = -1;
    for (;;) {
        if (const auto interrupted = context.Interruption()) {
            return *interrupted;
        }
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadSize, capacity - total));
        const size_t n = request.Read(job.m_pPackage.data() + total, want);
        total += n;
        if (n < kReadSize) {
            if (const auto interrupted = context.Interruption()) {
                return *interrupted;
            }
            if (total != packageSize && total != packageSize + 1) {
                return CFailure("Error: Read size zip");
            }
            if (position != 1000) {
                report.Progress(BAR_DOWNLOAD, 1000);
            }
            return Success();
        }
        const int now = Thousandths(total, packageSize);
        if (packageSize != 0 && now != position) {
            position = now;
            report.Progress(BAR_DOWNLOAD, position);
        }
    }
}

// One entry extracted whole into a zero-filled buffer with room for every
// block read from offset 6 (the zero fill pads the last block), never smaller
// than one block.
Result<std::vector<uint8_t>> ExtractEntry(const CPackageReader& reader, uint64_t index,
                                          uint64_t& size) {
    if (!reader.EntrySize(index, size)) {
        return CFailure("Error: zip stat read");
    }
    if (size > MAX_ENTRY_SIZE) {
        return CFailure("Error: zip alloc");
    }
    const uint64_t blocks = (size + 4089) / BLOCK_SIZE;
    std::vector<uint8_t> entry;
    try {
        entry.assign(std::max<uint64_t>(6 + blocks * BLOCK_SIZE, BLOCK_SIZE), 0);
    } catch (const std::bad_alloc&) {
        return CFailure("Error: zip alloc");
    }
    if (!reader.Extract(index, size, entry.data())) {
        return CFailure("Error: zip extract");
    }
    return entry;
}

// Deflate cannot shrink data by more than about 1032 to 1: a record that claims
// more was not made by a packer and would only make the check inflate for long.
constexpr uint64_t kMaxDeflateRatio = 1032;
// Devices address their memory with 32 bits; no package can fill more.
constexpr uint64_t kAddressSpace = 1ull << 32;
// The check reads each entry through a buffer of this size, so its memory does
// not grow with the entry, and it looks at Cancel and stop between pieces.
constexpr size_t kCheckPiece = 64u << 10;

// The directory's records, before anything is inflated: every size within what
// the tool takes and in proportion to what is stored, and all of them together
// within what a device can hold. Gives the sum of the sizes.
Result<uint64_t> CheckRecords(const CPackageReader& reader, uint64_t count) {
    uint64_t total = 0;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t size = 0;
        uint64_t stored = 0;
        if (!reader.EntrySize(i, size) || !reader.CompressedSize(i, stored)) {
            return CFailure("Error: zip stat read");
        }
        if (size > MAX_ENTRY_SIZE || size > stored * kMaxDeflateRatio + BLOCK_SIZE) {
            return CFailure("Error: zip alloc");
        }
        total += size;
        if (total > kAddressSpace) {
            return CFailure("Error: zip alloc");
        }
    }
    return total;
}

// What the check of one entry has seen: its first six bytes ("TL" and the
// address), zero where the entry is shorter, as the write's buffer pads it.
struct CEntryHead {
    std::array<uint8_t, 6> bytes{};
    size_t filled = 0;

    void Take(std::span<const uint8_t> piece) {
        const size_t n = std::min(piece.size(), bytes.size() - filled);
        std::copy_n(piece.begin(), n, bytes.begin() + static_cast<std::ptrdiff_t>(filled));
        filled += n;
    }
    bool Marked() const { return bytes[0] == 'T' && bytes[1] == 'L'; }
    // Whether the blocks of an entry of `size` bytes stay within the address
    // space: a write past its end would wrap round to the device's first block.
    bool InRange(uint64_t size) const {
        const uint64_t blocks = (size + 4089) / BLOCK_SIZE;
        return teelink::LoadLe32(bytes.data() + 2) + blocks * BLOCK_SIZE <= kAddressSpace;
    }
};

// One entry read to its end as the write will take it (its CRC checked, its
// mark and addresses looked at), in pieces, stopping at Cancel or stop.
Status CheckEntry(const CPackageReader& reader, uint64_t index, std::span<uint8_t> buffer,
                  CUpdateJob& job, const CJobContext& context) {
    uint64_t size = 0;
    if (!reader.EntrySize(index, size)) {
        return CFailure("Error: zip stat read");
    }
    CEntryHead head;
    std::optional<CFailure> stopped;
    const auto end = reader.Stream(index, size, buffer, [&](std::span<const uint8_t> piece) {
        head.Take(piece);
        job.m_nBytesChecked.fetch_add(piece.size());
        if (head.filled == head.bytes.size() && head.Marked() && !head.InRange(size)) {
            stopped = CFailure("Error: zip extract");
        } else {
            stopped = context.Interruption();
        }
        return !stopped;
    });
    if (end == CPackageReader::StreamEnd::Interrupted) {
        return *stopped;
    }
    if (end != CPackageReader::StreamEnd::Complete) {
        return CFailure("Error: zip extract");
    }
    if (!head.Marked()) {
        return CFailure("Data format error").Then("Error: HID write");
    }
    if (!head.InRange(size)) {
        return CFailure("Error: zip extract");
    }
    return Success();
}

// Every entry as the write will take it, before the device is touched: a
// package that a check can refuse never leaves a device half written. The
// entries are read through one small buffer, so the check takes no memory of
// an entry's size and answers Cancel and stop between pieces.
Status CheckEntries(const CPackageReader& reader, uint64_t count, CUpdateJob& job,
                    const CJobContext& context) {
    std::vector<uint8_t> buffer(kCheckPiece);
    for (uint64_t i = 0; i < count; ++i) {
        if (const auto interrupted = context.Interruption()) {
            return *interrupted;
        }
        if (Status checked = CheckEntry(reader, i, buffer, job, context); !checked) {
            return checked;
        }
    }
    return Success();
}

// Where the write of one entry stands: U, T and D of the estimate.
struct CEntryProgress {
    uint64_t entrySize = 0;
    uint64_t total = 0;
    uint64_t done = 0;
};

void ReportBlock(CUpdateJob& job, const CEntryProgress& progress, uint64_t k,
                 IUpdateReport& report) {
    const uint64_t written = progress.done + k * BLOCK_SIZE;
    report.Progress(BAR_WRITE, Thousandths(written, progress.total));
    if (written == 0) {
        return;
    }
    // A monotonic clock: setting the wall clock back cannot make the elapsed
    // time negative.
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::steady_clock::now() - job.m_writeStart);
    const int minutes = RemainingMinutes(
        progress.total, written,
        static_cast<uint64_t>(std::max<int64_t>(0, static_cast<int64_t>(elapsed.count()))));
    if (job.m_nLastRemainMinutes.exchange(minutes) != minutes) {
        report.Post(WM_UPDATE_REMAIN_TIME, minutes);
    }
}

// Writes one extracted entry ("TL", address, payload) in 4096-byte blocks.
Status WritePackageEntry(const std::vector<uint8_t>& entry, const CEntryProgress& progress,
                         CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                         IUpdateReport& report) {
    CDeviceChannel channel;
    if (Status open = OpenChannel(context.device, channel); !open) {
        return open;
    }
    std::this_thread::sleep_for(order.write.settle);
    // The check before the write has seen every entry's mark.
    const uint32_t base = teelink::LoadLe32(entry.data() + 2);
    const uint64_t blocks = (progress.entrySize + 4089) / BLOCK_SIZE;
    for (uint64_t k = 0; k < blocks; ++k) {
        if (auto interrupted = context.Interruption()) {
            return *interrupted;
        }
        const auto address = static_cast<uint32_t>(base + k * BLOCK_SIZE);
        if (Status write = WriteBlock(channel, address, &entry[6 + k * BLOCK_SIZE]); !write) {
            return write;
        }
        job.m_nBlocksWritten.fetch_add(1);
        ReportBlock(job, progress, k, report);
    }
    std::this_thread::sleep_for(order.write.settle);
    return Success();
}

// Tells the device to start its firmware update.
Status StartSystemUpdate(const CUpdateOrder& order, const CJobContext& context) {
    CDeviceChannel channel;
    if (Status open = OpenChannel(context.device, channel); !open) {
        return open;
    }
    std::this_thread::sleep_for(order.write.settle);
    SendEnd(channel);
    std::this_thread::sleep_for(order.write.settle);
    return Success();
}

// The package opened and every entry checked; gives the sum of the sizes.
Result<uint64_t> CheckPackage(const CPackageReader& reader, CUpdateJob& job,
                              const CJobContext& context) {
    if (!reader.IsOpen()) {
        return CFailure("Error: zip init");
    }
    const uint64_t count = reader.EntryCount();
    auto total = CheckRecords(reader, count);
    if (!total) {
        return total;
    }
    if (Status checked = CheckEntries(reader, count, job, context); !checked) {
        return checked.TakeFailure();
    }
    return total;
}

// Every entry written in directory order.
Status WriteEntries(const CPackageReader& reader, uint64_t total, CUpdateJob& job,
                    const CUpdateOrder& order, const CJobContext& context, IUpdateReport& report) {
    // Each entry has a channel of its own: the claim keeps another Teelink
    // from taking the device between two of them and writing in between.
    CDeviceClaim claim;
    if (context.device.Claim(claim) == ClaimResult::InUse) {
        return CFailure("USB Open Error", ERR_OPEN);
    }
    CEntryProgress progress;
    progress.total = total;
    for (uint64_t i = 0; i < reader.EntryCount(); ++i) {
        auto entry = ExtractEntry(reader, i, progress.entrySize);
        if (!entry) {
            return entry.TakeFailure();
        }
        Status written = WritePackageEntry(entry.Value(), progress, job, order, context, report);
        if (!written) {
            return written.TakeFailure().Then("Error: HID write");
        }
        progress.done += progress.entrySize;
    }
    return Success();
}

// The failure codes of the read-back check.
constexpr int VERIFY_MISMATCH = -100;
constexpr int VERIFY_UNREADABLE = -101;

// Reads every block of one entry back and compares it with what was written.
Status VerifyEntry(CDeviceChannel& channel, const std::vector<uint8_t>& entry, uint64_t size,
                   CEntryProgress& progress, const CJobContext& context, IUpdateReport& report) {
    const uint32_t base = teelink::LoadLe32(entry.data() + 2);
    const uint64_t blocks = (size + 4089) / BLOCK_SIZE;
    for (uint64_t k = 0; k < blocks; ++k) {
        if (const auto interrupted = context.Interruption()) {
            return *interrupted;
        }
        const auto address = static_cast<uint32_t>(base + k * BLOCK_SIZE);
        if (Status read = ReadBlock(channel, address); !read) {
            CFailure refused = read.TakeFailure();
            return CFailure("the device refused to read back the block at " + Hex32(address),
                            VERIFY_UNREADABLE)
                .Then(refused.Texts().empty() ? "Error: HID read" : refused.Texts().front());
        }
        const uint8_t* expected = &entry[6 + k * BLOCK_SIZE];
        const auto differs =
            std::mismatch(channel.data.begin(), channel.data.begin() + BLOCK_SIZE, expected);
        if (differs.first != channel.data.begin() + BLOCK_SIZE) {
            const auto at = static_cast<uint32_t>(differs.first - channel.data.begin());
            return CFailure("verification failed: the block at " + Hex32(address) +
                                " differs from what was written (first at " + Hex32(address + at) +
                                ")",
                            VERIFY_MISMATCH);
        }
        progress.done += BLOCK_SIZE;
        report.Progress(BAR_VERIFY, Thousandths(progress.done, progress.total));
    }
    return Success();
}

// The read-back check of every entry, on one channel.
Status VerifyEntries(const CPackageReader& reader, CUpdateJob& job, const CJobContext& context,
                     IUpdateReport& report) {
    report.Post(WM_UPDATE_VERIFYING, 0);
    CDeviceChannel channel;
    if (Status open = OpenChannel(context.device, channel); !open) {
        return open;
    }
    CEntryProgress progress;
    progress.total = job.m_nBlocksTotal.load() * BLOCK_SIZE;
    for (uint64_t i = 0; i < reader.EntryCount(); ++i) {
        uint64_t size = 0;
        auto entry = ExtractEntry(reader, i, size);
        if (!entry) {
            return entry.TakeFailure();
        }
        if (Status verified = VerifyEntry(channel, entry.Value(), size, progress, context, report);
            !verified) {
            return verified;
        }
    }
    CloseChannel(channel);
    return Success();
}

// The package's entries and the blocks they take, for the run's record.
void CountBlocks(const CPackageReader& reader, CUpdateJob& job) {
    uint64_t blocks = 0;
    for (uint64_t i = 0; i < reader.EntryCount(); ++i) {
        uint64_t size = 0;
        if (reader.EntrySize(i, size)) {
            blocks += (size + 4089) / BLOCK_SIZE;
        }
    }
    job.m_nEntries.store(reader.EntryCount());
    job.m_nBlocksTotal.store(blocks);
}

// The run's record, written before its result goes out, so that an owner
// that has seen the end finds it written. A record that cannot be written
// leaves a warning, never a failure.
void RecordRun(CUpdateJob& job, const CUpdateOrder& order, const Status& end) {
    if (order.historyFile.empty()) {
        return;
    }
    CHistoryRecord record = order.history;
    record.time = std::chrono::system_clock::now();
    record.packageBytes = job.m_pPackage.empty() ? 0 : job.m_nPackageSize;
    if (record.packageBytes != 0) {
        record.packageSha256 = Sha256Hex(job.m_pPackage.data(), job.m_nPackageSize);
    }
    record.entries = job.m_nEntries.load();
    record.blocksWritten = job.m_nBlocksWritten.load();
    record.blocksTotal = job.m_nBlocksTotal.load();
    const UpdateMessage message = EndMessage(end, job.m_phase.load());
    const bool cancelled = !end.Ok() && end.Failure().Kind() == FailureKind::Cancelled;
    record.result = !end.Ok() && end.Failure().Kind() == FailureKind::Stopped ? "stopped"
                    : message == WM_UPDATE_WRITTEN                            ? "ok"
                    : message == WM_UPDATE_NOT_VERIFIED                       ? "not verified"
                    : message == WM_UPDATE_VERIFY_FAILED                      ? "verify failed"
                    : cancelled                                               ? "cancelled"
                                                                              : "failed";
    if (!end.Ok()) {
        record.texts = end.Failure().Texts();
    }
    if (Status appended = CHistoryFile(order.historyFile).Append(record); !appended) {
        job.m_strHistoryWarning = appended.Failure().Texts().empty()
                                      ? std::string("unknown failure")
                                      : appended.Failure().Texts().front();
    }
}

// The check and the write, and the read-back check when the order asks for it.
Status WriteAndVerify(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                      IUpdateReport& report) {
    CPackageReader reader;
    reader.Open(job.m_pPackage.data(), job.m_nPackageSize);
    job.m_phase.store(UpdatePhase::Check);
    const auto total = CheckPackage(reader, job, context);
    if (!total) {
        return total.Failure();
    }
    CountBlocks(reader, job);
    job.m_phase.store(UpdatePhase::Write);
    if (Status written = WriteEntries(reader, total.Value(), job, order, context, report);
        !written) {
        return written;
    }
    if (!order.write.verify) {
        return Success();
    }
    job.m_phase.store(UpdatePhase::Verify);
    Status verified = VerifyEntries(reader, job, context, report);
    if (!verified && verified.Failure().Kind() == FailureKind::Cancelled) {
        return CFailure::Cancelled();  // nothing to say beyond the cancel
    }
    return verified;
}

}  // namespace

UpdateMessage EndMessage(const Status& end, UpdatePhase phase) {
    if (end.Ok() || phase == UpdatePhase::Start) {
        return WM_UPDATE_WRITTEN;  // a firmware start that failed left every block written
    }
    const bool cancelled = end.Failure().Kind() == FailureKind::Cancelled;
    switch (phase) {
        case UpdatePhase::Download:
            return cancelled ? WM_UPDATE_DOWNLOAD_CANCELLED : WM_UPDATE_DOWNLOAD_FAILED;
        case UpdatePhase::Check:
            // Nothing was written: a cancel here says what a cancel of the download says.
            return cancelled ? WM_UPDATE_DOWNLOAD_CANCELLED : WM_UPDATE_WRITE_FAILED;
        case UpdatePhase::Verify:
            if (!cancelled) {
                return end.Failure().Code() == VERIFY_MISMATCH ? WM_UPDATE_VERIFY_FAILED
                                                               : WM_UPDATE_NOT_VERIFIED;
            }
            return WM_UPDATE_WRITE_FAILED;
        default:
            return WM_UPDATE_WRITE_FAILED;
    }
}

Status DownloadJob(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                   IUpdateReport& report) {
    job.m_phase.store(UpdatePhase::Download);
    const Status downloaded = Download(job, order, context, report);
    if (downloaded) {
        report.Post(WM_UPDATE_DOWNLOADED, 0);
        return downloaded;
    }
    job.m_pPackage.clear();
    job.m_pPackage.shrink_to_fit();
    return downloaded;
}

Status WriteJob(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                IUpdateReport& report) {
    job.m_nBlocksWritten.store(0);
    job.m_nBytesChecked.store(0);
    job.m_nEntries.store(0);
    job.m_nBlocksTotal.store(0);
    // The reader is closed before the firmware starts.
    if (Status written = WriteAndVerify(job, order, context, report); !written) {
        // A cancel of the write is told first; its failure follows.
        if (job.m_phase.load() != UpdatePhase::Check &&
            written.Failure().Kind() == FailureKind::Cancelled) {
            report.Post(WM_UPDATE_WRITE_CANCELLED, 0);
        }
        return written;
    }
    // Every block is written: only the owner's stop, not a late Cancel, keeps
    // a system update's firmware from starting.
    if (auto stopped = context.Interruption(); stopped && stopped->Kind() == FailureKind::Stopped) {
        return *stopped;
    }
    if (order.mode == UPDATE_SYSTEM_DATA) {
        std::this_thread::sleep_for(order.write.settle);
        job.m_phase.store(UpdatePhase::Start);
        // Its failure is shown but does not fail the run: every block is written.
        if (Status started = StartSystemUpdate(order, context); !started) {
            report.Progress(BAR_WRITE, 1000);
            return started;
        }
    }
    report.Progress(BAR_WRITE, 1000);
    return Success();
}

Status UpdateJob(CUpdateJob& job, const CUpdateOrder& order, const CJobContext& context,
                 IUpdateReport& report) {
    job.m_strHistoryWarning.clear();
    Status end = DownloadJob(job, order, context, report);
    if (end) {
        // The estimate measures from here.
        job.m_writeStart = std::chrono::steady_clock::now();
        end = WriteJob(job, order, context, report);
    }
    RecordRun(job, order, end);
    return end;
}

int RemainingMinutes(uint64_t total, uint64_t written, uint64_t elapsedSeconds) {
    const uint64_t product = (total - written) * elapsedSeconds;
    const auto seconds =
        static_cast<uint64_t>(static_cast<double>(product) / static_cast<double>(written));
    return static_cast<int>(seconds / 60 + 1);
}

}  // namespace teelink
