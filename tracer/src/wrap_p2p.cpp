// Point-to-point calls. The synchronous, buffered and ready send modes are
// recorded as MPI_Send / MPI_Isend: for the trace they are sends, and only
// then do their messages link to the receives they fed.

#include "tracer_core.h"

using namespace zlvt;

namespace {

using BlockingSend = int (*)(const void*, int, MPI_Datatype, int, int, MPI_Comm);
using StartSend = int (*)(const void*, int, MPI_Datatype, int, int, MPI_Comm, MPI_Request*);

int tracedSend(void* caller, BlockingSend real, const void* buf, int count, MPI_Datatype type,
               int dest, int tag, MPI_Comm comm) {
    Call call(caller);
    if (!call) return real(buf, count, type, dest, tag, comm);
    const uint32_t size = bytesOf(count, type);
    const int32_t peer = recordedPeer(comm, dest);
    const uint32_t id = commId(comm);
    call.running(kFuncSend, size, static_cast<uint32_t>(tag), peer, id);
    const int rc = real(buf, count, type, dest, tag, comm);
    call.longRecord(kFuncSend, call.finish(), size, static_cast<uint32_t>(tag), peer, id);
    return rc;
}

int tracedIsend(void* caller, StartSend real, const void* buf, int count, MPI_Datatype type,
                int dest, int tag, MPI_Comm comm, MPI_Request* request) {
    Call call(caller);
    if (!call) return real(buf, count, type, dest, tag, comm, request);
    RequestInfo info{true, recordedPeer(comm, dest), static_cast<uint32_t>(tag), commId(comm),
                     bytesOf(count, type)};
    call.running(kFuncIsend, info.size, info.msgTag, info.peer, info.comm);
    const int rc = real(buf, count, type, dest, tag, comm, request);
    info.record =
        call.longRecord(kFuncIsend, call.finish(), info.size, info.msgTag, info.peer, info.comm);
    if (rc == MPI_SUCCESS) trackRequest(*request, info);
    return rc;
}

// The receive half of a call: source, tag and size as the status tells them.
void recordReceive(const Call& call, int64_t end, MPI_Comm comm, const MPI_Status& status,
                   uint32_t posted) {
    call.longRecord(kFuncRecv, end, bytesReceived(status, posted),
                    static_cast<uint32_t>(status.MPI_TAG), recordedPeer(comm, status.MPI_SOURCE),
                    commId(comm));
}

} // namespace

extern "C" {

int MPI_Send(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return tracedSend(ZLV_CALLER, PMPI_Send, buf, count, type, dest, tag, comm);
}
int MPI_Ssend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return tracedSend(ZLV_CALLER, PMPI_Ssend, buf, count, type, dest, tag, comm);
}
int MPI_Bsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return tracedSend(ZLV_CALLER, PMPI_Bsend, buf, count, type, dest, tag, comm);
}
int MPI_Rsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return tracedSend(ZLV_CALLER, PMPI_Rsend, buf, count, type, dest, tag, comm);
}

int MPI_Isend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
              MPI_Request* request) {
    return tracedIsend(ZLV_CALLER, PMPI_Isend, buf, count, type, dest, tag, comm, request);
}
int MPI_Issend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
               MPI_Request* request) {
    return tracedIsend(ZLV_CALLER, PMPI_Issend, buf, count, type, dest, tag, comm, request);
}
int MPI_Ibsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
               MPI_Request* request) {
    return tracedIsend(ZLV_CALLER, PMPI_Ibsend, buf, count, type, dest, tag, comm, request);
}
int MPI_Irsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
               MPI_Request* request) {
    return tracedIsend(ZLV_CALLER, PMPI_Irsend, buf, count, type, dest, tag, comm, request);
}

int MPI_Recv(void* buf, int count, MPI_Datatype type, int source, int tag, MPI_Comm comm,
             MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Recv(buf, count, type, source, tag, comm, status);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const uint32_t posted = bytesOf(count, type);
    call.running(kFuncRecv, posted, static_cast<uint32_t>(tag), recordedPeer(comm, source),
                 commId(comm));
    const int rc = PMPI_Recv(buf, count, type, source, tag, comm, st);
    recordReceive(call, call.finish(), comm, *st, posted);
    return rc;
}

int MPI_Irecv(void* buf, int count, MPI_Datatype type, int source, int tag, MPI_Comm comm,
              MPI_Request* request) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Irecv(buf, count, type, source, tag, comm, request);
    RequestInfo info{false, recordedPeer(comm, source), static_cast<uint32_t>(tag), commId(comm),
                     bytesOf(count, type)};
    call.running(kFuncIrecv, info.size, info.msgTag, info.peer, info.comm);
    const int rc = PMPI_Irecv(buf, count, type, source, tag, comm, request);
    // Source, tag and size are rewritten when the request completes.
    info.record =
        call.longRecord(kFuncIrecv, call.finish(), info.size, info.msgTag, info.peer, info.comm);
    if (rc == MPI_SUCCESS && *request != MPI_REQUEST_NULL) {
        info.peerGroup = untrackedPeerGroup(comm);
        trackRequest(*request, info);
    }
    return rc;
}

int MPI_Sendrecv(const void* sendbuf, int sendcount, MPI_Datatype sendtype, int dest, int sendtag,
                 void* recvbuf, int recvcount, MPI_Datatype recvtype, int source, int recvtag,
                 MPI_Comm comm, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Sendrecv(sendbuf, sendcount, sendtype, dest, sendtag, recvbuf, recvcount,
                             recvtype, source, recvtag, comm, status);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const uint32_t sent = bytesOf(sendcount, sendtype);
    const int32_t peer = recordedPeer(comm, dest);
    const uint32_t id = commId(comm);
    call.running(kFuncSend, sent, static_cast<uint32_t>(sendtag), peer, id);
    const int rc = PMPI_Sendrecv(sendbuf, sendcount, sendtype, dest, sendtag, recvbuf, recvcount,
                                 recvtype, source, recvtag, comm, st);
    const int64_t end = call.finish();
    call.longRecord(kFuncSend, end, sent, static_cast<uint32_t>(sendtag), peer, id);
    recordReceive(call, end, comm, *st, bytesOf(recvcount, recvtype));
    return rc;
}

int MPI_Sendrecv_replace(void* buf, int count, MPI_Datatype type, int dest, int sendtag, int source,
                         int recvtag, MPI_Comm comm, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Sendrecv_replace(buf, count, type, dest, sendtag, source, recvtag, comm,
                                     status);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const uint32_t size = bytesOf(count, type);
    const int32_t peer = recordedPeer(comm, dest);
    const uint32_t id = commId(comm);
    call.running(kFuncSend, size, static_cast<uint32_t>(sendtag), peer, id);
    const int rc =
        PMPI_Sendrecv_replace(buf, count, type, dest, sendtag, source, recvtag, comm, st);
    const int64_t end = call.finish();
    call.longRecord(kFuncSend, end, size, static_cast<uint32_t>(sendtag), peer, id);
    recordReceive(call, end, comm, *st, size);
    return rc;
}

int MPI_Probe(int source, int tag, MPI_Comm comm, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Probe(source, tag, comm, status);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const uint32_t id = otherCallId(kOtherProbe);
    call.running(id, 0, static_cast<uint32_t>(tag), recordedPeer(comm, source), commId(comm));
    const int rc = PMPI_Probe(source, tag, comm, st);
    call.longRecord(id, call.finish(), bytesReceived(*st, 0), static_cast<uint32_t>(st->MPI_TAG),
                    recordedPeer(comm, st->MPI_SOURCE), commId(comm));
    return rc;
}

} // extern "C"
