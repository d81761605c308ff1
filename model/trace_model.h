#pragma once
// In-memory records of one trace: calls, links, communicators, processes,
// counters and node clock corrections. Plain data with a few operations.

#include "format/func_ids.h"
#include "model/call_memory.h"
#include "model/member_list.h"
#include "model/wrapping_math.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

struct TFunc;

struct TLink {
    // endGap when the gap does not fit.
    static constexpr int32_t kGapUnknown = INT32_MIN;

    uint32_t rank = 0; // global rank of the receiving process
    // recv->end minus the sending call's end, or kGapUnknown. Clock alignment
    // compares both ends of every link; with the gap it need not visit the
    // receiving call, a cache miss per link. It fills what was padding.
    int32_t endGap = kGapUnknown;
    TFunc* recv = nullptr; // the matched receiving call, owned by its process

    static int32_t gapOf(int64_t sendEnd, int64_t recvEnd) {
        int64_t gap;
        if (__builtin_sub_overflow(recvEnd, sendEnd, &gap) || gap <= INT32_MIN || gap > INT32_MAX)
            return kGapUnknown;
        return static_cast<int32_t>(gap);
    }
    // The raw end of the receiving call; sendEnd is the sending call's end.
    int64_t recvEnd(int64_t sendEnd) const;
};

// The link array of one call. Either owned (grown one link at a time by
// TFunc::addLink) or borrowed from the block in which the loader stores the
// links of a whole process (TProcess::linkBlocks). Reads like a TLink array.
class TLinkArray {
  public:
    TLinkArray() = default;
    TLinkArray(const TLinkArray&) = delete;
    TLinkArray& operator=(const TLinkArray&) = delete;
    TLinkArray(TLinkArray&& other) noexcept : bits_(std::exchange(other.bits_, 0)) {}
    TLinkArray& operator=(TLinkArray&& other) noexcept {
        if (this != &other) {
            release();
            bits_ = std::exchange(other.bits_, 0);
        }
        return *this;
    }
    ~TLinkArray() { release(); }

    TLink* get() const { return reinterpret_cast<TLink*>(bits_ & ~kBorrowed); }
    TLink& operator[](size_t i) const { return get()[i]; }
    explicit operator bool() const { return bits_ != 0; }
    bool operator==(std::nullptr_t) const { return bits_ == 0; }

    // Takes ownership of an array made with new TLink[].
    void reset(TLink* owned = nullptr) {
        release();
        bits_ = reinterpret_cast<uintptr_t>(owned);
    }
    // Points at links owned by someone else, who outlives this array.
    void borrow(TLink* links) {
        release();
        bits_ = links ? reinterpret_cast<uintptr_t>(links) | kBorrowed : 0;
    }

  private:
    // TLink is pointer-aligned, so the lowest bit is free to mark borrowing.
    static constexpr uintptr_t kBorrowed = 1;
    void release() {
        if (bits_ && !(bits_ & kBorrowed)) delete[] get();
        bits_ = 0;
    }
    uintptr_t bits_ = 0;
};

struct TFunc {
    uint32_t location = 0; // file << 16 | line; the section identifier of a marker
    uint32_t funcId = 0;   // may carry kUnfinishedFlag
    int64_t start = 0;     // raw microseconds of the node's clock
    int64_t end = 0;
    uint32_t kind = 0;
    int32_t peer = 0; // local to comm: destination, source or root
    uint32_t comm = 0;
    uint32_t msgTag = 0;
    TLinkArray links;
    uint32_t size = 0; // data size; member count of a creating call
    uint32_t linkCount = 0;

    // A call gets at most one link per other process; more than this is refused.
    static constexpr uint32_t kMaxLinks = 0xFFFFFFFFu;

    static TFunc make(uint32_t location, uint32_t funcId, int64_t start, int64_t end, int32_t peer,
                      uint32_t comm, uint32_t msgTag, uint32_t size, int32_t ownLocalRank);
    static uint32_t classify(uint32_t funcId, int32_t me, int32_t peer);

    // Appends one link; false (and "link creation error" on stderr) when memory runs out.
    bool addLink(uint32_t rank, TFunc* recv);
    // Copies the links into out, which must hold linkCount elements.
    uint32_t copyLinks(TLink* out) const;
    std::span<const TLink> linkSpan() const { return {links.get(), linkCount}; }

    uint32_t baseFuncId() const { return funcId & ~kUnfinishedFlag; }
    bool isSectionMarker() const { return funcId == kFuncSection; }
};

// Raw storage for the links of many calls, filled in place: constructing
// millions of links only to overwrite them would touch every page twice.
struct TLinkBlockFree {
    void operator()(TLink* links) const { ::operator delete(links); }
};
using TLinkBlock = std::unique_ptr<TLink[], TLinkBlockFree>;
static_assert(std::is_trivially_destructible_v<TLink> && std::is_trivially_copyable_v<TLink>);

inline int64_t TLink::recvEnd(int64_t sendEnd) const {
    return endGap != kGapUnknown ? sendEnd + endGap : recv->end;
}

// The calls of one process, in time order.
using TCallList = std::vector<TFunc, CallAllocator<TFunc>>;

struct TComm {
    uint32_t id = 0;
    uint32_t size = 0;      // 0 for the predefined communicators
    TMembers members;       // entry k: global rank of local rank k
    uint32_t createdAt = 0; // call index of the creating call
    uint32_t freedAt = 0;   // 0: not freed

