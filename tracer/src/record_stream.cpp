#include "record_stream.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace zlvt {

namespace {

void fence() {
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
}

// Bytes up to a multiple of 4, so that padding records can fill any gap.
constexpr size_t padded(size_t n) {
    return (n + 3) & ~size_t{3};
}

bool readAt(int fd, unsigned char* out, size_t n, size_t offset) {
    return ::pread(fd, out, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
}

bool writeAt(int fd, const unsigned char* in, size_t n, size_t offset) {
    return ::pwrite(fd, in, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
}

} // namespace

bool RecordStream::open(const std::string& path, const PartHeader& header) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0 || !mapWindow(0)) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        failed_ = true;
        return false;
    }
    encodePartHeader(header, window_);
    pos_ = kPartHeaderSize; // the fresh window is zero: the end marker is in place
    return true;
}

bool RecordStream::mapWindow(size_t start) {
    if (::ftruncate(fd_, static_cast<off_t>(start + kWindow)) != 0) return false;
    void* p = ::mmap(nullptr, kWindow, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                     static_cast<off_t>(start));
    if (p == MAP_FAILED) return false;
    window_ = static_cast<unsigned char*>(p);
    windowStart_ = start;
    return true;
}

void RecordStream::close() {
    if (fd_ < 0) return;
    tentative_ = 0;
    if (window_) ::munmap(window_, kWindow);
    window_ = nullptr;
    if (::ftruncate(fd_, static_cast<off_t>(pos_)) != 0) failed_ = true;
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
}

unsigned char* RecordStream::reserve(size_t n) {
    const size_t windowEnd = windowStart_ + kWindow;
    if (pos_ + n + 4 <= windowEnd) return window_ + (pos_ - windowStart_);
    // The next window starts zeroed; the gap before it is filled with
    // 4-byte records that every reader skips, the first one last.
    unsigned char* old = window_;
    const size_t oldStart = windowStart_;
    const size_t gapStart = pos_;
    // The old window stays mapped until the gap is filled.
    if (!mapWindow(windowEnd)) {
        failed_ = true;
        return nullptr;
    }
    for (size_t at = windowEnd; at > gapStart;) {
        at -= 4;
        putLE32(old + (at - oldStart), kTagSkip4);
        fence();
    }
    ::munmap(old, kWindow);
    pos_ = windowEnd;
    return window_;
}

size_t RecordStream::put(const unsigned char* record, size_t n, bool tentative) {
    if (fd_ < 0 || n + 4 > kWindow) return 0;
    busy_ = true;
    fence();
    if (tentative_) {
        // Replacing the tentative record: hide it first.
        putLE32(window_ + (pos_ - windowStart_), 0);
        fence();
        tentative_ = 0;
    }
    unsigned char* p = reserve(n);
    if (!p) {
        busy_ = false;
        return 0;
    }
    const size_t at = pos_;
    // Body and end marker first, the tag last: a process killed in between
    // leaves the end marker where the record would begin.
    std::memcpy(p + 4, record + 4, n - 4);
    putLE32(p + n, 0);
    fence();
    std::memcpy(p, record, 4);
    fence();
    if (tentative)
        tentative_ = n;
    else
        pos_ += n;
    fence();
    busy_ = false;
    return at;
}

bool RecordStream::rewriteLong(size_t offset, uint32_t func, uint32_t size, uint32_t msgTag,
                               int32_t peer) {
    // Only records already written; never the tentative one at pos_.
    if (fd_ < 0 || offset < kPartHeaderSize || offset + kLongCallRecordSize > pos_) return false;
    // size, tag and peer lie next to each other.
    static_assert(kCallTagAt == kCallSizeAt + 4 && kCallPeerAt == kCallTagAt + 4);
    unsigned char fields[12];
    putLE32(fields, size);
    putLE32(fields + (kCallTagAt - kCallSizeAt), msgTag);
    putLE32(fields + (kCallPeerAt - kCallSizeAt), static_cast<uint32_t>(peer));
    unsigned char funcWord[4];
    putLE32(funcWord, func);
    // Records never cross a window boundary: one in the current window lies wholly in it.
    if (offset >= windowStart_) {
        unsigned char* r = window_ + (offset - windowStart_);
        if (readLE32(r) != kTagLongCall) return false;
        std::memcpy(r + kCallSizeAt, fields, sizeof fields);
        fence();
        std::memcpy(r + kCallFunctionAt, funcWord, sizeof funcWord);
        return true;
    }
    // An earlier window, unmapped by now: through the file, whose page cache
    // the mappings share.
    unsigned char tag[4];
    if (!readAt(fd_, tag, sizeof tag, offset) || readLE32(tag) != kTagLongCall) return false;
    if (!writeAt(fd_, fields, sizeof fields, offset + kCallSizeAt) ||
        !writeAt(fd_, funcWord, sizeof funcWord, offset + kCallFunctionAt)) {
        failed_ = true;
        return false;
    }
    return true;
}

