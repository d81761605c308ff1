#pragma once
// How point-to-point calls and probes are recorded, whatever language they
// were called from: each runs `real` (the C or the Fortran entry point of the
// MPI library), which fills the C status or request given to the template.
// The synchronous, buffered and ready send modes are recorded as MPI_Send /
// MPI_Isend: for the trace they are sends, and only then do their messages
// link to the receives they fed.

#include "tracer_core.h"

namespace zlvt {

template <class Real>
int tracedSend(void* caller, Real real, uint32_t size, int dest, int tag, MPI_Comm comm) {
    Call call(caller);
    if (!call) return real();
    const int32_t peer = recordedPeer(comm, dest);
    const uint32_t id = commId(comm);
    call.running(kFuncSend, size, static_cast<uint32_t>(tag), peer, id);
    const int rc = real();
    call.longRecord(kFuncSend, call.finish(), size, static_cast<uint32_t>(tag), peer, id);
    return rc;
}

// real() fills *request.
template <class Real>
int tracedIsend(void* caller, Real real, uint32_t size, int dest, int tag, MPI_Comm comm,
                const MPI_Request* request) {
    Call call(caller);
    if (!call) return real();
    RequestInfo info{true, recordedPeer(comm, dest), static_cast<uint32_t>(tag), commId(comm),
                     size};
    call.running(kFuncIsend, info.size, info.msgTag, info.peer, info.comm);
    const int rc = real();
    info.record =
        call.longRecord(kFuncIsend, call.finish(), info.size, info.msgTag, info.peer, info.comm);
    if (rc == MPI_SUCCESS) trackRequest(*request, info);
    return rc;
}

// The receive half of a call: source, tag and size as the status tells them.
inline void recordReceive(const Call& call, int64_t end, MPI_Comm comm, const MPI_Status& status,
                          uint32_t posted) {
    call.longRecord(kFuncRecv, end, bytesReceived(status, posted),
                    static_cast<uint32_t>(status.MPI_TAG), recordedPeer(comm, status.MPI_SOURCE),
                    commId(comm));
}

// real() fills *status.
template <class Real>
int tracedRecv(void* caller, Real real, uint32_t posted, int source, int tag, MPI_Comm comm,
               const MPI_Status* status) {
    Call call(caller);
    if (!call) return real();
    call.running(kFuncRecv, posted, static_cast<uint32_t>(tag), recordedPeer(comm, source),
                 commId(comm));
    const int rc = real();
    recordReceive(call, call.finish(), comm, *status, posted);
    return rc;
}

// A receive posted with `info`; real() fills *request. Source, tag and size
// are rewritten when it completes.
template <class Real>
int postReceive(Call& call, Real real, RequestInfo info, MPI_Comm comm,
                const MPI_Request* request) {
    call.running(kFuncIrecv, info.size, info.msgTag, info.peer, info.comm);
    const int rc = real();
    info.record =
        call.longRecord(kFuncIrecv, call.finish(), info.size, info.msgTag, info.peer, info.comm);
    if (rc == MPI_SUCCESS && *request != MPI_REQUEST_NULL) {
        info.peerGroup = untrackedPeerGroup(comm);
        trackRequest(*request, info);
    }
    return rc;
}

template <class Real>
int tracedIrecv(void* caller, Real real, uint32_t posted, int source, int tag, MPI_Comm comm,
                const MPI_Request* request) {
    Call call(caller);
    if (!call) return real();
    return postReceive(
        call, real,
        {false, recordedPeer(comm, source), static_cast<uint32_t>(tag), commId(comm), posted}, comm,
        request);
}

// MPI_Sendrecv(_replace): a send record followed by a receive record, both
// spanning the call. real() fills *status.
template <class Real>
int tracedSendrecv(void* caller, Real real, uint32_t sent, int dest, int sendtag,
                   uint32_t recvPosted, MPI_Comm comm, const MPI_Status* status) {
    Call call(caller);
    if (!call) return real();
    const int32_t peer = recordedPeer(comm, dest);
    const uint32_t id = commId(comm);
    call.running(kFuncSend, sent, static_cast<uint32_t>(sendtag), peer, id);
    const int rc = real();
    const int64_t end = call.finish();
    call.longRecord(kFuncSend, end, sent, static_cast<uint32_t>(sendtag), peer, id);
    recordReceive(call, end, comm, *status, recvPosted);
    return rc;
}

// --- probes

// A probe that found its message: its source, tag and size.
inline void recordFound(const Call& call, int64_t end, uint32_t func, MPI_Comm comm,
                        const MPI_Status& status) {
    call.longRecord(func, end, bytesReceived(status, 0), static_cast<uint32_t>(status.MPI_TAG),
                    recordedPeer(comm, status.MPI_SOURCE), commId(comm));
}

// MPI_Probe (message null) and MPI_Mprobe (real() fills *message and *status).
template <class Real>
int tracedProbe(void* caller, Real real, uint32_t func, int source, int tag, MPI_Comm comm,
                const MPI_Status* status, const MPI_Message* message = nullptr) {
    Call call(caller);
    if (!call) return real();
    call.running(func, 0, static_cast<uint32_t>(tag), recordedPeer(comm, source), commId(comm));
    const int rc = real();
    recordFound(call, call.finish(), func, comm, *status);
    if (rc == MPI_SUCCESS && message) trackMessage(*message, comm, *status);
    return rc;
}

// MPI_Iprobe and MPI_Improbe: a poll unless real() sets *flag.
template <class Real>
int tracedIprobe(void* caller, Real real, uint32_t func, MPI_Comm comm, const int* flag,
                 const MPI_Status* status, const MPI_Message* message = nullptr) {
    Call call(caller);
    if (!call) return real();
    const int rc = real();
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS && *flag) {
        recordFound(call, end, func, comm, *status);
        if (message) trackMessage(*message, comm, *status);
    } else {
        call.poll(otherCallId(kOtherIprobePolls), end, commId(comm));
    }
    return rc;
}

