// Point-to-point calls from C.

#include "traced_p2p.h"

using namespace zlvt;

namespace {

MPI_Status* statusOr(MPI_Status* given, MPI_Status& own) {
    return given == MPI_STATUS_IGNORE ? &own : given;
}

using BlockingSend = int (*)(const void*, int, MPI_Datatype, int, int, MPI_Comm);
using StartSend = int (*)(const void*, int, MPI_Datatype, int, int, MPI_Comm, MPI_Request*);

int send(void* caller, BlockingSend real, const void* buf, int count, MPI_Datatype type, int dest,
         int tag, MPI_Comm comm) {
    return tracedSend(
        caller, [&] { return real(buf, count, type, dest, tag, comm); }, bytesOf(count, type), dest,
        tag, comm);
}

int isend(void* caller, StartSend real, const void* buf, int count, MPI_Datatype type, int dest,
          int tag, MPI_Comm comm, MPI_Request* request) {
    return tracedIsend(
        caller, [&] { return real(buf, count, type, dest, tag, comm, request); },
        bytesOf(count, type), dest, tag, comm, request);
}

} // namespace

extern "C" {

int MPI_Send(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return send(ZLV_CALLER, PMPI_Send, buf, count, type, dest, tag, comm);
}
int MPI_Ssend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return send(ZLV_CALLER, PMPI_Ssend, buf, count, type, dest, tag, comm);
}
int MPI_Bsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return send(ZLV_CALLER, PMPI_Bsend, buf, count, type, dest, tag, comm);
}
int MPI_Rsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm) {
    return send(ZLV_CALLER, PMPI_Rsend, buf, count, type, dest, tag, comm);
}

int MPI_Isend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
              MPI_Request* request) {
    return isend(ZLV_CALLER, PMPI_Isend, buf, count, type, dest, tag, comm, request);
}
int MPI_Issend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
               MPI_Request* request) {
    return isend(ZLV_CALLER, PMPI_Issend, buf, count, type, dest, tag, comm, request);
}
int MPI_Ibsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
               MPI_Request* request) {
    return isend(ZLV_CALLER, PMPI_Ibsend, buf, count, type, dest, tag, comm, request);
}
int MPI_Irsend(const void* buf, int count, MPI_Datatype type, int dest, int tag, MPI_Comm comm,
               MPI_Request* request) {
    return isend(ZLV_CALLER, PMPI_Irsend, buf, count, type, dest, tag, comm, request);
}

int MPI_Recv(void* buf, int count, MPI_Datatype type, int source, int tag, MPI_Comm comm,
             MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedRecv(
        ZLV_CALLER, [&] { return PMPI_Recv(buf, count, type, source, tag, comm, st); },
        bytesOf(count, type), source, tag, comm, st);
}

int MPI_Irecv(void* buf, int count, MPI_Datatype type, int source, int tag, MPI_Comm comm,
              MPI_Request* request) {
    return tracedIrecv(
        ZLV_CALLER, [&] { return PMPI_Irecv(buf, count, type, source, tag, comm, request); },
        bytesOf(count, type), source, tag, comm, request);
}

int MPI_Sendrecv(const void* sendbuf, int sendcount, MPI_Datatype sendtype, int dest, int sendtag,
                 void* recvbuf, int recvcount, MPI_Datatype recvtype, int source, int recvtag,
                 MPI_Comm comm, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedSendrecv(
        ZLV_CALLER,
        [&] {
            return PMPI_Sendrecv(sendbuf, sendcount, sendtype, dest, sendtag, recvbuf, recvcount,
                                 recvtype, source, recvtag, comm, st);
        },
        bytesOf(sendcount, sendtype), dest, sendtag, bytesOf(recvcount, recvtype), comm, st);
}

int MPI_Sendrecv_replace(void* buf, int count, MPI_Datatype type, int dest, int sendtag, int source,
                         int recvtag, MPI_Comm comm, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const uint32_t size = bytesOf(count, type);
    return tracedSendrecv(
        ZLV_CALLER,
        [&] {
            return PMPI_Sendrecv_replace(buf, count, type, dest, sendtag, source, recvtag, comm,
                                         st);
        },
        size, dest, sendtag, size, comm, st);
}

int MPI_Probe(int source, int tag, MPI_Comm comm, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedProbe(
        ZLV_CALLER, [&] { return PMPI_Probe(source, tag, comm, st); }, otherCallId(kOtherProbe),
        source, tag, comm, st);
}

int MPI_Iprobe(int source, int tag, MPI_Comm comm, int* flag, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedIprobe(
        ZLV_CALLER, [&] { return PMPI_Iprobe(source, tag, comm, flag, st); },
        otherCallId(kOtherIprobe), comm, flag, st);
}

int MPI_Mprobe(int source, int tag, MPI_Comm comm, MPI_Message* message, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedProbe(
        ZLV_CALLER, [&] { return PMPI_Mprobe(source, tag, comm, message, st); },
        otherCallId(kOtherMprobe), source, tag, comm, st, message);
}

int MPI_Improbe(int source, int tag, MPI_Comm comm, int* flag, MPI_Message* message,
                MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedIprobe(
        ZLV_CALLER, [&] { return PMPI_Improbe(source, tag, comm, flag, message, st); },
        otherCallId(kOtherImprobe), comm, flag, st, message);
}

int MPI_Mrecv(void* buf, int count, MPI_Datatype type, MPI_Message* message, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const MPI_Message probed = *message;
    return tracedMrecv(
        ZLV_CALLER, [&] { return PMPI_Mrecv(buf, count, type, message, st); }, bytesOf(count, type),
        probed, st);
}

int MPI_Imrecv(void* buf, int count, MPI_Datatype type, MPI_Message* message,
               MPI_Request* request) {
    const MPI_Message probed = *message;
    return tracedImrecv(
        ZLV_CALLER, [&] { return PMPI_Imrecv(buf, count, type, message, request); },
        bytesOf(count, type), probed, request);
}

} // extern "C"
