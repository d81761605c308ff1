#pragma once
// Function identifiers of the calls the tracer writes beyond the fixed
// table: 0x1000 + (k & 0xF) + (k >> 4) * 0x40 for the k-th call of the
// table below, which never sets the bits that carry meaning in a function
// identifier (wait, member list, unfinished) and never meets the instant
// mark or the section marker. Plain data, so that readers can name them.

#include "format/func_ids.h"

#include <cstdint>

constexpr uint32_t otherCallId(uint32_t k) {
    return 0x1000 + (k & 0xF) + (k >> 4) * 0x40;
}

// One line per call: its enumerator and its display name. Append only: the
// position of a line is written into traces.
#define ZLV_TRACER_CALLS(X)                                                                        \
    X(kOtherAbort, "MPI_Abort")                                                                    \
    X(kOtherBarrier, "MPI_Barrier")                                                                \
    X(kOtherAllreduce, "MPI_Allreduce")                                                            \
    X(kOtherAllgather, "MPI_Allgather")                                                            \
    X(kOtherAllgatherv, "MPI_Allgatherv")                                                          \
    X(kOtherAlltoall, "MPI_Alltoall")                                                              \
    X(kOtherAlltoallv, "MPI_Alltoallv")                                                            \
    X(kOtherAlltoallw, "MPI_Alltoallw")                                                            \
    X(kOtherReduceScatter, "MPI_Reduce_scatter")                                                   \
    X(kOtherReduceScatterBlock, "MPI_Reduce_scatter_block")                                        \
    X(kOtherScan, "MPI_Scan")                                                                      \
    X(kOtherExscan, "MPI_Exscan")                                                                  \
    X(kOtherProbe, "MPI_Probe")                                                                    \
    X(kOtherCommCreate, "MPI_Comm_create (MPI_COMM_NULL, or an intercommunicator)")                \
    X(kOtherCommSplitType, "MPI_Comm_split_type (MPI_COMM_NULL)")                                  \
    X(kOtherRequestFree, "MPI_Request_free")                                                       \
    X(kOtherCommDupNoComm, "MPI_Comm_dup (no intracommunicator)")                                  \
    X(kOtherCommSplitNoComm, "MPI_Comm_split (MPI_COMM_NULL)")                                     \
    X(kOtherCartCreateNoComm, "MPI_Cart_create (MPI_COMM_NULL)")                                   \
    X(kOtherCartSubNoComm, "MPI_Cart_sub (MPI_COMM_NULL)")                                         \
    X(kOtherCancelledIrecv, "MPI_Irecv (cancelled)")                                               \
    X(kOtherCancelledIsend, "MPI_Isend (cancelled)")                                               \
    X(kOtherCommCreateGroupNoComm, "MPI_Comm_create_group (MPI_COMM_NULL)")                        \
    X(kOtherCommIdupNoComm, "MPI_Comm_idup (no intracommunicator)")                                \
    X(kOtherGraphCreateNoComm, "MPI_Graph_create (MPI_COMM_NULL)")                                 \
    X(kOtherDistGraphCreateNoComm, "MPI_Dist_graph_create (no intracommunicator)")                 \
    X(kOtherDistGraphCreateAdjacentNoComm,                                                         \
      "MPI_Dist_graph_create_adjacent (no intracommunicator)")                                     \
    X(kOtherIntercommMergeNoComm, "MPI_Intercomm_merge (no intracommunicator)")                    \
    X(kOtherIprobe, "MPI_Iprobe")                                                                  \
    X(kOtherMprobe, "MPI_Mprobe")                                                                  \
    X(kOtherImprobe, "MPI_Improbe")                                                                \
    X(kOtherIprobePolls, "MPI_Iprobe (no message, polls)")                                         \
    X(kOtherTestPolls, "MPI_Test (nothing completed, polls)")                                      \
    X(kOtherRecordingCut, "Recording stopped")

// clang-format off
enum OtherCall : uint32_t {
#define ZLV_OTHER_CALL_ENUMERATOR(enumerator, name) enumerator,
    ZLV_TRACER_CALLS(ZLV_OTHER_CALL_ENUMERATOR)
#undef ZLV_OTHER_CALL_ENUMERATOR
    kOtherCallCount
};
// clang-format on

struct CallName {
    uint32_t id;
    const char* name;
};

// Names of the calls traced under identifiers of the tracer's own range.
inline constexpr CallName kOtherCallNames[kOtherCallCount] = {
#define ZLV_OTHER_CALL_NAME(enumerator, name) {otherCallId(enumerator), name},
    ZLV_TRACER_CALLS(ZLV_OTHER_CALL_NAME)
#undef ZLV_OTHER_CALL_NAME
};

constexpr bool isSafeOtherId(uint32_t id) {
    return (id & (kFuncWaitBit | kFuncMembersBit | kUnfinishedFlag)) == 0 &&
           id != kFuncInstantMark && id != kFuncSection && id > kFuncLastFixed;
}

// Communicator-making calls the fixed table does not name carry a member
// list, so their identifiers have the member-list bit and the loader declares
// the communicator: 0x1020 + (k & 0xF) + (k >> 4) * 0x40 for the k-th call of
// the table below, never with the wait bit or the unfinished flag.
constexpr uint32_t commCallId(uint32_t k) {
    return 0x1020 + (k & 0xF) + (k >> 4) * 0x40;
}

// Append only, as above.
#define ZLV_TRACER_COMM_CALLS(X)                                                                   \
    X(kCommCreate, "MPI_Comm_create")                                                              \
    X(kCommCreateGroup, "MPI_Comm_create_group")                                                   \
    X(kCommSplitType, "MPI_Comm_split_type")                                                       \
    X(kCommIdup, "MPI_Comm_idup")                                                                  \
    X(kCommGraphCreate, "MPI_Graph_create")                                                        \
    X(kCommDistGraphCreate, "MPI_Dist_graph_create")                                               \
    X(kCommDistGraphAdjacent, "MPI_Dist_graph_create_adjacent")                                    \
    X(kCommIntercommMerge, "MPI_Intercomm_merge")                                                  \
    X(kCommDupWithInfo, "MPI_Comm_dup_with_info")

// clang-format off
enum CommCall : uint32_t {
#define ZLV_COMM_CALL_ENUMERATOR(enumerator, name) enumerator,
    ZLV_TRACER_COMM_CALLS(ZLV_COMM_CALL_ENUMERATOR)
#undef ZLV_COMM_CALL_ENUMERATOR
    kCommCallCount
};
// clang-format on

// Names of the communicator-making calls recorded with a member list.
inline constexpr CallName kCommCallNames[kCommCallCount] = {
#define ZLV_COMM_CALL_NAME(enumerator, name) {commCallId(enumerator), name},
    ZLV_TRACER_COMM_CALLS(ZLV_COMM_CALL_NAME)
#undef ZLV_COMM_CALL_NAME
};

constexpr bool isSafeCommCallId(uint32_t id) {
    return (id & (kFuncWaitBit | kUnfinishedFlag)) == 0 && (id & kFuncMembersBit) != 0 &&
           id > kFuncLastFixed;
}
