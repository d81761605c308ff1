#pragma once
// How calls that make or free communicators are recorded, whatever
// language they were called from. A process that gets a new
// intracommunicator records it with its agreed identifier and its members as
// global ranks (the four calls the trace format names under their own
// identifiers, the others under the tracer's with bit 0x20), so that the
// calls on it carry that identifier; MPI_Comm_free names the communicator it
// frees. These calls are recorded also when made from inside another MPI call
// (an attribute callback freeing a communicator): the trace must know them.

#include "tracer_core.h"

#include <vector>

namespace zlvt {

// Records a creating call after it returned. A process that got no
// intracommunicator (MPI_COMM_NULL, or an intercommunicator, whose calls
// name ranks of the remote group) records the call under an identifier that
// defines no communicator, so nothing stays "open".
inline void recordCreation(const Call& call, int64_t end, int rc, uint32_t func,
                           uint32_t noCommFunc, MPI_Comm parent, MPI_Comm created) {
    std::vector<uint32_t> members;
    const uint32_t id = rc == MPI_SUCCESS ? trackNewComm(created, members) : 0;
    if (id == 0)
        call.longRecord(noCommFunc, end, 0, 0, -1, commId(parent));
    else
        call.commRecord(func, end, id, members);
}

// The common shape: untraced outside the run, otherwise run and record.
// While the call runs its in-flight record is a short one: a long unfinished
// record with bit 0x20 would declare a communicator.
// real() fills *created.
template <class Real>
int tracedCreation(void* caller, uint32_t func, uint32_t noCommFunc, MPI_Comm parent,
                   const MPI_Comm* created, Real real) {
    Call call(caller, Call::kAlsoNested);
    if (!call) return real();
    call.running(func);
    const int rc = real();
    recordCreation(call, call.finish(), rc, func, noCommFunc, parent, *created);
    return rc;
}

// MPI_Comm_idup: the new communicator cannot be used before the request
// completes, so its identifier is agreed over the parent, whose members it
// has. That agreement waits until every member has called MPI_Comm_idup.
template <class Real>
int tracedIdup(void* caller, MPI_Comm parent, const MPI_Comm* created, Real real) {
    Call call(caller, Call::kAlsoNested);
    if (!call) return real();
    const uint32_t func = commCallId(kCommIdup);
    call.running(func);
    const int rc = real();
    const int64_t end = call.finish();
    std::vector<uint32_t> members;
    const uint32_t id = rc == MPI_SUCCESS ? trackPendingComm(parent, *created, members) : 0;
    if (id == 0)
        call.longRecord(otherCallId(kOtherCommIdupNoComm), end, 0, 0, -1, commId(parent));
    else
        call.commRecord(func, end, id, members);
    return rc;
}

template <class Real>
int tracedFree(void* caller, MPI_Comm freed, Real real) {
    Call call(caller, Call::kAlsoNested);
    if (!call) return real();
    const uint32_t id = commId(freed);
    call.running(kFuncCommFree);
    const int rc = real();
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS) forgetComm(freed);
    // An empty member list: the record only names the communicator it frees.
    call.commRecord(kFuncCommFree, end, id, {});
    return rc;
}

} // namespace zlvt
