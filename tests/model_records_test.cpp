// Operations of the model records: rank translation, communicator lifetimes,
// the shared cursor, classification, time sums and message counting.

#include "model/trace_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>

namespace {

TComm makeComm(uint32_t id, std::vector<uint32_t> members, uint32_t createdAt, uint32_t freedAt) {
    TComm c;
    c.id = id;
    c.size = static_cast<uint32_t>(members.size());
    c.members = std::move(members);
    c.createdAt = createdAt;
    c.freedAt = freedAt;
    return c;
}

TFunc call(uint32_t funcId, int64_t start, int64_t end, int32_t peer = 0,
           uint32_t comm = kWorldComm, uint32_t size = 0, int32_t me = 0) {
    return TFunc::make(0, funcId, start, end, peer, comm, 0, size, me);
}

} // namespace

TEST(TCommTranslation, PredefinedCommunicatorsAndMemberLists) {
    const TProcess p(0, 0, 3);
    const TComm& world = p.comms[0];
    const TComm& self = p.comms[1];
    EXPECT_EQ(world.id, kWorldComm);
    EXPECT_EQ(self.id, kSelfComm);
    EXPECT_EQ(world.toLocal(12345), 12345); // even ranks that do not exist
    EXPECT_EQ(world.toGlobal(-7), -7);
    EXPECT_EQ(self.toLocal(99), 0);
    EXPECT_EQ(self.toGlobal(3), 0);
    EXPECT_EQ(world.freedAt, kNeverFreed);

    const TComm c = makeComm(500, {4, 2, 7}, 1, 0);
    EXPECT_EQ(c.toLocal(2), 1);
    EXPECT_EQ(c.toLocal(5), -1);
    EXPECT_EQ(c.toGlobal(2), 7);
    EXPECT_EQ(c.toGlobal(3), -1);  // k == size
    EXPECT_EQ(c.toGlobal(-1), -1); // unsigned comparison
    const TComm empty = makeComm(501, {}, 1, 0);
    EXPECT_EQ(empty.toLocal(0), -1);
    EXPECT_EQ(empty.toGlobal(0), -1);
}

TEST(TCommTranslation, OrderedListsAnswerAsTheLinearScan) {
    // Lists with and without order, repeated members, a size below or above
    // the list's length: toLocal is the first entry k < size naming the rank.
    std::mt19937 random(5);
    for (int round = 0; round < 2000; ++round) {
        std::vector<uint32_t> ranks(random() % 9);
        for (uint32_t& r : ranks) r = random() % 12;
        if (round % 3 == 0) {
            std::sort(ranks.begin(), ranks.end());
            ranks.erase(std::unique(ranks.begin(), ranks.end()), ranks.end());
        }
        TComm c = makeComm(600, ranks, 0, 0);
        c.size = static_cast<uint32_t>(random() % 10);
        const bool ascending = std::adjacent_find(ranks.begin(), ranks.end(),
                                                  std::greater_equal<uint32_t>()) == ranks.end();
        ASSERT_EQ(c.members.ascending(), ascending);
        for (int32_t rank = -1; rank < 13; ++rank) {
            int32_t expected = -1;
            for (uint32_t k = 0; k < std::min<size_t>(c.size, ranks.size()); ++k)
                if (ranks[k] == static_cast<uint32_t>(rank)) {
                    expected = static_cast<int32_t>(k);
                    break;
                }
            ASSERT_EQ(c.toLocal(rank), expected) << "round " << round << " rank " << rank;
        }
    }
}

