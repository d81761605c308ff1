// The analysis figures on small traces worked out by hand: ranges cutting
// calls, calls of 0 µs, unfinished calls, clamps at 0 and at the duration,
// collectives on sub-communicators, reused identifiers and the self
// communicator.
#include "analysis/analysis_tables.h"
#include "analysis/collective_kinds.h"
#include "analysis/rank_balance.h"
#include "analysis/scoped_calls.h"
#include "appdb/func_names.h"
#include "format/tracer_calls.h"
#include "tests/table_rows.h"
#include "tests/written_trace.h"

#include <gtest/gtest.h>

namespace {

// One node: its clock is moved so that MPI_Init ends at 0, and every
// corrected time is the raw one plus that offset.
void declare(TraceWriter& w, uint32_t rank) {
    w.declareProcess(rank, testNode(1));
}

// A range given in raw times of the one node.
TimeRange raw(const TTrace& t, int64_t from, int64_t to) {
    return {from + t.nodeOffset(0), to + t.nodeOffset(0)};
}

void send(TraceWriter& w, uint32_t func, int64_t start, int64_t end, int32_t peer,
          uint32_t size = 8, uint32_t comm = kWorldComm) {
    w.longCall(0, func, start, end, size, 0, peer, comm);
}

// Rank 0: Init, a send cut by the range, section 5 with a receive, an
// unfinished Finalize. Rank 1: a receive, a send of 0 µs. Rank 2: two calls
// overlapping each other, so its time in calls exceeds its run time.
std::unique_ptr<TTrace> profileTrace() {
    TraceWriter w;
    declare(w, 0);
    w.shortCall(0, kFuncInit, 0, 100);
    send(w, kFuncSend, 100, 150, 1);
    w.sectionMarker(5, 200);
    send(w, kFuncRecv, 300, 400, 1);
    w.shortCall(0, kFuncFinalize | kUnfinishedFlag, 900, 1000);
    declare(w, 1);
    w.shortCall(0, kFuncInit, 0, 100);
    send(w, kFuncRecv, 120, 200, 0);
    send(w, kFuncSend, 250, 250, 0);
    w.shortCall(0, kFuncFinalize, 950, 1000);
    declare(w, 2);
    w.shortCall(0, kFuncInit, 0, 100);
    w.shortCall(0, kFuncWait, 50, 150);
    return openWrittenTrace(w);
}

FunctionFigures figures(uint32_t id, uint64_t calls, int64_t total, int64_t min, int64_t max) {
    return {id, calls, total, min, max};
}

} // namespace

TEST(Profile, WholeRunRangesSectionsAndRanks) {
    auto trace = profileTrace();
    ASSERT_TRUE(trace->loaded());
    ASSERT_EQ(trace->nodeOffset(0), -100);
    const Profile whole = profile(*trace, {});
    EXPECT_EQ(whole.functions,
              (std::vector<FunctionFigures>{
                  figures(kFuncInit, 3, 300, 100, 100), figures(kFuncRecv, 2, 180, 80, 100),
                  figures(kFuncFinalize, 2, 150, 50, 100), figures(kFuncWait, 1, 100, 100, 100),
                  figures(kFuncSend, 2, 50, 0, 50)}));
    EXPECT_EQ(whole.ranks, (std::vector<RankFigures>{
                               {0, 1000, 350, 650}, {1, 1000, 230, 770}, {2, 150, 200, 0}}));
    EXPECT_EQ(whole.runTimeSum, 2150);
    EXPECT_EQ(whole.outsideSum, 1420);

    // [120, 320) cuts rank 0's send and receive and keeps rank 1's send of 0 µs.
    const Profile p = profile(*trace, {raw(*trace, 120, 320), 0, {}});
    EXPECT_EQ(p.functions, (std::vector<FunctionFigures>{figures(kFuncRecv, 2, 100, 20, 80),
                                                         figures(kFuncSend, 2, 30, 0, 30),
                                                         figures(kFuncWait, 1, 30, 30, 30)}));
    EXPECT_EQ(p.ranks,
              (std::vector<RankFigures>{{0, 200, 50, 150}, {1, 200, 80, 120}, {2, 30, 30, 0}}));
    const TraceWindows windows(*trace);
    // A call of 0 µs counts where it starts: in [250, 260), not in [100, 250).
    EXPECT_EQ(profile(*trace, {raw(*trace, 250, 260), 0, {1}}, &windows).functions,
              (std::vector<FunctionFigures>{figures(kFuncSend, 1, 0, 0, 0)}));
    EXPECT_EQ(profile(*trace, {raw(*trace, 100, 250), 0, {1}}, &windows).functions,
              (std::vector<FunctionFigures>{figures(kFuncRecv, 1, 80, 80, 80)}));
    // Section 5 holds rank 0's receive and its unfinished Finalize.
    EXPECT_EQ(profile(*trace, {std::nullopt, 5, {}}).functions,
              (std::vector<FunctionFigures>{figures(kFuncFinalize, 1, 100, 100, 100),
                                            figures(kFuncRecv, 1, 100, 100, 100)}));

    const std::vector<Cells> rows = allRows(profileByFunctionTable(profile(*trace, {{}, 0, {1}})));
    EXPECT_EQ(rows.front(), (Cells{"MPI_Init", "1", "1", "100", "100.00", "100", "100", "10.00"}));
    EXPECT_EQ(rows.back(), (Cells{"(outside MPI)", "", "", "770", "", "", "", "77.00"}));
    EXPECT_EQ(allRows(profileByRankTable(whole))[2], (Cells{"2", "150", "200", "0", "133.33"}));
    // A range outside the run: run times 0, shares empty.
    EXPECT_EQ(allRows(profileByFunctionTable(profile(*trace, {TimeRange{5000, 6000}, 0, {}}))),
              (std::vector<Cells>{{"(outside MPI)", "", "", "0", "", "", "", ""}}));
}

