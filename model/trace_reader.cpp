// Reading the record stream of a trace file into the document.

#include "model/comm_tracker.h"
#include "model/load_progress.h"
#include "model/memory_advice.h"
#include "model/piece_reader.h"
#include "model/read_plan.h"
#include "model/record_source.h"
#include "model/trace_document.h"
#include "format/zlv_records.h"
#include "model/trace_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>

namespace {

// Records between two progress reports.
constexpr uint32_t kRecordsPerReport = 1 << 16;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

class Reader {
  public:
    Reader(TTrace& trace, std::ostream& errors) : trace_(trace), errors_(errors) {}

    // true when the whole file was read (an incomplete last record ends it too).
    bool run(RecordSource& src, ProgressStep& progress) {
        for (uint32_t records = 0;; ++records) {
            if (records % kRecordsPerReport == 0) progress.report(src.offset(), src.size());
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
                readCallRecord(rec, isLong, record_);
                src.consume(length);
                const bool hasMembers = isLong && (record_.function & kFuncMembersBit);
                if (hasMembers) {
                    const uint64_t listBytes = uint64_t{record_.size} * 4;
                    // Checked before allocating: a list claiming more than the
                    // file holds is an incomplete last record.
                    if (listBytes > src.bytesLeft()) return truncated(recordStart);
                    members_.resize(record_.size);
                    if (!src.readWords(members_.data(), members_.size()))
                        return truncated(recordStart);
                }
                if (!callRecord(isLong, hasMembers)) return false;
            }
            }
        }
    }

    // Call list sizes from the first pass; lists are reserved at declaration.
    void expectCalls(const ReadPlan& plan, std::shared_ptr<CallBlock> block) {
        for (const PlannedProcess& p : plan.processes) expected_.emplace(p.rank, p.calls);
        callBlock_ = std::move(block);
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
        CommTracker& comms = trackers_[currentIndex_];
        if (hasMembers) {
            if (record_.function == kFuncCommFree) {
                comms.free(p, record_.comm, callIndex);
            } else {
                TComm c;
                c.id = record_.comm;
                c.size = record_.size;
                c.members = pool_.intern(members_);
                c.createdAt = callIndex;
                c.freedAt = 0;
                comms.add(p, std::move(c));
            }
        }
        // Only the rooted collectives need the communicator's own local rank.
        const int32_t me = classifyNeedsOwnRank(record_.function)
                               ? comms.ownRankFor(p, record_.comm, callIndex)
                               : static_cast<int32_t>(p.rank);
        p.calls.push_back(TFunc::make(record_.location, record_.function, record_.start,
                                      record_.end, record_.peer, record_.comm, record_.msgTag,
                                      record_.size, me));
        return true;
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
        trackers_.emplace_back(trace_.processes.back(), salt_);
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
    MemberPool pool_{salt_};
    SaltedMap<uint32_t, size_t> byRank_{0, SaltedHash{salt_}};
    SaltedMap<uint32_t, uint32_t> nodeIndexById_{0, SaltedHash{salt_}};
    std::vector<CommTracker> trackers_;                            // per process
    SaltedMap<uint32_t, uint64_t> expected_{0, SaltedHash{salt_}}; // calls per rank
    std::shared_ptr<CallBlock> callBlock_;                         // where the call lists go
};

} // namespace

namespace {

// Shares of the whole load, from the time each step takes on large traces.
constexpr uint32_t kCountedAt = 80;
constexpr uint32_t kReadAt = 400;
constexpr uint32_t kLinkedAt = 800;

// Pieces for reading on several workers: one per core for files large
// enough to be worth it; `requested` when not 0 (1 reads in one go).
unsigned piecesFor(uint64_t fileSize, unsigned requested) {
    if (requested != 0) return requested;
    constexpr uint64_t kWorthSplitting = uint64_t{4} << 20;
    if (fileSize < kWorthSplitting) return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

bool readRecords(TTrace& trace, const std::string& fileName, std::ostream& errors,
                 const LoadProgress* progress, unsigned pieces) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    if (!file) {
        errors << "Can't open file " << fileName << std::endl;
        return false;
    }
    // Room for as many calls as the file could hold (address space only:
    // pages are backed as they are written).
    struct stat st {};
    const uint64_t fileSize = fstat(fileno(file.get()), &st) == 0 && st.st_size > 0
                                  ? static_cast<uint64_t>(st.st_size)
                                  : 0;
    auto freshBlock = [fileSize] {
        return std::make_shared<CallBlock>(
            static_cast<size_t>(fileSize / kShortCallRecordSize * sizeof(TFunc)));
    };
    auto block = freshBlock();
    ReadPlan plan;
    {
        RecordSource counting(file.get());
        ProgressStep step(progress, 0, kCountedAt);
        CallBlockWarmer warmer(*block);
        plan = planRead(counting, step, piecesFor(fileSize, pieces), &warmer);
        uint64_t calls = 0;
        for (const PlannedProcess& p : plan.processes) calls += p.calls;
        warmer.finish(static_cast<size_t>(std::min<uint64_t>(calls, fileSize) * sizeof(TFunc)));
    }
    ProgressStep step(progress, kCountedAt, kReadAt);
    // Files with an error are read in one go, which reports it where it is.
    if (plan.pieces.size() > 1 && plan.stop != ReadPlan::Stop::Invalid) {
        if (readInPieces(trace, fileName, plan, block, static_cast<unsigned>(plan.pieces.size()),
                         step)) {
            if (plan.stop == ReadPlan::Stop::Truncated)
                errors << "Input file is truncated: incomplete record at byte " << plan.end
                       << std::endl;
            return true;
        }
        // The file changed since the first pass: read it again in one go.
        trace.processes.clear();
        trace.counterList.clear();
        block = freshBlock();
    }
    Reader reader(trace, errors);
    reader.expectCalls(plan, block);
    std::rewind(file.get());
    RecordSource src(file.get());
    return reader.run(src, step);
}

} // namespace

bool readTraceRecords(TTrace& trace, const std::string& fileName, std::ostream& errors,
                      unsigned pieces) {
    return readRecords(trace, fileName, errors, nullptr, pieces);
}

bool loadTrace(TTrace& trace, const std::string& fileName, std::ostream& errors,
               const LoadProgress& progress) {
    if (!readRecords(trace, fileName, errors, &progress, 0)) return false;
    std::sort(trace.counterList.begin(), trace.counterList.end(),
              [](const TCounter& a, const TCounter& b) {
                  return a.rank != b.rank ? a.rank < b.rank : a.location < b.location;
              });
    releaseFreedMemory();
    ProgressStep linking(&progress, kReadAt, kLinkedAt);
    LinkedSends linked;
    buildLinks(trace, 0, &linking, &linked);
    releaseFreedMemory();
    ProgressStep aligning(&progress, kLinkedAt, 1000);
    const bool aligned = alignClocks(trace, errors, 0, &aligning, &linked);
    releaseFreedMemory();
    aligning.finish();
    return aligned;
}
