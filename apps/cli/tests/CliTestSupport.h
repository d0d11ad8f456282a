#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "testsupport/ChildProcess.h"
#include "testsupport/Files.h"

namespace teelink {

// teelink-device-emulator on a test's bus, ready once it has said so.
class CEmulatorExe {
public:
    CEmulatorExe(const std::string& busDir, const std::string& label,
                 std::vector<std::string> options = {});
    // The device path teelink-cli lists for it.
    const std::string& DevicePath() const { return m_devicePath; }
    // Stops it the way Ctrl-C does, so that it writes its inspection files.
    int Stop();

private:
    CChildProcess m_process;
    std::string m_devicePath;
};

// teelink-update-server with the sample content on an ephemeral loopback port.
class CUpdateServerExe {
public:
    CUpdateServerExe();
    const std::string& ScriptUrl() const { return m_url; }

private:
    CChildProcess m_process;
    std::string m_url;
};

struct CCliResult {
    int exit = -1;
    std::string out;
    std::string err;
};

std::vector<std::string> CliArgv(const std::vector<std::string>& args);
CCliResult RunCli(const std::vector<std::string>& args);

// A parsed flat JSON object: strings, integers, true/false and null.
using CJsonValue = std::variant<std::nullptr_t, bool, int64_t, std::string>;
using CJsonObject = std::map<std::string, CJsonValue>;

// One object per line; nullopt when any line is not a flat JSON object.
std::optional<std::vector<CJsonObject>> ParseJsonLines(const std::string& text);
std::optional<CJsonObject> ParseJsonObject(const std::string& line);

// The written runs of an emulator's memory dump, by address.
std::map<uint32_t, std::vector<uint8_t>> ReadMemoryDump(const std::string& path);

std::vector<std::string> Lines(const std::string& text);
// How often `what` occurs in `text`.
size_t Count(const std::string& text, const std::string& what);

}  // namespace teelink
