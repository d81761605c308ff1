// Resource bounds on hostile input: count fields, random bytes, huge
// identifiers and shapes that would make a careless loader allocate without
// bound, recurse deeply or take quadratic time.

#include "allocation_tracker.h"
#include "appdb/fdb_reader.h"
#include "format/zlv_records.h"
#include "model/check_lines.h"
#include "model/stat_tables.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "tests/table_rows.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <pthread.h>
#include <random>
#include <sstream>
#include <string>
#include <unordered_map>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMiB = 1024 * 1024;
const uint32_t kNode = nodeIdFromOctets(10, 0, 0, 1);

class HostileInput : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::path(::testing::TempDir()) / ("zlv-hostile-" + std::string(info->name()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string pathOf(const std::string& name) const { return (dir_ / name).string(); }

    std::string save(const std::string& name, const std::string& bytes) const {
        const std::string path = pathOf(name);
        EXPECT_TRUE(saveText(path, bytes));
        return path;
    }

    fs::path dir_;
};

struct Loaded {
    TTrace trace;
    std::string errors;
};

Loaded load(const std::string& path) {
    std::ostringstream db, errors;
    TTrace trace(path, db, errors);
    return {std::move(trace), errors.str()};
}

// Bytes this process has read through read() so far; nullopt without /proc.
std::optional<uint64_t> bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    for (std::string key; io >> key;) {
        uint64_t value = 0;
        io >> value;
        if (key == "rchar:") return value;
    }
    return std::nullopt;
}

} // namespace

TEST_F(HostileInput, MemberCountBeyondTheFileAllocatesNothingLarge) {
    for (uint32_t claimed : {0xFFFFFFFFu, 0x40000000u, 1000000u}) {
        TraceWriter w;
        w.declareProcess(0, kNode);
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 10);
        const size_t recordAt = w.size();
        w.longCall(0, kFuncCommSplit, 20, 30, claimed, 0, 0, 300);
        w.word(1);
        w.word(2);
        const std::string path = save("claims.zlv", w.bytes());

        AllocationScope scope;
        const Loaded r = load(path);
        EXPECT_LT(scope.largestRequest(), 2 * kMiB) << claimed;
        EXPECT_LT(scope.peakLiveBytes(), 4 * kMiB) << claimed;
        EXPECT_NE(r.errors.find("Input file is truncated: incomplete record at byte " +
                                std::to_string(recordAt)),
                  std::string::npos)
            << r.errors;
        ASSERT_EQ(r.trace.processCount(), 1u);
        // The cut-off record is dropped.
        EXPECT_EQ(std::pair(r.trace.processes[0].calls.size(), r.trace.processes[0].comms.size()),
                  std::pair(size_t{1}, size_t{2}));
    }
}

TEST_F(HostileInput, HundredMegabytesOfRandomBytesStopAtTheFirstTag) {
    std::mt19937_64 random(20261206);
    std::string chunk(kMiB, '\0');
    uint32_t firstTag = 0;
    const std::string path = pathOf("random.zlv");
    {
        std::ofstream out(path, std::ios::binary);
        for (int m = 0; m < 100; ++m) {
            for (size_t i = 0; i < chunk.size(); i += 8) {
                const uint64_t v = random();
                for (int b = 0; b < 8; ++b) chunk[i + b] = static_cast<char>(v >> (8 * b));
            }
            if (m == 0) {
                // A known tag here (5 chances in 2^32) would not be random enough.
                while (recordSizeForTag(readLE32(reinterpret_cast<unsigned char*>(chunk.data()))))
                    ++chunk[0];
                firstTag = readLE32(reinterpret_cast<unsigned char*>(chunk.data()));
            }
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        }
    }
    ASSERT_EQ(fs::file_size(path), 100 * kMiB);

    const std::optional<uint64_t> readBefore = bytesReadSoFar();
    AllocationScope scope;
    const Loaded r = load(path);
    const std::optional<uint64_t> readAfter = bytesReadSoFar();

    char expected[64];
    std::snprintf(expected, sizeof expected, "Hren' kakaya-to - %u(%x)\n", firstTag, firstTag);
    EXPECT_EQ(r.errors, expected);
    EXPECT_TRUE(!r.trace.loaded() && r.trace.isEmpty() && r.trace.counterList.empty());
    EXPECT_LT(scope.largestRequest(), 2 * kMiB);
    // Reading stopped at the first record: at most one buffer of the file was read.
    if (readBefore && readAfter) {
        EXPECT_LT(*readAfter - *readBefore, 4 * kMiB);
    }
}

