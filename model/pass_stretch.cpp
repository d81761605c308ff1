#include "model/pass_stretch.h"

#include "format/func_ids.h"
#include "model/read_plan.h"
#include "model/record_cursor.h"
#include "model/record_source.h"

#include <algorithm>
#include <memory>
#include <new>
#include <sys/types.h>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Records in a row that must read as whole for a guess: random bytes that
// pass are rare, and a wrong guess only costs the other workers' time.
constexpr int kRecordsChecked = 64;
// Bytes looked at from each guess's nominal offset.
constexpr size_t kWindow = size_t{1} << 16;

// Whether the records from `at` in window (which starts at file offset
// `base`) read as whole records of known kinds, as far as it shows.
bool readsAsRecords(const unsigned char* window, size_t length, uint64_t base, size_t at,
                    uint64_t fileSize) {
    for (int n = 0; n < kRecordsChecked; ++n) {
        if (base + at + 4 > fileSize) return true; // the end: stray bytes or none
        if (at + 4 > length) return true;          // past the window: no evidence against
        const uint32_t tag = readLE32(window + at);
        const size_t size = recordSizeForTag(tag);
        if (size == 0) return false;
        uint64_t next = at + size;
        if (tag == kTagLongCall) {
            if (at + kLongCallRecordSize > length) return true;
            if (readLE32(window + at + kCallFunctionAt) & kFuncMembersBit)
                next += uint64_t{readLE32(window + at + kCallSizeAt)} * kMemberWordSize;
        }
        if (base + next > fileSize) return false;
        if (next >= length) return true;
        at = static_cast<size_t>(next);
    }
    return true;
}

} // namespace

uint64_t guessRecordBoundary(FILE* file, uint64_t from, uint64_t fileSize) {
    const uint64_t base = (from + 3) & ~uint64_t{3};
    if (base >= fileSize || fseeko(file, static_cast<off_t>(base), SEEK_SET) != 0)
        return UINT64_MAX;
    std::unique_ptr<unsigned char[]> window(new (std::nothrow) unsigned char[kWindow]);
    if (!window) return UINT64_MAX;
    const size_t length = std::fread(window.get(), 1, kWindow, file);
    // Half the window is searched, so that each guess is checked on a long run.
    for (size_t at = 0; at + 4 <= length && at < kWindow / 2; at += 4)
        if (readsAsRecords(window.get(), length, base, at, fileSize)) return base + at;
    return UINT64_MAX;
}

namespace {

class StretchWalker {
  public:
    StretchWalker(RecordSource& src, PassShared& shared, StretchTally& out)
        : src_(src), shared_(shared), out_(out) {}

    void run(uint64_t limit, const ProgressStep& progress) {
        for (uint32_t records = 0;; ++records) {
            if (records % kRecordsPerReport == 0) {
                share();
                if (shared_.stop.load(std::memory_order_relaxed) || progress.cancelled())
                    return stop(src_.offset(), StretchTally::End::Failed);
            }
            const uint64_t at = src_.offset();
            if (at >= limit)
                return stop(at,
                            at == limit ? StretchTally::End::AtLimit : StretchTally::End::Failed);
            switch (cursor_.next()) {
            case RecordCursor::Kind::End:
                return stop(at, StretchTally::End::EndOfFile);
            case RecordCursor::Kind::Truncated:
                return stop(at, StretchTally::End::Truncated);
            case RecordCursor::Kind::UnknownTag:
                return stop(at, StretchTally::End::Invalid);
            case RecordCursor::Kind::Counter:
            case RecordCursor::Kind::Skip:
                break;
            case RecordCursor::Kind::Declaration:
                declare(cursor_.declaredRank(), cursor_.declaredNode());
                break;
            case RecordCursor::Kind::Call:
                // Counted before its member list is checked, as the walk from
                // the start counts a call whose list is cut short.
                out_.sawCall = true;
                out_.sawLong |= cursor_.isLong();
                ++calls_;
                if (out_.current == UINT32_MAX) {
                    ++out_.leadingCalls;
                } else {
                    ++out_.ranks[out_.current].calls;
                }
                if (cursor_.hasMembers()) {
                    (out_.current == UINT32_MAX ? out_.leadingChangesComms
                                                : out_.ranks[out_.current].changesComms) = true;
                    if (!cursor_.skipMembers()) return stop(at, StretchTally::End::Truncated);
                }
                break;
            }
        }
    }

  private:
    void declare(uint32_t rank, uint32_t nodeId) {
        out_.sawCall = true; // a declaration is a short call record
        auto [it, added] = indexOfRank_.try_emplace(rank, static_cast<uint32_t>(out_.ranks.size()));
        if (added) out_.ranks.push_back({rank, nodeId, 0, false});
        out_.current = it->second;
    }

    void share() {
        shared_.calls.fetch_add(calls_ - sharedCalls_, std::memory_order_relaxed);
        shared_.bytes.fetch_add(src_.offset() - sharedBytes_, std::memory_order_relaxed);
        sharedCalls_ = calls_;
        sharedBytes_ = src_.offset();
    }

    void stop(uint64_t at, StretchTally::End end) {
        share();
        out_.stoppedAt = at;
        out_.end = end;
        out_.last = cursor_.call();
    }

    RecordSource& src_;
    PassShared& shared_;
    StretchTally& out_;
    RecordCursor cursor_{src_};
    SaltedMap<uint32_t, uint32_t> indexOfRank_{0, SaltedHash{freshSalt()}};
    uint64_t calls_ = 0, sharedCalls_ = 0, sharedBytes_ = src_.offset();
};

} // namespace

StretchTally tallyStretch(const std::string& fileName, uint64_t start, uint64_t limit,
                          PassShared& shared, const ProgressStep& progress) {
    StretchTally out;
    try {
        std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
        if (!file || fseeko(file.get(), static_cast<off_t>(start), SEEK_SET) != 0) return out;
        RecordSource src(file.get(), start);
        StretchWalker(src, shared, out).run(limit, progress);
    } catch (...) {
        out = StretchTally{}; // Failed: the walk from the start does it alone
    }
    return out;
}
