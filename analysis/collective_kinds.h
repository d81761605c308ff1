#pragma once
// How a collective call can make its members wait, by function identifier.

#include "format/tracer_calls.h"
#include "model/trace_model.h"

#include <array>
#include <cstdint>

enum class CollectiveKind {
    None,     // not a collective that makes anyone wait
    OneToAll, // MPI_Bcast, MPI_Scatter(v): members wait for the root
    AllToOne, // MPI_Reduce, MPI_Gather(v): the root waits for the members
    AllToAll, // every member waits for the last one
    Barrier,  // the same, reported apart
};

constexpr CollectiveKind collectiveKind(uint32_t baseFuncId) {
    switch (baseFuncId) {
    case kFuncBcast:
    case kFuncScatter:
    case kFuncScatterv:
        return CollectiveKind::OneToAll;
    case kFuncReduce:
    case kFuncGather:
    case kFuncGatherv:
        return CollectiveKind::AllToOne;
    case otherCallId(kOtherBarrier):
        return CollectiveKind::Barrier;
    case otherCallId(kOtherAllreduce):
    case otherCallId(kOtherAllgather):
    case otherCallId(kOtherAllgatherv):
    case otherCallId(kOtherAlltoall):
    case otherCallId(kOtherAlltoallv):
    case otherCallId(kOtherAlltoallw):
    case otherCallId(kOtherReduceScatter):
    case otherCallId(kOtherReduceScatterBlock):
    case otherCallId(kOtherScan):
    case otherCallId(kOtherExscan):
        return CollectiveKind::AllToAll;
    default:
        return CollectiveKind::None;
    }
}

// Whether a member's call in a collective can wait for another member: the
// root of a one-to-all collective waits for nobody, and in an all-to-one
// collective only the root waits.
inline bool canWait(CollectiveKind kind, bool root) {
    return kind == CollectiveKind::OneToAll ? !root : kind != CollectiveKind::AllToOne || root;
}

// Whether a member's arrival is what the waiting members wait for: the
// root's in a one-to-all collective, the others' in an all-to-one one, every
// member's in the rest.
inline bool isWaitedFor(CollectiveKind kind, bool root) {
    return kind == CollectiveKind::OneToAll ? root : kind != CollectiveKind::AllToOne || !root;
}

// Dense places for the identifiers walks over every call meet most: those
// of the fixed table (below 64) and the tracer's first calls; any other
// identifier has the place kFuncIdPlaces.
constexpr uint32_t kFuncIdPlaces = 128;
constexpr uint32_t funcIdPlace(uint32_t baseFuncId) {
    if (baseFuncId < 64) return baseFuncId;
    return baseFuncId - 0x1000 < 64 ? baseFuncId - 0x1000 + 64 : kFuncIdPlaces;
}
constexpr uint32_t funcIdAt(uint32_t place) {
    return place < 64 ? place : place - 64 + 0x1000;
}

// collectiveKind from a table, for walks over every call: the switch is a
// chain of compares, taken for every call a walk reads.
inline CollectiveKind collectiveKindOfCall(uint32_t baseFuncId) {
    static constexpr auto kKinds = [] {
        std::array<CollectiveKind, kFuncIdPlaces + 1> kinds{};
        for (uint32_t at = 0; at < kFuncIdPlaces; ++at) kinds[at] = collectiveKind(funcIdAt(at));
        kinds[kFuncIdPlaces] = CollectiveKind::None;
        return kinds;
    }();
    return kKinds[funcIdPlace(baseFuncId)];
}
