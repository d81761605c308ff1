#include "model/piece_reader.h"

#include "appdb/node_address.h"
#include "format/func_ids.h"
#include "model/parallel_for.h"
#include "model/record_cursor.h"
#include "model/trace_builder.h"

#include <atomic>
#include <cstdio>
#include <memory>
#include <span>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// What one piece leaves for the in-order pass, per process position.
struct PieceResult {
    std::vector<TCounter> counters;
    std::vector<std::vector<CommChange>> changes;
    std::vector<std::vector<uint32_t>> unclassified; // calls whose kind waits for the communicators
    std::vector<TTimeSums> times; // of the piece's calls; unclassified ones by function only
};

// The call lists of every process, as the builder gave them for filling.
using FilledCalls = std::vector<std::span<TFunc>>;

class PieceReader {
  public:
    PieceReader(const ReadPlan& plan, size_t piece, const TraceBuilder& builder,
                const FilledCalls& calls, RecordSource& src, PieceResult& out)
        : plan_(plan), builder_(builder), calls_(calls), src_(src), out_(out),
          start_(plan.pieces[piece]),
          end_(piece + 1 < plan.pieces.size() ? plan.pieces[piece + 1].offset : plan.end),
          next_(start_.callsBefore), cursor_(src, start_.last) {
        for (size_t p = 0; p < plan.processes.size(); ++p)
            limit_.push_back(piece + 1 < plan.pieces.size() ? plan.pieces[piece + 1].callsBefore[p]
                                                            : plan.processes[p].calls);
        out_.changes.resize(plan.processes.size());
        out_.unclassified.resize(plan.processes.size());
        out_.times.resize(plan.processes.size());
    }

    // true when the piece ends where the plan says, with the planned calls;
    // false as soon as the load is cancelled. Only a `reporting` worker
    // tells the progress.
    bool run(std::atomic<uint64_t>& bytesDone, ProgressStep& progress, bool reporting) {
        uint64_t reported = src_.offset();
        for (uint32_t records = 1; src_.offset() < end_; ++records) {
            if (records % kRecordsPerReport == 0) {
                if (progress.cancelled()) return false;
                bytesDone += src_.offset() - reported;
                reported = src_.offset();
                if (reporting) progress.report(bytesDone.load(), plan_.end);
            }
            if (!record()) return false;
        }
        bytesDone += src_.offset() - reported;
        if (src_.offset() != end_) return false;
        for (size_t p = 0; p < next_.size(); ++p)
            if (next_[p] != limit_[p]) return false;
        return true;
    }

  private:
    bool record() {
        switch (cursor_.next()) {
        case RecordCursor::Kind::End:
        case RecordCursor::Kind::Truncated:
        case RecordCursor::Kind::UnknownTag:
            return false;
        case RecordCursor::Kind::Counter:
            out_.counters.push_back(
                TCounter{rank_, cursor_.counterTimes(), cursor_.counterLocation()});
            return true;
        case RecordCursor::Kind::Skip:
            return true;
        case RecordCursor::Kind::Declaration:
            return declare(cursor_.declaredRank());
        case RecordCursor::Kind::Call:
            return call();
        }
        return false;
    }

    bool call() {
        const CallRecord& r = cursor_.call();
        if (process_ == kNoProcess) return false;
        const uint64_t k = next_[process_]++;
        if (k >= limit_[process_]) return false;
        const auto callIndex = static_cast<uint32_t>(k);

        if (cursor_.hasMembers()) {
            CommChange change{callIndex, r.function == kFuncCommFree, TComm{}};
            change.comm.id = r.comm;
            if (!change.frees) {
                if (!cursor_.readMembers(scratch_, end_)) return false;
                change.comm.size = r.size;
                change.comm.members = pool_.intern(scratch_);
                change.comm.createdAt = callIndex;
            } else if (!cursor_.skipMembers(end_)) {
                return false;
            }
            out_.changes[process_].push_back(std::move(change));
        }

        // The kind of a rooted collective on a process that changes its
        // communicators waits for them (and is classified again then).
        int32_t me = 0;
        bool classified = true;
        if (TraceBuilder::kindNeedsOwnRank(r.function)) {
            if (plan_.processes[process_].changesComms) {
                out_.unclassified[process_].push_back(callIndex);
                classified = false;
            } else {
                // Only the predefined communicators, and they are never freed.
                me = builder_.ownRankInKnownComm(process_, r.comm);
            }
        }
        TFunc& f = calls_[process_][k];
        f = TraceBuilder::makeCall(
            TraceCall{r.location, r.function, r.start, r.end, r.peer, r.comm, r.msgTag, r.size},
            me);
        // Summed while the call is at hand: the process table then needs no
        // walk over every call.
        out_.times[process_].add(f, classified);
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
    const TraceBuilder& builder_;
    const FilledCalls& calls_;
    RecordSource& src_;
    PieceResult& out_;
    const PieceStart& start_;
    const uint64_t end_;
    std::vector<uint64_t> next_, limit_;
    RecordCursor cursor_;           // the long-only fields carry over from start_.last
    std::vector<uint32_t> scratch_; // the member list being read
    MemberPool pool_{freshSalt()};
    uint32_t rank_ = start_.rank;
    uint32_t process_ = start_.process;
};

bool readPiece(const std::string& fileName, const ReadPlan& plan, size_t piece,
               const TraceBuilder& builder, const FilledCalls& calls, PieceResult& out,
               std::atomic<uint64_t>& bytesDone, ProgressStep& progress, bool reporting) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(fileName.c_str(), "rb"));
    const uint64_t offset = plan.pieces[piece].offset;
    if (!file || fseeko(file.get(), static_cast<off_t>(offset), SEEK_SET) != 0) return false;
    RecordSource src(file.get(), offset);
    return PieceReader(plan, piece, builder, calls, src, out).run(bytesDone, progress, reporting);
}

