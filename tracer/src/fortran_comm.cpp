// Communicators, persistent requests and the run's life cycle from Fortran.

#include "fortran_entry.h"
#include "traced_comm.h"
#include "traced_persistent.h"

using namespace zlvt;

// A creating call: `created` is the Fortran handle the call fills.
#define ZLV_FORTRAN_CREATION(func, noCommFunc, parent, created, ...)                               \
    MPI_Comm made = MPI_COMM_NULL;                                                                 \
    tracedCreation(ZLV_CALLER, func, noCommFunc, MPI_Comm_f2c(*parent), &made, [&] {               \
        real(__VA_ARGS__);                                                                         \
        made = MPI_Comm_f2c(*created);                                                             \
        return rcOf(ierr);                                                                         \
    })

ZLV_FORTRAN(comm_dup, COMM_DUP, (MPI_Fint * comm, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_dup);
    ZLV_FORTRAN_CREATION(kFuncCommDup, otherCallId(kOtherCommDupNoComm), comm, newcomm, comm,
                         newcomm, ierr);
}

ZLV_FORTRAN(comm_dup_with_info, COMM_DUP_WITH_INFO,
            (MPI_Fint * comm, MPI_Fint* info, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_dup_with_info);
    ZLV_FORTRAN_CREATION(commCallId(kCommDupWithInfo), otherCallId(kOtherCommDupNoComm), comm,
                         newcomm, comm, info, newcomm, ierr);
}

ZLV_FORTRAN(comm_split, COMM_SPLIT,
            (MPI_Fint * comm, MPI_Fint* color, MPI_Fint* key, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_split);
    ZLV_FORTRAN_CREATION(kFuncCommSplit, otherCallId(kOtherCommSplitNoComm), comm, newcomm, comm,
                         color, key, newcomm, ierr);
}

