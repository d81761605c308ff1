#include "model/traffic_rows.h"

#include "model/comm_lookup.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"

#include <algorithm>
#include <memory>
#include <span>

namespace {

// Function identifiers whose root's call stands for traffic with every member.
constexpr uint64_t kRootSends =
    uint64_t{1} << kFuncBcast | uint64_t{1} << kFuncScatter | uint64_t{1} << kFuncScatterv;
constexpr uint64_t kRootReceives =
    uint64_t{1} << kFuncReduce | uint64_t{1} << kFuncGather | uint64_t{1} << kFuncGatherv;

constexpr uint64_t TrafficCell::*kSent = &TrafficCell::sent;
constexpr uint64_t TrafficCell::*kReceived = &TrafficCell::received;

bool inSet(uint64_t set, uint32_t funcId) {
    return funcId < 64 && ((set >> funcId) & 1) != 0;
}

// What a row needs of the communicator a call names: its local ranks as
// columns (TComm::toGlobal, as a table), and where amounts toward its members
// are summed.
struct CommView {
    const uint32_t* members = nullptr; // column of each local rank below `listed`
    uint32_t listed = 0;
    uint32_t otherwise = UINT32_MAX;   // column of any other local rank (UINT32_MAX: none)
    uint32_t view = CommLookup::kNone; // in the process's list; kNone: no record
    TrafficCell* toMembers = nullptr;  // amounts toward every member

    // A local rank without a global one (negative, past the list) gives
    // UINT32_MAX; callers keep only the columns their row has.
    uint32_t column(int32_t peer) const {
        const auto local = static_cast<uint32_t>(peer);
        return local < listed ? members[local] : otherwise;
    }
};

// CommLookup::find, with the answer for each identifier kept while it stays
// the answer: a communicator found at call k stays the answer for later calls
// until it is freed, since those listed before it with the same identifier
// were created no later and were already freed at k. Calls are asked for in
// rising order, so a kept answer is never asked for an earlier call.
class CommCache {
  public:
    // identity: the columns 0, 1, ... for the communicators whose local ranks
    // are the global ones; every: where their amounts toward members go.
    CommCache(const TProcess& p, std::span<const uint32_t> identity, TrafficCell* every,
              std::vector<TrafficCell>& perView)
        : lookup_(p), identity_(identity), every_(every), perView_(perView), ownRank_(p.rank) {}

    const CommLookup& lookup() const { return lookup_; }

    const CommView& find(uint32_t id, uint32_t callIndex) {
        Slot& s = slots_[(id * 2654435761u) >> (32 - kSlotBits)];
        if (s.id != id || callIndex >= s.end) refill(s, id, callIndex);
        return s.comm;
    }

  private:
    struct Slot {
        uint32_t id = 0;
        uint64_t end = 0; // the answer holds for calls before this one
        CommView comm;
    };

    void refill(Slot& s, uint32_t id, uint32_t callIndex) {
        s.id = id;
        s.comm = CommView{};
        const uint32_t view = lookup_.find(id, callIndex);
        const TComm* c = lookup_.comm(view);
        // No record (it may be created later, so only this call gets the
        // answer) or world: local ranks are global. Self: the process alone.
        s.end = c ? (c->freedAt == 0 ? uint64_t{UINT32_MAX} + 1 : uint64_t{c->freedAt} + 1)
                  : uint64_t{callIndex} + 1;
        s.comm.view = view;
        if (c && c->id == kSelfComm) {
            s.comm.members = &ownRank_;
            s.comm.listed = 1;
        } else if (!c || c->id == kWorldComm) {
            s.comm.members = identity_.data();
            s.comm.listed = static_cast<uint32_t>(identity_.size());
        } else {
            s.comm.members = c->members.data();
            s.comm.listed = static_cast<uint32_t>(std::min<size_t>(c->size, c->members.size()));
        }
        // World and no record count every rank as a member.
        const bool everyRank = !c || c->id == kWorldComm;
        s.comm.toMembers = everyRank ? every_ : &perView_[view];
    }

