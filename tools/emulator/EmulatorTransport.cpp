#include "emulator/EmulatorTransport.h"

#include "emulator/BusTransport.h"
#include "emulator/GadgetTransport.h"

namespace teelink {

std::unique_ptr<CEmulatorTransport> MakeEmulatorTransport(EmulatorTransport kind) {
    switch (kind) {
        case EmulatorTransport::Socket:
            return std::make_unique<CSocketTransport>();
        case EmulatorTransport::Tcp:
            return std::make_unique<CTcpTransport>();
        case EmulatorTransport::Gadget:
            return std::make_unique<CGadgetTransport>();
    }
    return nullptr;
}

}  // namespace teelink
