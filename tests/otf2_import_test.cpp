// The OTF2 importer: archives written with the OTF2 writer, opened as
// documents, checked record by record, link by link and cell by cell.

#include "format/tracer_calls.h"
#include "model/call_details.h"
#include "model/call_info.h"
#include "model/check_lines.h"
#include "model/trace_document.h"
#include "otf2/open_trace.h"
#include "otf2/otf2_export.h"
#include "otf2/otf2_import.h"
#include "tests/otf2_test_archives.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <tuple>

namespace {

uint32_t commFindings(const TTrace& t) {
    std::vector<std::string> lines;
    return checkCommunicators(t, lines);
}
uint32_t termFindings(const TTrace& t) {
    std::vector<std::string> lines;
    return checkTerminations(t, lines);
}

struct Opened {
    std::unique_ptr<TTrace> trace;
    std::string errors;
};

Opened openArchive(const std::string& path) {
    std::ostringstream db, errors;
    Opened o{openTraceFile(path, db, errors), ""};
    o.errors = errors.str();
    return o;
}

// The archive written to its end and opened as a document.
Opened closeAndOpen(TestArchive& a) {
    a.close();
    return openArchive(a.path());
}

const TProcess& rank(const TTrace& t, int32_t r) {
    const TProcess* p = t.processOfRank(r);
    EXPECT_NE(p, nullptr);
    return *p;
}

std::vector<uint32_t> funcIds(const TProcess& p) {
    std::vector<uint32_t> ids;
    for (const TFunc& f : p.calls) ids.push_back(f.funcId);
    return ids;
}

} // namespace

TEST(Otf2Import, PingPongCallsLinksAndTimes) {
    TestArchive a(freshArchiveDir("import_pingpong"), 2, {0, 1});
    a.initAll(1000, 1100);
    a.send(0, 1200, 1250, 1, 7, 64);
    a.recv(1, 1190, 1260, 0, 7, 64);
    a.send(1, 1300, 1350, 0, 8, 32);
    a.recv(0, 1290, 1360, 1, 8, 32);
    a.call(0, 1400, 1450, "MPI_Finalize");
    a.call(1, 1400, 1450, "MPI_Finalize");
    Opened o = closeAndOpen(a);
    ASSERT_TRUE(o.trace->loaded()) << o.errors;
    EXPECT_EQ(o.errors, "");
    TTrace& t = *o.trace;
    ASSERT_EQ(t.processCount(), 2u);
    EXPECT_EQ(t.nodeCount(), 2u);
    const TProcess& p0 = rank(t, 0);
    EXPECT_EQ(funcIds(p0), (std::vector<uint32_t>{kFuncInit, kFuncSend, kFuncRecv, kFuncFinalize}));
    const TFunc& send = p0.calls[1];
    EXPECT_EQ(std::tuple(send.start, send.end, send.peer, send.msgTag, send.size, send.comm),
              std::tuple(1200, 1250, 1, 7u, 64u, kWorldComm));
    ASSERT_EQ(send.linkCount, 1u);
    EXPECT_EQ(send.links[0].recv, &rank(t, 1).calls[1]);
    ASSERT_EQ(rank(t, 1).calls[2].linkCount, 1u);
    EXPECT_EQ(rank(t, 1).calls[2].links[0].recv, &p0.calls[2]);
    // Both nodes begin at the end of their MPI_Init.
    EXPECT_EQ(std::tuple(t.nodeOffset(0), t.nodeOffset(1)), std::tuple(-1100, -1100));
    uint64_t sent = 0, received = 0;
    t.messageCounts(0, 1, sent, received, 0);
    EXPECT_EQ(std::tuple(sent, received), std::tuple(1u, 1u));
}

