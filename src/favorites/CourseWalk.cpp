#include "favorites/CourseWalk.h"

#include <algorithm>

#include "core/TeelinkDoc.h"

namespace teelink {

CTeelinkDoc& CCourseWalk::Doc() const {
    m_doc.CheckThread();
    return m_doc;
}

namespace {

// Levels below this are passed through when they hold a single entry; the
// last two are always shown, so the user sees where the course comes from.
constexpr int kFirstAlwaysShownLevel = 6;

}  // namespace

WalkAction CCourseWalk::Start() {
    m_ended = false;
    m_goingBack = false;
    return RequestLevel(kFirstLevel);
}

WalkAction CCourseWalk::OnListDone() {
    if (!m_loading || m_ended) {
        return {};
    }
    m_loading = false;
    const size_t count = Doc().m_itemList.size();
    if (count == 0) {
        return {WalkAction::NoData, m_level};
    }
    if (m_level >= kFirstAlwaysShownLevel || count != 1) {
        return {WalkAction::Show, m_level};
    }
    if (m_goingBack) {
        return StepBack();
    }
    return SelectEntry(0);
}

WalkAction CCourseWalk::OnListFailed() {
    m_loading = false;
    return {};
}

WalkAction CCourseWalk::Select(size_t row) {
    if (m_loading || m_ended || row >= Doc().m_itemList.size()) {
        return {};
    }
    m_goingBack = false;
    return SelectEntry(row);
}

WalkAction CCourseWalk::StepBack() {
    if (m_loading || m_ended) {
        return {};
    }
    if (m_level <= kFirstLevel) {
        m_goingBack = false;
        return End(WalkAction::EndCancel);
    }
    m_goingBack = true;
    return RequestLevel(m_level - 1);
}

WalkAction CCourseWalk::CancelCommand() {
    m_goingBack = false;
    return End(WalkAction::EndCancel);
}

WalkAction CCourseWalk::SelectEntry(size_t index) {
    const CItemList& item = Doc().m_itemList.at(index);
    const auto low8 = static_cast<uint8_t>(item.id & 0xFF);
    switch (m_level) {
        case 1:
            Doc().m_nAreaIndex = low8;
            break;
        case 2:
            Doc().m_nSelN = item.id;
            break;
        case 3:
            Doc().m_nSelR = low8;
            break;
        case 4:
            Doc().m_nSelS = low8;
            break;
        case 5:
            Doc().m_nSelIl = low8;
            break;
        case 6:
            Doc().m_nSelI = low8;
            break;
        default:
            Doc().m_nSelN = item.id;
            Doc().m_nSelS = item.sub;
            Doc().m_nSelG = item.number;
            Doc().m_strSelName = item.name;
            m_level = 0;
            return End(WalkAction::EndOk);
    }
    return RequestLevel(m_level + 1);
}

WalkAction CCourseWalk::RequestLevel(int level) {
    m_level = level;
    m_loading = true;
    return {WalkAction::Request, level};
}

WalkAction CCourseWalk::End(WalkAction::Kind kind) {
    m_ended = true;
    m_loading = false;
    return {kind, m_level};
}

std::pair<int, int> EntryColumnWidths(int level, int clientWidth,
                                      const std::vector<CItemList>& items) {
    const int markWidth = level == CCourseWalk::kCourseLevel ? 20 : 0;
    size_t longest = 0;
    for (const CItemList& item : items) {
        longest = std::max(longest, item.name.size());
    }
    const int needed = static_cast<int>(longest + 2) * 16;
    return {markWidth, std::max(clientWidth - markWidth, needed)};
}

}  // namespace teelink
