#pragma once
// Which collective calls of different processes belong together. On each
// process the k-th call of one function on one communicator (one identifier
// within one of its lifetimes there) meets the k-th call of the same function
// on that communicator on every other member: one instance.

#include "analysis/analysis_scope.h"
#include "analysis/collective_kinds.h"

#include <cstdint>
#include <span>
#include <vector>

// One process's call in an instance.
struct MemberCall {
    uint32_t instance; // index into CollectiveInstances::instances
    uint32_t call;     // call index
    CollectiveKind kind;
    bool root; // the root of a rooted collective (the peer names this process)
};

// A member that took part: its rank, call and corrected start.
struct Arrival {
    int32_t rank = -1; // -1: none
    uint32_t call = 0;
    int64_t start = 0;

    // Keeps the later arrival; between equal starts the lower rank (members
    // are offered in rank order).
    void offerLatest(const Arrival& a) {
        if (rank < 0 || a.start > start) *this = a;
    }
};

struct InstanceArrivals {
    Arrival last;        // the latest member
    Arrival root;        // the root (the first in rank order, should a trace name two)
    Arrival lastNonRoot; // the latest member other than the root

    void offer(bool isRoot, const Arrival& a) {
        last.offerLatest(a);
        if (!isRoot)
            lastNonRoot.offerLatest(a);
        else if (root.rank < 0)
            root = a;
    }
    // Adds the arrivals of members of higher ranks.
    void merge(const InstanceArrivals& later) {
        if (later.last.rank >= 0) last.offerLatest(later.last);
        if (later.lastNonRoot.rank >= 0) lastNonRoot.offerLatest(later.lastNonRoot);
        if (root.rank < 0) root = later.root;
    }
};

class CollectiveInstances {
  public:
    // procs: every process that may take part, in rank order. Self
    // communicator calls form no instance (nobody waits for oneself).
    explicit CollectiveInstances(std::span<const ScopedProcess> procs);

    std::span<const MemberCall> callsOf(uint32_t process) const { return calls_[process]; }
    // The same walk notes the calls of each process that send along links
    // (MPI_Send, MPI_Isend with links), so that the wait states read the
    // calls once.
    std::span<const uint32_t> linkedSendsOf(uint32_t process) const {
        return linkedSends_[process];
    }
    const InstanceArrivals& arrivals(const MemberCall& c) const { return instances_[c.instance]; }
    size_t instanceCount() const { return instances_.size(); }

  private:
    std::vector<std::vector<MemberCall>> calls_;
    std::vector<std::vector<uint32_t>> linkedSends_;
    std::vector<InstanceArrivals> instances_;
};
