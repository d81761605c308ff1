#include "model/read_plan.h"

#include "model/pass_stretch.h"
#include "model/record_cursor.h"
#include "model/trace_model.h"

#include <exception>
#include <system_error>
#include <thread>

namespace {

class Planner {
  public:
    Planner(RecordSource& src, CallBlockWarmer* warmer, const PassShared* shared)
        : src_(src), warmer_(warmer), shared_(shared) {
        plan_.pieces.push_back(PieceStart{});
    }

    // Cuts the stream into `pieces` of about equal size where the walk meets them.
    void cutEvenly(unsigned pieces) {
        cuts_.clear();
        nextCut_ = 0;
        for (unsigned k = 1; k < pieces; ++k) cuts_.push_back(src_.size() / pieces * k);
    }

    // Walks until the records end (true: the plan is finished), or until the
    // first record at or past `limit`, which is left unread (false).
    bool walk(ProgressStep& progress, uint64_t limit = UINT64_MAX) {
        for (uint32_t records = 0;; ++records) {
            if (records % kRecordsPerReport == 0) {
                if (progress.cancelled()) return finish(src_.offset(), ReadPlan::Stop::Cancelled);
                const uint64_t elsewhere = shared_ ? shared_->bytes.load() : 0;
                progress.report(src_.offset() + elsewhere, src_.size());
                const uint64_t more = shared_ ? shared_->calls.load() : 0;
                if (warmer_) warmer_->needed((calls_ + more) * sizeof(TFunc));
            }
            const uint64_t recordStart = src_.offset();
            if (recordStart >= limit) return false;
            if (nextCut_ < cuts_.size() && recordStart >= cuts_[nextCut_]) cutHere(recordStart);
            switch (cursor_.next()) {
            case RecordCursor::Kind::End:
                return finish(recordStart, ReadPlan::Stop::EndOfFile);
            case RecordCursor::Kind::Truncated:
                return finish(recordStart, ReadPlan::Stop::Truncated);
            case RecordCursor::Kind::UnknownTag:
                return finish(recordStart, ReadPlan::Stop::Invalid);
            case RecordCursor::Kind::Counter:
            case RecordCursor::Kind::Skip:
                break;
            case RecordCursor::Kind::Declaration:
                declare(cursor_.declaredRank(), cursor_.declaredNode());
                break;
            case RecordCursor::Kind::Call:
                if (current_ == kNoProcess) return finish(recordStart, ReadPlan::Stop::Invalid);
                ++plan_.processes[current_].calls;
                ++calls_;
                if (cursor_.hasMembers()) {
                    plan_.processes[current_].changesComms = true;
                    if (!cursor_.skipMembers())
                        return finish(recordStart, ReadPlan::Stop::Truncated);
                }
                break;
            }
        }
    }

    // Whether the tallies of the stretches starting at `starts`, the first
    // where this walk stopped, follow each other without a gap and read as a
    // walk from here on would: then the plan takes them in, each stretch
    // one piece, and is finished.
    bool absorb(const std::vector<StretchTally>& stretches, const std::vector<uint64_t>& starts) {
        if (src_.offset() != starts[0]) return false;
        bool declared = current_ != kNoProcess;
        for (size_t s = 0; s < stretches.size(); ++s) {
            const StretchTally& t = stretches[s];
            const bool last = s + 1 == stretches.size();
            const auto wanted = last ? t.end : StretchTally::End::AtLimit;
            if (t.end == StretchTally::End::Failed || t.end != wanted) return false;
            if (!last && t.stoppedAt != starts[s + 1]) return false;
            // Calls before any declaration make the file invalid there: the
            // walk from here finds where.
            if (t.leadingCalls > 0 && !declared) return false;
            declared |= !t.ranks.empty();
        }
        CallRecord last = cursor_.call();
        for (size_t s = 0; s < stretches.size(); ++s) {
            const StretchTally& t = stretches[s];
            cutAt(starts[s], last);
            if (current_ != kNoProcess) {
                plan_.processes[current_].calls += t.leadingCalls;
                plan_.processes[current_].changesComms |= t.leadingChangesComms;
            }
            const uint32_t before = current_;
            const uint32_t rankBefore = rank_;
            for (const StretchTally::Rank& r : t.ranks) {
                declare(r.rank, r.nodeId);
                plan_.processes[current_].calls += r.calls;
                plan_.processes[current_].changesComms |= r.changesComms;
            }
            if (t.current == UINT32_MAX) {
                current_ = before;
                rank_ = rankBefore;
            } else {
                rank_ = t.ranks[t.current].rank;
                current_ = plan_.positionOfRank.at(rank_);
            }
            last = carriedOver(last, t);
        }
        const StretchTally& end = stretches.back();
        finish(end.stoppedAt, end.end == StretchTally::End::EndOfFile   ? ReadPlan::Stop::EndOfFile
                              : end.end == StretchTally::End::Truncated ? ReadPlan::Stop::Truncated
                                                                        : ReadPlan::Stop::Invalid);
        plan_.walkers = static_cast<unsigned>(stretches.size() + 1);
        return true;
    }

    ReadPlan take() { return std::move(plan_); }