TEST_F(HostileInput, DatabaseWithHugeIdentifiersAndLongNamesStaysSmall) {
    // Longest names that fit a 2047-character line after "4294967295:".
    constexpr int kEntries = 2000;
    constexpr size_t kNameLength = 2047 - 11 - 1;
    std::string text = "[files]\n";
    for (int k = 0; k < kEntries; ++k) {
        const uint32_t id = 4294967295u - static_cast<uint32_t>(k);
        text += std::to_string(id) + ":" +
                std::string(kNameLength, static_cast<char>('a' + k % 26)) + "\n";
    }
    text += "[sections]\n4294967295:last\n";
    const std::string path = save("huge.fdb", text);

    TNameTable sections, files;
    AllocationScope scope;
    ASSERT_EQ(loadFdb(sections, files, path), kFdbOk);
    EXPECT_LT(scope.largestRequest(), 64 * 1024);
    EXPECT_LT(scope.peakLiveBytes(), 3 * text.size());

    EXPECT_EQ(std::tuple(files.namedCount(), sections.namedCount(), files.size()),
              std::tuple(size_t{kEntries}, size_t{2}, uint64_t{1} << 32));
    EXPECT_EQ((std::vector<std::string>{fileName(files, 4294967295u),
                                        fileName(files, 4294967295u - 27), fileName(files, 5),
                                        sectName(sections, 4294967295u), sectName(sections, 7)}),
              (std::vector<std::string>{std::string(kNameLength, 'a'),
                                        std::string(kNameLength, 'b'), "", "last", ""}));
}

namespace {

// A trace with hundreds of thousands of records of every kind the loader
// keeps: calls, communicators, links, counters, section markers.
std::string longTrace(int messages) {
    TraceWriter w;
    for (uint32_t rank = 0; rank < 2; ++rank) {
        w.declareProcess(rank, nodeIdFromOctets(10, 0, 0, static_cast<uint8_t>(rank)));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 10);
        for (int k = 0; k < messages; ++k) {
            w.sectionMarker(static_cast<uint32_t>(k % 3), 10 + 4 * k);
            w.longCall(makeLocation(1, 2), rank == 0 ? kFuncSend : kFuncRecv, 11 + 4 * k,
                       12 + 4 * k, 8, static_cast<uint32_t>(k), rank == 0 ? 1 : 0, kWorldComm);
            w.commCall(makeLocation(1, 3), kFuncCommDup, 12 + 4 * k, 13 + 4 * k, 1000, {});
            w.commCall(makeLocation(1, 4), kFuncCommFree, 13 + 4 * k, 14 + 4 * k, 1000, {});
            w.counter(1, makeLocation(2, static_cast<uint32_t>(k)));
        }
    }
    return w.bytes();
}

struct StackRun {
    std::string path;
    bool loaded = false;
    uint32_t processes = 0;
};

void* loadOnThisThread(void* arg) {
    auto* run = static_cast<StackRun*>(arg);
    std::ostringstream db, errors;
    TTrace trace(run->path, db, errors);
    run->loaded = trace.loaded();
    run->processes = trace.processCount();
    return nullptr;
}

} // namespace

TEST_F(HostileInput, NoRecursionDeepenedByTheInput) {
    // 25000 messages, 200000 records: any recursion per record or per call would need far
    // more than this thread's stack.
    StackRun run{save("long.zlv", longTrace(25000))};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, loadOnThisThread, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_EQ(std::pair(run.loaded, run.processes), std::pair(true, 2u));
}

