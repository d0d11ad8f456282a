#include "emulator/EmulatorOptions.h"

#include <CLI/CLI.hpp>

#include <deque>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "BuildConfig.h"
#include "common/ByteOrder.h"
#include "common/Text.h"
#include "device/Protocol.h"

namespace teelink {

namespace {

// CLI11 takes the command line apart; the values are applied afterwards in the
// order they were given, so a later option still overrides an earlier one
// (a --favorite after --favorites-file changes one slot of the file's table).
class COrderedOptions {
public:
    // Checks and applies one value: empty, or what is wrong with the value.
    using Apply = std::function<std::string(const std::string& value)>;

    void Add(CLI::App& app, const std::string& name, const std::string& valueName,
             const std::string& help, Apply apply) {
        Entry& entry = m_entries.emplace_back();
        entry.apply = std::move(apply);
        CLI::Option* option = app.add_option(name, entry.values, help)
                                  ->type_name(valueName)
                                  ->expected(1)
                                  ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        option->group(m_group);
        m_byOption[option] = &entry;
    }

    // An option whose value is taken as it is.
    void AddText(CLI::App& app, const std::string& name, const std::string& valueName,
                 const std::string& help, std::string& target) {
        Add(app, name, valueName, help, [&target](const std::string& value) {
            target = value;
            return std::string();
        });
    }

    // The help text's heading of the options added from now on.
    void Group(std::string name) { m_group = std::move(name); }

    bool ApplyInOrder(const CLI::App& app, std::string& error) {
        for (const CLI::Option* option : app.parse_order()) {
            const auto found = m_byOption.find(option);
            if (found == m_byOption.end()) {
                continue;  // a flag, applied by CLI11 itself
            }
            Entry& entry = *found->second;
            const std::string why = entry.apply(entry.values.at(entry.next++));
            if (!why.empty()) {
                error = option->get_name() + ": " + why;
                return false;
            }
        }
        return true;
    }

private:
    struct Entry {
        std::vector<std::string> values;
        Apply apply;
        size_t next = 0;
    };
    std::deque<Entry> m_entries;  // CLI11 keeps pointers to the values
    std::map<const CLI::Option*, Entry*> m_byOption;
    std::string m_group;
};

// Decimal, or hexadecimal after "0x".
std::optional<uint64_t> ParseCount(std::string_view text, uint64_t maximum) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        return teelink::ParseNumber<uint64_t>(text.substr(2), 0, maximum, 16);
    }
    return teelink::ParseNumber<uint64_t>(text, 0, maximum);
}

// Hexadecimal, "0x" optional.
std::optional<uint16_t> ParseId(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    return teelink::ParseNumber<uint16_t>(text, 0, 0xFFFF, 16);
}

std::optional<uint8_t> ParseCommand(const std::string& name) {
    static const std::map<std::string, uint8_t> kCommands = {
        {"identity", CMD_READ_IDENTITY},
        {"read", CMD_READ_BLOCK},
        {"write", CMD_WRITE_BLOCK},
        {"favorites", CMD_READ_FAVORITES},
        {"any", CEmulatorFaults::ANY_COMMAND},
    };
    const auto found = kCommands.find(name);
    return found == kCommands.end() ? std::nullopt : std::optional<uint8_t>(found->second);
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
    const auto slot = ParseCount(fields[0], 15);
    const auto n = ParseCount(fields[1], 0xFFFF);
    const auto s = ParseCount(fields[2], 0xFF);
    const auto g = ParseCount(fields[3], 0xFFFF);
    if (!slot || !n || !s || !g || fields[4].size() > 10) {
        return false;
    }
    SetFavoriteEntry(table, *slot, static_cast<uint16_t>(*n), static_cast<uint8_t>(*s),
                     static_cast<uint16_t>(*g), fields[4]);
    return true;
}

// The parts of the identity record, made once all of them are known.
struct CIdentityParts {
    std::string model = "R7";
    std::string hardwareCode = "A01";
    std::string systemVersion = "1.05";
};

