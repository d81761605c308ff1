#include "model/read_plan.h"

#include "format/zlv_records.h"
#include "model/trace_model.h"

#include <cstring>

namespace {

// Records between two progress reports.
constexpr uint32_t kRecordsPerReport = 1 << 16;

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
                progress.report(src_.offset(), src_.size());
                if (warmer_) warmer_->needed(calls_ * sizeof(TFunc));
            }
            const uint64_t recordStart = src_.offset();
            if (nextCut_ < cuts_.size() && recordStart >= cuts_[nextCut_]) cutHere(recordStart);
            const unsigned char* tagBytes = src_.peek(4);
            if (!tagBytes) return finish(recordStart, ReadPlan::Stop::EndOfFile);
            const uint32_t tag = readLE32(tagBytes);
            // Short and long call records come mixed in no order: their
            // path takes no branch on which of the two it is.
            const bool isLong = tag == kTagLongCall;
            const bool isCall = isLong || tag == kTagShortCall;
            const size_t length = isCall ? (isLong ? kLongCallRecordSize : kShortCallRecordSize)
                                         : recordSizeForTag(tag);
            if (length == 0) return finish(recordStart, ReadPlan::Stop::Invalid);
            const unsigned char* rec = src_.peek(length);
            if (!rec) return finish(recordStart, ReadPlan::Stop::Truncated);
            if (!isCall) {
                src_.consume(length);
                continue;
            }
            keep(rec, isLong);
            const uint32_t function = readLE32(rec + kCallFunctionAt);
            // The tag when short: nothing past a short record is read.
            const uint32_t longSize = readLE32(rec + kCallSizeAt * isLong);
            src_.consume(length);
            if (!isLong && function == kDeclarationFunc) {
                // A declaration: the rank as its location, the node in its end's low word.
                declare(readLE32(rec + kCallLocationAt), readLE32(rec + kCallEndAt));
                continue;
            }
            if (current_ == kNoProcess) return finish(recordStart, ReadPlan::Stop::Invalid);
            ++plan_.processes[current_].calls;
            ++calls_;
            if (isLong && (function & kFuncMembersBit)) {
                plan_.processes[current_].changesComms = true;
                const uint64_t listBytes = uint64_t{longSize} * 4;
                if (src_.skip(listBytes) < listBytes)
                    return finish(recordStart, ReadPlan::Stop::Truncated);
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

    // The bytes of the last call record, and the long-only bytes of the last
    // long one (short records inherit those), copied without a branch: the
    // last call record is decoded only where a piece starts.
    // Before any call record the bytes are zero, which decode to the empty
    // record.
    void keep(const unsigned char* rec, bool isLong) {
        std::memcpy(lastCall_, rec, kShortCallRecordSize);
        // A short record's own first bytes go to the unused slot: nothing
        // past its end is read.
        std::memcpy(longOnly_[isLong], rec + kShortCallRecordSize * isLong, kLongOnlyBytes);
    }

    CallRecord lastRecord() const {
        unsigned char bytes[kLongCallRecordSize];
        std::memcpy(bytes, lastCall_, kShortCallRecordSize);
        std::memcpy(bytes + kShortCallRecordSize, longOnly_[1], kLongOnlyBytes);
        CallRecord r;
        readCallRecord(bytes, true, r);
        return r;
    }

    void cutHere(uint64_t offset) {
        while (nextCut_ < cuts_.size() && offset >= cuts_[nextCut_]) ++nextCut_;
        PieceStart piece{offset, lastRecord(), rank_, current_, {}};
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
    CallBlockWarmer* warmer_;
    uint64_t calls_ = 0;
    ReadPlan plan_;
    std::vector<uint64_t> cuts_;
    size_t nextCut_ = 0;
    SaltedMap<uint32_t, uint32_t> nodeIndexById_{0, SaltedHash{freshSalt()}};
    static constexpr size_t kLongOnlyBytes = kLongCallRecordSize - kShortCallRecordSize;
    unsigned char lastCall_[kShortCallRecordSize] = {};
    // [1]: the last long record's; [0] takes what short records copy.
    unsigned char longOnly_[2][kLongOnlyBytes] = {};
    uint32_t rank_ = 0xFFFFFFFFu;
    uint32_t current_ = kNoProcess;
};

} // namespace

ReadPlan planRead(RecordSource& src, ProgressStep& progress, unsigned pieces,
                  CallBlockWarmer* warmer) {
    return Planner(src, std::max(pieces, 1u), warmer).run(progress);
}
