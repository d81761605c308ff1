#include "model/read_plan.h"

#include "model/record_cursor.h"
#include "model/trace_model.h"

namespace {

class Planner {
  public:
    Planner(RecordSource& src, unsigned pieces, CallBlockWarmer* warmer)
        : src_(src), warmer_(warmer) {
        for (unsigned k = 1; k < pieces; ++k) cuts_.push_back(src.size() / pieces * k);
    }

    ReadPlan run(ProgressStep& progress) {
        plan_.pieces.push_back(PieceStart{});
        for (uint32_t records = 0;; ++records) {
            if (records % kRecordsPerReport == 0) {
                if (progress.cancelled()) return finish(src_.offset(), ReadPlan::Stop::Cancelled);
                progress.report(src_.offset(), src_.size());
                if (warmer_) warmer_->needed(calls_ * sizeof(TFunc));
            }
            const uint64_t recordStart = src_.offset();
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

  private:
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
        PieceStart piece{offset, cursor_.call(), rank_, current_, {}};
        piece.callsBefore.reserve(plan_.processes.size());
        for (const PlannedProcess& p : plan_.processes) piece.callsBefore.push_back(p.calls);
        plan_.pieces.push_back(std::move(piece));
    }

    ReadPlan finish(uint64_t end, ReadPlan::Stop stop) {
        plan_.end = end;
        plan_.stop = stop;
        // A cut at the very end starts no piece.
        while (plan_.pieces.size() > 1 && plan_.pieces.back().offset >= end)
            plan_.pieces.pop_back();
        const size_t n = plan_.processes.size();
        for (PieceStart& piece : plan_.pieces) piece.callsBefore.resize(n, 0);
        return std::move(plan_);
    }

    RecordSource& src_;
    RecordCursor cursor_{src_};
    CallBlockWarmer* warmer_;
    uint64_t calls_ = 0;
    ReadPlan plan_;
    std::vector<uint64_t> cuts_;
    size_t nextCut_ = 0;
    SaltedMap<uint32_t, uint32_t> nodeIndexById_{0, SaltedHash{freshSalt()}};
    uint32_t rank_ = 0xFFFFFFFFu;
    uint32_t current_ = kNoProcess;
};

} // namespace

ReadPlan planRead(RecordSource& src, ProgressStep& progress, unsigned pieces,
                  CallBlockWarmer* warmer) {
    return Planner(src, std::max(pieces, 1u), warmer).run(progress);
}
