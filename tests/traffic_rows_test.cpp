// The one-scan rows and the sparse send/receive check must give exactly what
// the per-cell operations of the model give, on random traces that mix every
// case: rooted collectives, sub-communicators (with odd member lists), waits,
// unfinished calls, sections, rank gaps.
#include "model/check_lines.h"
#include "model/parallel_for.h"
#include "model/trace_document.h"
#include "model/traffic_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <stdexcept>

namespace {

const uint32_t kFuncs[] = {
    // point to point and waits
    kFuncSend, kFuncRecv, kFuncIsend, kFuncIrecv, kFuncWaitIsend, kFuncWaitIrecv, kFuncWait,
    // rooted collectives
    kFuncBcast, kFuncReduce, kFuncScatter, kFuncScatterv, kFuncGather, kFuncGatherv,
    // unfinished, markers, no traffic
    kFuncSend | kUnfinishedFlag, kFuncBcast | kUnfinishedFlag, kFuncSection, kFuncInit};

// The checks' send/receive comparison over every pair of cells, given the
// message counts of row i toward column j.
std::vector<std::string> mismatchLines(uint32_t n,
                                       const std::function<TrafficCell(uint32_t, uint32_t)>& cell) {
    std::vector<std::string> lines;
    auto line = [&](uint32_t a, uint32_t b) {
        lines.push_back("\tNumber of sent messages not equal to number of receive one (" +
                        std::to_string(a) + " to " + std::to_string(b) + ")");
    };
    for (uint32_t i = 0; i < n; ++i)
        for (uint32_t j = i; j < n; ++j) {
            const TrafficCell ij = cell(i, j), ji = cell(j, i);
            if (ij.sent != ji.received) line(i, j);
            if (ji.sent != ij.received) line(j, i);
        }
    return lines;
}

} // namespace

// CommLookup (rising and restarted call indices, reused identifiers) is
// checked through the rows below and through link building against its
// reference.

TEST(TrafficRows, AllRowsInBatchesEqualSingleRowsAndChecksEqualPerCellCounts) {
    // 2500 ranks: rows come in three batches; a few ranks missing; sparse traffic
    // across batch borders (ring neighbours, far partners, a rooted broadcast).
    constexpr uint32_t n = 2500;
    std::mt19937 rng(11);
    TTrace trace;
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t rank = i % 97 == 5 ? n + i : i; // a gap now and then
        TProcess p(0, 1, rank);
        TComm pair;
        pair.id = 500;
        pair.members = {i, (i + 300) % n};
        pair.size = 2;
        p.addComm(std::move(pair));
        for (uint32_t k = 0; k < 6; ++k) {
            const uint32_t func = k % 3 == 0 ? kFuncSend : k % 3 == 1 ? kFuncRecv : kFuncBcast;
            const auto peer = static_cast<int32_t>(rng() % 3 == 0 ? rng() % n : (i + 1) % n);
            p.addCall(TFunc::make(k, func, k, k + 1, func == kFuncBcast ? 0 : peer,
                                  func == kFuncBcast ? 500 : kWorldComm, 0, 1 + k, 0));
        }
        trace.processes.push_back(std::move(p));
    }
    const auto byRank = processesByRank(trace);
    std::vector<uint32_t> seen;
    forEachTrafficRow(trace, TrafficWeight::Bytes, 0,
                      [&](uint32_t rank, std::span<const TrafficCell> cells) {
                          ASSERT_LT(rank, n);
                          ASSERT_NE(byRank[rank], nullptr);
                          ASSERT_EQ(std::vector<TrafficCell>(cells.begin(), cells.end()),
                                    trafficRow(*byRank[rank], n, TrafficWeight::Bytes, 0))
                              << rank;
                          seen.push_back(rank);
                      });
    std::vector<uint32_t> expected;
    for (uint32_t r = 0; r < n; ++r)
        if (byRank[r]) expected.push_back(r);
    EXPECT_EQ(seen, expected); // every present rank once, ascending

    // The check's merged walk over nonzero cells against every pair of dense rows.
    std::vector<std::vector<TrafficCell>> dense(n, std::vector<TrafficCell>(n));
    for (uint32_t r = 0; r < n; ++r)
        if (byRank[r]) dense[r] = trafficRow(*byRank[r], n, TrafficWeight::Messages, 0);
    std::vector<std::string> lines;
    checkSendRecv(trace, lines);
    EXPECT_FALSE(lines.empty());
    EXPECT_EQ(lines, mismatchLines(n, [&](uint32_t i, uint32_t j) { return dense[i][j]; }));
}

