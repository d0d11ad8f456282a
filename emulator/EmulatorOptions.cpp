#include "emulator/EmulatorOptions.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <vector>

#include "BuildConfig.h"
#include "device/Protocol.h"

namespace {

const std::set<std::string> kValueOptions = {
    "--bus",         "--label",         "--vendor-id",      "--product-id",
    "--model",       "--hardware-code", "--system-version", "--course-date",
    "--log-fill",    "--log-file",      "--favorite",       "--favorites-file",
    "--preload",     "--no-ack",        "--refuse-ack",     "--report-interval-us",
    "--stall-after", "--unplug-after",  "--memory-dump",    "--command-log",
    "--faults-from",
};

std::optional<unsigned long long> ParseNumber(const std::string& text, unsigned long long maximum) {
    std::string_view digits = text;
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
    }
    unsigned long long value = 0;
    const auto [end, status] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || status != std::errc() || end != digits.data() + digits.size() ||
        value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<uint16_t> ParseId(const std::string& text) {
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
    }
    uint16_t value = 0;
    const auto [end, status] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || status != std::errc() || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<uint8_t> ParseCommand(const std::string& name) {
    if (name == "identity") {
        return CMD_READ_IDENTITY;
    }
    if (name == "read") {
        return CMD_READ_BLOCK;
    }
    if (name == "write") {
        return CMD_WRITE_BLOCK;
    }
    if (name == "favorites") {
        return CMD_READ_FAVORITES;
    }
    if (name == "any") {
        return CEmulatorFaults::ANY_COMMAND;
    }
    return std::nullopt;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// SLOT:N:S:G:DATE, DATE up to ten characters.
bool ParseFavorite(const std::string& text, std::array<uint8_t, 240>& table) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t colon = text.find(':', start);
        if (colon == std::string::npos) {
            return false;
        }
        fields.push_back(text.substr(start, colon - start));
        start = colon + 1;
    }
    fields.push_back(text.substr(start));
    const auto slot = ParseNumber(fields[0], 15);
    const auto n = ParseNumber(fields[1], 0xFFFF);
    const auto s = ParseNumber(fields[2], 0xFF);
    const auto g = ParseNumber(fields[3], 0xFFFF);
    if (!slot || !n || !s || !g || fields[4].size() > 10) {
        return false;
    }
    uint8_t* entry = table.data() + *slot * 15;
    std::fill(entry, entry + 15, 0);
    entry[0] = static_cast<uint8_t>(*n);
    entry[1] = static_cast<uint8_t>(*n >> 8);
    entry[2] = static_cast<uint8_t>(*s);
    entry[3] = static_cast<uint8_t>(*g);
    entry[4] = static_cast<uint8_t>(*g >> 8);
    std::copy(fields[4].begin(), fields[4].end(), entry + 5);
    return true;
}

}  // namespace

std::string EmulatorUsage(const std::string& program) {
    return "usage: " + program + R"( [options]

Puts one emulated Zorvik device on the emulator bus and answers the tool's
commands until it is stopped (Ctrl-C, SIGTERM) or unplugs itself. Prints
"listening on PATH" once the device can be found.

Bus and identity:
  --bus DIR                 bus directory (default )" +
           std::string(teelink::build::kEmulatorBus) + R"()
  --label LABEL             interface label: letters, digits, '-', '_' (default zorvik)
  --vendor-id HEX           USB vendor id (default 0483)
  --product-id HEX          USB product id (default 5750)
  --model MODEL             R7, R8, KS2 or any three characters (default R7)
  --hardware-code TEXT      identity hardware code, up to 3 characters (default A01)
  --system-version TEXT     identity system version, up to 5 characters (default 1.05)

Memory (unwritten memory reads as 0xFF):
  --course-date DATE|none   six characters in the course data header at 0x280000,
                            or no header (default 170315)
  --log-fill BYTE           fill the 64 KiB log image at 0x23000 with BYTE
  --log-file FILE           log image from FILE (at most 64 KiB)
  --favorite SLOT:N:S:G:DATE
                            favourites entry SLOT (0-15): course n, s, g and a date of
                            up to ten characters; repeatable
  --favorites-file FILE     the whole favourites table (240 bytes)
  --preload ADDR:FILE       place FILE's bytes at device address ADDR; repeatable

Timing and faults (CMD is identity, read, write, favorites or any):
  --report-interval-us N    at most one report per N microseconds (default 0; a
                            full-speed interrupt endpoint is 1000)
  --no-ack CMD              take CMD but never acknowledge it
  --refuse-ack CMD          acknowledge CMD with a word other than AAAAAAAA
  --stall-after K           stop after K data payloads of a block read, block write
                            or favourites read
  --no-final-ack            store written blocks but never confirm them
  --ignore-end              the end command has no effect
  --unplug-after N          drop off the bus after answering N commands
  --faults-from N           the faults above, but unplugging, act only from the
                            device's Nth command on (the first is 1)

Inspection (written on exit and on SIGUSR1):
  --memory-dump FILE        written memory: per run, address and length (32-bit
                            little-endian), then the bytes
  --command-log FILE        one line per command received

  --help                    this text
)";
}

