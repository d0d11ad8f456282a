#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/MessageTable.h"
#include "core/TeelinkDoc.h"
#include "device/DeviceList.h"
#include "refserver/ReferenceServer.h"
#include "testsupport/Recorders.h"

namespace teelink {

// The sample content as the build made it, loaded once per test binary.
std::shared_ptr<const CServerContent> SampleContent();

// The reference server on an ephemeral loopback port, recording its log lines.
class CRunningReferenceServer {
public:
    explicit CRunningReferenceServer(std::shared_ptr<const CServerContent> content);
    ~CRunningReferenceServer() { m_server.Stop(); }

    std::string ScriptUrl() const { return m_server.ScriptUrl(); }
    std::vector<std::string> LogLines() const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    CReferenceServer m_server;
};

// A document whose requests go to the reference server with the sample content.
struct CReferenceFixture {
    CRunningReferenceServer server{SampleContent()};
    CRecordingNotifier notifier;
    CMessageTable messages;
    CTeelinkDoc doc{messages};

    CReferenceFixture() { doc.m_strScriptUrl = server.ScriptUrl(); }
};

// The whole body of one GET, as the request routine reads it.
std::string FetchBody(const std::string& url);

}  // namespace teelink
