// Reading the record stream of a trace file into the document.

#include "model/memory_advice.h"
#include "model/trace_document.h"
#include "model/trace_format.h"
#include "model/trace_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unordered_map>

namespace {

// Buffered sequential reader that hands out records in place, and knows how
// many bytes the file has left, so that no length field can make us allocate
// more than the file could fill.
class ByteSource {
  public:
    explicit ByteSource(FILE* f) : file_(f) {
        struct stat st {};
        if (fstat(fileno(f), &st) == 0 && st.st_size > 0) size_ = static_cast<uint64_t>(st.st_size);
        // No larger than the file: opening many small files stays cheap.
        capacity_ = static_cast<size_t>(std::clamp<uint64_t>(size_, kMinBuffer, kBuffer));
        buffer_.reset(new unsigned char[capacity_]);
    }

    uint64_t offset() const { return offset_; }
    uint64_t bytesLeft() const { return size_ > offset_ ? size_ - offset_ : 0; }

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

uint64_t freshSalt() {
    std::random_device device;
    return uint64_t{device()} << 32 | device();
}

template <class Key, class Value>
using SaltedMap = std::unordered_map<Key, Value, SaltedHash>;

// Call records per declared rank, from a quick first pass, so that every
// call list is allocated once at its final size: growing lists by doubling
// would cost up to half the trace again in memory.
SaltedMap<uint32_t, uint64_t> countCallsPerRank(ByteSource& src) {
    SaltedMap<uint32_t, uint64_t> counts{0, SaltedHash{freshSalt()}};
    uint64_t* current = nullptr;
    for (;;) {
        const unsigned char* tagBytes = src.peek(4);
        if (!tagBytes) break;
        const uint32_t tag = readLE32(tagBytes);
        const size_t length = recordSizeForTag(tag);
        if (length == 0) break;
        const unsigned char* rec = src.peek(length);
        if (!rec) break;
        if (tag == kTagShortCall || tag == kTagLongCall) {
            const uint32_t function = readLE32(rec + 8);
            if (tag == kTagShortCall && function == kDeclarationFunc) {
                current = &counts[readLE32(rec + 4)];
            } else if (current) {
                ++*current;
            }
            if (tag == kTagLongCall && (function & kFuncMembersBit)) {
                const uint64_t listBytes = uint64_t{readLE32(rec + 28)} * 4;
                src.consume(length);
                if (src.skip(listBytes) < listBytes) break;
                continue;
            }
        }
        src.consume(length);
    }
    return counts;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// The fields both call record kinds share one buffer: a short record keeps the
// long-only fields of the last long record (0 before any long record).
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

// Positions of one process's communicators with one identifier, in list
// order. Call indices only grow while reading, so a communicator freed before
// the current call stays unusable: `live` skips those for good, and `unfreed`
// skips those already freed.
struct CommSlots {
    std::vector<uint32_t> positions;
    size_t live = 0;
    size_t unfreed = 0;
};

class Reader {
  public:
    Reader(TTrace& trace, std::ostream& errors) : trace_(trace), errors_(errors) {}

    // true when the whole file was read (an incomplete last record ends it too).
    bool run(ByteSource& src) {
        for (;;) {
            const uint64_t recordStart = src.offset();
            const unsigned char* tagBytes = src.peek(4);
            if (!tagBytes) {
                // End of file; 1 to 3 stray bytes are ignored.
                src.skip(4);
                return true;
            }
            const uint32_t tag = readLE32(tagBytes);
            const size_t length = recordSizeForTag(tag);
            if (length == 0) {
                char text[64];
                std::snprintf(text, sizeof text, "Hren' kakaya-to - %u(%x)", tag, tag);
                errors_ << text << std::endl;
                return false;
            }
            const unsigned char* rec = src.peek(length);
            if (!rec) return truncated(recordStart);

            switch (tag) {
            case kTagCounter:
                trace_.counterList.push_back(
                    TCounter{currentRank_, readLE32(rec + 4), readLE32(rec + 8)});
                src.consume(length);
                break;
            case kTagSkip20:
            case kTagSkip4:
                src.consume(length);
                break;
            default: {
                const bool isLong = tag == kTagLongCall;
                record_.location = readLE32(rec + 4);
                record_.function = readLE32(rec + 8);
                record_.start = readLE64(rec + 12);
                record_.end = readLE64(rec + 20);
                if (isLong) {
                    record_.size = readLE32(rec + 28);
                    record_.msgTag = readLE32(rec + 32);
                    record_.peer = static_cast<int32_t>(readLE32(rec + 36));
                    record_.comm = readLE32(rec + 40);
                }
                src.consume(length);
                const bool hasMembers = isLong && (record_.function & kFuncMembersBit);
                if (hasMembers) {
                    const uint64_t listBytes = uint64_t{record_.size} * 4;
                    // Checked before allocating: a list claiming more than the
                    // file holds is an incomplete last record.
                    if (listBytes > src.bytesLeft()) return truncated(recordStart);
                    members_.resize(record_.size);
                    for (uint32_t k = 0; k < record_.size; ++k) {
                        const unsigned char* m = src.peek(4);
                        if (!m) return truncated(recordStart);
                        members_[k] = readLE32(m);
                        src.consume(4);
                    }
                }
                if (!callRecord(isLong, hasMembers)) return false;
            }
            }
        }
    }

    // Call list sizes from the first pass; lists are reserved at declaration.
    void expectCalls(SaltedMap<uint32_t, uint64_t> counts) {
        expected_ = std::move(counts);
        uint64_t total = 0;
        for (const auto& [rank, calls] : expected_) total += calls;
        // Each counted call is a record of the file, so this is bounded by its size.
        callBlock_ = std::make_shared<CallBlock>(static_cast<size_t>(total * sizeof(TFunc)));
    }

  private:
    bool truncated(uint64_t recordStart) {
        errors_ << "Input file is truncated: incomplete record at byte " << recordStart
                << std::endl;
        return true;
    }

    bool callRecord(bool isLong, bool hasMembers) {
        if (!isLong && record_.function == kDeclarationFunc) {
            declare(record_.location, static_cast<uint32_t>(record_.end & 0xFFFFFFFF));
            return true;
        }
        if (current_ == nullptr) {
            errors_ << "Input file seems to be corrapted" << std::endl;
            return false;
        }
        // Looked up by position: the process list may reallocate.
        TProcess& p = trace_.processes[currentIndex_];
        const auto callIndex = static_cast<uint32_t>(p.calls.size());
        if (hasMembers) {
            if (record_.function == kFuncCommFree) {
                freeComm(p, record_.comm, callIndex);
            } else {
                TComm c;
                c.id = record_.comm;
                c.size = record_.size;
                c.members = std::move(members_);
                c.createdAt = callIndex;
                c.freedAt = 0;
                addComm(p, std::move(c));
            }
        }
        int32_t me = static_cast<int32_t>(currentRank_);
        if (const TComm* c = findComm(p, record_.comm, callIndex)) me = ownLocalRank(p, *c);
        TFunc& f = p.calls.emplace_back();
        f.location = record_.location;
        f.funcId = record_.function;
        f.start = record_.start;
        f.end = record_.end;
        f.peer = record_.peer;
        f.comm = record_.comm;
        f.msgTag = record_.msgTag;
        f.size = record_.size;
        f.kind = TFunc::classify(record_.function, me, record_.peer);
        return true;
    }

    // toLocal of the process's own rank, computed once per communicator: a
    // member list can be long, and every call on that communicator asks.
    int32_t ownLocalRank(const TProcess& p, const TComm& c) {
        if (c.id == kWorldComm || c.id == kSelfComm || c.members.size() < 16)
            return c.toLocal(static_cast<int32_t>(currentRank_));
        std::vector<int32_t>& known = ownLocal_[currentIndex_];
        const auto index = static_cast<size_t>(&c - p.comms.data());
        if (known.size() < p.comms.size()) known.resize(p.comms.size(), kUnknownLocal);
        if (known[index] == kUnknownLocal)
            known[index] = c.toLocal(static_cast<int32_t>(currentRank_));
        return known[index];
    }

    // TProcess::findComm, freeComm and addComm for the current process, kept
    // fast for traces that create and free one identifier over and over:
    // searching the whole list would make reading quadratic.
    uint64_t keyOf(uint32_t id) const { return uint64_t{currentIndex_} << 32 | id; }
    CommSlots& slotsOf(uint32_t id) { return commSlots_[keyOf(id)]; }

    void addComm(TProcess& p, TComm&& c) {
        slotsOf(c.id).positions.push_back(static_cast<uint32_t>(p.comms.size()));
        p.addComm(std::move(c));
    }

    // While reading, every communicator was created at or before callIndex.
    const TComm* findComm(const TProcess& p, uint32_t id, uint32_t callIndex) {
        auto it = commSlots_.find(keyOf(id));
        if (it == commSlots_.end()) return nullptr;
        CommSlots& s = it->second;
        for (; s.live < s.positions.size(); ++s.live) {
            const TComm& c = p.comms[s.positions[s.live]];
            if (c.freedAt == 0 || c.freedAt >= callIndex) return &c;
        }
        return nullptr;
    }

    void freeComm(TProcess& p, uint32_t id, uint32_t callIndex) {
        auto it = commSlots_.find(keyOf(id));
        if (it == commSlots_.end()) return;
        CommSlots& s = it->second;
        for (; s.unfreed < s.positions.size(); ++s.unfreed) {
            TComm& c = p.comms[s.positions[s.unfreed]];
            if (c.freedAt == 0) {
                c.freedAt = callIndex;
                return;
            }
        }
    }

    void declare(uint32_t rank, uint32_t nodeId) {
        currentRank_ = rank;
        if (auto it = byRank_.find(rank); it != byRank_.end()) {
            currentIndex_ = it->second; // continues the process; its node stays
            current_ = &trace_.processes[currentIndex_];
            return;
        }
        uint32_t nodeIndex;
        if (auto it = nodeIndexById_.find(nodeId); it != nodeIndexById_.end()) {
            nodeIndex = it->second;
        } else {
            nodeIndex = static_cast<uint32_t>(nodeIndexById_.size());
            nodeIndexById_.emplace(nodeId, nodeIndex);
        }
        currentIndex_ = trace_.processes.size();
        trace_.processes.emplace_back(nodeIndex, nodeId, rank);
        if (auto it = expected_.find(rank); it != expected_.end()) {
            TCallList& calls = trace_.processes.back().calls;
            calls = TCallList(CallAllocator<TFunc>(callBlock_));
            calls.reserve(it->second);
            prefaultForWriting(calls.data(), calls.capacity() * sizeof(TFunc));
        }
        byRank_.emplace(rank, currentIndex_);
        const std::vector<TComm>& predefined = trace_.processes.back().comms;
        for (uint32_t k = 0; k < predefined.size(); ++k)
            slotsOf(predefined[k].id).positions.push_back(k);
        ownLocal_.emplace_back();
        current_ = &trace_.processes[currentIndex_];
    }

    TTrace& trace_;
    std::ostream& errors_;
    CallRecord record_;
    std::vector<uint32_t> members_;
    uint32_t currentRank_ = 0xFFFFFFFFu;
    TProcess* current_ = nullptr;
    size_t currentIndex_ = 0;
    const uint64_t salt_ = freshSalt();
    SaltedMap<uint32_t, size_t> byRank_{0, SaltedHash{salt_}};
    SaltedMap<uint32_t, uint32_t> nodeIndexById_{0, SaltedHash{salt_}};
    SaltedMap<uint64_t, CommSlots> commSlots_{0, SaltedHash{salt_}}; // process position << 32 | id
    SaltedMap<uint32_t, uint64_t> expected_{0, SaltedHash{salt_}};   // calls per rank
    std::shared_ptr<CallBlock> callBlock_;                           // where the call lists go
    static constexpr int32_t kUnknownLocal = -2; // toLocal answers -1 or a rank >= 0
    std::vector<std::vector<int32_t>> ownLocal_; // per process, per communicator
};

} // namespace

bool readTraceRecords(TTrace& trace, const std::string& fileName, std::ostream& errors) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        errors << "Can't open file " << fileName << std::endl;
        return false;
    }
    Reader reader(trace, errors);
    {
        ByteSource counting(file.get());
        reader.expectCalls(countCallsPerRank(counting));
    }
    std::rewind(file.get());
    ByteSource src(file.get());
    return reader.run(src);
}

bool loadTrace(TTrace& trace, const std::string& fileName, std::ostream& errors) {
    if (!readTraceRecords(trace, fileName, errors)) return false;
    std::sort(trace.counterList.begin(), trace.counterList.end(),
              [](const TCounter& a, const TCounter& b) {
                  return a.rank != b.rank ? a.rank < b.rank : a.location < b.location;
              });
    releaseFreedMemory();
    buildLinks(trace);
    releaseFreedMemory();
    return alignClocks(trace, errors);
}
