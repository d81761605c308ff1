// Persistent requests. Making one is not a traced call; each MPI_Start of it
// is recorded as the MPI_Isend or MPI_Irecv it performs, so that its
// completion gives the usual "MPI_Wait for Isend"/"MPI_Wait for Irecv".

#include "tracer_core.h"

using namespace zlvt;

namespace {

using SendInit = int (*)(const void*, int, MPI_Datatype, int, int, MPI_Comm, MPI_Request*);

int tracedSendInit(void* caller, SendInit real, const void* buf, int count, MPI_Datatype type,
                   int dest, int tag, MPI_Comm comm, MPI_Request* request) {
    Call call(caller);
    const int rc = real(buf, count, type, dest, tag, comm, request);
    if (call && rc == MPI_SUCCESS)
        trackPersistent(*request,
                        {true, recordedPeer(comm, dest), static_cast<uint32_t>(tag), commId(comm),
                         bytesOf(count, type)},
                        comm);
    return rc;
}

// Records the start of one request the tracer knows; others start unrecorded.
void recordStart(const Call& call, int64_t end, MPI_Request request) {
    RequestInfo info;
    if (!startPersistent(request, info)) return;
    // Each start has its own record, rewritten when that start completes.
    info.record = call.longRecord(info.isSend ? kFuncIsend : kFuncIrecv, end, info.size,
                                  info.msgTag, info.peer, info.comm);
    trackRequest(request, info);
}

} // namespace

extern "C" {

int MPI_Send_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                  MPI_Request* request) {
    return tracedSendInit(ZLV_CALLER, PMPI_Send_init, buf, count, type, dest, tag, comm, request);
}
int MPI_Ssend_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                   MPI_Request* request) {
    return tracedSendInit(ZLV_CALLER, PMPI_Ssend_init, buf, count, type, dest, tag, comm, request);
}
int MPI_Bsend_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                   MPI_Request* request) {
    return tracedSendInit(ZLV_CALLER, PMPI_Bsend_init, buf, count, type, dest, tag, comm, request);
}
int MPI_Rsend_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                   MPI_Request* request) {
    return tracedSendInit(ZLV_CALLER, PMPI_Rsend_init, buf, count, type, dest, tag, comm, request);
}

int MPI_Recv_init(void* buf, int count, MPI_Datatype type, int source, int tag, MPI_Comm comm,
                  MPI_Request* request) {
    Call call(ZLV_CALLER);
    const int rc = PMPI_Recv_init(buf, count, type, source, tag, comm, request);
    if (call && rc == MPI_SUCCESS)
        trackPersistent(*request,
                        {false, recordedPeer(comm, source), static_cast<uint32_t>(tag),
                         commId(comm), bytesOf(count, type)},
                        comm);
    return rc;
}

int MPI_Start(MPI_Request* request) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Start(request);
    const int rc = PMPI_Start(request);
    if (rc == MPI_SUCCESS) recordStart(call, call.finish(), *request);
    return rc;
}

int MPI_Startall(int count, MPI_Request requests[]) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Startall(count, requests);
    const int rc = PMPI_Startall(count, requests);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS)
        for (int i = 0; i < count; ++i) recordStart(call, end, requests[i]);
    return rc;
}

} // extern "C"