TEST(MemberPool, EqualListsComeBackAsOneCopy) {
    MemberPool pool(42);
    std::mt19937 random(9);
    std::vector<std::vector<uint32_t>> lists;
    for (int k = 0; k < 3000; ++k) { // enough to grow the table several times
        std::vector<uint32_t> ranks(random() % 40);
        for (uint32_t& r : ranks) r = random() % 4;
        lists.push_back(std::move(ranks));
    }
    std::vector<TMembers> first;
    for (const auto& ranks : lists) first.push_back(pool.intern(ranks));
    std::sort(lists.begin(), lists.end());
    const auto distinct = std::unique(lists.begin(), lists.end()) - lists.begin();
    EXPECT_EQ(pool.distinct(), static_cast<size_t>(distinct));
    std::mt19937 again(9);
    for (const TMembers& made : first) {
        std::vector<uint32_t> ranks(again() % 40);
        for (uint32_t& r : ranks) r = again() % 4;
        const TMembers second = pool.intern(ranks);
        ASSERT_TRUE(second.sharesWith(made));
        ASSERT_EQ(made, TMembers(ranks));
        ASSERT_FALSE(TMembers(ranks).sharesWith(made)); // a list of its own is a copy
    }
    // A prefix, a longer list and another order are other lists.
    const TMembers a = pool.intern(std::vector<uint32_t>{1, 2, 3, 9});
    EXPECT_FALSE(pool.intern(std::vector<uint32_t>{1, 2, 3}).sharesWith(a));
    EXPECT_FALSE(pool.intern(std::vector<uint32_t>{1, 2, 3, 9, 0}).sharesWith(a));
    EXPECT_FALSE(pool.intern(std::vector<uint32_t>{2, 1, 3, 9}) == a);
    EXPECT_EQ(TMembers(), TMembers(std::vector<uint32_t>{}));
}

TEST(MemberPool, CollidingListsStayApart) {
    MemberPool pool(1, 0); // every list has the same hash
    std::vector<TMembers> made;
    for (uint32_t k = 0; k < 10; ++k) {
        const std::vector<uint32_t> ranks{k, k + 1, 5};
        made.push_back(pool.intern(ranks));
        EXPECT_EQ(made.back(), TMembers(ranks));
    }
    EXPECT_EQ(pool.distinct(), 10u);
    // The first few are kept for sharing, later ones are copies of their own.
    for (uint32_t k = 0; k < 10; ++k) {
        const TMembers again = pool.intern(std::vector<uint32_t>{k, k + 1, 5});
        EXPECT_EQ(again, made[k]);
        if (k < 4) {
            EXPECT_TRUE(again.sharesWith(made[k])) << k;
        }
    }
}

TEST(TProcessComms, LifetimesAndReuseOfIdentifiers) {
    TProcess p(0, 0, 0);
    p.addComm(makeComm(7, {0, 1}, 3, 0));
    p.freeComm(7, 7);
    p.addComm(makeComm(7, {1, 0}, 9, 0));

    EXPECT_EQ(p.findComm(7, 2), nullptr); // before creation
    ASSERT_NE(p.findComm(7, 7), nullptr); // the freeing call still finds it
    EXPECT_EQ(p.findComm(7, 7)->members[0], 0u);
    EXPECT_EQ(p.findComm(7, 8), nullptr); // between the two lifetimes
    ASSERT_NE(p.findComm(7, 9), nullptr);
    EXPECT_EQ(p.findComm(7, 9)->members[0], 1u);

    p.freeComm(7, 12); // closes the one not yet freed
    EXPECT_EQ(p.comms[2].freedAt, 7u);
    EXPECT_EQ(p.comms[3].freedAt, 12u);
    p.freeComm(99, 13); // unknown: nothing happens
    EXPECT_TRUE(p.openCommList().empty());
}

TEST(TProcessCursor, FirstNextLastShareOneCursor) {
    TProcess p(0, 0, 0);
    EXPECT_EQ(p.first(), nullptr);
    EXPECT_EQ(p.next(), nullptr);
    EXPECT_EQ(p.last(), nullptr);
    p.addCall(call(kFuncInit, 0, 1));
    p.addCall(call(kFuncFinalize, 2, 3));
    EXPECT_EQ(p.first(), &p.calls[0]);
    EXPECT_EQ(p.next(), &p.calls[1]);
    EXPECT_EQ(p.next(), nullptr); // at the last call: stays
    EXPECT_EQ(p.next(), nullptr);
    EXPECT_EQ(p.cursor, 1u);
    EXPECT_EQ(p.last(), &p.calls[1]);
    EXPECT_EQ(p.first(), &p.calls[0]);
    EXPECT_EQ(p.cursor, 0u);
}

