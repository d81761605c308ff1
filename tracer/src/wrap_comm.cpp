// Calls that make or free communicators. A process that gets a new
// intracommunicator records it with its agreed identifier and its members as
// global ranks (the four calls the trace format names under their own
// identifiers, the others under the tracer's with bit 0x20), so that the
// calls on it carry that identifier; MPI_Comm_free names the communicator it
// frees. These calls are recorded also when made from inside another MPI call
// (an attribute callback freeing a communicator): the trace must know them.

#include "tracer_core.h"

#include <vector>

using namespace zlvt;

namespace {

// Records a creating call after it returned. A process that got no
// intracommunicator (MPI_COMM_NULL, or an intercommunicator, whose calls
// name ranks of the remote group) records the call under an identifier that
// defines no communicator, so nothing stays "open".
void recordCreation(const Call& call, int64_t end, int rc, uint32_t func, uint32_t noCommFunc,
                    MPI_Comm parent, MPI_Comm created) {
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
template <class Real>
int tracedCreation(void* caller, uint32_t func, uint32_t noCommFunc, MPI_Comm parent,
                   MPI_Comm* created, Real real) {
    Call call(caller, Call::kAlsoNested);
    if (!call) return real();
    call.running(func);
    const int rc = real();
    recordCreation(call, call.finish(), rc, func, noCommFunc, parent, *created);
    return rc;
}

} // namespace

extern "C" {

int MPI_Comm_dup(MPI_Comm comm, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, kIdCommDup, otherCallId(kOtherCommDupNoComm), comm, newcomm,
                          [&] { return PMPI_Comm_dup(comm, newcomm); });
}

int MPI_Comm_dup_with_info(MPI_Comm comm, MPI_Info info, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommDupWithInfo),
                          otherCallId(kOtherCommDupNoComm), comm, newcomm,
                          [&] { return PMPI_Comm_dup_with_info(comm, info, newcomm); });
}

int MPI_Comm_split(MPI_Comm comm, int color, int key, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, kIdCommSplit, otherCallId(kOtherCommSplitNoComm), comm,
                          newcomm, [&] { return PMPI_Comm_split(comm, color, key, newcomm); });
}

int MPI_Cart_create(MPI_Comm comm, int ndims, const int dims[], const int periods[], int reorder,
                    MPI_Comm* cart) {
    return tracedCreation(
        ZLV_CALLER, kIdCartCreate, otherCallId(kOtherCartCreateNoComm), comm, cart,
        [&] { return PMPI_Cart_create(comm, ndims, dims, periods, reorder, cart); });
}

int MPI_Cart_sub(MPI_Comm comm, const int remain_dims[], MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, kIdCartSub, otherCallId(kOtherCartSubNoComm), comm, newcomm,
                          [&] { return PMPI_Cart_sub(comm, remain_dims, newcomm); });
}

int MPI_Comm_create(MPI_Comm comm, MPI_Group group, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommCreate), otherCallId(kOtherCommCreate), comm,
                          newcomm, [&] { return PMPI_Comm_create(comm, group, newcomm); });
}

int MPI_Comm_create_group(MPI_Comm comm, MPI_Group group, int tag, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommCreateGroup),
                          otherCallId(kOtherCommCreateGroupNoComm), comm, newcomm,
                          [&] { return PMPI_Comm_create_group(comm, group, tag, newcomm); });
}

int MPI_Comm_split_type(MPI_Comm comm, int type, int key, MPI_Info info, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommSplitType), otherCallId(kOtherCommSplitType),
                          comm, newcomm,
                          [&] { return PMPI_Comm_split_type(comm, type, key, info, newcomm); });
}

int MPI_Graph_create(MPI_Comm comm, int nnodes, const int index[], const int edges[], int reorder,
                     MPI_Comm* graph) {
    return tracedCreation(
        ZLV_CALLER, commCallId(kGraphCreate), otherCallId(kOtherGraphCreateNoComm), comm, graph,
        [&] { return PMPI_Graph_create(comm, nnodes, index, edges, reorder, graph); });
}

int MPI_Dist_graph_create(MPI_Comm comm, int n, const int sources[], const int degrees[],
                          const int destinations[], const int weights[], MPI_Info info, int reorder,
                          MPI_Comm* graph) {
    return tracedCreation(ZLV_CALLER, commCallId(kDistGraphCreate),
                          otherCallId(kOtherDistGraphCreateNoComm), comm, graph, [&] {
                              return PMPI_Dist_graph_create(comm, n, sources, degrees, destinations,
                                                            weights, info, reorder, graph);
                          });
}

int MPI_Dist_graph_create_adjacent(MPI_Comm comm, int indegree, const int sources[],
                                   const int sourceweights[], int outdegree,
                                   const int destinations[], const int destweights[], MPI_Info info,
                                   int reorder, MPI_Comm* graph) {
    return tracedCreation(ZLV_CALLER, commCallId(kDistGraphCreateAdjacent),
                          otherCallId(kOtherDistGraphCreateAdjacentNoComm), comm, graph, [&] {
                              return PMPI_Dist_graph_create_adjacent(
                                  comm, indegree, sources, sourceweights, outdegree, destinations,
                                  destweights, info, reorder, graph);
                          });
}

int MPI_Intercomm_merge(MPI_Comm intercomm, int high, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kIntercommMerge),
                          otherCallId(kOtherIntercommMergeNoComm), intercomm, newcomm,
                          [&] { return PMPI_Intercomm_merge(intercomm, high, newcomm); });
}

// The new communicator cannot be used before the request completes: its
// identifier is agreed over the parent, whose members it has. That agreement
// waits until every member has called MPI_Comm_idup.
int MPI_Comm_idup(MPI_Comm comm, MPI_Comm* newcomm, MPI_Request* request) {
    Call call(ZLV_CALLER, Call::kAlsoNested);
    if (!call) return PMPI_Comm_idup(comm, newcomm, request);
    const uint32_t func = commCallId(kCommIdup);
    call.running(func);
    const int rc = PMPI_Comm_idup(comm, newcomm, request);
    const int64_t end = call.finish();
    std::vector<uint32_t> members;
    const uint32_t id = rc == MPI_SUCCESS ? trackPendingComm(comm, *newcomm, members) : 0;
    if (id == 0)
        call.longRecord(otherCallId(kOtherCommIdupNoComm), end, 0, 0, -1, commId(comm));
    else
        call.commRecord(func, end, id, members);
    return rc;
}

int MPI_Comm_free(MPI_Comm* comm) {
    Call call(ZLV_CALLER, Call::kAlsoNested);
    if (!call) return PMPI_Comm_free(comm);
    const MPI_Comm freed = *comm;
    const uint32_t id = commId(freed);
    call.running(kIdCommFree);
    const int rc = PMPI_Comm_free(comm);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS) forgetComm(freed);
    // An empty member list: the record only names the communicator it frees.
    call.commRecord(kIdCommFree, end, id, {});
    return rc;
}

} // extern "C"
