// Calls that make or free communicators, from C.

#include "traced_comm.h"

using namespace zlvt;

extern "C" {

int MPI_Comm_dup(MPI_Comm comm, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, kFuncCommDup, otherCallId(kOtherCommDupNoComm), comm, newcomm,
                          [&] { return PMPI_Comm_dup(comm, newcomm); });
}

int MPI_Comm_dup_with_info(MPI_Comm comm, MPI_Info info, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommDupWithInfo),
                          otherCallId(kOtherCommDupNoComm), comm, newcomm,
                          [&] { return PMPI_Comm_dup_with_info(comm, info, newcomm); });
}

int MPI_Comm_split(MPI_Comm comm, int color, int key, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, kFuncCommSplit, otherCallId(kOtherCommSplitNoComm), comm,
                          newcomm, [&] { return PMPI_Comm_split(comm, color, key, newcomm); });
}

int MPI_Cart_create(MPI_Comm comm, int ndims, const int dims[], const int periods[], int reorder,
                    MPI_Comm* cart) {
    return tracedCreation(
        ZLV_CALLER, kFuncCartCreate, otherCallId(kOtherCartCreateNoComm), comm, cart,
        [&] { return PMPI_Cart_create(comm, ndims, dims, periods, reorder, cart); });
}

int MPI_Cart_sub(MPI_Comm comm, const int remain_dims[], MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, kFuncCartSub, otherCallId(kOtherCartSubNoComm), comm, newcomm,
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
        ZLV_CALLER, commCallId(kCommGraphCreate), otherCallId(kOtherGraphCreateNoComm), comm, graph,
        [&] { return PMPI_Graph_create(comm, nnodes, index, edges, reorder, graph); });
}

int MPI_Dist_graph_create(MPI_Comm comm, int n, const int sources[], const int degrees[],
                          const int destinations[], const int weights[], MPI_Info info, int reorder,
                          MPI_Comm* graph) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommDistGraphCreate),
                          otherCallId(kOtherDistGraphCreateNoComm), comm, graph, [&] {
                              return PMPI_Dist_graph_create(comm, n, sources, degrees, destinations,
                                                            weights, info, reorder, graph);
                          });
}

int MPI_Dist_graph_create_adjacent(MPI_Comm comm, int indegree, const int sources[],
                                   const int sourceweights[], int outdegree,
                                   const int destinations[], const int destweights[], MPI_Info info,
                                   int reorder, MPI_Comm* graph) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommDistGraphAdjacent),
                          otherCallId(kOtherDistGraphCreateAdjacentNoComm), comm, graph, [&] {
                              return PMPI_Dist_graph_create_adjacent(
                                  comm, indegree, sources, sourceweights, outdegree, destinations,
                                  destweights, info, reorder, graph);
                          });
}

int MPI_Intercomm_merge(MPI_Comm intercomm, int high, MPI_Comm* newcomm) {
    return tracedCreation(ZLV_CALLER, commCallId(kCommIntercommMerge),
                          otherCallId(kOtherIntercommMergeNoComm), intercomm, newcomm,
                          [&] { return PMPI_Intercomm_merge(intercomm, high, newcomm); });
}

int MPI_Comm_idup(MPI_Comm comm, MPI_Comm* newcomm, MPI_Request* request) {
    return tracedIdup(ZLV_CALLER, comm, newcomm,
                      [&] { return PMPI_Comm_idup(comm, newcomm, request); });
}

int MPI_Comm_free(MPI_Comm* comm) {
    const MPI_Comm freed = *comm;
    return tracedFree(ZLV_CALLER, freed, [&] { return PMPI_Comm_free(comm); });
}

} // extern "C"