TEST(TFuncClassify, KindBits) {
    EXPECT_EQ(TFunc::classify(kFuncInit, 0, 0), kKindInitFinalize);
    EXPECT_EQ(TFunc::classify(kFuncIsend, 0, 1), kKindSend);
    EXPECT_EQ(TFunc::classify(kFuncWaitIsend, 0, 1), kKindSend | kKindWait);
    EXPECT_EQ(TFunc::classify(kFuncWaitIrecv, 0, 1), kKindRecv | kKindWait);
    EXPECT_EQ(TFunc::classify(kFuncWait, 0, 1), kKindWait);
    // Root of one-to-all sends, others receive; all-to-one the other way round.
    EXPECT_EQ(TFunc::classify(kFuncBcast, 2, 2), kKindCollective | kKindSend);
    EXPECT_EQ(TFunc::classify(kFuncScatterv, 1, 2), kKindCollective | kKindRecv);
    EXPECT_EQ(TFunc::classify(kFuncGather, 2, 2), kKindCollective | kKindRecv);
    EXPECT_EQ(TFunc::classify(kFuncReduce, 0, 2), kKindCollective | kKindSend);
    // The unfinished flag hides the traffic bits, but 0x10 still marks a wait.
    EXPECT_EQ(TFunc::classify(kFuncSend | kUnfinishedFlag, 0, 1), 0u);
    EXPECT_EQ(TFunc::classify(kFuncWait | kUnfinishedFlag, 0, 1), kKindWait);
    EXPECT_EQ(TFunc::classify(kFuncSection, 0, 0), 0u);
}

TEST(TFuncLinks, AddAndCopyKeepOrder) {
    TFunc s = call(kFuncBcast, 0, 1, 0, kWorldComm, 0, 0);
    TFunc r1 = call(kFuncBcast, 0, 1), r2 = call(kFuncBcast, 0, 1);
    EXPECT_TRUE(s.addLink(1, &r1));
    EXPECT_TRUE(s.addLink(2, &r2));
    TLink out[2];
    ASSERT_EQ(s.copyLinks(out), 2u);
    EXPECT_EQ(out[0].rank, 1u);
    EXPECT_EQ(out[0].recv, &r1);
    EXPECT_EQ(out[1].recv, &r2);
}

TEST(TProcessTimes, SumsByIdentifierAndKind) {
    TProcess only(0, 0, 0);
    only.addCall(call(kFuncInit, 10, 25));
    int64_t init = -1, fin = -1, send = -1, recv = -1;
    only.times(init, fin, send, recv);
    EXPECT_EQ(init, 15);
    EXPECT_EQ(fin + send + recv, 0);
    EXPECT_EQ(only.duration(), 15);

    TProcess p(0, 0, 0);
    p.addCall(call(kFuncInit, 0, 5));
    p.addCall(call(kFuncSend, 10, 13, 1));
    p.addCall(call(kFuncWaitIrecv, 20, 27, 1));
    p.addCall(call(kFuncSend | kUnfinishedFlag, 30, 100, 1)); // no kind: no sum
    p.addCall(call(kFuncFinalize, 200, 210));
    p.times(init, fin, send, recv);
    EXPECT_EQ(std::tuple(init, fin, send, recv), std::tuple(5, 10, 3, 7));
    EXPECT_EQ(p.duration(), 210);
    EXPECT_EQ(TProcess(0, 0, 0).duration(), 0);
}

TEST(TProcessTimes, ExtremeTimesDoNotOverflow) {
    TProcess p(0, 0, 0);
    p.addCall(call(kFuncInit, INT64_MIN, INT64_MAX));
    int64_t init = 0, fin = 0, send = 0, recv = 0;
    p.times(init, fin, send, recv); // wraps instead of undefined overflow
    EXPECT_EQ(init, -1);
    EXPECT_EQ(p.duration(), -1);
}