    static constexpr uint32_t kSlotBits = 5;
    CommLookup lookup_;
    std::span<const uint32_t> identity_;
    TrafficCell* every_;
    std::vector<TrafficCell>& perView_;
    uint32_t ownRank_; // the self communicator's one member
    Slot slots_[1u << kSlotBits];
};

// Memory one worker reuses from row to row, on cache lines of its own.
struct alignas(64) RowScratch {
    std::vector<TrafficCell> perView; // amounts toward the members of each communicator
    TrafficCell every;                // amounts toward every rank
    std::vector<TrafficCell> steps;   // difference row: cell c gets the sum of steps[0..c]
};

// Spreads what was sent to or received from the members of communicators
// over the row, each communicator once: a collective costs the same however
// many members its communicator has. A run of consecutive ranks (the usual
// communicator) becomes two steps instead of one addition per member.
void spreadToMembers(const CommLookup& lookup, std::span<TrafficCell> cells, RowScratch& scratch) {
    const auto columns = cells.size();
    std::vector<TrafficCell>& steps = scratch.steps;
    steps.assign(columns + 1, TrafficCell{});
    auto step = [&](uint64_t at, const TrafficCell& amount, bool up) {
        TrafficCell& s = steps[std::min<uint64_t>(at, columns)];
        // Unsigned arithmetic wraps, and so does the running sum: exact modulo 2^64.
        s.sent += up ? amount.sent : 0 - amount.sent;
        s.received += up ? amount.received : 0 - amount.received;
    };
    step(0, scratch.every, true);
    for (uint32_t view = 0; view < scratch.perView.size(); ++view) {
        const TrafficCell amount = scratch.perView[view];
        if (!amount.sent && !amount.received) continue;
        // Distinct members come ascending; a run is each one the last plus one.
        uint64_t first = 0, next = 0, count = 0;
        bool run = true;
        lookup.forEachMember(view, [&](uint32_t m) {
            if (count++ == 0)
                first = m;
            else if (m != next)
                run = false;
            next = uint64_t{m} + 1;
        });
        if (run) {
            if (count == 0 || first >= columns) continue;
            step(first, amount, true);
            step(first + count, amount, false);
            continue;
        }
        lookup.forEachMember(view, [&](uint32_t m) {
            if (m >= columns) return;
            cells[m].sent += amount.sent;
            cells[m].received += amount.received;
        });
    }
    TrafficCell running;
    for (size_t c = 0; c < columns; ++c) {
        running.sent += steps[c].sent;
        running.received += steps[c].received;
        cells[c].sent += running.sent;
        cells[c].received += running.received;
    }
}

// Send, receive or both, and no wait: the calls that carry traffic.
bool carriesTraffic(uint32_t kind) {
    // Bit (kind & 14) of 0x54: kinds 2, 4 and 6 (plus any bits outside 14).
    return ((0x54u >> (kind & (kKindSend | kKindRecv | kKindWait))) & 1) != 0;
}

constexpr uint32_t kCallsAhead = 16;

// One row into cells (one cell per partner rank), which come zeroed.
// identity: the columns 0, 1, ... up to the number of cells (at most 2^31).
// Templated on the weight and on a section filter so that the walk over the
// calls, the whole cost at scale, tests neither.
template <bool kBytes, bool kSection>
void fillTrafficRow(const TProcess& p, std::span<TrafficCell> cells, uint32_t section,
                    const TrafficStarts* starts, std::span<const uint32_t> identity,
                    RowScratch& scratch) {
    scratch.perView.assign(p.comms.size(), TrafficCell{});
    scratch.every = TrafficCell{};
    CommCache cache(p, identity, &scratch.every, scratch.perView);
    bool anyRooted = false;
    const auto limit = static_cast<uint32_t>(identity.size());
    TrafficCell* const row = cells.data();

    uint32_t current = 0;
    const TFunc* const calls = p.calls.data();
    const auto count = static_cast<uint32_t>(p.calls.size());
    for (uint32_t k = 0; k < count; ++k) {
        // Asked for ahead: the work per call leaves the processor too few
        // calls in flight to hide the memory's latency by itself.
        __builtin_prefetch(calls + k + kCallsAhead);
        const TFunc& f = calls[k];
        const uint32_t kind = f.kind;
        if (kSection) {
            if (f.funcId == kFuncSection) {
                current = f.location;
                continue;
            }
            if (!carriesTraffic(kind) || (section != 0 && section != current)) continue;
            if (starts && !starts->range.holds(wrapAdd(f.start, starts->offset))) continue;
        } else if (!carriesTraffic(kind) || f.funcId == kFuncSection) {
            continue;
        }

        const CommView& comm = cache.find(f.comm, k);
        const uint64_t w = kBytes ? f.size : 1;
        // A call both sending and receiving counts as a send.
        const bool sends = (kind & kKindSend) != 0;
        const bool rooted = inSet(sends ? kRootSends : kRootReceives, f.funcId);
        // The peer's cell: a plain send is sent, a plain receive received; a
        // root's call names the root itself, and that cell counts the other way.
        // (Fields picked by member pointers: an offset, not a branch on the
        // alternating sends and receives.)
        const uint32_t column = comm.column(f.peer);
        if (column < limit) row[column].*(sends != rooted ? kSent : kReceived) += w;
        if (!rooted) continue;
        comm.toMembers->*(sends ? kSent : kReceived) += w;
        anyRooted = true;
    }
    if (anyRooted) spreadToMembers(cache.lookup(), cells, scratch);
}

// A range of starts takes the filtered walk too.
void fillTrafficRow(const TProcess& p, std::span<TrafficCell> cells, TrafficWeight weight,
                    uint32_t section, const TrafficStarts* starts,
                    std::span<const uint32_t> identity, RowScratch& scratch) {
    const bool bytes = weight == TrafficWeight::Bytes;
    if (section != 0 || starts)
        bytes ? fillTrafficRow<true, true>(p, cells, section, starts, identity, scratch)
              : fillTrafficRow<false, true>(p, cells, section, starts, identity, scratch);
    else
        bytes ? fillTrafficRow<true, false>(p, cells, section, starts, identity, scratch)
              : fillTrafficRow<false, false>(p, cells, section, starts, identity, scratch);
}

// The columns 0, 1, ... of a row of `columns` cells; ranks are signed, so
// columns from 2^31 on cannot be named.
std::vector<uint32_t> identityColumns(size_t columns) {
    std::vector<uint32_t> identity(std::min<size_t>(columns, 0x80000000u));
    for (uint32_t c = 0; c < identity.size(); ++c) identity[c] = c;
    return identity;
}

// Rows per batch of forEachTrafficRow: about 2^21 cells (32 MB), at least 2
// rows. Few batches mean few thread starts: 2048 ranks are one batch.
uint32_t batchRows(uint32_t columns) {
    const uint64_t rows = (uint64_t{1} << 21) / std::max<uint32_t>(columns, 1);
    return static_cast<uint32_t>(std::clamp<uint64_t>(rows, 2, 1u << 21));
}

// Storage for the rows of a batch, left unwritten: each worker writes the rows
// it makes, so the pages are cleared by both threads, not first by the caller.
class RowStore {
  public:
    explicit RowStore(size_t cells)
        : cells_(cells), data_(std::allocator<TrafficCell>().allocate(cells)) {}
    ~RowStore() { std::allocator<TrafficCell>().deallocate(data_, cells_); }
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    // Row i of `columns` cells, its cells made (zero) here.
    std::span<TrafficCell> make(uint32_t i, uint32_t columns) {
        TrafficCell* row = data_ + size_t{i} * columns;
        std::uninitialized_fill_n(row, columns, TrafficCell{});
        return {row, columns};
    }
    std::span<const TrafficCell> row(uint32_t i, uint32_t columns) const {
        return {data_ + size_t{i} * columns, columns};
    }

