#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/ProgressView.h"
#include "common/UserNotifier.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"

namespace teelink {

// Where a command prints and what it watches. The executable passes its
// standard streams; tests pass string streams.
struct CCliIo {
    std::ostream& out;
    std::ostream& err;
    std::istream& in;
    bool terminal = false;       // out is a terminal: progress is a redrawn bar
    bool inputTerminal = false;  // in is a terminal: a question can be answered
    // Set by the executable's signal handler (Ctrl-C, SIGTERM, a closed
    // terminal); the command cancels when it sees it.
    const std::atomic<bool>* interrupted = nullptr;
    const std::atomic<int>* signal = nullptr;  // which signal it was
    // Waits up to the time given for a line on `in`; true when one can be read.
    // Without it a question reads at once (a stream in a test, Windows).
    std::function<bool(std::chrono::milliseconds)> inputReady = nullptr;

    bool Interrupted() const { return interrupted != nullptr && interrupted->load(); }
    // The exit status of a command that a signal stopped: 128 and its number,
    // as a shell reports it (130 for Ctrl-C).
    int InterruptedExit() const;
};

// Error texts, which the window shows in message boxes, go to standard error:
// "teelink-cli: " and the text, or with --json an object of its own. A job's
// texts reach the main thread in order with its reports (CQueuedReport), which
// prints them here on a line of their own.
class CCliNotifier : public IUserNotifier {
public:
    CCliNotifier(std::ostream& err, bool json) : m_err(err), m_json(json) {}
    void ShowPlain(const std::string& text) override;

private:
    std::mutex m_mutex;
    std::ostream& m_err;
    bool m_json = false;
};

CDeviceBusConfig BusConfigFor(const CCliOptions& options);

// What one command works with: the options, a device list pointed at the
// chosen device and the document the core's functions read and fill.
class CCliSession {
public:
    CCliSession(const CCliOptions& options, CCliIo io);

    const CCliOptions& Options() const { return m_options; }
    CCliIo& Io() { return m_io; }
    CTeelinkDoc& Doc() {
        m_doc.CheckThread();
        return m_doc;
    }
    CDeviceList& Devices() { return m_devices; }
    // The device the command works on (ChooseDevice or UseDevice picked it).
    const CDevice& Device() const { return m_device; }
    CCliNotifier& Notifier() { return m_notifier; }
    // Message `id` of the table in the chosen language, as UTF-8.
    std::string Text(MessageId id) const;
    // A message that carries one number (the remaining minutes).
    std::string Text(MessageId id, int number) const;

    // A line on standard output unless --quiet.
    void Say(const std::string& line);
    // "teelink-cli: " and the line on standard error, whatever --quiet says.
    void Complain(const std::string& line);
    // The command's outcome has been told (the result line of --json, or its
    // words); a signal after it adds nothing.
    void MarkResultTold() { m_resultTold = true; }
    bool ResultTold() const { return m_resultTold; }
    // A signal ended the command before it told its outcome: "Operation
    // aborted", and under --json the result line of a cancel.
    void TellAborted();

    // Enumerates and picks the one device to use; otherwise the exit status,
    // after saying why.
    std::optional<int> ChooseDevice();
    // Says that no device can be used (none is connected, or the ones there
    // are held by another program or may not be opened by this user) and
    // what to do, and gives the exit status.
    int NoDevice();
    // Says why `device` cannot be used and what to do; gives the exit status.
    int TellUnusable(const CUnusableDevice& device);
    // Works on `device` from now on.
    void UseDevice(const CDevice& device);
    // Identity (and with ReadDevice the course data date) of the chosen device
    // into the document, which from then on names it as the identified device.
    bool ReadIdentity();
    bool ReadDevice();
    // The latest versions into the document; otherwise the exit status,
    // after saying why.
    std::optional<int> QueryServer();
    // The window's start-up sequence (versions, the tool's own update check,
    // the area list); otherwise the exit status, after saying why.
    std::optional<int> StartUp();

private:
    // The exit status for a failed request to the server, after saying why;
    // nothing when `query` succeeded and no signal came.
    std::optional<int> ServerFailure(const Status& query);
    // The failure's own texts, then the device and `line`.
    void ComplainAbout(const CFailure& failure, const std::string& line);

    CCliOptions m_options;
    CCliIo m_io;
    CCliNotifier m_notifier;
    CMessageTable m_messages;
    CDeviceList m_devices;
    CDevice m_device;
    CTeelinkDoc m_doc;
    bool m_resultTold = false;
};

// The document's course data date as the device holds it (yymmdd): empty when
// the device has no course data.
std::string CourseDateText(const CTeelinkDoc& doc);
// A device's yymmdd date as 2017-03-15; the text as it is when it is no date.
std::string IsoCourseDate(const std::string& raw);

}  // namespace teelink
