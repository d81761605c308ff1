#include "model/trace_model.h"

#include "model/comm_lookup.h"
#include "model/wrapping_math.h"

#include <algorithm>
#include <iostream>
#include <new>

// ---------------------------------------------------------------- TFunc

TFunc TFunc::make(uint32_t location, uint32_t funcId, int64_t start, int64_t end, int32_t peer,
                  uint32_t comm, uint32_t msgTag, uint32_t size, int32_t ownLocalRank) {
    TFunc f;
    f.location = location;
    f.funcId = funcId;
    f.start = start;
    f.end = end;
    f.peer = peer;
    f.comm = comm;
    f.msgTag = msgTag;
    f.size = size;
    f.kind = classify(funcId, ownLocalRank, peer);
    return f;
}

uint32_t TFunc::classify(uint32_t funcId, int32_t me, int32_t peer) {
    // Compared whole: an unfinished call (0x800 set) gets none of the traffic bits.
    switch (funcId) {
    case kFuncInit:
    case kFuncFinalize:
        return kKindInitFinalize;
    case kFuncSend:
    case kFuncIsend:
        return kKindSend;
    case kFuncWaitIsend:
        return kKindSend | kKindWait;
    case kFuncRecv:
    case kFuncIrecv:
        return kKindRecv;
    case kFuncWaitIrecv:
        return kKindRecv | kKindWait;
    case kFuncBcast:
    case kFuncScatter:
    case kFuncScatterv:
        return kKindCollective | (me == peer ? kKindSend : kKindRecv);
    case kFuncReduce:
    case kFuncGather:
    case kFuncGatherv:
        return kKindCollective | (me == peer ? kKindRecv : kKindSend);
    default:
        return (funcId & kFuncWaitBit) ? kKindWait : 0;
    }
}

bool TFunc::addLink(uint32_t rank, TFunc* recv) {
    TLink* grown =
        linkCount < kMaxLinks ? new (std::nothrow) TLink[size_t{linkCount} + 1] : nullptr;
    if (!grown) {
        std::cerr << "link creation error" << std::endl;
        return false;
    }
    for (uint32_t i = 0; i < linkCount; ++i) grown[i] = links[i];
    grown[linkCount] = TLink{rank, recv ? TLink::gapOf(end, recv->end) : TLink::kGapUnknown, recv};
    links.reset(grown);
    ++linkCount;
    return true;
}

uint32_t TFunc::copyLinks(TLink* out) const {
    for (uint32_t i = 0; i < linkCount; ++i) out[i] = links[i];
    return linkCount;
}

// ---------------------------------------------------------------- TComm

int32_t TComm::toLocal(int32_t globalRank) const {
    if (id == kWorldComm) return globalRank;
    if (id == kSelfComm) return 0;
    const auto rank = static_cast<uint32_t>(globalRank);
    const uint32_t* first = members.begin();
    const uint32_t* last = first + std::min<size_t>(size, members.size());
    // Each member once, in order: the first match is the only one.
    const uint32_t* at =
        members.ascending() ? std::lower_bound(first, last, rank) : std::find(first, last, rank);
    return at != last && *at == rank ? static_cast<int32_t>(at - first) : -1;
}

int32_t TComm::toGlobal(int32_t localRank) const {
    if (id == kWorldComm) return localRank;
    if (id == kSelfComm) return 0;
    auto k = static_cast<uint32_t>(localRank);
    if (k >= size || k >= members.size()) return -1;
    return static_cast<int32_t>(members[k]);
}

// ---------------------------------------------------------------- TProcess

TProcess::TProcess(uint32_t nodeIndex_, uint32_t nodeId_, uint32_t rank_)
    : nodeId(nodeId_), nodeIndex(nodeIndex_), rank(rank_) {
    comms.push_back(TComm{kWorldComm, 0, {}, 0, kNeverFreed});
    comms.push_back(TComm{kSelfComm, 0, {}, 0, kNeverFreed});
}

TFunc* TProcess::first() {
    cursor = 0;
    return calls.empty() ? nullptr : &calls[0];
}

TFunc* TProcess::next() {
    if (calls.empty() || size_t{cursor} + 1 >= calls.size()) return nullptr;
    return &calls[++cursor];
}

TFunc* TProcess::last() {
    if (calls.empty()) return nullptr;
    cursor = static_cast<uint32_t>(calls.size() - 1);
    return &calls[cursor];
}

const TComm* TProcess::findComm(uint32_t id, uint32_t callIndex) const {
    for (const TComm& c : comms)
        if (c.id == id && c.createdAt <= callIndex && (c.freedAt == 0 || c.freedAt >= callIndex))
            return &c;
    return nullptr;
}

