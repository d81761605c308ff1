#pragma once
// How persistent requests are recorded, whatever language they were called
// from. Making one is not a traced call; each start of it is recorded as the
// MPI_Isend or MPI_Irecv it performs, so that its completion gives the usual
// "MPI_Wait for Isend"/"MPI_Wait for Irecv".

#include "tracer_core.h"

namespace zlvt {

// MPI_Send_init and friends (isSend) and MPI_Recv_init; real() fills *request.
template <class Real>
int tracedInit(void* caller, Real real, bool isSend, uint32_t size, int peer, int tag,
               MPI_Comm comm, const MPI_Request* request) {
    Call call(caller);
    const int rc = real();
    if (call && rc == MPI_SUCCESS)
        trackPersistent(
            *request,
            {isSend, recordedPeer(comm, peer), static_cast<uint32_t>(tag), commId(comm), size},
            comm);
    return rc;
}

// Records the start of one request the tracer knows; others start unrecorded.
inline void recordStart(const Call& call, int64_t end, MPI_Request request) {
    RequestInfo info;
    if (!startPersistent(request, info)) return;
    // Each start has its own record, rewritten when that start completes.
    info.record = call.longRecord(info.isSend ? kFuncIsend : kFuncIrecv, end, info.size,
                                  info.msgTag, info.peer, info.comm);
    trackRequest(request, info);
}

// MPI_Start(all) of `count` requests, whose handles real() leaves as they are.
template <class Real>
int tracedStart(void* caller, Real real, int count, const MPI_Request* requests) {
    Call call(caller);
    if (!call) return real();
    const int rc = real();
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS)
        for (int i = 0; i < count; ++i) recordStart(call, end, requests[i]);
    return rc;
}

} // namespace zlvt