namespace {

// Traces aimed at the shortcuts of the row walk: many communicator
// identifiers (more than the walk keeps answers for, so they share places),
// identifiers unknown at first and created later, reused and freed at the
// very call that names them; member lists that are runs of consecutive ranks
// (shuffled, repeated, reaching past the last rank) and lists that are not;
// ranks too large to be a column; rooted collectives on all of them.
TTrace shortcutTrace(std::mt19937& rng, uint32_t n) {
    auto pick = [&](uint32_t bound) { return static_cast<uint32_t>(rng() % bound); };
    auto memberList = [&]() {
        std::vector<uint32_t> m;
        switch (pick(4)) {
        case 0: { // a run, maybe past the last rank, maybe listed out of order or twice
            const uint32_t first = pick(n + 2), length = 1 + pick(n + 1);
            for (uint32_t r = first; r < first + length; ++r) m.push_back(r);
            if (pick(2)) std::shuffle(m.begin(), m.end(), rng);
            if (pick(3) == 0) m.push_back(m[pick(static_cast<uint32_t>(m.size()))]);
            break;
        }
        case 1: // scattered ranks
            for (uint32_t k = pick(6); k > 0; --k) m.push_back(pick(n + 3));
            break;
        case 2: // ranks no column can have
            m = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, pick(n)};
            break;
        default: // empty
            break;
        }
        return m;
    };
    TTrace trace;
    for (uint32_t i = 0; i < n; ++i) {
        TProcess p(0, 1, pick(6) == 0 ? pick(n + 2) : i); // gaps and repeated ranks
        const uint32_t calls = pick(120);
        uint32_t recent = 600; // calls often name the last one created, near its end of life
        for (uint32_t k = 0; k < calls; ++k) {
            if (pick(6) == 0) {
                TComm c;
                c.id = recent = 600 + pick(40);
                c.members = memberList();
                c.size = static_cast<uint32_t>(c.members.size()) + pick(3) - (pick(3) == 0);
                c.createdAt = k;
                c.freedAt = pick(3) == 0 ? 0 : k + pick(15);
                p.addComm(std::move(c));
            }
            const uint32_t func = kFuncs[pick(std::size(kFuncs))];
            const uint32_t comm = pick(2)        ? recent
                                  : pick(4) == 0 ? kWorldComm
                                  : pick(8) == 0 ? kSelfComm
                                                 : 600 + pick(44);
            const int32_t peer =
                pick(10) == 0 ? static_cast<int32_t>(rng()) : static_cast<int32_t>(pick(n + 4)) - 2;
            const uint32_t location = func == kFuncSection ? pick(3) : k;
            // Sizes near 2^32: sums past 32 bits must not wrap.
            const uint32_t size = pick(2) ? 0xFFFFFFF0u + pick(16) : pick(100);
            p.addCall(TFunc::make(location, func, k, k + 1, peer, comm, 0, size,
                                  pick(3) ? peer : static_cast<int32_t>(pick(n))));
        }
        trace.processes.push_back(std::move(p));
    }
    return trace;
}

// The cell of `rank` toward `column` as the model computes it, one cell at a time.
TrafficCell referenceCell(const TTrace& trace, uint32_t rank, uint32_t column, TrafficWeight weight,
                          uint32_t section) {
    TrafficCell cell;
    if (weight == TrafficWeight::Bytes)
        trace.dataSizes(rank, column, cell.sent, cell.received, section);
    else
        trace.messageCounts(rank, column, cell.sent, cell.received, section);
    return cell;
}

} // namespace

