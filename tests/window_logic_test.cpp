// The window's plain logic: call details, find order, typed times, table
// order, scroll targets, the filter's summary and the message tee.

#include "model/call_details.h"
#include "model/call_search.h"
#include "model/stat_tables.h"
#include "model/table_order.h"
#include "model/time_text.h"
#include "tests/test_support.h"
#include "ui/message_tee.h"
#include "view/scroll_target.h"
#include "view/time_axis.h"
#include "view/view_filter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <tuple>

namespace {

// rank 0: Init, section 5 from 10, MPI_Send 50..150 (8 bytes, tag 7) to rank 1,
//         MPI_Send 200..260 (tag 9) to rank 2
// rank 1: Init, MPI_Recv 60..300 (tag 7) from rank 0, MPI_Wait 320..380
// rank 2: Init, MPI_Recv 210..700 (tag 9) from rank 0
LoadedTrace threeRanks() {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.sectionMarker(5, 10);
    w.longCall(makeLocation(3, 17), kFuncSend, 50, 150, 8, 7, 1, kWorldComm);
    w.longCall(makeLocation(3, 18), kFuncSend, 200, 260, 4, 9, 2, kWorldComm);
    w.declareProcess(1, testNode(2));
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.longCall(makeLocation(3, 30), kFuncRecv, 60, 300, 8, 7, 0, kWorldComm);
    w.shortCall(makeLocation(3, 31), kFuncWait, 320, 380);
    w.declareProcess(2, testNode(1));
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.longCall(makeLocation(3, 40), kFuncRecv, 210, 700, 4, 9, 0, kWorldComm);
    const std::string fdb = "[files]\n3:solver.c\n[sections]\n5:solve\n";
    return loadBytes(w.bytes(), &fdb);
}

uint32_t positionOfRank(const TTrace& t, int32_t rank) {
    for (uint32_t i = 0; i < t.processCount(); ++i)
        if (t.rankAt(i) == rank) return i;
    return ~0u;
}

const TFunc& callOf(TTrace& t, int32_t rank, uint32_t index) {
    return t.processAt(positionOfRank(t, rank))->calls[index];
}

std::map<std::string, std::string> fieldsOf(const CallDetails& d) {
    std::map<std::string, std::string> m;
    for (const CallField& f : d.fields) m[f.label] = f.value;
    return m;
}

} // namespace

TEST(CallDetails, EveryFieldBothEndsOfTheLinkAndTimesFromTheOrigin) {
    LoadedTrace r = threeRanks();
    TTrace& t = *r.trace;
    const uint32_t p0 = positionOfRank(t, 0), p1 = positionOfRank(t, 1);
    const TFunc& send = callOf(t, 0, 2);
    const CallDetails d = callDetails(t, p0, send);
    EXPECT_EQ(fieldsOf(d), (std::map<std::string, std::string>{
                               {"Function", "MPI_Send"},
                               {"Rank", "0"},
                               {"Node", "10.0.0.1"},
                               {"Start", "50 µs"},
                               {"End", "150 µs"},
                               {"Duration", "100 µs"},
                               {"Peer", "1"},
                               {"Tag", "7"},
                               {"Size", "8"},
                               {"Communicator", "91"},
                               {"Section", "solve"},
                               {"File", "solver.c"},
                               {"Line", "17"},
                           }));
    ASSERT_EQ(d.partners.size(), 1u);
    const TFunc& recv = callOf(t, 1, 1);
    EXPECT_EQ(d.partners[0].call, &recv);
    EXPECT_EQ(d.partners[0].position, p1);
    EXPECT_TRUE(d.partners[0].toReceive);

    // And back from the receive to its sender.
    const CallDetails back = callDetails(t, p1, recv);
    ASSERT_EQ(back.partners.size(), 1u);
    EXPECT_EQ(back.partners[0].call, &send);
    EXPECT_FALSE(back.partners[0].toReceive);
    EXPECT_TRUE(callDetails(t, p1, recv, false).partners.empty());
    EXPECT_EQ(fieldsOf(back)["Section"], t.sectName(0)); // before any marker of its process

    EXPECT_EQ(detailsText(d).substr(0, 32), "Function: MPI_Send\nRank: 0\nNode:");
    EXPECT_EQ(positionOfCall(t, recv), p1);
    EXPECT_EQ(callIndexIn(t, p1, recv), 1u);

    // Times counted from an origin, as the ruler counts them: start and end
    // move with it, the duration and every other field stay; far origins
    // stop at the limit instead of wrapping to the other sign.
    const auto loaded = fieldsOf(d);
    for (const auto& [origin, start, end] :
         {std::tuple<int64_t, const char*, const char*>{40, "10 µs", "110 µs"},
          {-25, "75 µs", "175 µs"},
          {0, "50 µs", "150 µs"}}) {
        auto shifted = fieldsOf(callDetails(t, p0, send, false, origin));
        EXPECT_EQ(shifted["Start"], start) << origin;
        EXPECT_EQ(shifted["End"], end) << origin;
        shifted["Start"] = loaded.at("Start");
        shifted["End"] = loaded.at("End");
        EXPECT_EQ(shifted, loaded) << origin;
    }
    const auto far = fieldsOf(callDetails(t, p0, send, false, INT64_MIN));
    EXPECT_EQ(far.at("Start"), "9223372036854775807 µs");
    EXPECT_EQ(far.at("Duration"), "100 µs");
}

