#pragma once

#include <string>

#include "emulator/DeviceEmulator.h"

namespace teelink {

// The command line of teelink-device-emulator.
struct CEmulatorOptions {
    CEmulatorConfig config;
    std::string memoryDumpFile;  // written on exit and on SIGUSR1
    std::string commandLogFile;  // likewise
    bool help = false;
};

// Fills options from argv; on a bad command line returns false with the reason
// in error.
bool ParseEmulatorOptions(int argc, const char* const argv[], CEmulatorOptions& options,
                          std::string& error);

std::string EmulatorUsage(const std::string& program);

}  // namespace teelink