  private:
    // The last call record after a stretch, as the cursor would hold it:
    // its fields of short records from the stretch's last call record, the
    // others from its last long one.
    static CallRecord carriedOver(CallRecord before, const StretchTally& t) {
        if (!t.sawCall) return before;
        CallRecord r = t.last;
        if (!t.sawLong) {
            r.size = before.size;
            r.msgTag = before.msgTag;
            r.peer = before.peer;
            r.comm = before.comm;
        }
        return r;
    }

    void declare(uint32_t rank, uint32_t nodeId) {
        rank_ = rank;
        if (auto it = plan_.positionOfRank.find(rank); it != plan_.positionOfRank.end()) {
            current_ = it->second; // continues the process; its node stays
            return;
        }
        auto [node, added] =
            nodeIndexById_.try_emplace(nodeId, static_cast<uint32_t>(nodeIndexById_.size()));
        (void)added;
        current_ = static_cast<uint32_t>(plan_.processes.size());
        plan_.processes.push_back({rank, nodeId, node->second, 0, false});
        plan_.positionOfRank.emplace(rank, current_);
    }

    void cutHere(uint64_t offset) {
        while (nextCut_ < cuts_.size() && offset >= cuts_[nextCut_]) ++nextCut_;
        cutAt(offset, cursor_.call());
    }

    void cutAt(uint64_t offset, const CallRecord& last) {
        PieceStart piece{offset, last, rank_, current_, {}};
        piece.callsBefore.reserve(plan_.processes.size());
        for (const PlannedProcess& p : plan_.processes) piece.callsBefore.push_back(p.calls);
        plan_.pieces.push_back(std::move(piece));
    }

    bool finish(uint64_t end, ReadPlan::Stop stop) {
        plan_.end = end;
        plan_.stop = stop;
        // A cut at the very end starts no piece.
        while (plan_.pieces.size() > 1 && plan_.pieces.back().offset >= end)
            plan_.pieces.pop_back();
        const size_t n = plan_.processes.size();
        for (PieceStart& piece : plan_.pieces) piece.callsBefore.resize(n, 0);
        return true;
    }

    RecordSource& src_;
    RecordCursor cursor_{src_};
    CallBlockWarmer* warmer_;
    const PassShared* shared_;
    uint64_t calls_ = 0;
    ReadPlan plan_;
    std::vector<uint64_t> cuts_;
    size_t nextCut_ = 0;
    SaltedMap<uint32_t, uint32_t> nodeIndexById_{0, SaltedHash{freshSalt()}};
    uint32_t rank_ = 0xFFFFFFFFu;
    uint32_t current_ = kNoProcess;
};

// Where the stretches after the first start: a guessed record boundary near
// each even cut, rising; empty when there is none to be had.
std::vector<uint64_t> stretchStarts(const std::string& fileName, uint64_t size, unsigned pieces) {
    std::vector<uint64_t> starts;
    FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file) return starts;
    for (unsigned k = 1; k < pieces; ++k) {
        const uint64_t at = guessRecordBoundary(file, size / pieces * k, size);
        if (at != UINT64_MAX && at > 0 && (starts.empty() || at > starts.back()))
            starts.push_back(at);
    }
    std::fclose(file);
    return starts;
}

// The pass on several workers: the calling thread walks from the start to
// the first guessed boundary, one helper per further stretch meanwhile.
// Falls back to the walk alone when a guess was wrong, or no helper started.
ReadPlan planInStretches(RecordSource& src, ProgressStep& progress, unsigned pieces,
                         CallBlockWarmer* warmer, const std::vector<uint64_t>& starts,
                         const std::string& fileName) {
    PassShared shared;
    std::vector<StretchTally> stretches(starts.size());
    std::vector<std::thread> helpers;
    for (size_t s = 0; s < starts.size(); ++s) {
        const uint64_t limit = s + 1 < starts.size() ? starts[s + 1] : UINT64_MAX;
        try {
            helpers.emplace_back([&, s, limit] {
                stretches[s] = tallyStretch(fileName, starts[s], limit, shared, progress);
            });
        } catch (const std::system_error&) {
            break; // its stretch stays Failed
        }
    }
    Planner planner(src, warmer, &shared);
    bool finished = false;
    std::exception_ptr failure;
    try {
        finished = planner.walk(progress, starts[0]);
    } catch (...) {
        failure = std::current_exception();
    }
    // A walk that ended before the first guess needs none of the others.
    if (finished || failure) shared.stop = true;
    for (std::thread& h : helpers) h.join();
    if (failure) std::rethrow_exception(failure);
    if (!finished && !planner.absorb(stretches, starts)) {
        planner.cutEvenly(pieces);
        planner.walk(progress);
    }
    return planner.take();
}

} // namespace

ReadPlan planRead(RecordSource& src, ProgressStep& progress, unsigned pieces,
                  CallBlockWarmer* warmer, const std::string& fileName) {
    pieces = std::max(pieces, 1u);
    if (pieces > 1 && !fileName.empty() && src.offset() == 0) {
        const std::vector<uint64_t> starts = stretchStarts(fileName, src.size(), pieces);
        if (!starts.empty())
            return planInStretches(src, progress, pieces, warmer, starts, fileName);
    }
    Planner planner(src, warmer, nullptr);
    planner.cutEvenly(pieces);
    planner.walk(progress);
    return planner.take();
}
