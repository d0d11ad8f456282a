#pragma once

// The byte layouts of the update server's answers. Every answer the tool takes
// starts with the framing "TL" and a zero byte; numbers are little-endian. The
// reference server, the package builder and the tests' fake servers all write
// answers through here, so that they cannot drift apart.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace teelink {

inline constexpr std::string_view ANSWER_FRAMING{"TL\0", 3};

// One answer, field by field, after the framing.
class CAnswerWriter {
public:
    CAnswerWriter() : m_bytes(ANSWER_FRAMING) {}
    // Fields without the framing: a part whose length goes before it.
    static CAnswerWriter Part();

    CAnswerWriter& U8(uint8_t value);
    CAnswerWriter& U16(uint16_t value);
    CAnswerWriter& U32(uint32_t value);
    CAnswerWriter& Bytes(std::string_view bytes);
    // A one-byte count, then the bytes (at most 255 of them).
    CAnswerWriter& Counted(std::string_view bytes);

    size_t Size() const { return m_bytes.size(); }
    std::string_view View() const { return m_bytes; }
    std::string Take() { return std::move(m_bytes); }

private:
    std::string m_bytes;
};

// The framing, then `body` as it is.
std::string FramedAnswer(std::string_view body);

// md=3, md=4, md=13: the framing and the archive size (the head the server
// sends before the archive), and the whole answer when the archive is at hand.
std::string PackageHeader(uint32_t archiveSize);
std::string PackageAnswer(const std::vector<uint8_t>& archive);

// md=1: each version followed by ':'.
std::string VersionsAnswer(const std::vector<std::string>& versions);

// md=14: L (16 bits, counting N and the records), N, then per area its counted
// code and counted name.
struct CAreaEntry {
    std::string code;
    std::string name;
};
std::string AreaListAnswer(const std::vector<CAreaEntry>& areas);

// md=6 to md=12: L (16 bits, counting the records), N, then per record id,
// sub, number, flags, a reserved zero and the counted name.
struct CListRecord {
    uint16_t id = 0;
    uint8_t sub = 0;
    uint16_t number = 0;
    uint16_t flags = 0;
    std::string name;
};
std::string DirectoryListAnswer(const std::vector<CListRecord>& records);

// md=5: K (one byte, counting the date and the name), the ten-character date,
// then the name.
std::string CourseInfoAnswer(std::string_view date, std::string_view name);

}  // namespace teelink