TEST(RankBalance, GroupsOfEveryRankWholeAndInRanges) {
    auto trace = profileTrace();
    ASSERT_TRUE(trace->loaded());
    using G = std::array<int64_t, kFunctionGroups>; // point-to-point, collectives, waits, other
    // Rank 0's unfinished Finalize is other MPI time as its finished one is;
    // rank 2's overlapping calls leave nothing outside.
    EXPECT_EQ(rankBalance(*trace, {}), (std::vector<RankBalance>{{0, 1000, G{150, 0, 0, 200}, 650},
                                                                 {1, 1000, G{80, 0, 0, 150}, 770},
                                                                 {2, 150, G{0, 0, 100, 100}, 0}}));
    const TraceWindows windows(*trace);
    for (const TraceWindows* w : {static_cast<const TraceWindows*>(nullptr), &windows}) {
        // Cut calls give their overlaps; rank 1's send of 0 µs counts, adding 0.
        EXPECT_EQ(rankBalance(*trace, {raw(*trace, 120, 350), 0, {}}, w),
                  (std::vector<RankBalance>{{0, 230, G{80, 0, 0, 0}, 150},
                                            {1, 230, G{80, 0, 0, 0}, 150},
                                            {2, 30, G{0, 0, 30, 0}, 0}}));
    }
    EXPECT_EQ(rankBalance(*trace, {{}, 5, {0, 2}}),
              (std::vector<RankBalance>{{0, 1000, G{100, 0, 0, 100}, 800}, {2, 150, G{}, 150}}));
}

TEST(RankBalance, GroupsFollowTheFunctionTable) {
    EXPECT_EQ(functionGroupOf(kFuncIsend), FunctionGroup::PointToPoint);
    EXPECT_EQ(functionGroupOf(otherCallId(kOtherIprobe)), FunctionGroup::PointToPoint);
    EXPECT_EQ(functionGroupOf(kFuncGatherv), FunctionGroup::Collective);
    EXPECT_EQ(functionGroupOf(otherCallId(kOtherAllreduce)), FunctionGroup::Collective);
    EXPECT_EQ(functionGroupOf(otherCallId(kOtherBarrier)), FunctionGroup::Collective);
    EXPECT_EQ(functionGroupOf(kFuncWaitIsend), FunctionGroup::WaitTest);
    EXPECT_EQ(functionGroupOf(otherCallId(kOtherTestPolls)), FunctionGroup::WaitTest);
    EXPECT_EQ(functionGroupOf(kFuncInit), FunctionGroup::OtherMpi);
    EXPECT_EQ(functionGroupOf(kFuncCommDup), FunctionGroup::OtherMpi);
    EXPECT_EQ(functionGroupOf(traceFuncId(3)), FunctionGroup::OtherMpi);
    EXPECT_STREQ(functionGroupName(FunctionGroup::WaitTest), "waits and tests");
}