// Each location measured its offset to the global clock once: its events are
// written in its own time and read in the global one.
TEST(Otf2Import, OneClockOffsetPerLocationPutsItsEventsOnTheGlobalClock) {
    TestArchive a(freshArchiveDir("import_one_offset"), 2, {0, 1});
    const int64_t offset[] = {100, -250}; // global = local + offset
    auto local = [&](uint32_t rank, uint64_t global) { return global - offset[rank]; };
    for (uint32_t r = 0; r < 2; ++r) {
        a.writer().clockOffset(a.locationOf(r), local(r, 500), offset[r]);
        a.call(r, local(r, 1000), local(r, 1100), "MPI_Init");
    }
    a.send(0, local(0, 1200), local(0, 1250), 1, 7, 64);
    a.recv(1, local(1, 1190), local(1, 1260), 0, 7, 64);
    Opened o = closeAndOpen(a);
    ASSERT_TRUE(o.trace->loaded()) << o.errors;
    const TTrace& t = *o.trace;
    const TFunc& send = rank(t, 0).calls.at(1);
    const TFunc& recv = rank(t, 1).calls.at(1);
    EXPECT_EQ(std::tuple(send.start, send.end, recv.start, recv.end),
              std::tuple(1200, 1250, 1190, 1260));
    ASSERT_EQ(send.linkCount, 1u);
    EXPECT_EQ(send.links[0].recv, &recv);
    // Already on one clock: both nodes start at the end of their MPI_Init.
    EXPECT_EQ(std::tuple(t.nodeOffset(0), t.nodeOffset(1)), std::tuple(-1100, -1100));
}

TEST(Otf2Import, NonBlockingTransfersLinkToTheWaitOfTheReceive) {
    TestArchive a(freshArchiveDir("import_nonblocking"), 2);
    a.initAll(0, 10);
    auto* e0 = a.ev(0);
    auto* e1 = a.ev(1);
    a.enter(0, 20, "MPI_Isend");
    OTF2_EvtWriter_MpiIsend(e0, nullptr, 21, 1, TestArchive::kWorld, 5, 128, 77);
    a.leave(0, 22, "MPI_Isend");
    a.enter(1, 20, "MPI_Irecv");
    OTF2_EvtWriter_MpiIrecvRequest(e1, nullptr, 21, 99);
    a.leave(1, 22, "MPI_Irecv");
    a.enter(0, 30, "MPI_Waitall");
    OTF2_EvtWriter_MpiIsendComplete(e0, nullptr, 31, 77);
    a.leave(0, 32, "MPI_Waitall");
    a.enter(1, 30, "MPI_Wait");
    OTF2_EvtWriter_MpiIrecv(e1, nullptr, 35, 0, TestArchive::kWorld, 5, 128, 99);
    a.leave(1, 36, "MPI_Wait");
    // A request that is cancelled, and a test that completes nothing.
    a.enter(1, 40, "MPI_Irecv");
    OTF2_EvtWriter_MpiIrecvRequest(e1, nullptr, 41, 100);
    a.leave(1, 42, "MPI_Irecv");
    a.enter(1, 43, "MPI_Cancel");
    OTF2_EvtWriter_MpiRequestCancelled(e1, nullptr, 44, 100);
    a.leave(1, 45, "MPI_Cancel");
    a.call(1, 46, 47, "MPI_Test");
    Opened o = closeAndOpen(a);
    ASSERT_TRUE(o.trace->loaded()) << o.errors;
    const TProcess& p0 = rank(*o.trace, 0);
    const TProcess& p1 = rank(*o.trace, 1);
    EXPECT_EQ(funcIds(p0), (std::vector<uint32_t>{kFuncInit, kFuncIsend, kFuncWaitIsend}));
    EXPECT_EQ(std::tuple(p0.calls[2].peer, p0.calls[2].msgTag), std::tuple(1, 5u));
    ASSERT_EQ(funcIds(p1).size(), 6u);
    EXPECT_EQ(std::tuple(funcIds(p1)[1], funcIds(p1)[2], funcIds(p1)[3]),
              std::tuple(kFuncIrecv, kFuncWaitIrecv, otherCallId(kOtherCancelledIrecv)));
    // The posted receive learns its source, tag and size from its completion.
    EXPECT_EQ(std::tuple(p1.calls[1].peer, p1.calls[1].msgTag, p1.calls[1].size),
              std::tuple(0, 5u, 128u));
    EXPECT_NE(p1.calls[4].funcId, p1.calls[5].funcId); // MPI_Cancel, MPI_Test: names of the trace
    EXPECT_EQ(p1.calls[5].kind, 0u);
    ASSERT_EQ(p0.calls[1].linkCount, 1u);
    EXPECT_EQ(p0.calls[1].links[0].recv, &p1.calls[2]);
    EXPECT_EQ(p1.calls[1].linkCount + p0.calls[2].linkCount, 0u);
}