TEST(CallSearch, NextAndPreviousInTimeOrder) {
    LoadedTrace r = threeRanks();
    TTrace& t = *r.trace;
    CallQuery any;
    // Every call but the section marker, by start time: Init x3 (0), sends and receives.
    std::vector<int64_t> starts;
    std::optional<CallRef> at;
    while ((at = findCall(t, any, at, true)))
        starts.push_back(t.processAt(at->position)->calls[at->index].start);
    EXPECT_EQ(starts, (std::vector<int64_t>{0, 0, 0, 50, 60, 200, 210, 320}));

    CallQuery recvs;
    recvs.funcId = kFuncRecv;
    const std::optional<CallRef> first = findCall(t, recvs, std::nullopt, true);
    ASSERT_TRUE(first);
    EXPECT_EQ(t.rankAt(first->position), 1);
    const std::optional<CallRef> second = findCall(t, recvs, first, true);
    ASSERT_TRUE(second);
    EXPECT_EQ(t.rankAt(second->position), 2);
    EXPECT_FALSE(findCall(t, recvs, second, true));
    EXPECT_EQ(findCall(t, recvs, second, false), first);
    EXPECT_EQ(findCall(t, recvs, std::nullopt, false), second);

    recvs.minDuration = 400; // only the 490 µs receive
    EXPECT_EQ(findCall(t, recvs, std::nullopt, true), second);
    recvs.minDuration = 0;
    recvs.accepts = [&](uint32_t position, const TFunc&) { return t.rankAt(position) != 2; };
    EXPECT_EQ(findCall(t, recvs, std::nullopt, false), first);

    CallQuery tagged;
    tagged.tag = 9;
    tagged.rank = 0;
    const std::optional<CallRef> send = findCall(t, tagged, std::nullopt, true);
    ASSERT_TRUE(send);
    EXPECT_EQ(t.processAt(send->position)->calls[send->index].start, 200);
    CallQuery markers;
    markers.funcId = kFuncSection;
    EXPECT_TRUE(findCall(t, markers, std::nullopt, true));
    EXPECT_EQ(functionsPresent(t),
              (std::vector<uint32_t>{kFuncInit, kFuncSend, kFuncRecv, kFuncWait, kFuncSection}));
}