TEST(MessageSizes, PointToPointSendsByPowerOfTwo) {
    TraceWriter w;
    declare(w, 0);
    w.shortCall(0, kFuncInit, 0, 10);
    send(w, kFuncSend, 10, 11, 1, 0);
    send(w, kFuncIsend, 12, 13, 1, 1);
    send(w, kFuncSend, 14, 15, 1, 3);
    send(w, kFuncSend, 16, 17, 1, 4);
    send(w, kFuncWaitIsend, 18, 19, 1, 4);              // a wait: not counted again
    send(w, kFuncBcast, 20, 21, 0, 64);                 // a collective
    send(w, kFuncSend | kUnfinishedFlag, 22, 23, 1, 9); // unfinished: no kind
    send(w, kFuncSend, 30, 31, 1, 1024);
    declare(w, 1);
    w.shortCall(0, kFuncInit, 0, 10);
    send(w, kFuncSend, 40, 40, 0, 4294967295u);
    auto trace = openWrittenTrace(w);
    const MessageSizes all = messageSizes(*trace, {});
    const std::pair<uint32_t, SizeBin> expected[] = {{0, {1, 0}},     {1, {1, 1}},
                                                     {2, {1, 3}},     {3, {1, 4}},
                                                     {11, {1, 1024}}, {32, {1, 4294967295u}}};
    MessageSizes want;
    for (const auto& [bin, counts] : expected) want.bins[bin] = counts;
    EXPECT_EQ(all, want);
    EXPECT_EQ(sizeBinLabel(32), "2147483648-4294967295");

    // Counted by start: [14, 30) holds the sends of 3 and 4 bytes only.
    const std::vector<Cells> rows =
        allRows(messageSizesTable(messageSizes(*trace, {raw(*trace, 14, 30), 0, {}})));
    EXPECT_EQ(rows, (std::vector<Cells>{
                        {"0", "0", "0"}, {"1", "0", "0"}, {"2-3", "1", "3"}, {"4-7", "1", "4"}}));
    EXPECT_EQ(messageSizesTable(messageSizes(*trace, {{}, 0, {7}})).rowCount, 0u);
}

namespace {

constexpr uint32_t kAllreduce = otherCallId(kOtherAllreduce);
constexpr uint32_t kBarrier = otherCallId(kOtherBarrier);
constexpr uint32_t kSub = 200; // one identifier: two disjoint halves, then all four

// Four ranks on one node. Every figure of the test below is worked out from
// these times by hand.
std::unique_ptr<TTrace> waitTrace() {
    TraceWriter w;
    const uint32_t halfOf[4][2] = {{0, 1}, {0, 1}, {2, 3}, {2, 3}};
    const uint32_t all[] = {0, 1, 2, 3};
    struct Times {
        int64_t bcast, reduce, firstAllreduce, secondAllreduce, barrier;
        int64_t bcastEnd, reduceEnd, firstEnd, secondEnd;
    };
    const Times t[4] = {{500, 700, 1000, 1500, 1700, 510, 710, 1100, 1600},
                        {480, 650, 1050, 1510, 1700, 520, 800, 1060, 1520},
                        {505, 720, 1000, 1590, 1750, 600, 730, 1010, 1600},
                        {490, 690, 1020, 1550, 1790, 495, 700, 1040, 1560}};
    for (uint32_t r = 0; r < 4; ++r) {
        declare(w, r);
        w.shortCall(0, kFuncInit, 0, 10);
        if (r == 0) {
            send(w, kFuncSend, 100, 110, 1); // rank 1 waits 50 for it
            send(w, kFuncSend, 200, 300, 1); // and waits itself 50 for rank 1
        } else if (r == 1) {
            send(w, kFuncRecv, 50, 120, 0);
            send(w, kFuncRecv, 250, 260, 0);
        } else if (r == 2) {
            send(w, kFuncIsend, 100, 101, 3);
        } else {
            send(w, kFuncIrecv, 10, 11, 2);
            send(w, kFuncWaitIrecv, 20, 40, 2); // waits 80, clamped to its 20 µs
        }
        send(w, kFuncBcast, t[r].bcast, t[r].bcastEnd, 0);
        send(w, kFuncReduce, t[r].reduce, t[r].reduceEnd, 1);
        w.commCall(0, kFuncCommSplit, 900, 910, kSub, halfOf[r]);
        send(w, kAllreduce, t[r].firstAllreduce, t[r].firstEnd, 0, 8, kSub);
        w.commCall(0, kFuncCommFree, 1200, 1210, kSub, {});
        w.commCall(0, kFuncCommSplit, 1300, 1310, kSub, all);
        send(w, kAllreduce, t[r].secondAllreduce, t[r].secondEnd, 0, 8, kSub);
        send(w, kBarrier, t[r].barrier, 1800, 0);
        if (r == 0) send(w, kAllreduce, 1900, 1950, 0, 8, kSelfComm); // waits for nobody
        w.shortCall(0, kFuncFinalize, 2000, 2010);
    }
    return openWrittenTrace(w);
}

WaitTotals totals(uint64_t instances, uint64_t waiting, int64_t wait, int64_t max) {
    return {instances, waiting, wait, max};
}

} // namespace

