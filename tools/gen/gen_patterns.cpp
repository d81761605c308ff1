#include "tools/gen/gen_patterns.h"

#include "model/trace_model.h"
#include "tools/gen/gen_mpi.h"

#include <array>
#include <functional>
#include <numeric>
#include <queue>

GenGrid genGrid(uint32_t ranks) {
    uint32_t px = 1;
    for (uint32_t d = 1; uint64_t{d} * d <= ranks; ++d)
        if (ranks % d == 0) px = d;
    return {px, ranks / px};
}

namespace {

GenComm worldComm(uint32_t ranks) {
    GenComm world{kWorldComm, std::vector<uint32_t>(ranks)};
    std::iota(world.members.begin(), world.members.end(), 0u);
    return world;
}

} // namespace

void genRing(GenSim& sim, uint32_t iterations) {
    const uint32_t n = sim.ranks();
    constexpr uint32_t kSize = 8192;
    std::vector<int64_t> arrival(n);
    for (uint32_t it = 0; it < iterations; ++it) {
        for (uint32_t r = 0; r < n; ++r) sim.compute(r, 150, 400);
        for (uint32_t r = 0; r < n; ++r)
            arrival[r] = genSend(sim, r, (r + 1) % n, kTagRing, kSize, kWorldComm,
                                 makeLocation(kFileRing, 31));
        for (uint32_t r = 0; r < n; ++r) {
            const uint32_t left = (r + n - 1) % n;
            genRecv(sim, r, left, kTagRing, kSize, kWorldComm, makeLocation(kFileRing, 32),
                    arrival[left]);
        }
        sim.flushIfFull();
    }
}

void genStencil(GenSim& sim, uint32_t iterations) {
    const uint32_t n = sim.ranks();
    const GenGrid grid = genGrid(n);
    const GenComm world = worldComm(n);
    GenComm cart{sim.newCommId(), world.members};
    std::vector<const GenComm*> cartOf(n, &cart);
    genCreateComms(sim, world.members, kFuncCartCreate, cartOf, makeLocation(kFileStencil, 18));

    // Directions of travel: 0 west, 1 east, 2 south, 3 north; d ^ 1 is the opposite.
    constexpr uint32_t kNone = UINT32_MAX;
    auto neighbour = [&](uint32_t r, uint32_t d) -> uint32_t {
        const uint32_t x = r % grid.px, y = r / grid.px;
        switch (d) {
        case 0:
            return x > 0 ? r - 1 : kNone;
        case 1:
            return x + 1 < grid.px ? r + 1 : kNone;
        case 2:
            return y > 0 ? r - grid.px : kNone;
        default:
            return y + 1 < grid.py ? r + grid.px : kNone;
        }
    };
    // Halo rows are longer than halo columns: the subdomains are 256 x 128 cells.
    auto haloSize = [](uint32_t d) -> uint32_t { return d < 2 ? 8 * 128 : 8 * 256; };

    std::vector<GenIsend> sent(size_t{n} * 4);
    for (uint32_t it = 0; it < iterations; ++it) {
        for (uint32_t r = 0; r < n; ++r) {
            sim.compute(r, 40, 120); // pack the halos
            for (uint32_t d = 0; d < 4; ++d) {
                const uint32_t nb = neighbour(r, d);
                if (nb != kNone)
                    genIrecv(sim, r, nb, kTagHaloBase + (d ^ 1), haloSize(d), cart.id,
                             makeLocation(kFileStencil, 41));
            }
            for (uint32_t d = 0; d < 4; ++d) {
                const uint32_t nb = neighbour(r, d);
                if (nb != kNone)
                    sent[size_t{r} * 4 + d] = genIsend(sim, r, nb, kTagHaloBase + d, haloSize(d),
                                                       cart.id, makeLocation(kFileStencil, 44));
            }
        }
        for (uint32_t r = 0; r < n; ++r) {
            sim.compute(r, 300, 900); // the interior, while the halos travel
            for (uint32_t d = 0; d < 4; ++d) {
                const uint32_t nb = neighbour(r, d);
                if (nb != kNone)
                    genWaitIrecv(sim, r, nb, kTagHaloBase + (d ^ 1), haloSize(d), cart.id,
                                 makeLocation(kFileStencil, 50),
                                 sent[size_t{nb} * 4 + (d ^ 1)].arrival);
            }
            for (uint32_t d = 0; d < 4; ++d) {
                const uint32_t nb = neighbour(r, d);
                if (nb != kNone)
                    genWaitIsend(sim, r, nb, kTagHaloBase + d, haloSize(d), cart.id,
                                 makeLocation(kFileStencil, 51), sent[size_t{r} * 4 + d].end);
            }
            sim.compute(r, 50, 150); // the boundary cells
        }
        sim.flushIfFull();
    }
    genFreeComm(sim, cart, makeLocation(kFileStencil, 60));
}