// The message of a matched probe, or a neutral one when the tracer did not see the probe.
inline void messageOf(MPI_Message message, MPI_Comm& comm, MPI_Status& status) {
    if (takeMessage(message, comm, status)) return;
    comm = MPI_COMM_NULL;
    status = MPI_Status{};
    status.MPI_SOURCE = message == MPI_MESSAGE_NO_PROC ? MPI_PROC_NULL : MPI_ANY_SOURCE;
    status.MPI_TAG = MPI_ANY_TAG;
}

// MPI_Mrecv: an MPI_Recv of the probed message. real() fills *status.
template <class Real>
int tracedMrecv(void* caller, Real real, uint32_t posted, MPI_Message message,
                const MPI_Status* status) {
    Call call(caller);
    if (!call) return real();
    MPI_Comm comm;
    MPI_Status probed;
    messageOf(message, comm, probed);
    call.running(kFuncRecv, posted, static_cast<uint32_t>(probed.MPI_TAG),
                 recordedPeer(comm, probed.MPI_SOURCE), commId(comm));
    const int rc = real();
    recordReceive(call, call.finish(), comm, *status, posted);
    return rc;
}

// MPI_Imrecv: an MPI_Irecv posted with the probed message's source and tag.
// real() fills *request.
template <class Real>
int tracedImrecv(void* caller, Real real, uint32_t posted, MPI_Message message,
                 const MPI_Request* request) {
    Call call(caller);
    if (!call) return real();
    MPI_Comm comm;
    MPI_Status probed;
    messageOf(message, comm, probed);
    return postReceive(call, real,
                       {false, recordedPeer(comm, probed.MPI_SOURCE),
                        static_cast<uint32_t>(probed.MPI_TAG), commId(comm),
                        bytesReceived(probed, posted)},
                       comm, request);
}

} // namespace zlvt