void TProcess::freeComm(uint32_t id, uint32_t callIndex) {
    for (TComm& c : comms) {
        if (c.id == id && c.freedAt == 0) {
            c.freedAt = callIndex;
            return;
        }
    }
}

int32_t TProcess::localRankIn(const TComm* c, int32_t globalRank) const {
    if (!c) return globalRank;
    if (c->id == kSelfComm) return globalRank == static_cast<int32_t>(rank) ? 0 : -1;
    return c->toLocal(globalRank);
}

int32_t TProcess::globalRankIn(const TComm* c, int32_t localRank) const {
    if (!c) return localRank;
    if (c->id == kSelfComm) return localRank == 0 ? static_cast<int32_t>(rank) : -1;
    return c->toGlobal(localRank);
}

int64_t TProcess::duration() const {
    if (calls.empty()) return 0;
    return wrapSub(calls.back().end, calls.front().start);
}

TTimeSums& TTimeSums::operator+=(const TTimeSums& other) {
    init = wrapAdd(init, other.init);
    finalize = wrapAdd(finalize, other.finalize);
    send = wrapAdd(send, other.send);
    receive = wrapAdd(receive, other.receive);
    return *this;
}

TTimeSums TProcess::sumTimes() const {
    TTimeSums sums;
    for (const TFunc& f : calls) {
        // Asked for ahead, as the memory's latency, not the sums, bounds the walk.
        __builtin_prefetch(&f + 16);
        sums.add(f);
    }
    return sums;
}

void TProcess::times(int64_t& init, int64_t& finalize, int64_t& send, int64_t& receive) const {
    const TTimeSums sums = timeSums ? *timeSums : sumTimes();
    init = sums.init;
    finalize = sums.finalize;
    send = sums.send;
    receive = sums.receive;
}

namespace {

// One walk for countMessages (unit weights) and sumDataSize (call sizes).
// Communicators are looked up in call order through CommLookup, so an
// identifier created and freed over and over costs no walk over the freed ones.
void tallyTraffic(const TProcess& p, int32_t peerRank, uint64_t& sent, uint64_t& received,
                  uint32_t section, bool bySize) {
    sent = received = 0;
    const CommLookup lookup(p);
    uint32_t current = 0;
    for (uint32_t k = 0; k < p.calls.size(); ++k) {
        const TFunc& f = p.calls[k];
        if (f.funcId == kFuncSection) {
            current = f.location;
            continue;
        }
        if (section != 0 && section != current) continue;
        const bool sends = (f.kind & kKindSend) && !(f.kind & kKindWait);
        const bool receives = (f.kind & kKindRecv) && !(f.kind & kKindWait);
        if (!sends && !receives) continue;

        const uint32_t view = lookup.find(f.comm, k);
        const bool peerIsP = lookup.globalRank(view, f.peer) == peerRank;
        const bool pIsMember = lookup.isMember(view, static_cast<uint32_t>(peerRank));
        const uint64_t w = bySize ? f.size : 1;

        if (sends) {
            if (f.funcId == kFuncBcast || f.funcId == kFuncScatter || f.funcId == kFuncScatterv) {
                if (pIsMember) sent += w;
                if (peerIsP) received += w;
            } else if (peerIsP) {
                sent += w;
            }
        } else {
            if (f.funcId == kFuncReduce || f.funcId == kFuncGather || f.funcId == kFuncGatherv) {
                if (pIsMember) received += w;
                if (peerIsP) sent += w;
            } else if (peerIsP) {
                received += w;
            }
        }
    }
}

} // namespace

void TProcess::countMessages(int32_t peerRank, uint64_t& sent, uint64_t& received,
                             uint32_t section) const {
    tallyTraffic(*this, peerRank, sent, received, section, false);
}

void TProcess::sumDataSize(int32_t peerRank, uint64_t& sent, uint64_t& received,
                           uint32_t section) const {
    tallyTraffic(*this, peerRank, sent, received, section, true);
}

uint32_t TProcess::openComms(uint32_t capacity, uint32_t* out) const {
    uint32_t written = 0;
    for (const TOpenComm& c : openCommList()) {
        // Only whole pairs that fit: an odd capacity must not be overrun.
        if (uint64_t{written} * 2 + 2 > capacity) break;
        out[2 * written] = c.id;
        out[2 * written + 1] = c.location;
        ++written;
    }
    return written;
}

std::vector<TOpenComm> TProcess::openCommList() const {
    std::vector<TOpenComm> open;
    for (const TComm& c : comms) {
        if (c.freedAt != 0) continue;
        uint32_t location = c.createdAt < calls.size() ? calls[c.createdAt].location : 0;
        open.push_back({c.id, location});
    }
    return open;
}
