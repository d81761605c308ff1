#pragma once
// Which collective calls of different processes belong together. On each
// process the k-th call of one function on one communicator (one identifier
// within one of its lifetimes there) meets the k-th call of the same function
// on that communicator on every other member: one instance.

#include "analysis/analysis_scope.h"
#include "analysis/collective_kinds.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// One process's call in an instance.
struct MemberCall {
    uint32_t instance; // index of the instance's arrivals
    uint32_t call;     // call index
    uint32_t funcId;   // unfinished flag cleared
    CollectiveKind kind;
    bool root; // the root of a rooted collective (the peer names this process)
};

// A member that took part: its rank, call and corrected start.
struct Arrival {
    int32_t rank = -1; // -1: none
    uint32_t call = 0;
    int64_t start = 0;

    // Keeps the later arrival; between equal starts the lower rank. Offers
    // may come in any order: the answer is the same.
    void offerLatest(const Arrival& a) {
        if (a.rank < 0) return;
        if (rank < 0 || a.start > start || (a.start == start && a.rank < rank)) *this = a;
    }
    // Keeps the lower rank.
    void offerLowest(const Arrival& a) {
        if (a.rank >= 0 && (rank < 0 || a.rank < rank)) *this = a;
    }
};

// What the waiting members of an instance wait for, from one more member
// whose arrival counts (isWaitedFor): the root in a one-to-all collective
// (the lowest rank, should a trace name two), else the latest.
inline void offerWaitedFor(Arrival& waitedFor, CollectiveKind kind, const Arrival& a) {
    if (kind == CollectiveKind::OneToAll)
        waitedFor.offerLowest(a);
    else
        waitedFor.offerLatest(a);
}

class CollectiveInstances {
  public:
    // Receives, while the calls are read, the calls of a process that send
    // along links (MPI_Send, MPI_Isend with links) in runs, so that the wait
    // states read every call once: (worker, process, call indices).
    using LinkedSends =
        std::function<void(unsigned worker, uint32_t process, std::span<const uint32_t> calls)>;

    // procs: every process that may take part, in rank order, read on
    // `workers` threads. Self communicator calls form no instance (nobody
    // waits for oneself).
    CollectiveInstances(std::span<const ScopedProcess> procs, unsigned workers,
                        const LinkedSends& linkedSends = {});

    // fn(const MemberCall&) for each of the process's calls that can wait
    // for another member (canWait), in call order; ahead(call index) a few
    // calls before fn meets it, to fetch what fn will read.
    template <typename Fn, typename Ahead>
    void forEachWaitingCall(uint32_t process, Fn&& fn, Ahead&& ahead) const {
        constexpr size_t kAhead = 16;
        const ProcessCalls& p = processes_[process];
        const Member* members = storage_[p.worker].data() + p.firstMember;
        for (size_t j = 0; j < std::min(kAhead, p.memberCount); ++j) ahead(members[j].call);
        for (size_t j = 0; j < p.memberCount; ++j) {
            if (j + kAhead < p.memberCount) ahead(members[j + kAhead].call);
            const Member& m = members[j];
            const Series& s = p.series[m.seriesAndRoot >> 1];
            fn(MemberCall{s.firstInstance + m.position, m.call, s.funcId, s.kind,
                          (m.seriesAndRoot & 1) != 0});
        }
    }
    // What the call waits for; rank -1 when no such member left a call.
    const Arrival& waitedFor(const MemberCall& c) const { return instances_[c.instance]; }
    size_t instanceCount() const { return instances_.size(); }

  private:
    // One process's call that can wait, as kept.
    struct Member {
        uint32_t call;
        uint32_t seriesAndRoot; // local series << 1 | root
        uint32_t position;      // k: the call is its series' k-th
    };
    struct Series {
        uint32_t global;        // the series every member shares
        uint32_t firstInstance; // of its first call
        uint32_t funcId;
        CollectiveKind kind;
    };
    struct ProcessCalls {
        std::vector<Series> series;
        unsigned worker = 0; // whose storage holds the members that can wait
        size_t firstMember = 0;
        size_t memberCount = 0;
    };

    std::vector<std::vector<Member>> storage_; // per worker
    std::vector<ProcessCalls> processes_;
    std::vector<Arrival> instances_; // what each instance's waiting members wait for
};