TEST(WaitStates, EachKindWorkedOutByHand) {
    auto trace = waitTrace();
    ASSERT_TRUE(trace->loaded());
    const int64_t at = trace->nodeOffset(0); // corrected starts are raw ones plus this
    const WaitStates w = waitStates(*trace, {}, 100);
    using K = WaitKind;
    auto kind = [&](K k) { return w.byKind[static_cast<uint32_t>(k)]; };
    EXPECT_EQ(kind(K::LateSender), totals(3, 2, 70, 50));    // 50, 0, 20 (clamped)
    EXPECT_EQ(kind(K::LateReceiver), totals(2, 1, 50, 50));  // 0, 50
    EXPECT_EQ(kind(K::LateBroadcast), totals(3, 2, 25, 20)); // ranks 1, 2, 3: 20, 0, 5
    EXPECT_EQ(kind(K::EarlyReduce), totals(1, 1, 70, 70));
    // The halves {0, 1} and {2, 3} (50, 0 and 10, 0), then all four after the
    // identifier came back (90, 10, 0, 10); the self communicator adds nothing.
    EXPECT_EQ(kind(K::AllToAll), totals(8, 5, 170, 90));
    EXPECT_EQ(kind(K::Barrier), totals(4, 3, 220, 90));
    EXPECT_EQ(w.runTimeSum, 4 * 2010);

    ASSERT_GE(w.worst.size(), 3u);
    EXPECT_EQ(w.worst[0], (WaitInstance{K::AllToAll, 0, 9, kAllreduce, 1500 + at, 90, 2, 8}));
    EXPECT_EQ(w.worst[1], (WaitInstance{K::Barrier, 0, 10, kBarrier, 1700 + at, 90, 3, 10}));
    EXPECT_EQ(w.worst[2], (WaitInstance{K::Barrier, 1, 10, kBarrier, 1700 + at, 90, 3, 10}));
    const auto worstWhere = [&](auto pick) {
        const auto found = std::find_if(w.worst.begin(), w.worst.end(), pick);
        return found == w.worst.end() ? std::nullopt : std::optional(*found);
    };
    EXPECT_EQ(worstWhere([](const WaitInstance& i) { return i.kind == K::EarlyReduce; }),
              (WaitInstance{K::EarlyReduce, 1, 4, kFuncReduce, 650 + at, 70, 2, 3}));
    EXPECT_EQ(worstWhere([](const WaitInstance& i) { return i.rank == 3 && i.call == 2; }),
              (WaitInstance{K::LateSender, 3, 2, kFuncWaitIrecv, 20 + at, 20, 2, 1}));

    // By rank: rank 1 waited 50 (recv) + 20 (bcast) + 70 (reduce) + 0 + 10 + 90.
    EXPECT_EQ(w.byRank[1], (std::pair<int32_t, WaitTotals>{1, totals(7, 5, 240, 90)}));
    // Ranges take the waiting calls that start inside; ranks and sections filter them.
    const WaitStates early2 = waitStates(*trace, {raw(*trace, 0, 600), 0, {}}, 0);
    EXPECT_EQ(early2.byKind[static_cast<uint32_t>(K::AllToAll)], WaitTotals{});
    EXPECT_EQ(early2.byKind[static_cast<uint32_t>(K::LateSender)], totals(3, 2, 70, 50));
    EXPECT_EQ(early2.runTimeSum, 4 * 600);
    const WaitStates rank3 = waitStates(*trace, {{}, 0, {3}}, 1);
    EXPECT_EQ(rank3.byRank.size(), 1u);
    EXPECT_EQ(rank3.worst.size(), 1u);

    EXPECT_EQ(allRows(waitsTable(w, WaitsBy::Kind))[0],
              (Cells{"late sender", "3", "2", "70", "50", "0.87"}));
    EXPECT_EQ(allRows(waitListTable(w))[0],
              (Cells{"wait at NxN", "0", "9", TFuncNames().funcName(kAllreduce),
                     std::to_string(1500 + at), "90", "2", "8"}));
}

