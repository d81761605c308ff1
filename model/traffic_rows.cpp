#include "model/traffic_rows.h"

#include "model/trace_document.h"

#include <algorithm>

namespace {

bool isRootedSend(uint32_t funcId) {
    return funcId == kFuncBcast || funcId == kFuncScatter || funcId == kFuncScatterv;
}

bool isRootedRecv(uint32_t funcId) {
    return funcId == kFuncReduce || funcId == kFuncGather || funcId == kFuncGatherv;
}

// Accumulates one row; "every column" amounts are kept apart and added once at the end.
class RowTally {
  public:
    explicit RowTally(uint32_t columns) : cells_(columns), stamp_(columns, 0) {}

    void toColumn(int64_t column, uint64_t TrafficCell::*field, uint64_t w) {
        if (column >= 0 && column < static_cast<int64_t>(cells_.size()))
            cells_[static_cast<size_t>(column)].*field += w;
    }

    // Adds w toward every partner rank that is a member of comm; without a
    // communicator record every rank counts as a member.
    void toMembers(const TComm* comm, uint64_t TrafficCell::*field, uint64_t w) {
        if (!comm || comm->id == kWorldComm || comm->id == kSelfComm) {
            // World and self translate every rank, so every rank is a member.
            (field == &TrafficCell::sent ? everySent_ : everyReceived_) += w;
            return;
        }
        // A member listed twice is still one member.
        if (++round_ == 0) { // wrapped: old stamps could match again
            std::fill(stamp_.begin(), stamp_.end(), 0);
            round_ = 1;
        }
        const size_t n = std::min<size_t>(comm->size, comm->members.size());
        for (size_t k = 0; k < n; ++k) {
            const uint32_t m = comm->members[k];
            if (m >= cells_.size() || stamp_[m] == round_) continue;
            stamp_[m] = round_;
            cells_[m].*field += w;
        }
    }

    std::vector<TrafficCell> finish() {
        if (everySent_ || everyReceived_)
            for (TrafficCell& c : cells_) {
                c.sent += everySent_;
                c.received += everyReceived_;
            }
        return std::move(cells_);
    }

  private:
    std::vector<TrafficCell> cells_;
    std::vector<uint32_t> stamp_;
    uint32_t round_ = 0;
    uint64_t everySent_ = 0;
    uint64_t everyReceived_ = 0;
};

} // namespace

std::vector<TrafficCell> trafficRow(const TProcess& p, uint32_t columns, TrafficWeight weight,
                                    uint32_t section) {
    RowTally tally(columns);
    uint32_t current = 0;
    for (uint32_t k = 0; k < p.calls.size(); ++k) {
        const TFunc& f = p.calls[k];
        if (f.funcId == kFuncSection) {
            current = f.location;
            continue;
        }
        if (section != 0 && section != current) continue;
        const bool sends = (f.kind & kKindSend) && !(f.kind & kKindWait);
        const bool receives = (f.kind & kKindRecv) && !(f.kind & kKindWait);
        if (!sends && !receives) continue;

        const TComm* comm = p.findComm(f.comm, k);
        const int64_t peerColumn = comm ? comm->toGlobal(f.peer) : f.peer;
        const uint64_t w = weight == TrafficWeight::Bytes ? f.size : 1;

        if (sends) {
            if (isRootedSend(f.funcId)) {
                tally.toMembers(comm, &TrafficCell::sent, w);
                tally.toColumn(peerColumn, &TrafficCell::received, w);
            } else {
                tally.toColumn(peerColumn, &TrafficCell::sent, w);
            }
        }
        if (receives) {
            if (isRootedRecv(f.funcId)) {
                tally.toMembers(comm, &TrafficCell::received, w);
                tally.toColumn(peerColumn, &TrafficCell::sent, w);
            } else {
                tally.toColumn(peerColumn, &TrafficCell::received, w);
            }
        }
    }
    return tally.finish();
}

std::vector<const TProcess*> processesByRank(const TTrace& trace) {
    std::vector<const TProcess*> byRank(trace.processCount(), nullptr);
    for (const TProcess& p : trace.processes)
        if (p.rank < byRank.size() && !byRank[p.rank]) byRank[p.rank] = &p;
    return byRank;
}