    int32_t toLocal(int32_t globalRank) const;
    int32_t toGlobal(int32_t localRank) const;
};

// One (communicator identifier, location of its creating call) pair.
struct TOpenComm {
    uint32_t id = 0;
    uint32_t location = 0;
};

// Time spent in Init, in Finalize, in sending and in receiving calls: sums
// of call durations, wrapping on overflow (so any order of adding gives the
// same sums).
struct TTimeSums {
    int64_t init = 0;
    int64_t finalize = 0;
    int64_t send = 0;
    int64_t receive = 0;

    // What the call adds by its function; and by its kind, unless `byKind`
    // is false (its kind is not known yet: addKind adds that part later).
    // Inline: the reader adds every call it reads.
    void add(const TFunc& f, bool byKind = true) {
        const int64_t d = wrapSub(f.end, f.start);
        if (f.funcId == kFuncInit) init = wrapAdd(init, d);
        if (f.funcId == kFuncFinalize) finalize = wrapAdd(finalize, d);
        if (byKind) addKindOf(f, d);
    }
    void addKind(const TFunc& f) { addKindOf(f, wrapSub(f.end, f.start)); }
    TTimeSums& operator+=(const TTimeSums& other);
    bool operator==(const TTimeSums&) const = default;

  private:
    void addKindOf(const TFunc& f, int64_t duration) {
        if (f.kind & kKindSend) send = wrapAdd(send, duration);
        if (f.kind & kKindRecv) receive = wrapAdd(receive, duration);
    }
};

// One visit of a program region, where the source records regions entered
// and left (OTF2): raw microseconds of the node's clock like the calls, at a
// depth among the visits open around it (0: none). A process's visits come
// in the order they were entered and nest (see model/region_visits.h).
struct TRegionVisit {
    int64_t enter = 0;
    int64_t leave = 0;
    uint32_t section = 0; // the region's section identifier
    uint32_t depth = 0;
    bool operator==(const TRegionVisit&) const = default;
};

struct TProcess {
    uint32_t nodeId = 0;    // IPv4 address, first octet in the lowest byte
    uint32_t nodeIndex = 0; // dense, in order of first appearance
    uint32_t rank = 0;
    uint32_t cursor = 0; // one shared iteration position
    TCallList calls;
    std::vector<TComm> comms;
    // Storage of the links that the loader gave to this process's calls; their
    // `links` arrays borrow from it. One block per link building.
    std::vector<TLinkBlock> linkBlocks;
    // Region visits as the source recorded them; empty for a .zlv trace,
    // whose section markers only switch sections.
    std::vector<TRegionVisit> regions;

    TProcess() = default;
    TProcess(uint32_t nodeIndex, uint32_t nodeId, uint32_t rank);

    // The reader's sums of `calls` as read, for times() without walking them
    // again; none once a call is added.
    std::optional<TTimeSums> timeSums;

    void addCall(TFunc&& call) {
        calls.push_back(std::move(call));
        timeSums.reset();
    }
    void addComm(TComm&& comm) { comms.push_back(std::move(comm)); }

    TFunc* first();
    TFunc* next();
    TFunc* last();

    const TComm* findComm(uint32_t id, uint32_t callIndex) const;
    void freeComm(uint32_t id, uint32_t callIndex);

    // Rank translation in communicator c of this process (nullptr: one it does
    // not know, whose local ranks are the global ones) as MPI decides who is a
    // member: the only member of the self communicator is this process, at
    // local rank 0. −1: not a member. TComm's own translation answers 0 for
    // any rank on the self communicator, as it knows no process.
    int32_t localRankIn(const TComm* c, int32_t globalRank) const;
    int32_t globalRankIn(const TComm* c, int32_t localRank) const;

    int64_t duration() const;
    void times(int64_t& init, int64_t& finalize, int64_t& send, int64_t& receive) const;
    // The sums times() gives, by walking every call.
    TTimeSums sumTimes() const;

    // Message counts and summed data sizes between this process and the process
    // of peerRank; section 0 means the whole run. 64-bit so that large runs do not wrap.
    void countMessages(int32_t peerRank, uint64_t& sent, uint64_t& received,
                       uint32_t section) const;
    void sumDataSize(int32_t peerRank, uint64_t& sent, uint64_t& received, uint32_t section) const;

    // Writes (id, location) word pairs of never-freed communicators, as many
    // whole pairs as capacity (in 32-bit words) holds; returns the pairs written.
    uint32_t openComms(uint32_t capacity, uint32_t* out) const;
    // Every never-freed communicator, without a capacity limit.
    std::vector<TOpenComm> openCommList() const;
};

// How many calls the processes hold together.
inline uint64_t callCount(std::span<const TProcess> procs) {
    uint64_t calls = 0;
    for (const TProcess& p : procs) calls += p.calls.size();
    return calls;
}

struct TCounter {
    uint32_t rank = 0xFFFFFFFFu; // all bits set: before any declaration
    uint32_t times = 0;
    uint32_t location = 0;
};

// A node the processes ran on: what tables and texts call it and, where the
// source knows it, its IPv4 address (first octet in the lowest byte).
struct TNode {
    std::string name;
    std::optional<uint32_t> ipv4;
};

struct TNodeClock {
    int64_t offset = 0;
};
