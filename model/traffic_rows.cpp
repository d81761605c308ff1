#include "model/traffic_rows.h"

#include "model/comm_lookup.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <algorithm>
#include <span>

namespace {

bool isRootedSend(uint32_t funcId) {
    return funcId == kFuncBcast || funcId == kFuncScatter || funcId == kFuncScatterv;
}

bool isRootedRecv(uint32_t funcId) {
    return funcId == kFuncReduce || funcId == kFuncGather || funcId == kFuncGatherv;
}

// Accumulates one row. "Every column" amounts and amounts toward the members
// of a communicator are kept apart and spread once at the end: a collective
// costs the same however many members its communicator has.
class RowTally {
  public:
    // cells: the row to fill, zeroed here.
    RowTally(const CommLookup& lookup, std::span<TrafficCell> cells, size_t comms)
        : lookup_(lookup), cells_(cells), membersSent_(comms), membersReceived_(comms) {
        std::fill(cells_.begin(), cells_.end(), TrafficCell{});
    }

    void toColumn(int64_t column, uint64_t TrafficCell::*field, uint64_t w) {
        if (column >= 0 && column < static_cast<int64_t>(cells_.size()))
            cells_[static_cast<size_t>(column)].*field += w;
    }

    // Adds w toward every partner rank that is a member of communicator view;
    // without a communicator record every rank counts as a member.
    void toMembers(uint32_t view, bool sent, uint64_t w) {
        const TComm* comm = lookup_.comm(view);
        if (!comm || comm->id == kWorldComm || comm->id == kSelfComm) {
            // World and self translate every rank, so every rank is a member.
            (sent ? everySent_ : everyReceived_) += w;
            return;
        }
        (sent ? membersSent_ : membersReceived_)[view] += w;
    }

    void finish() {
        for (uint32_t view = 0; view < membersSent_.size(); ++view) {
            const uint64_t sent = membersSent_[view];
            const uint64_t received = membersReceived_[view];
            if (!sent && !received) continue;
            // Each distinct member once: a member listed twice is still one member.
            lookup_.forEachMember(view, [&](uint32_t m) {
                if (m >= cells_.size()) return;
                cells_[m].sent += sent;
                cells_[m].received += received;
            });
        }
        if (everySent_ || everyReceived_)
            for (TrafficCell& c : cells_) {
                c.sent += everySent_;
                c.received += everyReceived_;
            }
    }

  private:
    const CommLookup& lookup_;
    std::span<TrafficCell> cells_;
    std::vector<uint64_t> membersSent_;     // per communicator view
    std::vector<uint64_t> membersReceived_; // per communicator view
    uint64_t everySent_ = 0;
    uint64_t everyReceived_ = 0;
};

// CommLookup::find with the last answer for each of a few identifiers kept:
// most calls of a row name the same one or two communicators. A communicator
// found at call k stays the answer for later calls until it is freed: those
// listed before it with the same identifier were created no later and were
// already freed at k.
class CachedLookup {
  public:
    explicit CachedLookup(const TProcess& p) : process_(p), lookup_(p) {}

    const CommLookup& lookup() const { return lookup_; }

    uint32_t find(uint32_t id, uint32_t callIndex) {
        Entry& e = entries_[id % kEntries];
        if (e.view != CommLookup::kNone && e.id == id && callIndex >= e.from &&
            callIndex <= e.until)
            return e.view;
        const uint32_t view = lookup_.find(id, callIndex);
        if (view != CommLookup::kNone) {
            const uint32_t freedAt = process_.comms[view].freedAt;
            e = {id, view, callIndex, freedAt == 0 ? UINT32_MAX : freedAt};
        }
        return view;
    }

  private:
    struct Entry {
        uint32_t id = 0;
        uint32_t view = CommLookup::kNone;
        uint32_t from = 0;  // the call it was found for
        uint32_t until = 0; // the last call it lives at
    };
    static constexpr uint32_t kEntries = 4;
    const TProcess& process_;
    CommLookup lookup_;
    Entry entries_[kEntries];
};

// Rows per batch of forEachTrafficRow: about 2^21 cells (32 MB), at least 2
// rows. Few batches mean few thread starts: 2048 ranks are one batch.
uint32_t batchRows(uint32_t columns) {
    const uint64_t rows = (uint64_t{1} << 21) / std::max<uint32_t>(columns, 1);
    return static_cast<uint32_t>(std::clamp<uint64_t>(rows, 2, 1u << 21));
}

// One row into cells (one cell per partner rank).
void fillTrafficRow(const TProcess& p, std::span<TrafficCell> cells, TrafficWeight weight,
                    uint32_t section) {
    CachedLookup cached(p);
    const CommLookup& lookup = cached.lookup();
    RowTally tally(lookup, cells, p.comms.size());
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

        const uint32_t view = cached.find(f.comm, k);
        const TComm* comm = lookup.comm(view);
        const int64_t peerColumn = comm ? comm->toGlobal(f.peer) : f.peer;
        const uint64_t w = weight == TrafficWeight::Bytes ? f.size : 1;

        if (sends) {
            if (isRootedSend(f.funcId)) {
                tally.toMembers(view, true, w);
                tally.toColumn(peerColumn, &TrafficCell::received, w);
            } else {
                tally.toColumn(peerColumn, &TrafficCell::sent, w);
            }
        }
        if (receives) {
            if (isRootedRecv(f.funcId)) {
                tally.toMembers(view, false, w);
                tally.toColumn(peerColumn, &TrafficCell::sent, w);
            } else {
                tally.toColumn(peerColumn, &TrafficCell::received, w);
            }
        }
    }
    tally.finish();
}

} // namespace

std::vector<TrafficCell> trafficRow(const TProcess& p, uint32_t columns, TrafficWeight weight,
                                    uint32_t section) {
    std::vector<TrafficCell> cells(columns);
    fillTrafficRow(p, cells, weight, section);
    return cells;
}

std::vector<const TProcess*> processesByRank(const TTrace& trace) {
    std::vector<const TProcess*> byRank(trace.processCount(), nullptr);
    for (const TProcess& p : trace.processes)
        if (p.rank < byRank.size() && !byRank[p.rank]) byRank[p.rank] = &p;
    return byRank;
}

void forEachTrafficRow(
    const TTrace& trace, TrafficWeight weight, uint32_t section,
    const std::function<void(uint32_t rank, std::span<const TrafficCell> cells)>& fn) {
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    const auto n = static_cast<uint32_t>(byRank.size());
    const uint32_t batch = std::min(batchRows(n), n);
    // One buffer for all rows of a batch, reused: no allocation per row.
    std::vector<TrafficCell> rows(size_t{batch} * n);
    auto rowOf = [&](uint32_t i) { return std::span<TrafficCell>(rows).subspan(size_t{i} * n, n); };
    for (uint32_t first = 0; first < n; first += batch) {
        const uint32_t count = std::min(batch, n - first);
        parallelFor(count, [&](uint32_t i) {
            if (const TProcess* p = byRank[first + i])
                fillTrafficRow(*p, rowOf(i), weight, section);
        });
        for (uint32_t i = 0; i < count; ++i)
            if (byRank[first + i]) fn(first + i, rowOf(i));
    }
}