void AddBusOptions(CLI::App& app, COrderedOptions& table, CEmulatorConfig& config,
                   CIdentityParts& identity) {
    table.Group("Bus and identity");
    table.AddText(app, "--bus", "DIR",
                  std::string("bus directory (default ") + teelink::build::kEmulatorBus + ")",
                  config.busDir);
    table.AddText(app, "--label", "LABEL",
                  "interface label: letters, digits, '-', '_' (default zorvik)", config.label);
    table.Add(app, "--transport", "KIND",
              "socket (a sequenced-packet socket, the default) or tcp (127.0.0.1, "
              "announced by a .tcp file; the one a Windows tool can reach)",
              [&config](const std::string& value) -> std::string {
                  if (value == "socket") {
                      config.transport = EmulatorTransport::Socket;
                  } else if (value == "tcp") {
                      config.transport = EmulatorTransport::Tcp;
                  } else {
                      return "expects socket or tcp";
                  }
                  return {};
              });
    table.Add(app, "--gadget", "NODE",
              "serve on the device end of a USB HID gadget instead of the bus: its /dev/hidgN "
              "node (Linux; the gadget is made beforehand, with report_length 64)",
              [&config](const std::string& value) -> std::string {
                  config.transport = EmulatorTransport::Gadget;
                  config.gadgets = {value};
                  return {};
              });
    for (const bool vendor : {true, false}) {
        uint16_t& id = vendor ? config.vendorId : config.productId;
        table.Add(app, vendor ? "--vendor-id" : "--product-id", "HEX",
                  vendor ? "USB vendor id (default 0483)" : "USB product id (default 5750)",
                  [&id](const std::string& value) -> std::string {
                      const auto parsed = ParseId(value);
                      if (!parsed) {
                          return "expects four hex digits";
                      }
                      id = *parsed;
                      return {};
                  });
    }
    table.Add(app, "--model", "MODEL", "R7, R8, KS2 or any three characters (default R7)",
              [&identity](const std::string& value) -> std::string {
                  if (value.empty() || value.size() > 3) {
                      return "expects one to three characters";
                  }
                  identity.model = value;
                  return {};
              });
    table.AddText(app, "--hardware-code", "TEXT",
                  "identity hardware code, up to 3 characters (default A01)",
                  identity.hardwareCode);
    table.AddText(app, "--system-version", "TEXT",
                  "identity system version, up to 5 characters (default 1.05)",
                  identity.systemVersion);
}

void AddImageOptions(CLI::App& app, COrderedOptions& table, CEmulatorConfig& config) {
    table.Add(app, "--log-fill", "BYTE", "fill the 64 KiB log image at 0x23000 with BYTE",
              [&config](const std::string& value) -> std::string {
                  const auto fill = ParseCount(value, 0xFF);
                  if (!fill) {
                      return "expects a byte value";
                  }
                  config.logImage.assign(LOG_IMAGE_SIZE, static_cast<uint8_t>(*fill));
                  return {};
              });
    table.Add(app, "--log-file", "FILE", "log image from FILE (at most 64 KiB)",
              [&config](const std::string& value) -> std::string {
                  if (!ReadFile(value, config.logImage)) {
                      return "cannot read " + value;
                  }
                  if (config.logImage.size() > LOG_IMAGE_SIZE) {
                      config.logImage.resize(LOG_IMAGE_SIZE);
                  }
                  return {};
              });
    table.Add(app, "--favorite", "SLOT:N:S:G:DATE",
              "favourites entry SLOT (0-15): course n, s, g and a date of up to ten "
              "characters; repeatable (default: sample slots 1, 2, 3 and 5)",
              [&config](const std::string& value) -> std::string {
                  return ParseFavorite(value, config.favorites) ? "" : "expects SLOT:N:S:G:DATE";
              });
    table.Add(app, "--favorites-file", "FILE",
              "the whole favourites table (240 bytes; /dev/null for none)",
              [&config](const std::string& value) -> std::string {
                  std::vector<uint8_t> bytes;
                  if (!ReadFile(value, bytes)) {
                      return "cannot read " + value;
                  }
                  config.favorites.fill(0);
                  std::copy_n(bytes.begin(), std::min(bytes.size(), config.favorites.size()),
                              config.favorites.begin());
                  return {};
              });
}

void AddMemoryOptions(CLI::App& app, COrderedOptions& table, CEmulatorConfig& config) {
    table.Group("Memory (unwritten memory reads as 0xFF)");
    table.Add(app, "--course-date", "DATE|none",
              "six characters in the course data header at 0x280000, or no header "
              "(default 170315)",
              [&config](const std::string& value) -> std::string {
                  if (value == "none") {
                      config.courseDate.reset();
                  } else if (value.size() == 6) {
                      config.courseDate = value;
                  } else {
                      return "expects six characters or none";
                  }
                  return {};
              });
    AddImageOptions(app, table, config);
    table.Add(app, "--preload", "ADDR:FILE",
              "place FILE's bytes at device address ADDR; repeatable",
              [&config](const std::string& value) -> std::string {
                  const size_t colon = value.find(':');
                  const auto address = colon == std::string::npos
                                           ? std::nullopt
                                           : ParseCount(value.substr(0, colon), 0xFFFFFFFF);
                  if (!address) {
                      return "expects ADDR:FILE";
                  }
                  CMemoryPreload preload;
                  preload.address = static_cast<uint32_t>(*address);
                  if (!ReadFile(value.substr(colon + 1), preload.bytes)) {
                      return "cannot read " + value.substr(colon + 1);
                  }
                  config.preloads.push_back(std::move(preload));
                  return {};
              });
}