std::vector<uint32_t> genMasterWorker(GenSim& sim, uint32_t iterations) {
    const uint32_t n = sim.ranks();
    constexpr uint32_t kMaster = 0;
    constexpr uint32_t kTaskSize = 256, kResultSize = 16384;
    const uint64_t tasks = uint64_t{iterations} * (n - 1);
    std::vector<uint32_t> handled(n, 0);

    // Results in order of arrival at the master; ties go to the lower rank.
    using Arrival = std::pair<int64_t, uint32_t>;
    std::vector<Arrival> storage;
    storage.reserve(n);
    std::priority_queue<Arrival, std::vector<Arrival>, std::greater<>> results(std::greater<>{},
                                                                               std::move(storage));

    auto work = [&](uint32_t w, int64_t taskArrival) {
        genRecv(sim, w, kMaster, kTagTask, kTaskSize, kWorldComm,
                makeLocation(kFileMasterWorker, 70), taskArrival);
        // Uneven work: every third worker is slower, and some tasks are long.
        int64_t length = sim.random().between(200, 2000);
        if (w % 3 == 0) length *= 2;
        if (sim.random().chance(5)) length *= 4;
        sim.now(w) += length;
        ++handled[w];
        results.emplace(genSend(sim, w, kMaster, kTagResult, kResultSize, kWorldComm,
                                makeLocation(kFileMasterWorker, 74)),
                        w);
    };

    uint64_t handedOut = 0;
    for (uint32_t w = 1; w < n; ++w) {
        work(w, genSend(sim, kMaster, w, kTagTask, kTaskSize, kWorldComm,
                        makeLocation(kFileMasterWorker, 52)));
        ++handedOut;
    }
    while (!results.empty()) {
        const auto [arrival, w] = results.top();
        results.pop();
        genRecv(sim, kMaster, w, kTagResult, kResultSize, kWorldComm,
                makeLocation(kFileMasterWorker, 56), arrival);
        sim.compute(kMaster, 10, 40); // merge the result
        if (handedOut < tasks) {
            work(w, genSend(sim, kMaster, w, kTagTask, kTaskSize, kWorldComm,
                            makeLocation(kFileMasterWorker, 58)));
            ++handedOut;
        } else {
            const int64_t stop = genSend(sim, kMaster, w, kTagStop, 0, kWorldComm,
                                         makeLocation(kFileMasterWorker, 61));
            genRecv(sim, w, kMaster, kTagStop, 0, kWorldComm, makeLocation(kFileMasterWorker, 70),
                    stop);
        }
        if (w == 1) sim.flushIfFull();
    }
    handled[kMaster] = static_cast<uint32_t>(handedOut);
    return handled;
}

