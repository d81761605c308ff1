// The tracer's part files and their merge, without MPI: parts written with
// the tracer's own writer, joined, then read back with the trace loader.

#include "format/tracer_calls.h"
#include "part_merge.h"
#include "record_stream.h"

#include "model/trace_document.h"
#include "model/trace_model.h"
#include "model/trace_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace zlvt;

namespace {

const unsigned char kNode[4] = {10, 0, 0, 7};

uint32_t loc(uint32_t file, uint32_t line) {
    return file << 16 | line;
}

class PartsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zlvparts-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        names_ = traceFileNames(dir_ + "/run");
        fs::create_directory(names_.partsDir);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A part with its header and declaration; the caller adds records.
    RecordStream& open(uint32_t rank, uint32_t worldSize, uint64_t key = 7) {
        streams_.push_back(std::make_unique<RecordStream>());
        RecordStream& s = *streams_.back();
        EXPECT_TRUE(s.open(partFileName(names_.partsDir, rank), {rank, worldSize, key}));
        s.declaration(rank, kNode);
        return s;
    }

    std::unique_ptr<TTrace> load(std::string* loaderMessages = nullptr) {
        std::ostringstream errors, db;
        auto t = std::make_unique<TTrace>(names_.trace, db, errors);
        if (loaderMessages) *loaderMessages = errors.str();
        return t;
    }

    // Merges the parts, expecting `damaged` broken ones, and loads the result.
    std::unique_ptr<TTrace> mergeAndLoad(uint32_t damaged = 0) {
        const DirectoryMergeResult result = mergePartDirectory(names_);
        EXPECT_TRUE(result.written);
        EXPECT_EQ(result.damaged, damaged);
        std::string messages;
        auto t = load(&messages);
        EXPECT_TRUE(t->loaded()) << messages;
        return t;
    }

    std::string dir_;
    TraceFileNames names_;
    std::vector<std::unique_ptr<RecordStream>> streams_;
};

TEST_F(PartsTest, MergeGivesEveryFileAndSectionOneIdentifierForTheRun) {
    RecordStream& a = open(0, 2);
    a.name(kNameTableFiles, 1, "a.c");
    a.name(kNameTableFiles, 2, "b.c");
    a.shortCall(loc(1, 10), kFuncInit, 100, 110);
    a.name(kNameTableSections, 1, "solve");
    a.shortCall(1, kFuncSection, 120, 120);
    a.longCall(loc(2, 20), kFuncSend, 130, 140, 8, 5, 1, kWorldComm);
    a.counter(3, loc(1, 5));
    a.close();
    RecordStream& b = open(1, 2);
    b.name(kNameTableFiles, 1, "b.c");
    b.name(kNameTableFiles, 2, "my file.c"); // white space cannot be stored
    b.shortCall(loc(2, 11), kFuncInit, 200, 210);
    b.name(kNameTableSections, 1, "io");
    b.name(kNameTableSections, 2, "solve");
    b.shortCall(2, kFuncSection, 220, 220);
    b.longCall(loc(1, 21), kFuncRecv, 230, 240, 8, 5, 0, kWorldComm);
    b.shortCall(1, kFuncSection, 250, 250);
    b.close();

    const DirectoryMergeResult result = mergePartDirectory(names_);
    ASSERT_TRUE(result.written);
    // 2 declarations, 7 calls and markers, 1 counter
    EXPECT_EQ(std::tuple(result.processes, result.missing, result.damaged, result.records),
              std::tuple(2u, 0u, 0u, 10u));

    std::string messages;
    auto t = load(&messages);
    ASSERT_TRUE(t->loaded()) << messages;
    EXPECT_EQ(messages, "");
    const TProcess& p0 = *t->processOfRank(0);
    const TProcess& p1 = *t->processOfRank(1);
    ASSERT_EQ(t->counters().size(), 1u);
    // Each location as "file:line" under the merged tables.
    const auto where = [&](uint32_t location) {
        return t->fileName(location >> 16) + ":" + std::to_string(location & 0xFFFF);
    };
    EXPECT_EQ((std::vector<std::string>{where(p0.calls[0].location), where(p0.calls[2].location),
                                        where(p1.calls[0].location), where(p1.calls[2].location),
                                        where(t->counters()[0].location), t->fileName(0)}),
              (std::vector<std::string>{"a.c:10", "b.c:20", "my_file.c:11", "b.c:21", "a.c:5",
                                        kAddressFileName}));
    EXPECT_EQ(p0.calls[2].location >> 16, p1.calls[2].location >> 16);
    EXPECT_EQ((std::vector<std::string>{t->sectName(p0.calls[1].location),
                                        t->sectName(p1.calls[3].location)}),
              (std::vector<std::string>{"solve", "io"}));
    EXPECT_EQ(p0.calls[1].location, p1.calls[1].location) << "same section, same identifier";
    ASSERT_EQ(p0.calls[2].linkCount, 1u) << "the renumbering keeps the records intact";
    EXPECT_EQ(p0.nodeId, nodeIdFromOctets(10, 0, 0, 7));
}