void RecordStream::dropTentative() {
    if (!tentative_ || fd_ < 0) return;
    putLE32(window_ + (pos_ - windowStart_), 0);
    fence();
    tentative_ = 0;
}

void RecordStream::keepTentative(int64_t end) {
    if (!tentative_ || fd_ < 0) return;
    putLE64(window_ + (pos_ - windowStart_) + kCallEndAt, end);
    pos_ += tentative_;
    tentative_ = 0;
}

void RecordStream::declaration(uint32_t rank, const unsigned char nodeAddress[4]) {
    unsigned char r[kShortCallRecordSize] = {};
    writeCallRecord(r, false, CallRecord{rank, kDeclarationFunc, 0, 0});
    std::memcpy(r + kCallEndAt, nodeAddress, 4); // dotted order: first number first
    put(r, sizeof r, false);
}

namespace {

void encodeShort(unsigned char* r, uint32_t location, uint32_t func, int64_t start, int64_t end) {
    writeCallRecord(r, false, CallRecord{location, func, start, end});
}

void encodeLong(unsigned char* r, uint32_t location, uint32_t func, int64_t start, int64_t end,
                uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    writeCallRecord(r, true, CallRecord{location, func, start, end, size, msgTag, peer, comm});
}

} // namespace

void RecordStream::shortCall(uint32_t location, uint32_t func, int64_t start, int64_t end) {
    unsigned char r[kShortCallRecordSize];
    encodeShort(r, location, func, start, end);
    put(r, sizeof r, false);
}

size_t RecordStream::longCall(uint32_t location, uint32_t func, int64_t start, int64_t end,
                              uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    unsigned char r[kLongCallRecordSize];
    encodeLong(r, location, func, start, end, size, msgTag, peer, comm);
    return put(r, sizeof r, false);
}

void RecordStream::commCall(uint32_t location, uint32_t func, int64_t start, int64_t end,
                            uint32_t comm, const uint32_t* members, size_t count) {
    // A list too long for one window is left out rather than cut.
    if ((count + 16) * kMemberWordSize + kLongCallRecordSize > kWindow) count = 0;
    std::vector<unsigned char> r(kLongCallRecordSize + count * kMemberWordSize);
    encodeLong(r.data(), location, func, start, end, static_cast<uint32_t>(count), 0, 0, comm);
    for (size_t i = 0; i < count; ++i)
        putLE32(r.data() + kLongCallRecordSize + kMemberWordSize * i, members[i]);
    put(r.data(), r.size(), false);
}

void RecordStream::counter(uint32_t times, uint32_t location) {
    unsigned char r[kCounterRecordSize];
    putLE32(r, kTagCounter);
    putLE32(r + kCounterTimesAt, times);
    putLE32(r + kCounterLocationAt, location);
    put(r, sizeof r, false);
}

void RecordStream::name(uint32_t table, uint32_t id, const std::string& text) {
    const size_t length = std::min<size_t>(text.size(), 4096);
    std::vector<unsigned char> r(kNameRecordHead + padded(length), 0);
    putLE32(r.data(), kTagName);
    putLE32(r.data() + 4, table);
    putLE32(r.data() + 8, id);
    putLE32(r.data() + 12, static_cast<uint32_t>(length));
    std::memcpy(r.data() + kNameRecordHead, text.data(), length);
    put(r.data(), r.size(), false);
}

void RecordStream::tentativeShort(uint32_t location, uint32_t func, int64_t start) {
    unsigned char r[kShortCallRecordSize];
    encodeShort(r, location, func | kUnfinishedFlag, start, start);
    put(r, sizeof r, true);
}

void RecordStream::tentativeLong(uint32_t location, uint32_t func, int64_t start, uint32_t size,
                                 uint32_t msgTag, int32_t peer, uint32_t comm) {
    unsigned char r[kLongCallRecordSize];
    encodeLong(r, location, func | kUnfinishedFlag, start, start, size, msgTag, peer, comm);
    put(r, sizeof r, true);
}

} // namespace zlvt
