#pragma once
// Layout of one process's part file: a header, then the process's trace
// records exactly as they go into the final trace, with name records mixed in
// wherever a file or section name was first used. The merge step strips the
// name records and renumbers the identifiers they define across processes.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zlvt {

constexpr char kPartMagic[8] = {'Z', 'L', 'V', 'P', 'A', 'R', 'T', '1'};
// magic, rank, world size, run key
constexpr size_t kPartHeaderSize = 8 + 4 + 4 + 8;

// A name record: tag, table, identifier, length, then `length` bytes of name
// padded with zeros to a multiple of 4. The tag differs from every tag of the
// trace format. The data of a part ends at its end or at a zero word; 4-byte
// records with tag 68 are padding.
constexpr uint32_t kTagName = 0x454D414E; // "NAME"
constexpr size_t kNameRecordHead = 16;
constexpr uint32_t kNameTableFiles = 0;
constexpr uint32_t kNameTableSections = 1;

// Trace record tags and lengths as the trace reader expects them.
constexpr uint32_t kTagCounterRec = 64;
constexpr uint32_t kTagSkip20Rec = 66;
constexpr uint32_t kTagSkip4Rec = 68;
constexpr uint32_t kTagShortRec = 129;
constexpr uint32_t kTagLongRec = 130;
constexpr size_t kShortRecSize = 28;
constexpr size_t kLongRecSize = 44;
constexpr size_t kCounterRecSize = 12;

constexpr uint32_t kDeclareFunc = 32;
constexpr uint32_t kSectionFunc = 67;
constexpr uint32_t kMembersBit = 0x20;
constexpr uint32_t kUnfinished = 0x800;

inline void putLE32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

inline void putLE64(unsigned char* p, int64_t v) {
    const auto u = static_cast<uint64_t>(v);
    putLE32(p, static_cast<uint32_t>(u));
    putLE32(p + 4, static_cast<uint32_t>(u >> 32));
}

inline uint32_t getLE32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint64_t getLE64(const unsigned char* p) {
    return uint64_t{getLE32(p)} | uint64_t{getLE32(p + 4)} << 32;
}

struct PartHeader {
    uint32_t rank = 0;
    uint32_t worldSize = 0;
    uint64_t runKey = 0;
};

inline void encodePartHeader(const PartHeader& h, unsigned char* out) {
    std::memcpy(out, kPartMagic, sizeof kPartMagic);
    putLE32(out + 8, h.rank);
    putLE32(out + 12, h.worldSize);
    putLE64(out + 16, static_cast<int64_t>(h.runKey));
}

inline bool decodePartHeader(const unsigned char* in, PartHeader& h) {
    if (std::memcmp(in, kPartMagic, sizeof kPartMagic) != 0) return false;
    h.rank = getLE32(in + 8);
    h.worldSize = getLE32(in + 12);
    h.runKey = getLE64(in + 16);
    return true;
}

} // namespace zlvt