TEST(Otf2Import, CollectivesOnTheWorldAndOnASubCommunicator) {
    TestArchive a(freshArchiveDir("import_coll"), 4);
    const uint32_t odd = a.subComm("odd ranks", {1, 3});
    a.initAll(0, 10);
    for (uint32_t r = 0; r < 4; ++r)
        a.collective(r, 20, 30, "MPI_Bcast", TestArchive::kWorld, 0, 8, 8);
    for (uint32_t r : {1u, 3u}) a.collective(r, 40, 50, "MPI_Reduce", odd, 1, 16, 16);
    for (uint32_t r = 0; r < 4; ++r)
        a.collective(r, 60, 70, "MPI_Allreduce", TestArchive::kWorld, OTF2_UNDEFINED_UINT32, 4, 4);
    Opened o = closeAndOpen(a);
    ASSERT_TRUE(o.trace->loaded()) << o.errors;
    TTrace& t = *o.trace;
    const TFunc& bcast = rank(t, 0).calls[1];
    EXPECT_EQ(std::tuple(bcast.funcId, bcast.kind, bcast.linkCount),
              std::tuple(kFuncBcast, kKindCollective | kKindSend, 3u));
    // On the sub-communicator, local rank 1 is global rank 3: it is the root and receives.
    const TFunc& reduceAt3 = rank(t, 3).calls[2];
    EXPECT_EQ(std::tuple(reduceAt3.funcId, reduceAt3.peer, reduceAt3.kind),
              std::tuple(kFuncReduce, 1, kKindCollective | kKindRecv));
    EXPECT_EQ(rank(t, 1).calls[2].kind, kKindCollective | kKindSend);
    ASSERT_EQ(rank(t, 1).calls[2].linkCount, 1u);
    EXPECT_EQ(rank(t, 1).calls[2].links[0].recv, &reduceAt3);
    EXPECT_EQ(std::tuple(rank(t, 2).calls[2].funcId, rank(t, 2).calls[2].peer),
              std::tuple(otherCallId(kOtherAllreduce), -1));
    uint64_t sent = 0, received = 0;
    t.dataSizes(3, 1, sent, received, 0);
    EXPECT_EQ(received, 16u);
    // A communicator known from the start is no "never freed" communicator.
    EXPECT_EQ(commFindings(t), 0u);
}

