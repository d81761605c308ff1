// Probes and the receives of matched probes. A probe that finds a message is
// recorded with the message's source, tag and size; MPI_Iprobe and
// MPI_Improbe finding nothing are polls (summarised in runs). MPI_Mrecv and
// MPI_Imrecv are recorded as the MPI_Recv and MPI_Irecv they are, with the
// source, tag and size of the message their probe matched, so that the
// message counts and links like any other.

#include "tracer_core.h"

using namespace zlvt;

namespace {

MPI_Status* statusOr(MPI_Status* given, MPI_Status& own) {
    return given == MPI_STATUS_IGNORE ? &own : given;
}

// A probe that found its message.
void recordFound(const Call& call, int64_t end, uint32_t func, MPI_Comm comm,
                 const MPI_Status& status) {
    call.longRecord(func, end, bytesReceived(status, 0), static_cast<uint32_t>(status.MPI_TAG),
                    recordedPeer(comm, status.MPI_SOURCE), commId(comm));
}

// The message of a matched probe, or a neutral one when the tracer did not see the probe.
void messageOf(MPI_Message message, MPI_Comm& comm, MPI_Status& status) {
    if (takeMessage(message, comm, status)) return;
    comm = MPI_COMM_NULL;
    status = MPI_Status{};
    status.MPI_SOURCE = message == MPI_MESSAGE_NO_PROC ? MPI_PROC_NULL : MPI_ANY_SOURCE;
    status.MPI_TAG = MPI_ANY_TAG;
}

} // namespace

extern "C" {

int MPI_Probe(int source, int tag, MPI_Comm comm, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Probe(source, tag, comm, status);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const uint32_t id = otherCallId(kOtherProbe);
    call.running(id, 0, static_cast<uint32_t>(tag), recordedPeer(comm, source), commId(comm));
    const int rc = PMPI_Probe(source, tag, comm, st);
    recordFound(call, call.finish(), id, comm, *st);
    return rc;
}

int MPI_Iprobe(int source, int tag, MPI_Comm comm, int* flag, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Iprobe(source, tag, comm, flag, status);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const int rc = PMPI_Iprobe(source, tag, comm, flag, st);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS && *flag)
        recordFound(call, end, otherCallId(kOtherIprobe), comm, *st);
    else
        call.poll(otherCallId(kOtherIprobePolls), end, commId(comm));
    return rc;
}

int MPI_Mprobe(int source, int tag, MPI_Comm comm, MPI_Message* message, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Mprobe(source, tag, comm, message, status);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const uint32_t id = otherCallId(kOtherMprobe);
    call.running(id, 0, static_cast<uint32_t>(tag), recordedPeer(comm, source), commId(comm));
    const int rc = PMPI_Mprobe(source, tag, comm, message, st);
    recordFound(call, call.finish(), id, comm, *st);
    if (rc == MPI_SUCCESS) trackMessage(*message, comm, *st);
    return rc;
}

int MPI_Improbe(int source, int tag, MPI_Comm comm, int* flag, MPI_Message* message,
                MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Improbe(source, tag, comm, flag, message, status);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const int rc = PMPI_Improbe(source, tag, comm, flag, message, st);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS && *flag) {
        recordFound(call, end, otherCallId(kOtherImprobe), comm, *st);
        trackMessage(*message, comm, *st);
    } else {
        call.poll(otherCallId(kOtherIprobePolls), end, commId(comm));
    }
    return rc;
}

int MPI_Mrecv(void* buf, int count, MPI_Datatype type, MPI_Message* message, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Mrecv(buf, count, type, message, status);
    MPI_Comm comm;
    MPI_Status probed;
    messageOf(*message, comm, probed);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    call.running(kIdRecv, bytesOf(count, type), static_cast<uint32_t>(probed.MPI_TAG),
                 recordedPeer(comm, probed.MPI_SOURCE), commId(comm));
    const int rc = PMPI_Mrecv(buf, count, type, message, st);
    call.longRecord(kIdRecv, call.finish(), bytesReceived(*st, bytesOf(count, type)),
                    static_cast<uint32_t>(st->MPI_TAG), recordedPeer(comm, st->MPI_SOURCE),
                    commId(comm));
    return rc;
}

int MPI_Imrecv(void* buf, int count, MPI_Datatype type, MPI_Message* message,
               MPI_Request* request) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Imrecv(buf, count, type, message, request);
    MPI_Comm comm;
    MPI_Status probed;
    messageOf(*message, comm, probed);
    // The probe told the message: the receive is posted with its source and tag.
    RequestInfo info{false, recordedPeer(comm, probed.MPI_SOURCE),
                     static_cast<uint32_t>(probed.MPI_TAG), commId(comm),
                     bytesReceived(probed, bytesOf(count, type))};
    call.running(kIdIrecv, info.size, info.msgTag, info.peer, info.comm);
    const int rc = PMPI_Imrecv(buf, count, type, message, request);
    info.record =
        call.longRecord(kIdIrecv, call.finish(), info.size, info.msgTag, info.peer, info.comm);
    if (rc == MPI_SUCCESS && *request != MPI_REQUEST_NULL) {
        info.peerGroup = untrackedPeerGroup(comm);
        trackRequest(*request, info);
    }
    return rc;
}

} // extern "C"