bool ParseEmulatorOptions(int argc, const char* const argv[], CEmulatorOptions& options,
                          std::string& error) {
    CEmulatorConfig& config = options.config;
    config = DefaultEmulatorConfig(teelink::build::kEmulatorBus);
    std::string model = "R7";
    std::string hardwareCode = "A01";
    std::string systemVersion = "1.05";

    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        const auto bad = [&](const std::string& why) {
            error = option + ": " + why;
            return false;
        };
        if (option == "--help" || option == "-h") {
            options.help = true;
            continue;
        }
        if (option == "--no-final-ack") {
            config.faults.noFinalAck = true;
            continue;
        }
        if (option == "--ignore-end") {
            config.faults.ignoreEnd = true;
            continue;
        }
        if (!kValueOptions.contains(option)) {
            error = "unknown option " + option;
            return false;
        }
        const auto argument = value();
        if (!argument) {
            return bad("needs a value");
        }
        const std::string& text = *argument;
        if (option == "--bus") {
            config.busDir = text;
        } else if (option == "--label") {
            config.label = text;
        } else if (option == "--vendor-id" || option == "--product-id") {
            const auto id = ParseId(text);
            if (!id) {
                return bad("expects four hex digits");
            }
            (option == "--vendor-id" ? config.vendorId : config.productId) = *id;
        } else if (option == "--model") {
            if (text.empty() || text.size() > 3) {
                return bad("expects one to three characters");
            }
            model = text;
        } else if (option == "--hardware-code") {
            hardwareCode = text;
        } else if (option == "--system-version") {
            systemVersion = text;
        } else if (option == "--course-date") {
            if (text == "none") {
                config.courseDate.reset();
            } else if (text.size() == 6) {
                config.courseDate = text;
            } else {
                return bad("expects six characters or none");
            }
        } else if (option == "--log-fill") {
            const auto fill = ParseNumber(text, 0xFF);
            if (!fill) {
                return bad("expects a byte value");
            }
            config.logImage.assign(LOG_IMAGE_SIZE, static_cast<uint8_t>(*fill));
        } else if (option == "--log-file") {
            if (!ReadFile(text, config.logImage)) {
                return bad("cannot read " + text);
            }
            if (config.logImage.size() > LOG_IMAGE_SIZE) {
                config.logImage.resize(LOG_IMAGE_SIZE);
            }
        } else if (option == "--favorite") {
            if (!ParseFavorite(text, config.favorites)) {
                return bad("expects SLOT:N:S:G:DATE");
            }
        } else if (option == "--favorites-file") {
            std::vector<uint8_t> bytes;
            if (!ReadFile(text, bytes)) {
                return bad("cannot read " + text);
            }
            config.favorites.fill(0);
            std::copy_n(bytes.begin(), std::min(bytes.size(), config.favorites.size()),
                        config.favorites.begin());
        } else if (option == "--preload") {
            const size_t colon = text.find(':');
            const auto address = colon == std::string::npos
                                     ? std::nullopt
                                     : ParseNumber(text.substr(0, colon), 0xFFFFFFFF);
            CMemoryPreload preload;
            if (!address) {
                return bad("expects ADDR:FILE");
            }
            preload.address = static_cast<uint32_t>(*address);
            if (!ReadFile(text.substr(colon + 1), preload.bytes)) {
                return bad("cannot read " + text.substr(colon + 1));
            }
            config.preloads.push_back(std::move(preload));
        } else if (option == "--report-interval-us") {
            const auto interval = ParseNumber(text, 10'000'000);
            if (!interval) {
                return bad("expects microseconds up to 10000000");
            }
            config.reportIntervalUs = static_cast<unsigned>(*interval);
        } else if (option == "--no-ack" || option == "--refuse-ack") {
            const auto command = ParseCommand(text);
            if (!command) {
                return bad("expects identity, read, write, favorites or any");
            }
            (option == "--no-ack" ? config.faults.noAckFor : config.faults.refuseAckFor) = command;
        } else if (option == "--stall-after") {
            const auto count = ParseNumber(text, 63);
            if (!count) {
                return bad("expects 0 to 63");
            }
            config.faults.stallAfterPayloads = static_cast<int>(*count);
        } else if (option == "--unplug-after") {
            const auto count = ParseNumber(text, 1'000'000'000);
            if (!count || *count == 0) {
                return bad("expects a positive count");
            }
            config.faults.unplugAfterCommands = static_cast<int>(*count);
        } else if (option == "--faults-from") {
            const auto count = ParseNumber(text, 1'000'000'000);
            if (!count || *count == 0) {
                return bad("expects a positive count");
            }
            config.faults.fromCommand = *count;
        } else if (option == "--memory-dump") {
            options.memoryDumpFile = text;
        } else if (option == "--command-log") {
            options.commandLogFile = text;
        }
    }
    config.identity = MakeIdentityRecord(model, hardwareCode, systemVersion);
    return true;
}