ZLV_FORTRAN(cart_create, CART_CREATE,
            (MPI_Fint * comm, MPI_Fint* ndims, MPI_Fint* dims, MPI_Fint* periods, MPI_Fint* reorder,
             MPI_Fint* cart, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(cart_create);
    ZLV_FORTRAN_CREATION(kFuncCartCreate, otherCallId(kOtherCartCreateNoComm), comm, cart, comm,
                         ndims, dims, periods, reorder, cart, ierr);
}

ZLV_FORTRAN(cart_sub, CART_SUB,
            (MPI_Fint * comm, MPI_Fint* remain, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(cart_sub);
    ZLV_FORTRAN_CREATION(kFuncCartSub, otherCallId(kOtherCartSubNoComm), comm, newcomm, comm,
                         remain, newcomm, ierr);
}

ZLV_FORTRAN(comm_create, COMM_CREATE,
            (MPI_Fint * comm, MPI_Fint* group, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_create);
    ZLV_FORTRAN_CREATION(commCallId(kCommCreate), otherCallId(kOtherCommCreate), comm, newcomm,
                         comm, group, newcomm, ierr);
}

ZLV_FORTRAN(comm_create_group, COMM_CREATE_GROUP,
            (MPI_Fint * comm, MPI_Fint* group, MPI_Fint* tag, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_create_group);
    ZLV_FORTRAN_CREATION(commCallId(kCommCreateGroup), otherCallId(kOtherCommCreateGroupNoComm),
                         comm, newcomm, comm, group, tag, newcomm, ierr);
}

ZLV_FORTRAN(comm_split_type, COMM_SPLIT_TYPE,
            (MPI_Fint * comm, MPI_Fint* type, MPI_Fint* key, MPI_Fint* info, MPI_Fint* newcomm,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_split_type);
    ZLV_FORTRAN_CREATION(commCallId(kCommSplitType), otherCallId(kOtherCommSplitType), comm,
                         newcomm, comm, type, key, info, newcomm, ierr);
}

ZLV_FORTRAN(graph_create, GRAPH_CREATE,
            (MPI_Fint * comm, MPI_Fint* nnodes, MPI_Fint* index, MPI_Fint* edges, MPI_Fint* reorder,
             MPI_Fint* graph, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(graph_create);
    ZLV_FORTRAN_CREATION(commCallId(kCommGraphCreate), otherCallId(kOtherGraphCreateNoComm), comm,
                         graph, comm, nnodes, index, edges, reorder, graph, ierr);
}

ZLV_FORTRAN(dist_graph_create, DIST_GRAPH_CREATE,
            (MPI_Fint * comm, MPI_Fint* n, MPI_Fint* sources, MPI_Fint* degrees,
             MPI_Fint* destinations, MPI_Fint* weights, MPI_Fint* info, MPI_Fint* reorder,
             MPI_Fint* graph, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(dist_graph_create);
    ZLV_FORTRAN_CREATION(commCallId(kCommDistGraphCreate), otherCallId(kOtherDistGraphCreateNoComm),
                         comm, graph, comm, n, sources, degrees, destinations, weights, info,
                         reorder, graph, ierr);
}

ZLV_FORTRAN(dist_graph_create_adjacent, DIST_GRAPH_CREATE_ADJACENT,
            (MPI_Fint * comm, MPI_Fint* indegree, MPI_Fint* sources, MPI_Fint* sourceweights,
             MPI_Fint* outdegree, MPI_Fint* destinations, MPI_Fint* destweights, MPI_Fint* info,
             MPI_Fint* reorder, MPI_Fint* graph, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(dist_graph_create_adjacent);
    ZLV_FORTRAN_CREATION(commCallId(kCommDistGraphAdjacent),
                         otherCallId(kOtherDistGraphCreateAdjacentNoComm), comm, graph, comm,
                         indegree, sources, sourceweights, outdegree, destinations, destweights,
                         info, reorder, graph, ierr);
}

ZLV_FORTRAN(intercomm_merge, INTERCOMM_MERGE,
            (MPI_Fint * intercomm, MPI_Fint* high, MPI_Fint* newcomm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(intercomm_merge);
    ZLV_FORTRAN_CREATION(commCallId(kCommIntercommMerge), otherCallId(kOtherIntercommMergeNoComm),
                         intercomm, newcomm, intercomm, high, newcomm, ierr);
}

ZLV_FORTRAN(comm_idup, COMM_IDUP,
            (MPI_Fint * comm, MPI_Fint* newcomm, MPI_Fint* request, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_idup);
    MPI_Comm made = MPI_COMM_NULL;
    tracedIdup(ZLV_CALLER, MPI_Comm_f2c(*comm), &made, [&] {
        real(comm, newcomm, request, ierr);
        made = MPI_Comm_f2c(*newcomm);
        return rcOf(ierr);
    });
}

ZLV_FORTRAN(comm_free, COMM_FREE, (MPI_Fint * comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(comm_free);
    tracedFree(ZLV_CALLER, MPI_Comm_f2c(*comm), ZLV_RUN(comm, ierr));
}

// --- persistent requests

#define ZLV_FORTRAN_INIT(lower, UPPER, isSend)                                                     \
    ZLV_FORTRAN(lower, UPPER,                                                                      \
                (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* peer, MPI_Fint* tag,        \
                 MPI_Fint* comm, MPI_Fint* request, MPI_Fint* ierr)) {                             \
        ZLV_FORTRAN_REAL(lower);                                                                   \
        MPI_Request c = MPI_REQUEST_NULL;                                                          \
        tracedInit(                                                                                \
            ZLV_CALLER,                                                                            \
            [&] {                                                                                  \
                real(buf, count, type, peer, tag, comm, request, ierr);                            \
                c = MPI_Request_f2c(*request);                                                     \
                return rcOf(ierr);                                                                 \
            },                                                                                     \
            isSend, bytesOf(static_cast<int>(*count), MPI_Type_f2c(*type)), *peer, *tag,           \
            MPI_Comm_f2c(*comm), &c);                                                              \
    }

ZLV_FORTRAN_INIT(send_init, SEND_INIT, true)
ZLV_FORTRAN_INIT(ssend_init, SSEND_INIT, true)
ZLV_FORTRAN_INIT(bsend_init, BSEND_INIT, true)
ZLV_FORTRAN_INIT(rsend_init, RSEND_INIT, true)
ZLV_FORTRAN_INIT(recv_init, RECV_INIT, false)

ZLV_FORTRAN(start, START, (MPI_Fint * request, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(start);
    const MPI_Request c = MPI_Request_f2c(*request);
    tracedStart(ZLV_CALLER, ZLV_RUN(request, ierr), 1, &c);
}

ZLV_FORTRAN(startall, STARTALL, (MPI_Fint * count, MPI_Fint* requests, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(startall);
    const auto c = requestsToC(requests, static_cast<int>(*count));
    tracedStart(ZLV_CALLER, ZLV_RUN(count, requests, ierr), static_cast<int>(*count), c.data());
}

// --- the run's life cycle

ZLV_FORTRAN(init, INIT, (MPI_Fint * ierr)) {
    ZLV_FORTRAN_REAL(init);
    Call call(ZLV_CALLER, true);
    real(ierr);
    if (call && rcOf(ierr) == MPI_SUCCESS) startTracing(call, call.finish(), MPI_THREAD_SINGLE);
}

ZLV_FORTRAN(init_thread, INIT_THREAD, (MPI_Fint * required, MPI_Fint* provided, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(init_thread);
    Call call(ZLV_CALLER, true);
    real(required, provided, ierr);
    if (call && rcOf(ierr) == MPI_SUCCESS)
        startTracing(call, call.finish(), static_cast<int>(*provided));
}

ZLV_FORTRAN(finalize, FINALIZE, (MPI_Fint * ierr)) {
    ZLV_FORTRAN_REAL(finalize);
    Call call(ZLV_CALLER);
    finishTracing(call);
    real(ierr);
}

ZLV_FORTRAN(abort, ABORT, (MPI_Fint * comm, MPI_Fint* errorcode, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(abort);
    Call call(ZLV_CALLER);
    if (call) abortTracing(call);
    real(comm, errorcode, ierr);
}