TEST(TProcessMessages, PointToPointCollectivesAndSections) {
    // Rank 0: sends to 1 twice (one in section 5), Isend+wait to 2, Bcast root
    // over the world, Gather root over a sub-communicator {0, 2}.
    TProcess p(0, 0, 0);
    p.addCall(call(kFuncInit, 0, 1));
    p.addCall(call(kFuncSend, 1, 2, 1, kWorldComm, 100));
    p.addCall(TFunc::make(5, kFuncSection, 2, 2, 0, 0, 0, 0, 0));
    p.addCall(call(kFuncSend, 3, 4, 1, kWorldComm, 10));
    p.addCall(call(kFuncIsend, 5, 6, 2, kWorldComm, 7));
    p.addCall(call(kFuncWaitIsend, 6, 7, 2, kWorldComm, 7)); // never counted
    p.addCall(call(kFuncBcast, 8, 9, 0, kWorldComm, 3, 0));
    TComm sub = makeComm(300, {0, 2}, 7, 0);
    p.addComm(std::move(sub));
    p.addCall(call(kFuncCommSplit, 9, 10, 0, 300, 2, 0));
    p.addCall(call(kFuncGather, 10, 11, 0, 300, 4, 0)); // root (local 0 = rank 0) receives

    uint64_t sent = 9, received = 9;
    p.countMessages(1, sent, received, 0);
    EXPECT_EQ(sent, 3u); // two sends + the Bcast (1 is a member)
    EXPECT_EQ(received, 0u);
    p.countMessages(1, sent, received, 5);
    EXPECT_EQ(sent, 2u); // the send before the marker belongs to section 0
    p.countMessages(1, sent, received, 6);
    EXPECT_EQ(sent + received, 0u);

    p.countMessages(2, sent, received, 0);
    EXPECT_EQ(sent, 2u);     // Isend + Bcast
    EXPECT_EQ(received, 1u); // the Gather: 2 is a member of {0, 2}
    p.countMessages(0, sent, received, 0);
    EXPECT_EQ(sent, 2u);     // a root counts its Bcast to itself; Gather: the root is P
    EXPECT_EQ(received, 2u); // Bcast: the root is P; Gather: P is a member

    p.sumDataSize(1, sent, received, 0);
    EXPECT_EQ(sent, 113u);
    p.sumDataSize(2, sent, received, 0);
    EXPECT_EQ(sent, 10u);
    EXPECT_EQ(received, 4u);
}

TEST(TProcessMessages, DataSizesSumBeyondFourGiB) {
    TProcess p(0, 0, 0);
    for (int i = 0; i < 3; ++i) p.addCall(call(kFuncSend, i, i + 1, 1, kWorldComm, 0xF0000000u));
    uint64_t sent = 0, received = 0;
    p.sumDataSize(1, sent, received, 0);
    EXPECT_EQ(sent, 3ull * 0xF0000000u);
}

TEST(TProcessOpenComms, ReportsUnfreedWithCreatingLocation) {
    TProcess p(0, 0, 0);
    p.addCall(call(kFuncInit, 0, 1));
    for (uint32_t i = 0; i < 3; ++i) {
        p.addComm(makeComm(100 + i, {0}, i + 1, 0));
        p.addCall(TFunc::make(0x00020000u | (10 + i), kFuncCommDup, 1, 2, 0, 100 + i, 0, 1, 0));
    }
    p.freeComm(101, 4);
    const auto open = p.openCommList();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(open[0].id, 100u);
    EXPECT_EQ(open[0].location, 0x0002000Au);
    EXPECT_EQ(open[1].id, 102u);

    // Only whole pairs that fit are written: capacity 5 words holds 2 pairs.
    uint32_t out[6] = {0, 0, 0, 0, 0xDEAD, 0xBEEF};
    p.addComm(makeComm(103, {0}, 3, 0));
    EXPECT_EQ(p.openComms(5, out), 2u);
    EXPECT_EQ(out[2], 102u);
    EXPECT_EQ(out[4], 0xDEADu);
    EXPECT_EQ(p.openComms(8, out), 3u);
}

TEST(CallLists, ShareOneBlockFallBackToTheHeapAndKeepItAlive) {
    constexpr size_t kRoom = 4;
    auto block = std::make_shared<CallBlock>(kRoom * sizeof(TFunc));
    TCallList first{CallAllocator<TFunc>(block)};
    first.reserve(kRoom);
    TCallList second{CallAllocator<TFunc>(block)};
    second.reserve(kRoom); // no room left: the heap serves it
    for (int k = 0; k < 6; ++k) {
        first.push_back(call(kFuncSend, k, k + 1));
        second.push_back(call(kFuncRecv, k, k + 2));
    }
    TCallList moved = std::move(second);
    TCallList assigned;
    assigned = std::move(first);
    EXPECT_EQ(assigned.get_allocator().block(), block);
    block.reset();
    // The lists keep the block alive, and every value stays readable.
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(assigned[k].end, k + 1);
        EXPECT_EQ(moved[k].end, k + 2);
    }
}
