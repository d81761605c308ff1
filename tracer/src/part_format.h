#pragma once
// Layout of one process's part file: a header, then the process's trace
// records exactly as they go into the final trace, with name records mixed in
// wherever a file or section name was first used. The merge step strips the
// name records and renumbers the identifiers they define across processes.

#include "format/func_ids.h"
#include "format/zlv_records.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zlvt {

constexpr char kPartMagic[8] = {'Z', 'L', 'V', 'P', 'A', 'R', 'T', '1'};
// magic, rank, world size, run key
constexpr size_t kPartHeaderSize = 8 + 4 + 4 + 8;

// A name record: tag, table, identifier, length, then `length` bytes of name
// padded with zeros to a multiple of 4. The tag differs from every tag of the
// trace format. The data of a part ends at its end or at a zero word; skip
// records of 4 bytes are padding.
constexpr uint32_t kTagName = 0x454D414E; // "NAME"
constexpr size_t kNameRecordHead = 16;
constexpr uint32_t kNameTableFiles = 0;
constexpr uint32_t kNameTableSections = 1;

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
    h.rank = readLE32(in + 8);
    h.worldSize = readLE32(in + 12);
    h.runKey = static_cast<uint64_t>(readLE64(in + 16));
    return true;
}

} // namespace zlvt