// Replays one process's communicator changes in call order, and classifies
// the calls that waited for them, as reading in one go would have.
void settleCommunicators(CommSettling settling, std::vector<PieceResult>& pieces,
                         uint32_t position) {
    for (PieceResult& piece : pieces) {
        std::vector<CommChange>& changes = piece.changes[position];
        size_t e = 0;
        auto applyUpTo = [&](uint64_t callIndex) {
            for (; e < changes.size() && changes[e].callIndex <= callIndex; ++e)
                settling.change(std::move(changes[e]));
        };
        for (uint32_t k : piece.unclassified[position]) {
            applyUpTo(k);
            settling.classify(k);
        }
        applyUpTo(UINT64_MAX);
        std::vector<CommChange>().swap(changes);
    }
}

} // namespace

bool readInPieces(TraceBuilder& builder, const std::string& fileName, const ReadPlan& plan,
                  unsigned workers, ProgressStep& progress) {
    const auto processes = static_cast<uint32_t>(plan.processes.size());
    std::vector<TraceBuilder::ProcessHandle> handles;
    handles.reserve(processes);
    uint32_t nodes = 0;
    for (const PlannedProcess& planned : plan.processes) {
        // Node indices count up in order of first declaration.
        if (planned.nodeIndex == nodes) {
            builder.addNode(dottedNodeId(planned.nodeId), planned.nodeId);
            ++nodes;
        }
        handles.push_back(builder.declareProcess(static_cast<int32_t>(planned.rank),
                                                 planned.nodeIndex, planned.calls, true));
    }
    // Fresh pages for the lists are faulted in on every worker, in slices:
    // with few processes, the lists are few and one may hold most calls.
    constexpr uint64_t kSliceCalls = (uint64_t{32} << 20) / sizeof(TFunc);
    std::vector<std::pair<uint32_t, uint64_t>> slices; // (process, first call)
    for (uint32_t p = 0; p < processes; ++p)
        for (uint64_t c = 0; c < plan.processes[p].calls; c += kSliceCalls)
            slices.push_back({p, c});
    parallelFor(workers, static_cast<uint32_t>(slices.size()), [&](unsigned, uint32_t s) {
        const auto [p, first] = slices[s];
        builder.backCalls(handles[p], first, first + kSliceCalls);
    });
    FilledCalls calls(processes);
    parallelFor(workers, processes, [&](unsigned, uint32_t p) {
        calls[p] = builder.fillCalls(handles[p], plan.processes[p].calls);
    });

    std::vector<PieceResult> pieces(plan.pieces.size());
    std::atomic<uint64_t> bytesDone{0};
    std::unique_ptr<std::atomic<bool>[]> ok(new std::atomic<bool>[pieces.size()]);
    parallelFor(workers, static_cast<uint32_t>(pieces.size()), [&](unsigned w, uint32_t piece) {
        // Only the calling thread reports progress.
        ok[piece] = readPiece(fileName, plan, piece, builder, calls, pieces[piece], bytesDone,
                              progress, w == 0);
    });
    for (size_t piece = 0; piece < pieces.size(); ++piece)
        if (!ok[piece]) return false;

    for (uint32_t p = 0; p < processes; ++p) {
        TTimeSums sums;
        for (const PieceResult& piece : pieces) sums += piece.times[p];
        builder.setTimeSums(handles[p], sums);
    }
    std::vector<uint32_t> changing;
    for (uint32_t p = 0; p < processes; ++p)
        if (plan.processes[p].changesComms) changing.push_back(p);
    parallelFor(workers, static_cast<uint32_t>(changing.size()), [&](unsigned, uint32_t c) {
        settleCommunicators(builder.settle(handles[changing[c]]), pieces, changing[c]);
    });
    for (const PieceResult& piece : pieces)
        for (const TCounter& c : piece.counters)
            builder.addCounter(static_cast<int32_t>(c.rank), c.times, c.location);
    return true;
}
