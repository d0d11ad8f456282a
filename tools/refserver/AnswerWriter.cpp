#include "refserver/AnswerWriter.h"

#include "common/ByteOrder.h"

namespace teelink {

CAnswerWriter CAnswerWriter::Part() {
    CAnswerWriter part;
    part.m_bytes.clear();
    return part;
}

CAnswerWriter& CAnswerWriter::U8(uint8_t value) {
    m_bytes.push_back(static_cast<char>(value));
    return *this;
}

CAnswerWriter& CAnswerWriter::U16(uint16_t value) {
    teelink::AppendLe16(m_bytes, value);
    return *this;
}

CAnswerWriter& CAnswerWriter::U32(uint32_t value) {
    teelink::AppendLe32(m_bytes, value);
    return *this;
}

CAnswerWriter& CAnswerWriter::Bytes(std::string_view bytes) {
    m_bytes.append(bytes);
    return *this;
}

CAnswerWriter& CAnswerWriter::Counted(std::string_view bytes) {
    return U8(static_cast<uint8_t>(bytes.size())).Bytes(bytes);
}

std::string FramedAnswer(std::string_view body) {
    return CAnswerWriter().Bytes(body).Take();
}

std::string PackageHeader(uint32_t archiveSize) {
    return CAnswerWriter().U32(archiveSize).Take();
}

std::string PackageAnswer(const std::vector<uint8_t>& archive) {
    const std::string_view bytes(reinterpret_cast<const char*>(archive.data()), archive.size());
    return CAnswerWriter().U32(static_cast<uint32_t>(archive.size())).Bytes(bytes).Take();
}

std::string VersionsAnswer(const std::vector<std::string>& versions) {
    CAnswerWriter answer;
    for (const std::string& version : versions) {
        answer.Bytes(version).Bytes(":");
    }
    return answer.Take();
}

std::string AreaListAnswer(const std::vector<CAreaEntry>& areas) {
    CAnswerWriter records = CAnswerWriter::Part();
    for (const CAreaEntry& area : areas) {
        records.Counted(area.code).Counted(area.name);
    }
    return CAnswerWriter()
        .U16(static_cast<uint16_t>(records.Size() + 1))
        .U8(static_cast<uint8_t>(areas.size()))
        .Bytes(records.View())
        .Take();
}

std::string DirectoryListAnswer(const std::vector<CListRecord>& records) {
    CAnswerWriter body = CAnswerWriter::Part();
    for (const CListRecord& r : records) {
        body.U16(r.id).U8(r.sub).U16(r.number).U16(r.flags).U16(0).Counted(r.name);
    }
    return CAnswerWriter()
        .U16(static_cast<uint16_t>(body.Size()))
        .U8(static_cast<uint8_t>(records.size()))
        .Bytes(body.View())
        .Take();
}

std::string CourseInfoAnswer(std::string_view date, std::string_view name) {
    return CAnswerWriter()
        .U8(static_cast<uint8_t>(date.size() + name.size()))
        .Bytes(date)
        .Bytes(name)
        .Take();
}

}  // namespace teelink
