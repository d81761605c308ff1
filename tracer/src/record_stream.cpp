#include "record_stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zlvt {

bool RecordStream::open(const std::string& path, const PartHeader& header) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        failed_ = true;
        return false;
    }
    unsigned char raw[kPartHeaderSize];
    encodePartHeader(header, raw);
    append(raw, sizeof raw);
    return true;
}

void RecordStream::close() {
    if (fd_ < 0) return;
    flush();
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
}

void RecordStream::flush() {
    if (fd_ < 0) return;
    while (written_ < used_) {
        const ssize_t n = ::write(fd_, buffer_ + written_, used_ - written_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            break;
        }
        written_ = written_ + static_cast<size_t>(n);
    }
    used_ = 0;
    written_ = 0;
}

void RecordStream::append(const unsigned char* bytes, size_t n) {
    if (used_ + n > kCapacity) flush();
    if (n > kCapacity) { // only a huge member list: straight to the file
        for (size_t done = 0; fd_ >= 0 && done < n;) {
            const ssize_t w = ::write(fd_, bytes + done, n - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                failed_ = true;
                return;
            }
            done += static_cast<size_t>(w);
        }
        return;
    }
    std::memcpy(buffer_ + used_, bytes, n);
    // The bytes are in place before they count, so a signal handler that
    // flushes in between never writes half a record.
    __atomic_signal_fence(__ATOMIC_SEQ_CST);
    used_ = used_ + n;
}

void RecordStream::declaration(uint32_t rank, const unsigned char nodeAddress[4]) {
    unsigned char r[kShortRecSize] = {};
    putLE32(r, kTagShortRec);
    putLE32(r + 4, rank);
    putLE32(r + 8, kDeclareFunc);
    std::memcpy(r + 20, nodeAddress, 4); // dotted order: first number first
    append(r, sizeof r);
}

void RecordStream::shortCall(uint32_t location, uint32_t func, int64_t start, int64_t end) {
    unsigned char r[kShortRecSize];
    putLE32(r, kTagShortRec);
    putLE32(r + 4, location);
    putLE32(r + 8, func);
    putLE64(r + 12, start);
    putLE64(r + 20, end);
    append(r, sizeof r);
}

void RecordStream::longCall(uint32_t location, uint32_t func, int64_t start, int64_t end,
                            uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    unsigned char r[kLongRecSize];
    putLE32(r, kTagLongRec);
    putLE32(r + 4, location);
    putLE32(r + 8, func);
    putLE64(r + 12, start);
    putLE64(r + 20, end);
    putLE32(r + 28, size);
    putLE32(r + 32, msgTag);
    putLE32(r + 36, static_cast<uint32_t>(peer));
    putLE32(r + 40, comm);
    append(r, sizeof r);
}

void RecordStream::memberList(const uint32_t* members, size_t count) {
    unsigned char chunk[4096];
    size_t used = 0;
    for (size_t i = 0; i < count; ++i) {
        putLE32(chunk + used, members[i]);
        used += 4;
        if (used == sizeof chunk) {
            append(chunk, used);
            used = 0;
        }
    }
    if (used) append(chunk, used);
}

void RecordStream::counter(uint32_t times, uint32_t location) {
    unsigned char r[kCounterRecSize];
    putLE32(r, kTagCounterRec);
    putLE32(r + 4, times);
    putLE32(r + 8, location);
    append(r, sizeof r);
}

void RecordStream::name(uint32_t table, uint32_t id, const std::string& text) {
    unsigned char head[kNameRecordHead];
    putLE32(head, kTagName);
    putLE32(head + 4, table);
    putLE32(head + 8, id);
    putLE32(head + 12, static_cast<uint32_t>(text.size()));
    append(head, sizeof head);
    append(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

} // namespace zlvt
