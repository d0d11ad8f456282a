#pragma once

#include <string>

#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "tests/support/Recorders.h"
#include "tests/support/TestHttpServer.h"

// "TL", a zero byte, then `rest`: the framing every answer starts with.
inline std::string Framed(const std::string& rest) {
    return std::string("TL\0", 3) + rest;
}

inline std::string Le16(unsigned v) {
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

// A document wired to a loopback test server and a recording notifier.
struct CServerFixture {
    CTestHttpServer server;
    CDeviceList devices{CDeviceBusConfig{"", false, 100}};
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc{devices, notifier, messages};

    CServerFixture() { doc.m_strScriptUrl = server.ScriptUrl(); }
};