TEST(Otf2Import, NestedUserRegionsAreSectionsOfTheCallsInside) {
    TestArchive a(freshArchiveDir("import_sections"), 2);
    for (uint32_t r = 0; r < 2; ++r) {
        a.enter(r, 0, "main");
        a.call(r, 1, 10, "MPI_Init");
        a.call(r, 11, 12, "MPI_Comm_rank");
        a.enter(r, 20, "solver");
        a.enter(r, 21, "halo");
        a.enter(r, 22, "pack"); // left before any call: no section of its own
        a.leave(r, 23, "pack");
        a.call(r, 24, 25, "MPI_Barrier");
        a.leave(r, 30, "halo");
        a.call(r, 31, 32, "MPI_Barrier");
        a.leave(r, 40, "solver");
        a.call(r, 41, 42, "MPI_Finalize");
        a.leave(r, 50, "main");
    }
    a.send(0, 60, 61, 1, 0, 4); // after main: section 0 again
    Opened o = closeAndOpen(a);
    ASSERT_TRUE(o.trace->loaded()) << o.errors;
    TTrace& t = *o.trace;
    const TProcess& p = rank(t, 0);
    ASSERT_EQ(p.calls.size(), 11u);
    EXPECT_EQ(p.calls[0].funcId, kFuncInit);
    // Sections entered and left between two calls make no marker.
    const std::vector<std::pair<size_t, std::string>> markers = {
        {1, "main"}, {3, "halo"}, {5, "solver"}, {7, "main"}, {9, "ZLVR_MAIN_SECT"}};
    for (const auto& [index, name] : markers) {
        ASSERT_TRUE(p.calls[index].isSectionMarker()) << index;
        EXPECT_EQ(t.sectName(p.calls[index].location), name) << index;
    }
    // "main", begun before MPI_Init, from its end on.
    EXPECT_EQ(std::tuple(p.calls[1].start, p.calls[3].start, p.calls[5].start),
              std::tuple(10, 21, 30));
    uint64_t sent = 0, received = 0;
    t.messageCounts(0, 1, sent, received, p.calls[3].location);
    EXPECT_EQ(sent + received, 0u); // the barrier of "halo" is no message
    t.messageCounts(0, 1, sent, received, 0);
    EXPECT_EQ(sent, 1u);
    EXPECT_EQ(t.nodeOffset(0), -10);
}

TEST(Otf2Import, SecondThreadOfARankIsCountedAndNamed) {
    TestArchive a(freshArchiveDir("import_threads"), 1);
    const uint64_t worker = a.writer().location("OpenMP thread 1", 0);
    a.initAll(0, 10);
    OTF2_EvtWriter_Enter(a.writer().events(worker), nullptr, 11, a.region("compute"));
    OTF2_EvtWriter_Leave(a.writer().events(worker), nullptr, 12, a.region("compute"));
    Opened o = closeAndOpen(a);
    EXPECT_TRUE(o.trace->loaded()) << o.errors;
    EXPECT_EQ(o.trace->processCount(), 1u);
    EXPECT_EQ(
        o.errors,
        "OTF2: 1 thread(s) beside the ranks' main threads not shown: rank 0: OpenMP thread 1\n");
}

TEST(Otf2Import, UnfinishedCallsAndCutArchives) {
    TestArchive a(freshArchiveDir("import_cut"), 2);
    a.initAll(0, 10);
    a.enter(1, 20, "MPI_Recv"); // never left: the process ended inside it
    a.close();
    {
        Opened o = openArchive(a.path());
        ASSERT_TRUE(o.trace->loaded()) << o.errors;
        EXPECT_EQ(rank(*o.trace, 1).calls.back().funcId, kFuncRecv | kUnfinishedFlag);
        EXPECT_EQ(termFindings(*o.trace), 1u);
    }
    std::filesystem::resize_file(a.path().substr(0, a.path().size() - 5) + "/1.evt", 40);
    Opened o = openArchive(a.path());
    EXPECT_FALSE(o.trace->loaded());
    EXPECT_EQ(o.trace->processCount(), 2u); // what was read is kept
    EXPECT_EQ(rank(*o.trace, 0).calls.size(), 1u);
    EXPECT_NE(o.errors.find("OTF2 events of location 1 cannot be read"), std::string::npos)
        << o.errors;
}