TEST_F(PartsTest, KilledProcessKeepsItsRecordsAndTheCallInFlight) {
    RecordStream& killed = open(0, 2);
    killed.shortCall(0, kFuncInit, 100, 110);
    killed.longCall(0, kFuncSend, 120, 130, 4, 1, 1, kWorldComm);
    killed.tentativeLong(0, kFuncRecv, 140, 4, 2, 1, kWorldComm);
    killed.keepTentative(190); // the signal handler's last act
    // Not closed: the file keeps its full window, zeros after the records.
    RecordStream& idle = open(1, 2);
    idle.shortCall(0, kFuncInit, 100, 105);
    idle.tentativeShort(0, kFuncWait, 150);
    idle.dropTentative(); // a test that completed nothing
    idle.tentativeLong(0, kFuncRecv, 160, 4, 1, 0, kWorldComm);
    idle.longCall(0, kFuncRecv, 160, 170, 4, 1, 0, kWorldComm); // replaces it

    EXPECT_EQ(fs::file_size(partFileName(names_.partsDir, 0)), RecordStream::kWindow);
    auto t = mergeAndLoad();
    ASSERT_TRUE(t->loaded());
    const TProcess& p0 = *t->processOfRank(0);
    ASSERT_EQ(p0.calls.size(), 3u);
    const TFunc& inFlight = p0.calls[2];
    EXPECT_EQ(std::tuple(inFlight.funcId, inFlight.start, inFlight.end, inFlight.msgTag),
              std::tuple(kFuncRecv | kUnfinishedFlag, 140, 190, 2u));
    const TProcess& p1 = *t->processOfRank(1);
    ASSERT_EQ(p1.calls.size(), 2u);
    EXPECT_EQ(std::pair(p1.calls[1].funcId, p1.calls[1].end), std::pair(kFuncRecv, int64_t{170}));
    EXPECT_EQ(p0.calls[1].linkCount, 1u);
}

TEST_F(PartsTest, RecordsCrossTheWriterWindowsWholeAndPostedOnesAreRewrittenInPlace) {
    RecordStream& s = open(0, 1);
    s.shortCall(0, kFuncInit, 0, 1);
    const auto anyTag = static_cast<uint32_t>(-1);
    const size_t wildcard = s.longCall(loc(0, 7), kFuncIrecv, 2, 3, 64, anyTag, -1, kWorldComm);
    const size_t cancelled = s.longCall(loc(0, 8), kFuncIrecv, 4, 5, 4, 77, 1, kWorldComm);
    ASSERT_GE(wildcard, kPartHeaderSize);
    ASSERT_GT(cancelled, wildcard);
    const int n = static_cast<int>(RecordStream::kWindow / kLongCallRecordSize) + 10;
    for (int i = 0; i < n; ++i) s.longCall(0, kFuncSend, 10 + i, 11 + i, 4, 9, 1, kWorldComm);
    const uint32_t members[3] = {0, 0, 0}; // a member list in the second window
    s.commCall(0, kFuncCommDup, 15 + n, 16 + n, 500, members, 3);
    const size_t late = s.longCall(0, kFuncIrecv, 20 + n, 21 + n, 4, 5, -1, kWorldComm);
    ASSERT_GE(late, RecordStream::kWindow) << "the late record is in the second window";
    s.tentativeLong(0, kFuncRecv, 30 + n, 4, 6, 1, kWorldComm); // a call in flight

    EXPECT_TRUE(s.rewriteLong(wildcard, kFuncIrecv, 8, 12, 1));
    EXPECT_TRUE(s.rewriteLong(cancelled, otherCallId(kOtherCancelledIrecv), 4, 77, 1));
    EXPECT_TRUE(s.rewriteLong(late, kFuncIrecv, 2, 5, 1));
    // Refused: the header, a short record, inside a record, the call in flight, beyond the end.
    for (size_t at : {size_t{0}, kPartHeaderSize, wildcard + 4, late + kLongCallRecordSize,
                      late + 2 * kLongCallRecordSize})
        EXPECT_FALSE(s.rewriteLong(at, kFuncSend, 1, 1, 0)) << at;
    s.keepTentative(40 + n);
    s.close();

    auto t = mergeAndLoad();
    ASSERT_TRUE(t->loaded());
    const TProcess& p = *t->processOfRank(0);
    ASSERT_EQ(p.calls.size(), static_cast<size_t>(n) + 6);
    ASSERT_EQ(p.comms.size(), 3u);
    EXPECT_EQ(std::pair(p.comms[2].id, p.comms[2].size), std::pair(500u, 3u));
    const TFunc& w = p.calls[1]; // what is not rewritten stays
    EXPECT_EQ(std::tuple(w.funcId, w.peer, w.msgTag, w.size, w.location, w.start),
              std::tuple(kFuncIrecv, 1, 12u, 8u, loc(0, 7), 2));
    const TFunc& c = p.calls[2]; // a cancelled receive is no receive: kind 0
    EXPECT_EQ(std::tuple(c.funcId, c.kind, c.msgTag),
              std::tuple(otherCallId(kOtherCancelledIrecv), 0u, 77u));
    for (int i = 0; i < n; ++i) {
        const TFunc& f = p.calls[static_cast<size_t>(i) + 3];
        ASSERT_EQ(std::tuple(f.funcId, f.msgTag, f.start), std::tuple(kFuncSend, 9u, 10 + i)) << i;
    }
    const TFunc& l = p.calls[static_cast<size_t>(n) + 4];
    EXPECT_EQ(std::tuple(l.funcId, l.peer, l.size, l.msgTag), std::tuple(kFuncIrecv, 1, 2u, 5u));
    EXPECT_EQ(std::pair(p.calls.back().funcId, p.calls.back().end),
              std::pair(kFuncRecv | kUnfinishedFlag, int64_t{40} + n));
}

