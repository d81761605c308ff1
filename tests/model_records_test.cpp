// Operations of the model records: rank translation, communicator lifetimes,
// the shared cursor, classification and time sums.

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
    EXPECT_EQ(std::tuple(world.id, self.id, world.freedAt),
              std::tuple(kWorldComm, kSelfComm, kNeverFreed));
    // The world passes even ranks that do not exist; self maps everything to 0.
    EXPECT_EQ(
        std::tuple(world.toLocal(12345), world.toGlobal(-7), self.toLocal(99), self.toGlobal(3)),
        std::tuple(12345, -7, 0, 0));
    // Membership as the process sees it: self holds the process alone; an
    // unknown communicator keeps global ranks.
    EXPECT_EQ(std::tuple(p.localRankIn(&self, 3), p.localRankIn(&self, 0), p.globalRankIn(&self, 0),
                         p.globalRankIn(&self, 1), p.localRankIn(nullptr, 8),
                         p.globalRankIn(&world, 8)),
              std::tuple(0, -1, 3, -1, 8, 8));
    const TComm c = makeComm(500, {4, 2, 7}, 1, 0);
    // k == size and -1 (compared unsigned) are outside the list.
    EXPECT_EQ(std::tuple(c.toLocal(2), c.toLocal(5), c.toGlobal(2), c.toGlobal(3), c.toGlobal(-1)),
              std::tuple(1, -1, 7, -1, -1));
    const TComm empty = makeComm(501, {}, 1, 0);
    EXPECT_EQ(std::pair(empty.toLocal(0), empty.toGlobal(0)), std::pair(-1, -1));
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
    for (size_t k = 0; k < lists.size(); ++k) {
        const TMembers second = pool.intern(lists[k]);
        ASSERT_TRUE(second.sharesWith(first[k]));
        ASSERT_EQ(first[k], TMembers(lists[k]));
        ASSERT_FALSE(TMembers(lists[k]).sharesWith(first[k])); // a list of its own is a copy
    }
    std::sort(lists.begin(), lists.end());
    EXPECT_EQ(pool.distinct(),
              static_cast<size_t>(std::unique(lists.begin(), lists.end()) - lists.begin()));
    // A prefix, a longer list and another order are other lists.
    const TMembers a = pool.intern(std::vector<uint32_t>{1, 2, 3, 9});
    EXPECT_FALSE(pool.intern(std::vector<uint32_t>{1, 2, 3}).sharesWith(a));
    EXPECT_FALSE(pool.intern(std::vector<uint32_t>{1, 2, 3, 9, 0}).sharesWith(a));
    EXPECT_FALSE(pool.intern(std::vector<uint32_t>{2, 1, 3, 9}) == a);
    EXPECT_EQ(TMembers(), TMembers(std::vector<uint32_t>{}));

    // Every list with the same hash: kept apart; the first few are shared.
    MemberPool colliding(1, 0);
    std::vector<TMembers> made;
    for (uint32_t k = 0; k < 10; ++k)
        made.push_back(colliding.intern(std::vector<uint32_t>{k, k + 1, 5}));
    EXPECT_EQ(colliding.distinct(), 10u);
    for (uint32_t k = 0; k < 10; ++k) {
        const TMembers again = colliding.intern(std::vector<uint32_t>{k, k + 1, 5});
        EXPECT_EQ(again, TMembers(std::vector<uint32_t>{k, k + 1, 5})) << k;
        if (k < 4) {
            EXPECT_TRUE(again.sharesWith(made[k])) << k;
        }
    }
}

TEST(TProcessComms, LifetimesReuseOfIdentifiersAndOpenList) {
    TProcess p(0, 0, 0);
    p.addComm(makeComm(7, {0, 1}, 3, 0));
    p.freeComm(7, 7);
    p.addComm(makeComm(7, {1, 0}, 9, 0));
    // Before creation, at the freeing call (still found), between the two
    // lifetimes, in the second.
    EXPECT_EQ((std::vector<const TComm*>{p.findComm(7, 2), p.findComm(7, 7), p.findComm(7, 8),
                                         p.findComm(7, 9)}),
              (std::vector<const TComm*>{nullptr, &p.comms[2], nullptr, &p.comms[3]}));
    p.freeComm(7, 12); // closes the one not yet freed
    EXPECT_EQ(std::pair(p.comms[2].freedAt, p.comms[3].freedAt), std::pair(7u, 12u));
    p.freeComm(99, 13); // unknown: nothing happens
    EXPECT_TRUE(p.openCommList().empty());

    TProcess q(0, 0, 0);
    q.addCall(call(kFuncInit, 0, 1));
    for (uint32_t i = 0; i < 3; ++i) {
        q.addComm(makeComm(100 + i, {0}, i + 1, 0));
        q.addCall(TFunc::make(0x00020000u | (10 + i), kFuncCommDup, 1, 2, 0, 100 + i, 0, 1, 0));
    }
    q.freeComm(101, 4);
    const auto open = q.openCommList();
    ASSERT_EQ(open.size(), 2u);
    EXPECT_EQ(std::tuple(open[0].id, open[0].location, open[1].id),
              std::tuple(100u, 0x0002000Au, 102u));
    // Only whole pairs that fit are written: capacity 5 words holds 2 pairs.
    uint32_t out[6] = {0, 0, 0, 0, 0xDEAD, 0xBEEF};
    q.addComm(makeComm(103, {0}, 3, 0));
    EXPECT_EQ(q.openComms(5, out), 2u);
    EXPECT_EQ(std::pair(out[2], out[4]), std::pair(102u, 0xDEADu));
    EXPECT_EQ(q.openComms(8, out), 3u);
}

