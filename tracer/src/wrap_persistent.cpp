// Persistent requests from C.

#include "traced_persistent.h"

using namespace zlvt;

namespace {

using SendInit = int (*)(const void*, int, MPI_Datatype, int, int, MPI_Comm, MPI_Request*);

int sendInit(void* caller, SendInit real, const void* buf, int count, MPI_Datatype type, int dest,
             int tag, MPI_Comm comm, MPI_Request* request) {
    return tracedInit(
        caller, [&] { return real(buf, count, type, dest, tag, comm, request); }, true,
        bytesOf(count, type), dest, tag, comm, request);
}

} // namespace

extern "C" {

int MPI_Send_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                  MPI_Request* request) {
    return sendInit(ZLV_CALLER, PMPI_Send_init, buf, count, type, dest, tag, comm, request);
}
int MPI_Ssend_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                   MPI_Request* request) {
    return sendInit(ZLV_CALLER, PMPI_Ssend_init, buf, count, type, dest, tag, comm, request);
}
int MPI_Bsend_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                   MPI_Request* request) {
    return sendInit(ZLV_CALLER, PMPI_Bsend_init, buf, count, type, dest, tag, comm, request);
}
int MPI_Rsend_init(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
                   MPI_Request* request) {
    return sendInit(ZLV_CALLER, PMPI_Rsend_init, buf, count, type, dest, tag, comm, request);
}

int MPI_Recv_init(void* buf, int count, MPI_Datatype type, int source, int tag, MPI_Comm comm,
                  MPI_Request* request) {
    return tracedInit(
        ZLV_CALLER, [&] { return PMPI_Recv_init(buf, count, type, source, tag, comm, request); },
        false, bytesOf(count, type), source, tag, comm, request);
}

int MPI_Start(MPI_Request* request) {
    return tracedStart(
        ZLV_CALLER, [&] { return PMPI_Start(request); }, 1, request);
}

int MPI_Startall(int count, MPI_Request requests[]) {
    return tracedStart(
        ZLV_CALLER, [&] { return PMPI_Startall(count, requests); }, count, requests);
}

} // extern "C"
