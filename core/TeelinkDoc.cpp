#include "core/TeelinkDoc.h"

#include "BuildConfig.h"
#include "core/MessageTable.h"

CTeelinkDoc::CTeelinkDoc(CDeviceList& devices, IUserNotifier& notifier,
                         const CMessageTable& messages, std::wstring toolVersion)
    : m_strToolVersion(std::move(toolVersion)),
      m_strScriptUrl(teelink::build::kUpdateUrl),
      m_devices(devices),
      m_notifier(notifier),
      m_messages(messages) {}

std::wstring CTeelinkDoc::DefaultToolVersion() {
    const std::string v = teelink::build::kProductVersion;
    return std::wstring(v.begin(), v.end());  // the build option is plain ASCII
}

int CTeelinkDoc::Language() const {
    return m_messages.m_nLanguage;
}
