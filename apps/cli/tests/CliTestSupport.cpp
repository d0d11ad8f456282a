#include "cli/tests/CliTestSupport.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cctype>
#include <sstream>

#include "common/ByteOrder.h"

namespace teelink {

CEmulatorExe::CEmulatorExe(const std::string& busDir, const std::string& label,
                           std::vector<std::string> options)
    : m_process([&] {
          std::vector<std::string> argv = {TEELINK_EMULATOR_EXE, "--bus", busDir, "--label", label};
          argv.insert(argv.end(), options.begin(), options.end());
          return argv;
      }()) {
    const std::string prefix = "listening on ";
    EXPECT_TRUE(m_process.WaitForOutput("\n")) << m_process.Err();
    const std::string& out = m_process.Out();
    if (out.rfind(prefix, 0) == 0) {
        m_devicePath = "emu:" + out.substr(prefix.size(), out.find('\n') - prefix.size());
    }
}

int CEmulatorExe::Stop() {
    m_process.Signal(SIGINT);
    return m_process.Finish();
}

CUpdateServerExe::CUpdateServerExe()
    : m_process(
          {TEELINK_UPDATE_SERVER_EXE, "--port", "0", "--content", TEELINK_SAMPLE_CONTENT_DIR}) {
    const auto serving = [](const std::string& out) {
        const size_t at = out.find("serving ");
        return at != std::string::npos && out.find('\n', at) != std::string::npos;
    };
    EXPECT_TRUE(m_process.WaitForOutput(serving)) << m_process.Err();
    const std::string& out = m_process.Out();
    const size_t at = out.find(" at ", out.find("serving "));
    if (at != std::string::npos) {
        m_url = out.substr(at + 4, out.find('\n', at) - at - 4);
    }
}

std::vector<std::string> CliArgv(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {TEELINK_CLI_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

CCliResult RunCli(const std::vector<std::string>& args) {
    CChildProcess process(CliArgv(args));
    CCliResult result;
    result.exit = process.Finish();
    result.out = process.Out();
    result.err = process.Err();
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++count;
    }
    return count;
}

namespace {

// A recursive-descent reader of exactly what the --json output may hold.
class CJsonReader {
public:
    explicit CJsonReader(const std::string& text) : m_text(text) {}

    std::optional<CJsonObject> Object() {
        CJsonObject object;
        if (!Take('{')) {
            return std::nullopt;
        }
        if (Take('}')) {
            return End() ? std::optional(object) : std::nullopt;
        }
        do {
            auto key = String();
            std::optional<CJsonValue> value;
            if (!key || !Take(':') || !(value = Value()) || object.count(*key) != 0) {
                return std::nullopt;
            }
            object[*key] = *value;
        } while (Take(','));
        return Take('}') && End() ? std::optional(object) : std::nullopt;
    }

private:
    bool Take(char c) {
        if (m_at < m_text.size() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    bool Word(const std::string& word) {
        if (m_text.compare(m_at, word.size(), word) != 0) {
            return false;
        }
        m_at += word.size();
        return true;
    }
    bool End() const { return m_at == m_text.size(); }

    std::optional<CJsonValue> Value() {
        if (m_at < m_text.size() && m_text[m_at] == '"') {
            auto text = String();
            return text ? std::optional<CJsonValue>(*text) : std::nullopt;
        }
        if (Word("true")) {
            return CJsonValue(true);
        }
        if (Word("false")) {
            return CJsonValue(false);
        }
        if (Word("null")) {
            return CJsonValue(nullptr);
        }
        const size_t start = m_at;
        Take('-');
        while (m_at < m_text.size() && std::isdigit(static_cast<unsigned char>(m_text[m_at]))) {
            ++m_at;
        }
        if (m_at == start || m_text[m_at - 1] == '-') {
            return std::nullopt;
        }
        return CJsonValue(static_cast<int64_t>(std::stoll(m_text.substr(start, m_at - start))));
    }

    std::optional<std::string> String() {
        if (!Take('"')) {
            return std::nullopt;
        }
        std::string out;
        while (m_at < m_text.size() && m_text[m_at] != '"') {
            const char c = m_text[m_at++];
            if (static_cast<unsigned char>(c) < 0x20) {
                return std::nullopt;  // raw control characters are not JSON
            }
            if (c != '\\') {
                out += c;
            } else if (!Escape(out)) {
                return std::nullopt;
            }
        }
        return Take('"') ? std::optional(out) : std::nullopt;
    }

    bool Escape(std::string& out) {
        if (m_at >= m_text.size()) {
            return false;
        }
        const char c = m_text[m_at++];
        const std::string simple = "\"\\/bfnrt";
        const std::string meaning = "\"\\/\b\f\n\r\t";
        if (const size_t i = simple.find(c); i != std::string::npos) {
            out += meaning[i];
            return true;
        }
        if (c != 'u' || m_at + 4 > m_text.size()) {
            return false;
        }
        const unsigned code = std::stoul(m_text.substr(m_at, 4), nullptr, 16);
        m_at += 4;
        if (code >= 0x80) {
            return false;  // the output escapes control characters only
        }
        out += static_cast<char>(code);
        return true;
    }

    const std::string& m_text;
    size_t m_at = 0;
};

}  // namespace

std::optional<CJsonObject> ParseJsonObject(const std::string& line) {
    return CJsonReader(line).Object();
}

std::optional<std::vector<CJsonObject>> ParseJsonLines(const std::string& text) {
    std::vector<CJsonObject> objects;
    for (const std::string& line : Lines(text)) {
        auto object = ParseJsonObject(line);
        if (!object) {
            ADD_FAILURE() << "not a JSON object: " << line;
            return std::nullopt;
        }
        objects.push_back(*object);
    }
    return objects;
}

std::map<uint32_t, std::vector<uint8_t>> ReadMemoryDump(const std::string& path) {
    const std::vector<uint8_t> bytes = ReadFileBytes(path);
    std::map<uint32_t, std::vector<uint8_t>> runs;
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const uint32_t address = teelink::LoadLe32(bytes.data() + at);
        const uint32_t length = teelink::LoadLe32(bytes.data() + at + 4);
        at += 8;
        if (at + length > bytes.size()) {
            ADD_FAILURE() << "memory dump cut short";
            break;
        }
        runs[address].assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return runs;
}

}  // namespace teelink