TEST_F(HostileInput, ManyProcessesDeclaredInASmallFile) {
    // 20000 processes on 20000 nodes, each with its MPI_Init: 1.1 MB. Link
    // building and clock alignment must not pay for every pair of processes.
    constexpr uint32_t kProcesses = 20000;
    TraceWriter w;
    for (uint32_t rank = 0; rank < kProcesses; ++rank) {
        w.declareProcess(rank, 0x0A000000u + rank);
        w.shortCall(makeLocation(1, 1), kFuncInit, rank, 1000 + rank);
    }
    // One message across the first two nodes, so the sweeps have work.
    w.declareProcess(0, 0);
    w.longCall(makeLocation(1, 2), kFuncSend, 2000, 2001, 4, 1, 1, kWorldComm);
    w.declareProcess(1, 0);
    w.longCall(makeLocation(1, 3), kFuncRecv, 500, 600, 4, 1, 0, kWorldComm);

    const Loaded r = load(save("many.zlv", w.bytes()));
    ASSERT_TRUE(r.trace.loaded()) << r.errors;
    EXPECT_EQ(std::pair(r.trace.processCount(), r.trace.nodeClocks.size()),
              std::pair(kProcesses, size_t{kProcesses}));
    ASSERT_EQ(r.trace.processes[0].calls[1].linkCount, 1u);
    // Node 1's clock moved so that the receive ends 10 after the send.
    EXPECT_EQ(r.trace.nodeOffset(0), -1000);
    EXPECT_EQ(600 + r.trace.nodeOffset(1), 2001 - 1000 + 10);
}

TEST_F(HostileInput, RanksChosenToCollideInAHashTable) {
    // Multiples of the bucket count an identity-hashed table has at this size
    // would all share one bucket: each declaration would search all earlier ones.
    constexpr uint32_t kProcesses = 30000;
    std::unordered_map<uint32_t, int> probe;
    for (uint32_t k = 0; k < kProcesses; ++k) probe.emplace(k, 0);
    const uint64_t buckets = probe.bucket_count();
    ASSERT_LT(buckets * kProcesses, uint64_t{1} << 32);

    TraceWriter w;
    for (uint32_t k = 0; k < kProcesses; ++k) {
        w.declareProcess(static_cast<uint32_t>(k * buckets), kNode + (k % 7 << 24));
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 1);
    }
    w.declareProcess(static_cast<uint32_t>(5 * buckets), kNode); // continues the sixth process
    w.shortCall(makeLocation(1, 2), kFuncFinalize, 2, 3);

    TTrace trace;
    std::ostringstream errors;
    ASSERT_TRUE(readTraceRecords(trace, save("collide.zlv", w.bytes()), errors)) << errors.str();
    ASSERT_EQ(trace.processCount(), kProcesses);
    EXPECT_EQ(std::tuple(trace.nodeCount(), trace.processes[5].calls.size(),
                         trace.processes[6].calls.size()),
              std::tuple(7u, size_t{2}, size_t{1}));
}

namespace {

// Two ranks that each split, use and free one identifier kRounds times, even
// rounds in section 1, odd rounds in section 2. Split members alternate
// {0, 1} and {1, 0}, so the broadcast root (local rank 0) alternates too.
// Rank 0 keeps its last communicator: one leak for the communicator check.
std::string reusedIdentifierTrace(int rounds) {
    TraceWriter w;
    const std::vector<uint32_t> zeroFirst{0, 1};
    const std::vector<uint32_t> oneFirst{1, 0};
    for (uint32_t rank = 0; rank < 2; ++rank) {
        w.declareProcess(rank, kNode);
        w.shortCall(makeLocation(1, 1), kFuncInit, 0, 10);
        for (int k = 0; k < rounds; ++k) {
            const int64_t t = 20 + 10 * int64_t{k};
            w.sectionMarker(1 + k % 2, t);
            w.commCall(makeLocation(1, 2), kFuncCommSplit, t + 1, t + 2, 777,
                       k % 2 ? oneFirst : zeroFirst);
            w.longCall(makeLocation(1, 3), kFuncBcast, t + 3, t + 4, 8, 0, 0, 777);
            if (rank == 1 || k + 1 < rounds)
                w.commCall(makeLocation(1, 4), kFuncCommFree, t + 5, t + 6, 777, {});
        }
    }
    return w.bytes();
}

} // namespace