TEST_F(PartsTest, MissingRanksAreDeclaredAndOtherRunsIgnored) {
    for (uint32_t rank = 0; rank < 3; ++rank) { // rank 1's part is left over from another run
        RecordStream& s = open(rank, 3, rank == 1 ? 99 : 7);
        s.shortCall(0, kFuncInit, 0, 1);
        s.close();
    }
    const DirectoryMergeResult result = mergePartDirectory(names_);
    ASSERT_TRUE(result.written);
    EXPECT_EQ(std::tuple(result.processes, result.missing, result.messages.size()),
              std::tuple(3u, 1u, size_t{2}));
    std::string messages;
    auto t = load(&messages);
    ASSERT_EQ(t->processCount(), 3u);
    EXPECT_TRUE(t->processOfRank(1)->calls.empty());
    EXPECT_EQ(t->processOfRank(2)->calls.size(), 1u);
    EXPECT_NE(messages.find("rank 1 is declared but have no functions"), std::string::npos);
}

TEST_F(PartsTest, PartCutInsideARecordKeepsTheRecordsBefore) {
    RecordStream& s = open(0, 1);
    s.shortCall(0, kFuncInit, 0, 1);
    s.longCall(0, kFuncSend, 2, 3, 4, 5, 0, kWorldComm);
    s.close();
    const std::string path = partFileName(names_.partsDir, 0);
    fs::resize_file(path, fs::file_size(path) - 10);
    auto t = mergeAndLoad(1);
    ASSERT_TRUE(t->loaded());
    EXPECT_EQ(t->processOfRank(0)->calls.size(), 1u);
}

TEST_F(PartsTest, NoPartsNoTrace) {
    const DirectoryMergeResult result = mergePartDirectory(names_);
    EXPECT_FALSE(result.written);
    EXPECT_FALSE(fs::exists(names_.trace));
}

TEST(TraceFileNames, AcceptTheBaseTheTraceOrThePartsDirectory) {
    for (const char* given : {"out/run", "out/run.zlv", "out/run.zlvparts", "out/run.zlvparts/"}) {
        const TraceFileNames n = traceFileNames(given);
        EXPECT_EQ(std::tuple(n.trace, n.database, n.partsDir),
                  std::tuple("out/run.zlv", "out/run.fdb", "out/run.zlvparts"))
            << given;
    }
}

TEST(OtherCallIds, AvoidTheBitsAndIdentifiersThatCarryMeaning) {
    std::set<uint32_t> seen;
    auto expectDistinctAndUnclassified = [&](const CallName& c) {
        EXPECT_TRUE(seen.insert(c.id).second) << c.name;
        TFunc f = TFunc::make(0, c.id, 0, 0, 0, kWorldComm, 0, 0, 0);
        EXPECT_EQ(f.kind, 0u) << c.name << ": classified as something it is not";
    };
    for (const CallName& c : kOtherCallNames) {
        EXPECT_TRUE(isSafeOtherId(c.id)) << c.name;
        expectDistinctAndUnclassified(c);
    }
    // Communicator-making calls carry a member list: bit 0x20, never 36's meaning.
    for (const CallName& c : kCommCallNames) {
        EXPECT_TRUE(isSafeCommCallId(c.id)) << c.name;
        expectDistinctAndUnclassified(c);
    }
    for (uint32_t k = 0; k < 512; ++k) EXPECT_TRUE(isSafeOtherId(otherCallId(k))) << k;
    for (uint32_t k = 0; k < 512; ++k) EXPECT_TRUE(isSafeCommCallId(commCallId(k))) << k;
}

} // namespace