// A whole number from `minimum` to `maximum`, handed to `set`.
COrderedOptions::Apply Count(uint64_t minimum, uint64_t maximum, std::string why,
                             std::function<void(uint64_t)> set) {
    return [=](const std::string& value) -> std::string {
        const auto count = ParseCount(value, maximum);
        if (!count || *count < minimum) {
            return why;
        }
        set(*count);
        return {};
    };
}

COrderedOptions::Apply Command(std::optional<uint8_t>& target) {
    return [&target](const std::string& value) -> std::string {
        const auto command = ParseCommand(value);
        if (!command) {
            return "expects identity, read, write, favorites or any";
        }
        target = command;
        return {};
    };
}

void AddFaultOptions(CLI::App& app, COrderedOptions& table, CEmulatorFaults& faults) {
    table.Add(app, "--no-ack", "CMD", "take CMD but never acknowledge it",
              Command(faults.noAckFor));
    table.Add(app, "--refuse-ack", "CMD", "acknowledge CMD with a word other than AAAAAAAA",
              Command(faults.refuseAckFor));
    table.Add(app, "--stall-after", "K",
              "stop after K data payloads of a block read, block write or favourites read",
              Count(0, 63, "expects 0 to 63",
                    [&faults](uint64_t k) { faults.stallAfterPayloads = static_cast<int>(k); }));
    const std::string group = "Timing and faults (CMD is identity, read, write, favorites or any)";
    app.add_flag("--no-final-ack", faults.noFinalAck, "store written blocks but never confirm them")
        ->group(group);
    app.add_flag("--ignore-end", faults.ignoreEnd, "the end command has no effect")->group(group);
    app.add_flag("--alter-stored", faults.alterStored,
                 "confirm written blocks but store each with its first byte inverted")
        ->group(group);
    table.Add(app, "--unplug-after", "N", "drop off the bus after answering N commands",
              Count(1, 1'000'000'000, "expects a positive count",
                    [&faults](uint64_t n) { faults.unplugAfterCommands = static_cast<int>(n); }));
    table.Add(app, "--faults-from", "N",
              "the faults above, but unplugging, act only from the device's Nth command on "
              "(the first is 1)",
              Count(1, 1'000'000'000, "expects a positive count",
                    [&faults](uint64_t n) { faults.fromCommand = n; }));
}

void AddTimingOptions(CLI::App& app, COrderedOptions& table, CEmulatorConfig& config) {
    table.Group("Timing and faults (CMD is identity, read, write, favorites or any)");
    table.Add(app, "--report-interval-us", "N",
              "at most one report per N microseconds (default 0; a full-speed interrupt "
              "endpoint is 1000)",
              Count(0, 10'000'000, "expects microseconds up to 10000000",
                    [&config](uint64_t n) { config.reportIntervalUs = static_cast<unsigned>(n); }));
    AddFaultOptions(app, table, config.faults);
}

void AddInspectionOptions(CLI::App& app, COrderedOptions& table, CEmulatorOptions& options) {
    table.Group("Inspection (written on exit and on SIGUSR1)");
    table.AddText(app, "--memory-dump", "FILE",
                  "written memory: per run, address and length (32-bit little-endian), then "
                  "the bytes",
                  options.memoryDumpFile);
    table.AddText(app, "--command-log", "FILE", "one line per command received",
                  options.commandLogFile);
}

// The command line bound to `options`; the identity parts are applied after parsing.
void DefineOptions(CLI::App& app, COrderedOptions& table, CEmulatorOptions& options,
                   CIdentityParts& identity) {
    app.description(
        "Puts one emulated Zorvik device on the emulator bus and answers the tool's\n"
        "commands until it is stopped (Ctrl-C, SIGTERM) or unplugs itself. Prints\n"
        "\"listening on PATH\" once the device can be found.");
    app.get_formatter()->column_width(34);
    AddBusOptions(app, table, options.config, identity);
    AddMemoryOptions(app, table, options.config);
    AddTimingOptions(app, table, options.config);
    AddInspectionOptions(app, table, options);
    // Listed last, after the options it explains.
    app.set_help_flag();
    app.set_help_flag("-h,--help", "this text")->group("Help");
}

}  // namespace

std::string EmulatorUsage(const std::string& program) {
    CEmulatorOptions options;
    CIdentityParts identity;
    COrderedOptions table;
    CLI::App app{"", program};
    DefineOptions(app, table, options, identity);
    return app.help();
}

bool ParseEmulatorOptions(int argc, const char* const argv[], CEmulatorOptions& options,
                          std::string& error) {
    options.config = DefaultEmulatorConfig(teelink::build::kEmulatorBus);
    CIdentityParts identity;
    COrderedOptions table;
    CLI::App app;
    DefineOptions(app, table, options, identity);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    if (!table.ApplyInOrder(app, error)) {
        return false;
    }
    options.config.identity =
        MakeIdentityRecord(identity.model, identity.hardwareCode, identity.systemVersion);
    return true;
}

}  // namespace teelink
