// Reading the record stream of a trace file into the document.

#include "appdb/node_address.h"
#include "format/zlv_records.h"
#include "model/load_progress.h"
#include "model/memory_advice.h"
#include "model/piece_reader.h"
#include "model/read_plan.h"
#include "model/record_cursor.h"
#include "model/record_source.h"
#include "model/trace_builder.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unordered_map>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// Reads the records in one go, in file order, into the builder.
class Reader {
  public:
    Reader(TraceBuilder& builder, std::ostream& errors) : builder_(builder), errors_(errors) {}

    // true when the whole file was read (an incomplete last record ends it
    // too); false, without a message, when the load was cancelled.
    bool run(RecordSource& src, ProgressStep& progress) {
        RecordCursor cursor(src);
        for (uint32_t records = 0;; ++records) {
            if (records % kRecordsPerReport == 0) {
                if (progress.cancelled()) return false;
                progress.report(src.offset(), src.size());
            }
            switch (cursor.next()) {
            case RecordCursor::Kind::End:
                return true;
            case RecordCursor::Kind::Truncated:
                return truncated(cursor.recordStart());
            case RecordCursor::Kind::UnknownTag: {
                char text[64];
                std::snprintf(text, sizeof text, "Hren' kakaya-to - %u(%x)", cursor.tag(),
                              cursor.tag());
                errors_ << text << std::endl;
                return false;
            }
            case RecordCursor::Kind::Counter:
                builder_.addCounter(static_cast<int32_t>(currentRank_), cursor.counterTimes(),
                                    cursor.counterLocation());
                break;
            case RecordCursor::Kind::Skip:
                break;
            case RecordCursor::Kind::Declaration:
                declare(cursor.declaredRank(), cursor.declaredNode());
                break;
            case RecordCursor::Kind::Call:
                if (cursor.hasMembers() && !cursor.readMembers(members_))
                    return truncated(cursor.recordStart());
                if (!current_) {
                    errors_ << "Input file seems to be corrapted" << std::endl;
                    return false;
                }
                addCall(cursor);
                break;
            }
        }
    }

    // Call list sizes from the first pass; lists are reserved at declaration.
    void expectCalls(const ReadPlan& plan) {
        for (const PlannedProcess& p : plan.processes) expected_.emplace(p.rank, p.calls);
    }

  private:
    bool truncated(uint64_t recordStart) {
        errors_ << "Input file is truncated: incomplete record at byte " << recordStart
                << std::endl;
        return true;
    }

    void addCall(const RecordCursor& cursor) {
        const CallRecord& r = cursor.call();
        const TraceCall call{r.location, r.function, r.start,  r.end,
                             r.peer,     r.comm,     r.msgTag, r.size};
        if (cursor.hasMembers())
            builder_.addCall(*current_, call, std::span<const uint32_t>(members_));
        else
            builder_.addCall(*current_, call);
    }

    void declare(uint32_t rank, uint32_t nodeId) {
        currentRank_ = rank;
        const auto asRank = static_cast<int32_t>(rank);
        if ((current_ = builder_.findProcess(asRank))) return; // continues; its node stays
        auto [node, added] = nodeIndexById_.try_emplace(nodeId, 0);
        if (added) node->second = builder_.addNode(dottedNodeId(nodeId), nodeId);
        auto expected = expected_.find(rank);
        current_ = builder_.declareProcess(asRank, node->second,
                                           expected != expected_.end() ? expected->second : 0);
    }

    TraceBuilder& builder_;
    std::ostream& errors_;
    std::vector<uint32_t> members_;
    uint32_t currentRank_ = 0xFFFFFFFFu;
    std::optional<TraceBuilder::ProcessHandle> current_;
    const uint64_t salt_ = freshSalt();
    SaltedMap<uint32_t, uint32_t> nodeIndexById_{0, SaltedHash{salt_}};
    SaltedMap<uint32_t, uint64_t> expected_{0, SaltedHash{salt_}}; // calls per rank
};

} // namespace

namespace {

// Shares of the whole load, from the time each step takes on large traces.
constexpr uint32_t kCountedAt = 80;

// Pieces for reading on several workers: one per core for files large
// enough to be worth it; `requested` when not 0 (1 reads in one go).
unsigned piecesFor(uint64_t fileSize, unsigned requested) {
    if (requested != 0) return requested;
    constexpr uint64_t kWorthSplitting = uint64_t{4} << 20;
    if (fileSize < kWorthSplitting) return 1;
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

// false when the file could not be read, or (without a message) when the
// load was cancelled.
bool readRecords(TraceBuilder& builder, const std::string& fileName, std::ostream& errors,
                 const LoadProgress* progress, const LoadCancel* cancel, unsigned pieces) {
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
        ProgressStep step(progress, 0, kCountedAt, cancel);
        CallBlockWarmer warmer(*block);
        plan = planRead(counting, step, piecesFor(fileSize, pieces), &warmer);
        warmer.stop();
    }
    if (plan.stop == ReadPlan::Stop::Cancelled) return false;
    ProgressStep step(progress, kCountedAt, kLoadReadDone, cancel);
    // Files with an error are read in one go, which reports it where it is.
    if (plan.pieces.size() > 1 && plan.stop != ReadPlan::Stop::Invalid) {
        builder.useCallBlock(block);
        if (readInPieces(builder, fileName, plan, static_cast<unsigned>(plan.pieces.size()),
                         step)) {
            if (plan.stop == ReadPlan::Stop::Truncated)
                errors << "Input file is truncated: incomplete record at byte " << plan.end
                       << std::endl;
            return true;
        }
        if (step.cancelled()) return false;
        // The file changed since the first pass: read it again in one go.
        builder.restart();
        block = freshBlock();
    }
    builder.useCallBlock(block);
    Reader reader(builder, errors);
    reader.expectCalls(plan);
    std::rewind(file.get());
    RecordSource src(file.get());
    return reader.run(src, step);
}

} // namespace

bool readTraceRecords(TTrace& trace, const std::string& fileName, std::ostream& errors,
                      unsigned pieces) {
    TraceBuilder builder(trace, errors);
    return readRecords(builder, fileName, errors, nullptr, nullptr, pieces);
}

bool loadTrace(TTrace& trace, const std::string& fileName, std::ostream& errors,
               const LoadProgress& progress, const LoadCancel* cancel, LoadDepth depth) {
    TraceBuilder builder(trace, errors);
    if (!readRecords(builder, fileName, errors, &progress, cancel, 0)) {
        // A cancelled load keeps nothing of what it read; a failed one keeps it all.
        if (cancel && cancel->load()) {
            trace = TTrace();
            releaseFreedMemory();
        }
        return false;
    }
    if (depth == LoadDepth::WithoutLinks) return builder.finishWithoutLinks(progress, cancel);
    return builder.finish(progress, cancel);
}