TEST(Otf2Import, MetricsAreKeptPerRankAndNamed) {
    TestArchive a(freshArchiveDir("import_metrics"), 2);
    const uint32_t ins = a.writer().metricMember("PAPI_TOT_INS", "#");
    const uint32_t cyc = a.writer().metricMember("PAPI_TOT_CYC", "#");
    const uint32_t metric = a.writer().metricClass({ins, cyc});
    a.initAll(0, 10);
    for (uint64_t t : {20u, 30u}) {
        const OTF2_Type types[2] = {OTF2_TYPE_UINT64, OTF2_TYPE_UINT64};
        OTF2_MetricValue values[2];
        values[0].unsigned_int = t * 100;
        values[1].unsigned_int = t * 300;
        OTF2_EvtWriter_Metric(a.ev(1), nullptr, t, metric, 2, types, values);
    }
    Opened o = closeAndOpen(a);
    ASSERT_TRUE(o.trace->loaded()) << o.errors;
    ASSERT_EQ(o.trace->metrics.size(), 2u);
    const TMetricSeries& first = o.trace->metrics[0];
    EXPECT_EQ(std::tuple(first.name, first.rank), std::tuple("PAPI_TOT_INS", 1u));
    ASSERT_EQ(first.samples.size(), 2u);
    EXPECT_EQ(std::tuple(first.samples[1].time, first.samples[1].value), std::tuple(30, 3000));
    EXPECT_EQ(o.trace->metrics[1].samples[0].value, 6000);
}

// Host names and MPI names of the trace's own are what the archive says,
// wherever a call is described, and an archive written again keeps them.
// Names reach one-line texts: a line break or other control character in
// an archive's string reads as '?'.
TEST(Otf2Import, HostNamesAndOwnFunctionNamesAreShownAndWrittenBack) {
    const std::string dir = freshArchiveDir("import_names");
    TestArchive a(dir, 2, {0, 1});
    a.initAll(0, 10);
    a.call(1, 20, 30, "MPI_Win_fence");
    a.call(1, 40, 50, "MPI_Win\n\tpost");
    const std::string again = dir + "_again/traces.otf2";
    std::filesystem::remove_all(dir + "_again");
    std::filesystem::create_directories(dir + "_again");
    {
        Opened o = closeAndOpen(a);
        ASSERT_TRUE(o.trace->loaded()) << o.errors;
        std::string error;
        ASSERT_TRUE(otf2out::exportArchive(*o.trace, again, error)) << error;
    }
    for (const std::string& path : {a.path(), again}) {
        Opened o = openArchive(path);
        ASSERT_TRUE(o.trace->loaded()) << o.errors;
        const TTrace& t = *o.trace;
        const uint32_t position = 1;
        ASSERT_EQ(t.rankAt(position), 1);
        const TFunc& fence = t.processAt(position)->calls.at(1);
        EXPECT_EQ(t.funcName(fence.funcId), "MPI_Win_fence") << path;
        EXPECT_EQ(t.funcName(t.processAt(position)->calls.at(2).funcId), "MPI_Win??post") << path;
        EXPECT_EQ(t.nodeNameAt(position), "host1") << path;
        const CallDetails d = callDetails(t, position, fence);
        ASSERT_GE(d.fields.size(), 3u);
        EXPECT_EQ(std::pair(d.fields[0].value, d.fields[2].value),
                  std::pair(std::string("MPI_Win_fence"), std::string("host1")))
            << path;
        EXPECT_NE(callInfoText(t, position, fence).find("Node: host1\n"), std::string::npos);
    }
}

TEST(Otf2Import, ACancelledImportKeepsNothing) {
    TestArchive a(freshArchiveDir("import_cancel"), 3);
    a.initAll(0, 10);
    a.close();
    TTrace t;
    std::ostringstream errors;
    LoadCancel cancel{false};
    uint32_t reports = 0;
    // Cancelled once the first rank is read.
    const bool loaded = otf2in::importArchive(
        t, a.path(), errors,
        [&](uint32_t permille) {
            ++reports;
            if (permille > 0) cancel = true;
        },
        nullptr, &cancel);
    EXPECT_FALSE(loaded);
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(t.processCount(), 0u);
    EXPECT_TRUE(t.metrics.empty() && t.nodes.empty());
}
