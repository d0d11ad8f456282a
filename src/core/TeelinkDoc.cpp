#include "core/TeelinkDoc.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#include <vector>
#endif

#include <cstdio>
#include <cstdlib>

#include "BuildConfig.h"
#include "core/JobRunner.h"
#include "core/MessageTable.h"
#include "updateclient/TextConvert.h"

namespace teelink {

CTeelinkDoc::CTeelinkDoc(const CMessageTable& messages, std::wstring toolVersion)
    : m_strToolVersion(std::move(toolVersion)),
      m_strScriptUrl(teelink::build::kUpdateUrl),
      m_messages(messages) {}

#ifdef _WIN32
// The ProductVersion string of the executable's version resource, in the
// Japanese / Shift-JIS string table the resource script writes; empty when
// the resource or the string is missing.
std::wstring CTeelinkDoc::DefaultToolVersion() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        return {};
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<unsigned char> resource(size);
    if (!GetFileVersionInfoW(path, 0, size, resource.data())) {
        return {};
    }
    void* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(resource.data(), L"\\StringFileInfo\\041103a4\\ProductVersion", &value,
                        &chars) ||
        value == nullptr || chars == 0) {
        return {};
    }
    return std::wstring(static_cast<const wchar_t*>(value),
                        wcsnlen(static_cast<const wchar_t*>(value), chars));
}
#else
// Systems without version resources take the product version from the build.
std::wstring CTeelinkDoc::DefaultToolVersion() {
    const std::string v = teelink::build::kProductVersion;
    return std::wstring(v.begin(), v.end());  // the build option is plain ASCII
}
#endif

void CTeelinkDoc::CheckThread() const {
#ifdef TEELINK_CHECK_DOCUMENT_THREAD
    if (OnJobThread() || std::this_thread::get_id() != m_owner) {
        std::fputs("teelink: the document was reached from a thread that does not own it\n",
                   stderr);
        std::abort();
    }
#endif
}

int CTeelinkDoc::Language() const {
    CheckThread();
    return m_messages.m_nLanguage;
}

CHistoryRecord HistoryRecordOf(const CTeelinkDoc& doc, std::string program, std::string operation) {
    doc.CheckThread();
    CHistoryRecord record;
    record.program = std::move(program);
    record.operation = std::move(operation);
    record.model = WideToUtf8(doc.m_strModel);
    record.hardware = WideToUtf8(doc.m_strModelCode);
    record.systemVersion = WideToUtf8(doc.m_strSystemVersion);
    record.courseDate = WideToUtf8(doc.m_strCourseDate);
    return record;
}

}  // namespace teelink
