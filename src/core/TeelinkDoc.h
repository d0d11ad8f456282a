#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "history/History.h"
#include "updateclient/CatalogueRecords.h"
#include "updateclient/ServerSettings.h"

namespace teelink {

class CMessageTable;

// The one document: what the pages, workers, device link and server client learn
// and what the user chooses. Lives from start-up to exit; never stored, never
// marked modified. Only its owner's thread reads and writes it (see
// docs/architecture.md).
class CTeelinkDoc {
public:
    explicit CTeelinkDoc(const CMessageTable& messages,
                         std::wstring toolVersion = DefaultToolVersion());
    CTeelinkDoc(const CTeelinkDoc&) = delete;
    CTeelinkDoc& operator=(const CTeelinkDoc&) = delete;

    // The product version compiled into this build, in its dotted form.
    static std::wstring DefaultToolVersion();

    int Language() const;

    // The document belongs to the thread that made it: jobs get copies of what
    // they need and hand their results back to that thread. In test builds
    // every way into the document checks this and aborts the program when a
    // job's thread, or any other, reaches it; elsewhere it costs nothing.
    void CheckThread() const;

    std::array<FavoriteSlot, FAVORITE_SLOT_COUNT> m_favourites{};
    std::vector<CItemList> m_itemList;
    std::vector<CAreaList> m_areaList;
    std::wstring m_strToolVersion;
    std::wstring m_strSystemVersion;
    std::wstring m_strLatestTool;
    std::wstring m_strLatestR7;
    std::wstring m_strLatestR8;
    std::wstring m_strLatestKS2;
    std::wstring m_strModel;
    std::array<char, 4> m_szModelId{};
    std::wstring m_strModelCode;
    int32_t m_nUpdateMode = 0;
    int32_t m_nAreaIndex = 0;
    uint8_t m_nSelR = 0;
    uint8_t m_nSelIl = 0;
    uint16_t m_nSelN = 0;
    uint8_t m_nSelS = 0;
    uint8_t m_nSelI = 0;
    uint16_t m_nSelG = 0;
    std::wstring m_strSelName;
    std::wstring m_strCourseDate;
    // The path of the device whose identity and course date the fields above
    // hold: the device every later operation opens. Empty until one is read.
    std::string m_strDevicePath;

    // The update server's script URL; the build's value, replaced only by tests.
    std::string m_strScriptUrl;
    CServerSettings m_serverSettings;

private:
    const CMessageTable& m_messages;
    std::thread::id m_owner = std::this_thread::get_id();
};

// Update modes of the update page.
enum UpdateMode : int32_t {
    UPDATE_COURSE_DATA = 0,
    UPDATE_SYSTEM_DATA = 1,
    UPDATE_FAVORITE_DATA = 2,
};

// A history record of `operation` by `program` that names the identified
// device as the document describes it before the operation: model, hardware
// code, versions and course date.
CHistoryRecord HistoryRecordOf(const CTeelinkDoc& doc, std::string program, std::string operation);

}  // namespace teelink