void genCollectives(GenSim& sim, uint32_t iterations) {
    const uint32_t n = sim.ranks();
    const GenComm world = worldComm(n);
    const GenGrid grid = genGrid(n);

    GenComm dup{sim.newCommId(), world.members};
    const std::vector<const GenComm*> dupOf(n, &dup);
    genCreateComms(sim, world.members, kFuncCommDup, dupOf, makeLocation(kFileCollectives, 12));

    // Two halves of the world: the lower ranks and the upper ranks.
    const uint32_t half = n / 2;
    std::array<GenComm, 2> halves{GenComm{sim.newCommId(), {}}, GenComm{sim.newCommId(), {}}};
    std::vector<const GenComm*> halfOf(n);
    for (uint32_t r = 0; r < n; ++r) {
        GenComm& h = halves[r < half ? 0 : 1];
        h.members.push_back(r);
        halfOf[r] = &h;
    }
    genCreateComms(sim, world.members, kFuncCommSplit, halfOf, makeLocation(kFileCollectives, 14));

    GenComm cart{sim.newCommId(), world.members};
    const std::vector<const GenComm*> cartOf(n, &cart);
    genCreateComms(sim, world.members, kFuncCartCreate, cartOf, makeLocation(kFileCollectives, 16));
    std::vector<GenComm> rows(grid.py);
    std::vector<const GenComm*> rowOf(n);
    for (uint32_t y = 0; y < grid.py; ++y) {
        rows[y].id = sim.newCommId();
        for (uint32_t x = 0; x < grid.px; ++x) rows[y].members.push_back(y * grid.px + x);
    }
    for (uint32_t r = 0; r < n; ++r) rowOf[r] = &rows[r / grid.px];
    genCreateComms(sim, cart.members, kFuncCartSub, rowOf, makeLocation(kFileCollectives, 17));

    std::vector<uint32_t> sizes(n);
    auto fill = [&](uint32_t count, uint32_t lo, uint32_t hi) {
        for (uint32_t i = 0; i < count; ++i)
            sizes[i] = static_cast<uint32_t>(sim.random().between(lo, hi));
        return std::span<const uint32_t>(sizes.data(), count);
    };
    auto same = [&](uint32_t count, uint32_t size) { return fill(count, size, size); };
    auto computeAll = [&](int64_t lo, int64_t hi) {
        for (uint32_t r = 0; r < n; ++r) sim.compute(r, lo, hi);
    };

    for (uint32_t it = 0; it < iterations; ++it) {
        computeAll(100, 300);
        genRootToAll(sim, world, kFuncBcast, it % n, same(n, 4096),
                     makeLocation(kFileCollectives, 25));
        genRootToAll(sim, world, kFuncScatter, 0, same(n, 1024),
                     makeLocation(kFileCollectives, 26));
        computeAll(50, 150);
        genRootToAll(sim, world, kFuncScatterv, 0, fill(n, 256, 4096),
                     makeLocation(kFileCollectives, 28));
        genAllToRoot(sim, world, kFuncGather, 0, same(n, 1024), makeLocation(kFileCollectives, 29));
        genAllToRoot(sim, world, kFuncGatherv, n - 1, fill(n, 256, 4096),
                     makeLocation(kFileCollectives, 30));
        genAllToRoot(sim, world, kFuncReduce, 0, same(n, 64), makeLocation(kFileCollectives, 31));
        genRootToAll(sim, dup, kFuncBcast, 0, same(n, 256), makeLocation(kFileCollectives, 33));
        for (const GenComm& h : halves) {
            genRootToAll(sim, h, kFuncBcast, 0, same(h.size(), 512),
                         makeLocation(kFileCollectives, 35));
            genAllToRoot(sim, h, kFuncReduce, 0, same(h.size(), 64),
                         makeLocation(kFileCollectives, 36));
        }
        for (const GenComm& row : rows)
            genAllToRoot(sim, row, kFuncReduce, 0, same(row.size(), 64),
                         makeLocation(kFileCollectives, 38));
        sim.flushIfFull();
    }

    for (const GenComm& row : rows) genFreeComm(sim, row, makeLocation(kFileCollectives, 44));
    genFreeComm(sim, cart, makeLocation(kFileCollectives, 45));
    for (const GenComm& h : halves) genFreeComm(sim, h, makeLocation(kFileCollectives, 46));
    genFreeComm(sim, dup, makeLocation(kFileCollectives, 47));
}