TEST(TProcessCursor, FirstNextLastShareOneCursor) {
    TProcess p(0, 0, 0);
    EXPECT_EQ(std::tuple(p.first(), p.next(), p.last()), std::tuple(nullptr, nullptr, nullptr));
    p.addCall(call(kFuncInit, 0, 1));
    p.addCall(call(kFuncFinalize, 2, 3));
    // At the last call next() gives nothing and the cursor stays.
    const TFunc* walk[] = {p.first(), p.next(), p.next(), p.next()};
    EXPECT_EQ(std::vector<const TFunc*>(std::begin(walk), std::end(walk)),
              (std::vector<const TFunc*>{&p.calls[0], &p.calls[1], nullptr, nullptr}));
    EXPECT_EQ(p.cursor, 1u);
    EXPECT_EQ(p.last(), &p.calls[1]);
    EXPECT_EQ(p.first(), &p.calls[0]);
    EXPECT_EQ(p.cursor, 0u);
}

TEST(TFuncClassify, KindBits) {
    const struct {
        uint32_t func;
        int32_t me, peer;
        uint32_t kind;
    } cases[] = {
        {kFuncInit, 0, 0, kKindInitFinalize},
        {kFuncIsend, 0, 1, kKindSend},
        {kFuncWaitIsend, 0, 1, kKindSend | kKindWait},
        {kFuncWaitIrecv, 0, 1, kKindRecv | kKindWait},
        {kFuncWait, 0, 1, kKindWait},
        // Root of one-to-all sends, others receive; all-to-one the other way round.
        {kFuncBcast, 2, 2, kKindCollective | kKindSend},
        {kFuncScatterv, 1, 2, kKindCollective | kKindRecv},
        {kFuncGather, 2, 2, kKindCollective | kKindRecv},
        {kFuncReduce, 0, 2, kKindCollective | kKindSend},
        // The unfinished flag hides the traffic bits, but 0x10 still marks a wait.
        {kFuncSend | kUnfinishedFlag, 0, 1, 0},
        {kFuncWait | kUnfinishedFlag, 0, 1, kKindWait},
        {kFuncSection, 0, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TFunc::classify(c.func, c.me, c.peer), c.kind) << "function " << c.func;

    TFunc s = call(kFuncBcast, 0, 1);
    TFunc r1 = call(kFuncBcast, 0, 1), r2 = call(kFuncBcast, 0, 1);
    EXPECT_TRUE(s.addLink(1, &r1) && s.addLink(2, &r2));
    TLink out[2];
    ASSERT_EQ(s.copyLinks(out), 2u);
    EXPECT_EQ(std::tuple(out[0].rank, out[0].recv, out[1].recv), std::tuple(1u, &r1, &r2));
}

TEST(TProcessTimes, SumsByIdentifierAndKindWithoutOverflow) {
    TProcess p(0, 0, 0);
    p.addCall(call(kFuncInit, 0, 5));
    p.addCall(call(kFuncSend, 10, 13, 1));
    p.addCall(call(kFuncWaitIrecv, 20, 27, 1));
    p.addCall(call(kFuncSend | kUnfinishedFlag, 30, 100, 1)); // no kind: no sum
    p.addCall(call(kFuncFinalize, 200, 210));
    int64_t init = -1, fin = -1, send = -1, recv = -1;
    p.times(init, fin, send, recv);
    EXPECT_EQ(std::tuple(init, fin, send, recv), std::tuple(5, 10, 3, 7));
    EXPECT_EQ(p.duration(), 210);
    EXPECT_EQ(TProcess(0, 0, 0).duration(), 0);

    TProcess extreme(0, 0, 0);
    extreme.addCall(call(kFuncInit, INT64_MIN, INT64_MAX));
    extreme.times(init, fin, send, recv); // wraps instead of undefined overflow
    EXPECT_EQ(std::tuple(init, fin, send, recv), std::tuple(-1, 0, 0, 0));
    EXPECT_EQ(extreme.duration(), -1);
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
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(std::pair(assigned[k].end, moved[k].end),
                  std::pair(int64_t{k} + 1, int64_t{k} + 2));
}