  private:
    size_t cells_;
    TrafficCell* data_;
};

} // namespace

std::vector<TrafficCell> trafficRow(const TProcess& p, uint32_t columns, TrafficWeight weight,
                                    uint32_t section, const TrafficStarts* starts) {
    std::vector<TrafficCell> cells(columns);
    RowScratch scratch;
    fillTrafficRow(p, cells, weight, section, starts, identityColumns(columns), scratch);
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
    const std::function<void(uint32_t rank, std::span<const TrafficCell> cells)>& fn,
    const std::optional<TimeRange>& range) {
    const std::vector<const TProcess*> byRank = processesByRank(trace);
    const auto n = static_cast<uint32_t>(byRank.size());
    // Each row's range with its node's offset, taken here: the workers only read.
    std::vector<TrafficStarts> starts;
    if (range) {
        starts.resize(n, TrafficStarts{*range, 0});
        for (uint32_t r = 0; r < n; ++r)
            if (byRank[r]) starts[r].offset = trace.nodeOffset(byRank[r]->nodeIndex);
    }
    const uint32_t batch = std::min(batchRows(n), n);
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    // One store for all rows of a batch, reused: no allocation per row.
    RowStore rows(size_t{batch} * n);
    std::vector<RowScratch> scratch(workers);
    const std::vector<uint32_t> identity = identityColumns(n);
    for (uint32_t first = 0; first < n; first += batch) {
        const uint32_t count = std::min(batch, n - first);
        parallelFor(workers, count, [&](unsigned worker, uint32_t i) {
            if (const TProcess* p = byRank[first + i])
                fillTrafficRow(*p, rows.make(i, n), weight, section,
                               range ? &starts[first + i] : nullptr, identity, scratch[worker]);
        });
        for (uint32_t i = 0; i < count; ++i)
            if (byRank[first + i]) fn(first + i, rows.row(i, n));
    }
}