TEST(TrafficRows, ShortcutsEqualPerCellCountsOnRandomTraces) {
    std::mt19937 rng(5150);
    for (int round = 0; round < 60; ++round) {
        const uint32_t n = 1 + static_cast<uint32_t>(rng() % 16);
        const TTrace trace = shortcutTrace(rng, n);
        const auto byRank = processesByRank(trace);
        for (TrafficWeight weight : {TrafficWeight::Messages, TrafficWeight::Bytes})
            for (uint32_t section : {0u, 1u, 2u}) {
                const auto expectCells = [&](uint32_t r, std::span<const TrafficCell> cells) {
                    for (uint32_t c = 0; c < cells.size(); ++c)
                        ASSERT_EQ(cells[c], referenceCell(trace, r, c, weight, section))
                            << "round " << round << " cell " << r << "," << c << " of "
                            << cells.size();
                };
                // All rows at once, on two threads reusing their memory row after row.
                std::vector<bool> seen(n);
                forEachTrafficRow(trace, weight, section,
                                  [&](uint32_t r, std::span<const TrafficCell> cells) {
                                      seen[r] = true;
                                      ASSERT_EQ(cells.size(), n);
                                      expectCells(r, cells);
                                  });
                for (uint32_t r = 0; r < n; ++r) ASSERT_EQ(seen[r], byRank[r] != nullptr) << r;
                // Single rows narrower than, as wide as and wider than the rank count.
                for (uint32_t r = 0; r < n; ++r)
                    for (uint32_t columns : {n / 2, n, n + 3})
                        if (byRank[r]) {
                            const auto cells = trafficRow(*byRank[r], columns, weight, section);
                            ASSERT_EQ(cells.size(), columns);
                            expectCells(r, cells);
                        }
            }
        std::vector<std::string> lines;
        checkSendRecv(trace, lines);
        ASSERT_EQ(lines, mismatchLines(n,
                                       [&](uint32_t i, uint32_t j) {
                                           return referenceCell(trace, i, j,
                                                                TrafficWeight::Messages, 0);
                                       }))
            << "round " << round;
    }
}

TEST(ParallelFor, EachItemOnceAndFailuresReachTheCaller) {
    for (uint32_t count : {0u, 1u, 2u, 1000u}) {
        std::vector<std::atomic<int>> calls(count);
        parallelFor(count, [&](uint32_t i) { ++calls[i]; });
        EXPECT_EQ(std::vector<int>(calls.begin(), calls.end()), std::vector<int>(count, 1));
    }
    // Whichever thread meets the failing item, the caller gets the exception.
    for (int round = 0; round < 20; ++round)
        EXPECT_THROW(parallelFor(100,
                                 [](uint32_t i) {
                                     if (i == 37) throw std::runtime_error("out of memory");
                                 }),
                     std::runtime_error);
}

TEST(TrafficRows, ARangeTakesTheCallsStartingInItOnTheirNodesClock) {
    // Rank 0 on node 0 (no offset) sends 10 bytes to rank 1 at local times
    // 0, 100, ..., 1900; rank 1 on node 1 (offset 1000) to rank 0 at 0, ..., 900.
    TTrace trace;
    for (uint32_t rank = 0; rank < 2; ++rank) {
        TProcess p(rank, 1 + rank, rank);
        for (int64_t k = 0; k < (rank == 0 ? 20 : 10); ++k)
            p.addCall(TFunc::make(0, kFuncSend, 100 * k, 100 * k + 10,
                                  static_cast<int32_t>(1 - rank), kWorldComm, 0, 10, 0));
        trace.processes.push_back(std::move(p));
    }
    trace.nodeClocks = {{0}, {1000}};
    ASSERT_EQ(trace.nodeOffset(1), 1000);

    // Corrected starts in [1000, 1500): rank 0's 1000..1400, rank 1's 0..400.
    const TimeRange range{1000, 1500};
    std::vector<std::vector<TrafficCell>> rows;
    forEachTrafficRow(
        trace, TrafficWeight::Bytes, 0,
        [&](uint32_t, std::span<const TrafficCell> cells) {
            rows.emplace_back(cells.begin(), cells.end());
        },
        range);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], (TrafficCell{50, 0}));
    EXPECT_EQ(rows[1][0], (TrafficCell{50, 0}));
    for (uint32_t r = 0; r < 2; ++r) {
        const TrafficStarts starts{range, trace.nodeOffset(r)};
        EXPECT_EQ(rows[r], trafficRow(trace.processes[r], 2, TrafficWeight::Bytes, 0, &starts));
    }
}
