// The document: database name and messages, accessors with neutral answers,
// a failed load.

#include "tests/test_support.h"

#include <gtest/gtest.h>

namespace {

std::string twoProcessTrace() {
    TraceWriter w;
    w.declareProcess(0, nodeIdFromOctets(192, 168, 1, 7));
    w.shortCall(makeLocation(3, 17), kFuncInit, 100, 200);
    w.longCall(makeLocation(3, 18), kFuncSend, 300, 350, 1000, 2, 1, kWorldComm);
    w.shortCall(makeLocation(3, 19), kFuncFinalize, 400, 450);
    w.declareProcess(1, nodeIdFromOctets(192, 168, 1, 8));
    w.shortCall(0, kFuncInit, 1000, 1100);
    w.longCall(0, kFuncRecv, 1150, 1160, 1000, 2, 0, kWorldComm);
    w.shortCall(0, kFuncFinalize, 1200, 1300);
    return w.bytes();
}

} // namespace

TEST(DatabaseName, DerivedFromTheTraceName) {
    EXPECT_EQ(databaseNameFor("run17.zlv"), "run17.fdb");
    EXPECT_EQ(databaseNameFor("/a.b/trace.zlv"), "/a.b/trace.fdb");
    EXPECT_EQ(databaseNameFor("trace.data"), "trace.data");
    EXPECT_EQ(databaseNameFor("trace"), std::nullopt);
    EXPECT_EQ(databaseNameFor(".zlv"), std::nullopt);
}

TEST(TraceDocument, DatabaseMessagesOnTheirOwnStream) {
    const auto missing = loadBytes(twoProcessTrace());
    EXPECT_EQ(missing.errors, "");
    EXPECT_NE(missing.dbMessages.find("Can't open file: "), std::string::npos);
    EXPECT_NE(missing.dbMessages.find(".fdb. No information context avalable\n"),
              std::string::npos);
    EXPECT_EQ(missing.trace->databaseResult(), 0);
    EXPECT_EQ(missing.trace->sectName(0), "ZLVR_MAIN_SECT");

    const std::string bad = "[colors]\n";
    const auto wrong = loadBytes(twoProcessTrace(), &bad);
    EXPECT_NE(wrong.dbMessages.find("Wrong file format: "), std::string::npos);

    const std::string good = "[files]\n3:solver.c\n[sections]\n1:setup\n";
    const auto ok = loadBytes(twoProcessTrace(), &good);
    EXPECT_EQ(ok.dbMessages, "");
    EXPECT_EQ(ok.trace->fileName(3), "solver.c");
    EXPECT_EQ(ok.trace->sectName(1), "setup");
}

TEST(TraceDocument, NoDatabaseNameMessage) {
    TempFile f(std::filesystem::temp_directory_path().string() + "/zlv_doc_noext_" +
                   std::to_string(getpid()),
               twoProcessTrace());
    std::ostringstream messages, errors;
    TTrace t(f.path(), messages, errors);
    EXPECT_TRUE(t.loaded());
    EXPECT_EQ(messages.str(), "Can't find application Db file. No information context avalable\n");
    EXPECT_EQ(t.databaseResult(), std::nullopt);
}

TEST(TraceDocument, AccessorsAndNeutralAnswers) {
    auto r = loadBytes(twoProcessTrace());
    TTrace& t = *r.trace;
    ASSERT_EQ(t.processCount(), 2u);
    EXPECT_EQ(std::tuple(t.nodeCount(), t.rankAt(2), t.nodeIdAt(2), t.nodeIndexAt(5),
                         t.firstCall(2), t.lastCall(2), t.processDuration(7)),
              std::tuple(2u, -1, 0u, -1, nullptr, nullptr, 0));

    int64_t a = 11, b = 12, c = 13, d = 14;
    EXPECT_EQ(t.processTimes(7, a, b, c, d), 0);
    EXPECT_EQ(a + b + c + d, 50); // untouched
    t.processTimes(0, a, b, c, d);
    EXPECT_EQ(std::pair(a, c), std::pair(int64_t{100}, int64_t{50}));

    uint32_t nodeIndex = 99, nodeId = 99;
    EXPECT_FALSE(t.nodeOfRank(2, nodeIndex, nodeId));
    EXPECT_EQ(nodeIndex, 99u);
    EXPECT_TRUE(t.nodeOfRank(1, nodeIndex, nodeId));
    EXPECT_EQ(nodeId, nodeIdFromOctets(192, 168, 1, 8));

    uint64_t sent = 5, received = 5;
    t.messageCounts(9, 0, sent, received, 0);
    EXPECT_EQ(sent, 5u);
    t.messageCounts(0, 1, sent, received, 0);
    EXPECT_EQ(sent, 1u);
    t.dataSizes(1, 0, sent, received, 0);
    EXPECT_EQ(received, 1000u);
    uint32_t out[4];
    EXPECT_EQ(t.openComms(9, 4, out), 0u);

    // Cursor-based walk through the document.
    int n = 0;
    for (TFunc* f = t.firstCall(0); f; f = t.nextCall(0)) ++n;
    EXPECT_EQ(n, 3);
    EXPECT_EQ(t.lastCall(1)->funcId, kFuncFinalize);
}

TEST(TraceDocument, FailedLoadIsShownWithRawTimes) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(0, kFuncInit, 500, 600);
    w.word(3); // unknown tag
    auto r = loadBytes(w.bytes());
    EXPECT_EQ(std::tuple(r.trace->loaded(), r.trace->isEmpty(), r.trace->nodeOffset(0),
                         r.trace->startTime(), r.trace->endTime()),
              std::tuple(false, false, 0, 500, 600));
}