TEST(TimeText, UnitsRoundingAndRefusals) {
    EXPECT_EQ(parseTimeText("1500"), 1500);
    EXPECT_EQ(parseTimeText(" 1500 us "), 1500);
    EXPECT_EQ(parseTimeText("12µs"), 12);
    EXPECT_EQ(parseTimeText("3 mks"), 3);
    EXPECT_EQ(parseTimeText("1.5 ms"), 1500);
    EXPECT_EQ(parseTimeText("2s"), 2'000'000);
    EXPECT_EQ(parseTimeText("-0.25 s"), -250'000);
    EXPECT_EQ(parseTimeText(".0015 ms"), 2); // 1.5 µs rounds to 2
    for (const char* bad :
         {"", "ms", "1.5 h", "1e3", "inf", "nan", "0x10", "1 2", "-", "99999999999999 s"})
        EXPECT_EQ(parseTimeText(bad), std::nullopt) << bad;
}

TEST(TableOrder, NumbersTextsAndEmptyCells) {
    StatTable t;
    const std::vector<std::vector<std::string>> rows = {
        {"10", "3/1"}, {"", "3/0"}, {"9.5", "12/0"}, {"b", ""}, {"a", "3/1"}, {"-2", "0/9"}};
    t.columnLabels = {"x", "y"};
    t.rowCount = static_cast<uint32_t>(rows.size());
    t.rowCells = [&](uint32_t r) { return rows[r]; };
    EXPECT_EQ(sortedRows(t, 0, true), (std::vector<uint32_t>{5, 2, 0, 4, 3, 1}));
    EXPECT_EQ(sortedRows(t, 0, false), (std::vector<uint32_t>{3, 4, 0, 2, 5, 1}));
    // "sent/received": by sent, then received; equal cells keep their order.
    EXPECT_EQ(sortedRows(t, 1, true), (std::vector<uint32_t>{5, 1, 0, 4, 2, 3}));
    EXPECT_EQ(leadingNumber("12/3"), 12.0);
    EXPECT_EQ(leadingNumber("x"), std::nullopt);
    EXPECT_EQ(leadingNumber("nan"), std::nullopt);
}

TEST(ScrollTarget, RowsAndTimesComeIntoView) {
    // Ten shown rows but position 3; a view of 100 pixels holds 5 rows.
    std::vector<bool> shown(10, true);
    shown[3] = false;
    EXPECT_EQ(posShowing(shown, 3, 10, 100), std::nullopt);
    EXPECT_EQ(posShowing(shown, 9, 10, 100), 10); // bottom row, already in view
    EXPECT_EQ(posShowing(shown, 5, 10, 100), 10); // fifth from the bottom: in view
    // Position 0 has 8 shown rows below it: scrolled so it sits mid-view.
    const std::optional<int64_t> pos = posShowing(shown, 0, 10, 100);
    ASSERT_TRUE(pos);
    EXPECT_EQ(*pos, 10 - (8 - 2));
    EXPECT_EQ(posShowing(shown, 0, *pos, 100), *pos);

    // zoom 0.1: step 1000, window of 990 pixels covers 9800 µs from t0.
    EXPECT_EQ(offsetShowing(5000, 0.1, 990, 0), 0);
    const int64_t off = offsetShowing(50'000, 0.1, 990, 0);
    const TimeWindow w = timeWindow(0.1, static_cast<int>(off), 990);
    EXPECT_TRUE(w.t0 <= 50'000 && 50'000 < w.t1);
    EXPECT_LT(50'000 - w.t0, (w.t1 - w.t0) / 2);
    EXPECT_EQ(offsetAt(-1, 0.1), -1);
    EXPECT_EQ(offsetAt(1999, 0.1), 1);
}

TEST(ViewFilterFunctions, MaskSummaryAndUnfinishedCalls) {
    ViewFilter f(3, 4);
    EXPECT_EQ(hiddenSummary(f), "");
    f.setFuncVisible(kFuncSend, false);
    EXPECT_FALSE(f.funcVisible(kFuncSend | kUnfinishedFlag));
    EXPECT_TRUE(f.funcVisible(kFuncRecv));
    const uint32_t ranks[] = {1, 0, 1, 0};
    f.setRankMask(4, ranks);
    EXPECT_EQ(hiddenSummary(f), "Hidden: 2 ranks, 1 function");
    f.setFuncVisible(kFuncSend | kUnfinishedFlag, true);
    EXPECT_FALSE(f.hidesFunctions());
}

TEST(MessageTee, PassesOnAndKeepsLines) {
    std::ostringstream target;
    MessageTee tee(target);
    tee << "first line" << std::endl << "second " << 2 << "\nrest";
    EXPECT_EQ(target.str(), "first line\nsecond 2\nrest");
    EXPECT_EQ(tee.lines(), (std::vector<std::string>{"first line", "second 2", "rest"}));
}
