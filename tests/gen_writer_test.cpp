#include "gen_test_support.h"
#include "model/trace_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string hexBytes(std::initializer_list<unsigned> bytes) {
    std::string s;
    for (unsigned b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

void writeSample(TraceWriter& w, int repeat) {
    const std::vector<uint32_t> members{4, 2, 7};
    for (int i = 0; i < repeat; ++i) {
        w.declareProcess(static_cast<uint32_t>(i), nodeIdFromOctets(10, 0, 0, 1));
        w.shortCall(makeLocation(1, 10), 1, i, i + 5);
        w.longCall(makeLocation(2, 3), 3, -4, 1LL << 40, 64, 7, -1, 91);
        w.commCall(makeLocation(2, 4), 33, 10, 20, 1001, members);
        w.sectionMarker(3, 30);
        w.counter(12, makeLocation(5, 6));
        w.skipRecord66();
        w.skipRecord68();
    }
}

} // namespace

TEST(TraceWriterBytes, MemberListFollowsTheLongRecordAndNegativeTimesKeepTheirBits) {
    TraceWriter w;
    const std::vector<uint32_t> members{5, 0x01020304};
    w.commCall(0, 34, -2, -1, 1000, members);
    const std::string& b = w.bytes();
    ASSERT_EQ(b.size(), 44u + 8u);
    EXPECT_EQ(b.substr(12, 8), hexBytes({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(b.substr(28, 4), hexBytes({2, 0, 0, 0})); // size = member count
    EXPECT_EQ(b.substr(44), hexBytes({5, 0, 0, 0, 4, 3, 2, 1}));
}

TEST(TraceWriterStreaming, FileHoldsTheSameBytesAsMemoryAcrossBufferBoundaries) {
    // Enough records to pass the stream buffer several times.
    const int repeat = 12000;
    TraceWriter memory;
    writeSample(memory, repeat);
    ASSERT_GT(memory.size(), 2u << 20);

    const auto path = genScratchDir() / "stream.zlv";
    TraceWriter stream;
    stream.declareProcess(99, 1); // held in memory before open: written first
    ASSERT_TRUE(stream.open(path.string()));
    EXPECT_TRUE(stream.streaming());
    writeSample(stream, repeat);
    const std::string big(3u << 20, '\x44');
    stream.raw(big); // larger than the buffer in one piece
    EXPECT_TRUE(stream.bytes().empty());
    EXPECT_TRUE(stream.close());

    TraceWriter head;
    head.declareProcess(99, 1);
    const std::string expected = head.bytes() + memory.bytes() + big;
    EXPECT_EQ(stream.size(), expected.size());
    EXPECT_TRUE(readWholeFile(path) == expected);
    std::filesystem::remove_all(path.parent_path());
}

TEST(TraceWriterStreaming, UnwritablePathFailsAndClearKeepsMemoryModeUsable) {
    TraceWriter w;
    EXPECT_FALSE(w.open((genScratchDir() / "missing" / "x.zlv").string()));
    EXPECT_FALSE(w.streaming());
    w.word(7);
    w.clear();
    EXPECT_EQ(w.size(), 0u);
    w.word(0x01020304);
    EXPECT_EQ(w.bytes(), hexBytes({4, 3, 2, 1}));
}
