#include "model/piece_reader.h"

#include "model/comm_tracker.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"
#include "format/zlv_records.h"

#include <atomic>
#include <cstdio>
#include <memory>

namespace {

constexpr uint32_t kRecordsPerReport = 1 << 16;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// A communicator created or freed by call `callIndex` of one process.
struct CommEvent {
    uint32_t callIndex;
    bool frees;
    TComm comm; // frees: only the identifier
};

// What one piece leaves for the in-order pass, per process position.
struct PieceResult {
    std::vector<TCounter> counters;
    std::vector<std::vector<CommEvent>> events;
    std::vector<std::vector<uint32_t>> unclassified; // calls whose kind waits for the communicators
    std::vector<TTimeSums> times; // of the piece's calls; unclassified ones by function only
};

class PieceReader {
  public:
    PieceReader(const ReadPlan& plan, size_t piece, std::vector<TProcess>& procs, PieceResult& out)
        : plan_(plan), procs_(procs), out_(out), start_(plan.pieces[piece]),
          end_(piece + 1 < plan.pieces.size() ? plan.pieces[piece + 1].offset : plan.end),
          next_(start_.callsBefore) {
        for (size_t p = 0; p < plan.processes.size(); ++p)
            limit_.push_back(piece + 1 < plan.pieces.size() ? plan.pieces[piece + 1].callsBefore[p]
                                                            : plan.processes[p].calls);
        out_.events.resize(plan.processes.size());
        out_.unclassified.resize(plan.processes.size());
        out_.times.resize(plan.processes.size());
    }

    // true when the piece ends where the plan says, with the planned calls.
    bool run(RecordSource& src, std::atomic<uint64_t>& bytesDone, ProgressStep* progress) {
        uint64_t reported = src.offset();
        for (uint32_t records = 1; src.offset() < end_; ++records) {
            if (records % kRecordsPerReport == 0) {
                bytesDone += src.offset() - reported;
                reported = src.offset();
                if (progress) progress->report(bytesDone.load(), plan_.end);
            }
            if (!record(src)) return false;
        }
        bytesDone += src.offset() - reported;
        if (src.offset() != end_) return false;
        for (size_t p = 0; p < next_.size(); ++p)
            if (next_[p] != limit_[p]) return false;
        return true;
    }

  private:
    bool record(RecordSource& src) {
        const unsigned char* tagBytes = src.peek(4);
        if (!tagBytes) return false;
        const uint32_t tag = readLE32(tagBytes);
        const size_t length = recordSizeForTag(tag);
        const unsigned char* rec = length ? src.peek(length) : nullptr;
        if (!rec) return false;
        if (tag == kTagCounter) {
            out_.counters.push_back(TCounter{rank_, readLE32(rec + 4), readLE32(rec + 8)});
            src.consume(length);
            return true;
        }
        if (tag != kTagShortCall && tag != kTagLongCall) {
            src.consume(length);
            return true;
        }
        const bool isLong = tag == kTagLongCall;
        readCallRecord(rec, isLong, r_);
        src.consume(length);
        const uint32_t function = r_.function;
        if (!isLong && function == kDeclarationFunc) return declare(r_.location);
        if (process_ == kNoProcess) return false;
        const uint64_t k = next_[process_]++;
        if (k >= limit_[process_]) return false;
        const auto callIndex = static_cast<uint32_t>(k);
        TProcess& p = procs_[process_];

        if (isLong && (function & kFuncMembersBit)) {
            const uint64_t listBytes = uint64_t{r_.size} * 4;
            if (listBytes > src.bytesLeft() || listBytes > end_ - src.offset()) return false;
            CommEvent event{callIndex, function == kFuncCommFree, TComm{}};
            event.comm.id = r_.comm;
            if (!event.frees) {
                event.comm.size = r_.size;
                scratch_.resize(r_.size);
                if (!src.readWords(scratch_.data(), r_.size)) return false;
                event.comm.members = pool_.intern(scratch_);
                event.comm.createdAt = callIndex;
            } else if (src.skip(listBytes) < listBytes) {
                return false;
            }
            out_.events[process_].push_back(std::move(event));
        }

        // The kind of a rooted collective on a process that changes its
        // communicators waits for them (and is classified again then).
        int32_t me = 0;
        bool classified = true;
        if (classifyNeedsOwnRank(function)) {
            if (plan_.processes[process_].changesComms) {
                out_.unclassified[process_].push_back(callIndex);
                classified = false;
            } else {
                // Only the predefined communicators, and they are never freed.
                const TComm* c = p.findComm(r_.comm, callIndex);
                me = c ? c->toLocal(static_cast<int32_t>(p.rank)) : static_cast<int32_t>(p.rank);
            }
        }
        p.calls[k] = TFunc::make(r_.location, function, r_.start, r_.end, r_.peer, r_.comm,
                                 r_.msgTag, r_.size, me);
        // Summed while the call is at hand: the process table then needs no
        // walk over every call.
        out_.times[process_].add(p.calls[k], classified);
        return true;
    }

