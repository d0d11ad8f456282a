#pragma once

#include <string>

#include "common/ByteOrder.h"
#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "refserver/AnswerWriter.h"
#include "testsupport/Recorders.h"
#include "testsupport/TestHttpServer.h"

namespace teelink {

// "TL", a zero byte, then `rest`: the framing every answer starts with.
inline std::string Framed(const std::string& rest) {
    return FramedAnswer(rest);
}

inline std::string Le16(unsigned v) {
    std::string bytes;
    teelink::AppendLe16(bytes, static_cast<uint16_t>(v));
    return bytes;
}

// A document wired to a loopback test server and a recording notifier.
struct CServerFixture {
    CTestHttpServer server;
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc{messages};

    CServerFixture() { doc.m_strScriptUrl = server.ScriptUrl(); }
};

}  // namespace teelink