TEST(StatTablesInRange, CutCallsAndWholeRunUnchanged) {
    auto trace = profileTrace();
    const TimeRange cut = raw(*trace, 120, 320);
    const std::vector<Cells> process = allRows(processTable(*trace, cut));
    EXPECT_EQ(process[0], (Cells{"0", "200", "0", "0", "0", "0", "30", "15", "20", "10"}));
    EXPECT_EQ(process[1], (Cells{"1", "200", "0", "0", "0", "0", "0", "0", "80", "40"}));
    // Messages count where their calls start: rank 0's send at 100 lies before.
    const std::vector<Cells> messages =
        allRows(trafficTable(*trace, TrafficWeight::Messages, 0, cut));
    EXPECT_EQ(messages[0], (Cells{"0/0", "0/1", "0/0"}));
    EXPECT_EQ(messages[1], (Cells{"1/1", "0/0", "0/0"}));

    // A range holding the whole run changes nothing, sections included.
    const TimeRange all{trace->startTime(), wrapAdd(trace->endTime(), 1)};
    EXPECT_EQ(allRows(processTable(*trace, all)), allRows(processTable(*trace)));
    for (uint32_t section : {0u, 5u})
        for (TrafficWeight weight : {TrafficWeight::Messages, TrafficWeight::Bytes})
            EXPECT_EQ(allRows(trafficTable(*trace, weight, section, all)),
                      allRows(trafficTable(*trace, weight, section)));
}

TEST(CallWindow, CandidatesHoldEveryCallMeetingTheRangeAndSkipEndedBlocks) {
    // A call reaching over the whole run first, then 1000 short calls in
    // order; a second process with its starts out of order.
    TTrace trace;
    TProcess ordered(0, 1, 0);
    ordered.addCall(TFunc::make(0, kFuncInit, 0, 100000, 0, kWorldComm, 0, 0, 0));
    for (int64_t i = 0; i < 1000; ++i)
        ordered.addCall(TFunc::make(0, kFuncWait, 10 * i, 10 * i + (i % 7 == 0 ? 0 : 3), 0,
                                    kWorldComm, 0, 0, 0));
    TProcess shuffled(0, 1, 1);
    for (int64_t t : {500, 20, 9000, 7000, 7000})
        shuffled.addCall(TFunc::make(0, kFuncWait, t, t + 5, 0, kWorldComm, 0, 0, 0));
    trace.processes.push_back(std::move(ordered));
    trace.processes.push_back(std::move(shuffled));
    trace.nodeClocks.push_back({25});

    for (const TProcess& p : trace.processes) {
        const ScopedProcess sp{&p, static_cast<int32_t>(p.rank), 25};
        const CallWindow window(sp);
        for (const TimeRange r : {TimeRange{5025, 5525}, TimeRange{7025, 7026}, TimeRange{0, 25},
                                  TimeRange{100025, 200000}}) {
            std::vector<uint32_t> candidates, meeting;
            window.forEachCandidate(r, [&](uint32_t k) { candidates.push_back(k); });
            for (uint32_t k = 0; k < p.calls.size(); ++k)
                if (r.counts(p.calls[k].start + 25, p.calls[k].end + 25)) meeting.push_back(k);
            for (uint32_t k : meeting)
                EXPECT_TRUE(std::binary_search(candidates.begin(), candidates.end(), k)) << k;
            if (p.rank == 0 && r.from == 5025) {
                EXPECT_LT(candidates.size(), 200u); // blocks that ended before are skipped
                EXPECT_EQ(meeting.size(), 51u);     // the long call and 50 short ones
            }
        }
    }
}

// The table walks use says what the switch says, for every identifier:
// those near the tracer's first ones must not borrow a fixed one's place.
TEST(CollectiveKinds, TableAnswersAsTheSwitchForEveryIdentifier) {
    std::vector<uint32_t> ids = {UINT32_MAX, UINT32_MAX - 0xFFF, 0x7FFFFFFF};
    for (uint32_t id = 0; id < 0x1200; ++id) ids.push_back(id);
    for (uint32_t id : ids) {
        ASSERT_EQ(collectiveKindOfCall(id), collectiveKind(id)) << id;
        const uint32_t place = funcIdPlace(id);
        if (place < kFuncIdPlaces) {
            ASSERT_EQ(funcIdAt(place), id) << id;
        }
    }
}
