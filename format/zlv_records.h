#pragma once
// Byte layout of the ".zlv" trace format: tags, record lengths, field
// offsets and the little-endian words everything is written in.

#include <cstddef>
#include <cstdint>

constexpr uint32_t kTagCounter = 64;
constexpr uint32_t kTagSkip20 = 66;
constexpr uint32_t kTagSkip4 = 68;
constexpr uint32_t kTagShortCall = 129;
constexpr uint32_t kTagLongCall = 130;

constexpr size_t kCounterRecordSize = 12;
constexpr size_t kSkip20RecordSize = 20;
constexpr size_t kSkip4RecordSize = 4;
constexpr size_t kShortCallRecordSize = 28;
constexpr size_t kLongCallRecordSize = 44;

// Where a counter record's fields start (after the 4-byte tag).
constexpr size_t kCounterTimesAt = 4;
constexpr size_t kCounterLocationAt = 8;

// Where a call record's fields start (after the 4-byte tag); the long-only
// ones from kShortCallRecordSize on. A long record whose function has
// kFuncMembersBit is followed by `size` words of member ranks.
constexpr size_t kCallLocationAt = 4;
constexpr size_t kCallFunctionAt = 8;
constexpr size_t kCallStartAt = 12;
constexpr size_t kCallEndAt = 20;
constexpr size_t kCallSizeAt = 28;
constexpr size_t kCallTagAt = 32;
constexpr size_t kCallPeerAt = 36;
constexpr size_t kCallCommAt = 40;
constexpr size_t kMemberWordSize = 4;

// A short call record with this function field declares a process: the rank
// as its location, the node's IPv4 address in the low word of its end.
constexpr uint32_t kDeclarationFunc = 32;

// Length of the record a tag announces, tag included; 0 for an unknown tag.
constexpr size_t recordSizeForTag(uint32_t tag) {
    switch (tag) {
    case kTagCounter:
        return kCounterRecordSize;
    case kTagSkip20:
        return kSkip20RecordSize;
    case kTagSkip4:
        return kSkip4RecordSize;
    case kTagShortCall:
        return kShortCallRecordSize;
    case kTagLongCall:
        return kLongCallRecordSize;
    default:
        return 0;
    }
}

inline uint32_t readLE32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline int64_t readLE64(const unsigned char* p) {
    return static_cast<int64_t>(uint64_t{readLE32(p)} | uint64_t{readLE32(p + 4)} << 32);
}

inline void putLE32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Low word first.
inline void putLE64(unsigned char* p, int64_t v) {
    const auto u = static_cast<uint64_t>(v);
    putLE32(p, static_cast<uint32_t>(u));
    putLE32(p + 4, static_cast<uint32_t>(u >> 32));
}

// The fields of a call record. A short record keeps the long-only fields
// (size, msgTag, peer, comm) of the last long record: 0 before any.
struct CallRecord {
    uint32_t location = 0;
    uint32_t function = 0;
    int64_t start = 0;
    int64_t end = 0;
    uint32_t size = 0;
    uint32_t msgTag = 0;
    int32_t peer = 0;
    uint32_t comm = 0;
};

// Decodes the call record at rec (tag included) into r; a short one leaves
// the long-only fields as they are.
inline void readCallRecord(const unsigned char* rec, bool isLong, CallRecord& r) {
    r.location = readLE32(rec + kCallLocationAt);
    r.function = readLE32(rec + kCallFunctionAt);
    r.start = readLE64(rec + kCallStartAt);
    r.end = readLE64(rec + kCallEndAt);
    if (!isLong) return;
    r.size = readLE32(rec + kCallSizeAt);
    r.msgTag = readLE32(rec + kCallTagAt);
    r.peer = static_cast<int32_t>(readLE32(rec + kCallPeerAt));
    r.comm = readLE32(rec + kCallCommAt);
}

// Encodes a call record (tag included) into out, which holds
// kLongCallRecordSize bytes for a long one, kShortCallRecordSize otherwise.
inline void writeCallRecord(unsigned char* out, bool isLong, const CallRecord& r) {
    putLE32(out, isLong ? kTagLongCall : kTagShortCall);
    putLE32(out + kCallLocationAt, r.location);
    putLE32(out + kCallFunctionAt, r.function);
    putLE64(out + kCallStartAt, r.start);
    putLE64(out + kCallEndAt, r.end);
    if (!isLong) return;
    putLE32(out + kCallSizeAt, r.size);
    putLE32(out + kCallTagAt, r.msgTag);
    putLE32(out + kCallPeerAt, static_cast<uint32_t>(r.peer));
    putLE32(out + kCallCommAt, r.comm);
}
