// Calls that make or free communicators. The four the trace format knows
// carry the new communicator's agreed identifier and its members as global
// ranks; MPI_Comm_free names the communicator it frees.

#include "tracer_core.h"

#include <vector>

using namespace zlvt;

namespace {

// While these calls run, their in-flight record is a short one: a long
// unfinished record with bit 0x20 would declare a communicator.

// Records a creating call after it returned. A process that got no
// intracommunicator (MPI_COMM_NULL, or an intercommunicator) records the call
// under an identifier that defines no communicator, so nothing stays "open".
void recordCreation(const Call& call, int64_t end, int rc, uint32_t func, uint32_t noCommFunc,
                    MPI_Comm parent, MPI_Comm created) {
    std::vector<uint32_t> members;
    const uint32_t id = rc == MPI_SUCCESS ? trackNewComm(created, members) : 0;
    if (id == 0)
        call.longRecord(noCommFunc, end, 0, 0, -1, commId(parent));
    else
        call.commRecord(func, end, id, members);
}

// Calls whose new communicator the trace format cannot declare: recorded
// under the tracer's own identifier; calls on the result use global ranks.
void recordUntrackedCreation(const Call& call, int64_t end, uint32_t func, MPI_Comm parent) {
    call.longRecord(func, end, 0, 0, -1, commId(parent));
}

} // namespace

extern "C" {

int MPI_Comm_dup(MPI_Comm comm, MPI_Comm* newcomm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Comm_dup(comm, newcomm);
    call.running(kFuncCommDup);
    const int rc = PMPI_Comm_dup(comm, newcomm);
    recordCreation(call, call.finish(), rc, kFuncCommDup, otherCallId(kOtherCommDupNoComm), comm,
                   *newcomm);
    return rc;
}

int MPI_Comm_split(MPI_Comm comm, int color, int key, MPI_Comm* newcomm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Comm_split(comm, color, key, newcomm);
    call.running(kFuncCommSplit);
    const int rc = PMPI_Comm_split(comm, color, key, newcomm);
    recordCreation(call, call.finish(), rc, kFuncCommSplit, otherCallId(kOtherCommSplitNoComm),
                   comm, *newcomm);
    return rc;
}

int MPI_Cart_create(MPI_Comm comm, int ndims, const int dims[], const int periods[], int reorder,
                    MPI_Comm* cart) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Cart_create(comm, ndims, dims, periods, reorder, cart);
    call.running(kFuncCartCreate);
    const int rc = PMPI_Cart_create(comm, ndims, dims, periods, reorder, cart);
    recordCreation(call, call.finish(), rc, kFuncCartCreate, otherCallId(kOtherCartCreateNoComm),
                   comm, *cart);
    return rc;
}

int MPI_Cart_sub(MPI_Comm comm, const int remain_dims[], MPI_Comm* newcomm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Cart_sub(comm, remain_dims, newcomm);
    call.running(kFuncCartSub);
    const int rc = PMPI_Cart_sub(comm, remain_dims, newcomm);
    recordCreation(call, call.finish(), rc, kFuncCartSub, otherCallId(kOtherCartSubNoComm), comm,
                   *newcomm);
    return rc;
}

int MPI_Comm_create(MPI_Comm comm, MPI_Group group, MPI_Comm* newcomm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Comm_create(comm, group, newcomm);
    const uint32_t func = otherCallId(kOtherCommCreate);
    call.running(func, 0, 0, -1, commId(comm));
    const int rc = PMPI_Comm_create(comm, group, newcomm);
    recordUntrackedCreation(call, call.finish(), func, comm);
    return rc;
}

int MPI_Comm_split_type(MPI_Comm comm, int type, int key, MPI_Info info, MPI_Comm* newcomm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Comm_split_type(comm, type, key, info, newcomm);
    const uint32_t func = otherCallId(kOtherCommSplitType);
    call.running(func, 0, 0, -1, commId(comm));
    const int rc = PMPI_Comm_split_type(comm, type, key, info, newcomm);
    recordUntrackedCreation(call, call.finish(), func, comm);
    return rc;
}

int MPI_Comm_free(MPI_Comm* comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Comm_free(comm);
    const MPI_Comm freed = *comm;
    const uint32_t id = commId(freed);
    call.running(kFuncCommFree);
    const int rc = PMPI_Comm_free(comm);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS) forgetComm(freed);
    // An empty member list: the record only names the communicator it frees.
    call.commRecord(kFuncCommFree, end, id, {});
    return rc;
}

} // extern "C"
