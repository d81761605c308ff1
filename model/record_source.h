#pragma once
// Reading a trace file in records: a buffered byte source that knows how much
// of the file is left, and hash maps keyed by values from the file.

#include "format/zlv_records.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unordered_map>

// Buffered sequential reader that hands out records in place, and knows how
// many bytes the file has left, so that no length field can make us allocate
// more than the file could fill.
class RecordSource {
  public:
    // Reads f from its current position, which is `start` bytes into the file.
    explicit RecordSource(FILE* f, uint64_t start = 0) : file_(f), offset_(start) {
        struct stat st {};
        if (fstat(fileno(f), &st) == 0 && st.st_size > 0) size_ = static_cast<uint64_t>(st.st_size);
        // No larger than the file: opening many small files stays cheap.
        capacity_ = static_cast<size_t>(std::clamp<uint64_t>(size_, kMinBuffer, kBuffer));
        buffer_.reset(new unsigned char[capacity_]);
    }

    uint64_t offset() const { return offset_; }
    uint64_t bytesLeft() const { return size_ > offset_ ? size_ - offset_ : 0; }
    uint64_t size() const { return size_; }

    // The next n bytes (n <= 4096) without consuming them; nullptr when the
    // file ends before them.
    const unsigned char* peek(size_t n) {
        if (fill_ - pos_ < n) {
            std::memmove(buffer_.get(), buffer_.get() + pos_, fill_ - pos_);
            fill_ -= pos_;
            pos_ = 0;
            while (fill_ < n) {
                const size_t got = std::fread(buffer_.get() + fill_, 1, capacity_ - fill_, file_);
                if (got == 0) return nullptr;
                fill_ += got;
                // Files can grow while being read; keep bytesLeft honest.
                if (offset_ + fill_ > size_) size_ = offset_ + fill_;
            }
        }
        return buffer_.get() + pos_;
    }

    void consume(size_t n) {
        pos_ += n;
        offset_ += n;
    }

    // Reads up to n bytes into dst; returns how many could be read.
    size_t read(unsigned char* dst, size_t n) {
        size_t done = 0;
        while (done < n) {
            const size_t step = std::min(n - done, capacity_ / 2);
            const unsigned char* p = peek(1);
            if (!p) break;
            const size_t take = std::min(step, fill_ - pos_);
            std::copy_n(p, take, dst + done);
            consume(take);
            done += take;
        }
        return done;
    }

    // Reads n little-endian 32-bit words into out; false when the file ends
    // before them. Whole buffers at a time: member lists can be long.
    bool readWords(uint32_t* out, size_t n) {
        while (n > 0) {
            const unsigned char* p = peek(4);
            if (!p) return false;
            const size_t words = std::min(n, (fill_ - pos_) / 4);
            for (size_t k = 0; k < words; ++k) out[k] = readLE32(p + kMemberWordSize * k);
            consume(words * 4);
            out += words;
            n -= words;
        }
        return true;
    }

    // Skips up to n bytes; returns how many could be skipped.
    uint64_t skip(uint64_t n) {
        uint64_t done = 0;
        while (done < n && peek(1)) {
            const uint64_t take = std::min<uint64_t>(n - done, fill_ - pos_);
            consume(static_cast<size_t>(take));
            done += take;
        }
        return done;
    }

  private:
    static constexpr size_t kBuffer = 1 << 20;
    static constexpr size_t kMinBuffer = 4096;

    FILE* file_;
    std::unique_ptr<unsigned char[]> buffer_;
    size_t capacity_ = 0;
    size_t pos_ = 0;
    size_t fill_ = 0;
    uint64_t offset_ = 0;
    uint64_t size_ = 0;
};

// Hashes ranks and identifiers from the file with a salt chosen per load: with
// the identity hash a crafted file can put every rank into one bucket and make
// reading quadratic. Only speed depends on the salt, never a result.
struct SaltedHash {
    uint64_t salt;
    size_t operator()(uint64_t key) const {
        uint64_t z = key + salt;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return static_cast<size_t>(z ^ (z >> 31));
    }
};

inline uint64_t freshSalt() {
    std::random_device device;
    return uint64_t{device()} << 32 | device();
}

template <class Key, class Value>
using SaltedMap = std::unordered_map<Key, Value, SaltedHash>;