    bool declare(uint32_t rank) {
        auto it = plan_.positionOfRank.find(rank);
        if (it == plan_.positionOfRank.end()) return false;
        rank_ = rank;
        process_ = it->second;
        return true;
    }

    const ReadPlan& plan_;
    std::vector<TProcess>& procs_;
    PieceResult& out_;
    const PieceStart& start_;
    const uint64_t end_;
    std::vector<uint64_t> next_, limit_;
    CallRecord r_ = start_.last;    // the long-only fields carry over
    std::vector<uint32_t> scratch_; // the member list being read
    MemberPool pool_{freshSalt()};
    uint32_t rank_ = start_.rank;
    uint32_t process_ = start_.process;
};

bool readPiece(const std::string& fileName, const ReadPlan& plan, size_t piece,
               std::vector<TProcess>& procs, PieceResult& out, std::atomic<uint64_t>& bytesDone,
               ProgressStep* progress) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    const uint64_t offset = plan.pieces[piece].offset;
    if (!file || fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    RecordSource src(file.get(), offset);
    return PieceReader(plan, piece, procs, out).run(src, bytesDone, progress);
}

// Replays one process's communicator events in call order, and classifies
// the calls that waited for them, as reading in one go would have.
void settleCommunicators(TProcess& p, std::vector<PieceResult>& pieces, uint32_t position,
                         uint64_t salt) {
    CommTracker tracker(p, salt);
    for (PieceResult& piece : pieces) {
        std::vector<CommEvent>& events = piece.events[position];
        size_t e = 0;
        auto applyUpTo = [&](uint64_t callIndex) {
            for (; e < events.size() && events[e].callIndex <= callIndex; ++e) {
                CommEvent& event = events[e];
                if (event.frees)
                    tracker.free(p, event.comm.id, event.callIndex);
                else
                    tracker.add(p, std::move(event.comm));
            }
        };
        for (uint32_t k : piece.unclassified[position]) {
            applyUpTo(k);
            TFunc& f = p.calls[k];
            f.kind = TFunc::classify(f.funcId, tracker.ownRankFor(p, f.comm, k), f.peer);
            p.timeSums->addKind(f);
        }
        applyUpTo(UINT64_MAX);
        std::vector<CommEvent>().swap(events);
    }
}

} // namespace

bool readInPieces(TTrace& trace, const std::string& fileName, const ReadPlan& plan,
                  const std::shared_ptr<CallBlock>& block, unsigned workers,
                  ProgressStep& progress) {
    std::vector<TProcess>& procs = trace.processes;
    procs.reserve(plan.processes.size());
    for (const PlannedProcess& planned : plan.processes) {
        procs.emplace_back(planned.nodeIndex, planned.nodeId, planned.rank);
        procs.back().calls = TCallList(CallAllocator<TFunc>(block));
        procs.back().calls.reserve(planned.calls);
    }
    // Filling the lists touches their pages for the first time: on both workers.
    parallelFor(workers, static_cast<uint32_t>(procs.size()),
                [&](unsigned, uint32_t p) { procs[p].calls.resize(plan.processes[p].calls); });

    std::vector<PieceResult> pieces(plan.pieces.size());
    std::atomic<uint64_t> bytesDone{0};
    std::unique_ptr<std::atomic<bool>[]> ok(new std::atomic<bool>[pieces.size()]);
    parallelFor(workers, static_cast<uint32_t>(pieces.size()), [&](unsigned w, uint32_t piece) {
        // Only the calling thread reports progress.
        ok[piece] = readPiece(fileName, plan, piece, procs, pieces[piece], bytesDone,
                              w == 0 ? &progress : nullptr);
    });
    for (size_t piece = 0; piece < pieces.size(); ++piece)
        if (!ok[piece]) return false;

    for (uint32_t p = 0; p < plan.processes.size(); ++p) {
        TTimeSums& sums = procs[p].timeSums.emplace();
        for (const PieceResult& piece : pieces) sums += piece.times[p];
    }
    std::vector<uint32_t> changing;
    for (uint32_t p = 0; p < plan.processes.size(); ++p)
        if (plan.processes[p].changesComms) changing.push_back(p);
    const uint64_t salt = freshSalt();
    parallelFor(workers, static_cast<uint32_t>(changing.size()), [&](unsigned, uint32_t c) {
        settleCommunicators(procs[changing[c]], pieces, changing[c], salt);
    });
    for (PieceResult& piece : pieces)
        trace.counterList.insert(trace.counterList.end(), piece.counters.begin(),
                                 piece.counters.end());
    return true;
}