// The statistics and checks look a communicator up once per call. Were each
// lookup a walk over every communicator created so far, the five walks below
// over 400000 communicators would cost about 10^11 steps: minutes even in an
// optimised build, where this test needs a few seconds in a debug build. Its
// ctest TIMEOUT (60 s) turns such a slowdown into a failure.
// The links: each creation of a reused identifier is a communicator of its
// own, so the receiver's broadcasts come as one candidate list per creation,
// 200000 lists for one pair; merging each into all those before it would take
// about 10^10 steps. The links themselves are exact: each round's root to the
// other rank's broadcast of that round.
TEST_F(HostileInput, StatisticsChecksAndLinksOfReusedIdentifiersStayLinear) {
    constexpr int kRounds = 200000; // even
    constexpr uint64_t kHalf = kRounds / 2;
    // Records only: the statistics and checks need no links or clock offsets.
    // Reading must not search through every freed communicator either.
    Loaded r;
    std::ostringstream errors;
    ASSERT_TRUE(
        readTraceRecords(r.trace, save("reuse-stats.zlv", reusedIdentifierTrace(kRounds)), errors))
        << errors.str();
    ASSERT_EQ(r.trace.processCount(), 2u);
    // Each use sees the communicator of its own round: rank 0 is local rank 0,
    // the root, in even rounds only.
    const TProcess& p = r.trace.processes[0];
    ASSERT_EQ(p.calls.size(), 4u * kRounds);
    ASSERT_EQ(p.comms.size(), 2u + kRounds);
    for (int k = 0; k + 1 < kRounds; ++k) {
        const uint32_t expected = kKindCollective | (k % 2 ? kKindRecv : kKindSend);
        ASSERT_EQ(p.calls[3 + 4 * k].kind, expected) << k;
        ASSERT_EQ(p.comms[2 + k].freedAt, static_cast<uint32_t>(4 + 4 * k)) << k;
    }
    // Each rank is the root in every other round: as root it sends to both
    // members and receives its own broadcast, otherwise it receives from the root.
    const std::string half = std::to_string(kHalf);
    const std::string halves = half + "/" + half;
    EXPECT_EQ(allRows(statTable(r.trace, StatKind::SendRecv, 0)),
              (std::vector<Cells>{{halves, halves}, {halves, halves}}));
    const std::string bytes = std::to_string(8 * kHalf);
    const std::string byteHalves = bytes + "/" + bytes;
    EXPECT_EQ(allRows(statTable(r.trace, StatKind::DataSize, 0)),
              (std::vector<Cells>{{byteHalves, byteHalves}, {byteHalves, byteHalves}}));
    // Section 1: rank 0 is the root, rank 1 receives from it.
    EXPECT_EQ(allRows(statTable(r.trace, StatKind::SendRecv, 1)),
              (std::vector<Cells>{{halves, half + "/0"}, {"0/" + half, "0/0"}}));
    EXPECT_EQ(allRows(statTable(r.trace, StatKind::DataSize, 2)),
              (std::vector<Cells>{{"0/0", "0/" + bytes}, {bytes + "/0", byteHalves}}));

    const std::vector<SectionItem> sections = sectionItems(r.trace);
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[2].id, 2u);
    for (StatKind kind : {StatKind::NodesRanks, StatKind::Process, StatKind::Counters})
        for (const Cells& row : allRows(statTable(r.trace, kind)))
            for (const std::string& cell : row) EXPECT_LT(cell.size(), 64u);
    EXPECT_EQ(statTable(r.trace, StatKind::Process).rowCells(1)[0], "1");

    const CheckReport report = runChecks(r.trace, CheckSelection{});
    EXPECT_EQ(report.findings, 1u);
    ASSERT_EQ(report.lines.size(), 8u);
    EXPECT_EQ(report.lines[3].rfind("In process with rank 0 new communicator was created (777)", 0),
              0u)
        << report.lines[3];

    TTrace& trace = r.trace;
    ASSERT_TRUE(buildLinks(trace));
    for (int k = 0; k < kRounds; ++k) {
        const size_t call = 3 + 4 * static_cast<size_t>(k);
        const uint32_t root = k % 2, other = 1 - root;
        const TFunc& sent = trace.processes[root].calls[call];
        ASSERT_EQ(sent.linkCount, 1u) << k;
        EXPECT_EQ(std::pair(sent.linkSpan()[0].rank, sent.linkSpan()[0].recv),
                  std::pair(other, &trace.processes[other].calls[call]))
            << k;
        ASSERT_EQ(trace.processes[other].calls[call].linkCount, 0u) << k;
    }
}
