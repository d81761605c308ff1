#pragma once
// How collective calls are recorded, whatever language they were called from.
// The rooted ones carry their root as the peer and the data size per member;
// the others are recorded under the tracer's own identifiers with the
// communicator and the size one process contributes.

#include "tracer_core.h"

#include <algorithm>

namespace zlvt {

inline uint64_t sumOf(const int counts[], int n) {
    uint64_t total = 0;
    if (counts)
        for (int i = 0; i < n; ++i) total += counts[i] > 0 ? uint64_t(counts[i]) : 0;
    return total;
}

// Mean bytes per member of a vector of counts.
inline uint32_t meanBytes(const int counts[], MPI_Comm comm, MPI_Datatype type) {
    const int n = commSize(comm);
    if (n <= 0) return 0;
    const uint64_t mean = sumOf(counts, n) / uint64_t(n);
    return bytesOf(static_cast<int>(std::min<uint64_t>(mean, 0x7FFFFFFF)), type);
}

inline bool isRoot(int root, MPI_Comm comm) {
    return localRank(comm) == root;
}

// Runs one collective under the given identifier and records it as a long record.
template <class Real>
int tracedCollective(void* caller, uint32_t func, uint32_t size, int root, MPI_Comm comm,
                     Real real) {
    Call call(caller);
    if (!call) return real();
    const int32_t peer = root < 0 ? -1 : recordedPeer(comm, root);
    const uint32_t id = commId(comm);
    call.running(func, size, 0, peer, id);
    const int rc = real();
    call.longRecord(func, call.finish(), size, 0, peer, id);
    return rc;
}

} // namespace zlvt
