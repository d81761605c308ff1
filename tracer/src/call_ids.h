#pragma once
// Function identifiers the tracer writes. The MPI calls the trace format names
// keep their identifiers; every other traced call gets one from a range of its
// own: 0x1000 + (k & 0xF) + (k >> 4) * 0x40, which never sets the bits that
// carry meaning in a function identifier (0x10 wait, 0x20 member list,
// 0x800 unfinished) and never meets 65 or 67. The table is plain data so the
// viewer can add the names to its function-name table.

#include <cstdint>

namespace zlvt {

enum : uint32_t {
    kIdInit = 1,
    kIdFinalize = 2,
    kIdSend = 3,
    kIdRecv = 4,
    kIdBcast = 5,
    kIdReduce = 6,
    kIdIsend = 8,
    kIdIrecv = 9,
    kIdScatter = 11,
    kIdScatterv = 12,
    kIdGather = 13,
    kIdGatherv = 14,
    kIdWait = 16,
    kIdWaitIsend = 24,
    kIdWaitIrecv = 25,
    kIdCommDup = 32,
    kIdCommSplit = 33,
    kIdCartCreate = 34,
    kIdCartSub = 35,
    kIdCommFree = 36,
};

constexpr uint32_t otherCallId(uint32_t k) {
    return 0x1000 + (k & 0xF) + (k >> 4) * 0x40;
}

enum OtherCall : uint32_t {
    kOtherAbort,
    kOtherBarrier,
    kOtherAllreduce,
    kOtherAllgather,
    kOtherAllgatherv,
    kOtherAlltoall,
    kOtherAlltoallv,
    kOtherAlltoallw,
    kOtherReduceScatter,
    kOtherReduceScatterBlock,
    kOtherScan,
    kOtherExscan,
    kOtherProbe,
    kOtherCommCreate,
    kOtherCommSplitType,
    kOtherRequestFree,
    kOtherCommDupNoComm,
    kOtherCommSplitNoComm,
    kOtherCartCreateNoComm,
    kOtherCartSubNoComm,
    kOtherCancelledIrecv,
    kOtherCancelledIsend,
    kOtherCommCreateGroupNoComm,
    kOtherCommIdupNoComm,
    kOtherGraphCreateNoComm,
    kOtherDistGraphCreateNoComm,
    kOtherDistGraphCreateAdjacentNoComm,
    kOtherIntercommMergeNoComm,
    kOtherIprobe,
    kOtherMprobe,
    kOtherImprobe,
    kOtherIprobePolls,
    kOtherTestPolls,
    kOtherRecordingCut,
    kOtherCallCount
};

// Communicator-making calls the format does not name carry a member list, so
// their identifiers have bit 0x20 and the loader declares the communicator:
// 0x1020 + (k & 0xF) + (k >> 4) * 0x40, never with 0x10 or 0x800.
constexpr uint32_t commCallId(uint32_t k) {
    return 0x1020 + (k & 0xF) + (k >> 4) * 0x40;
}

enum CommCall : uint32_t {
    kCommCreate,
    kCommCreateGroup,
    kCommSplitType,
    kCommIdup,
    kGraphCreate,
    kDistGraphCreate,
    kDistGraphCreateAdjacent,
    kIntercommMerge,
    kCommDupWithInfo,
    kCommCallCount
};

struct CallName {
    uint32_t id;
    const char* name;
};

// Names of the calls traced under identifiers of the tracer's own range.
inline constexpr CallName kOtherCallNames[kOtherCallCount] = {
    {otherCallId(kOtherAbort), "MPI_Abort"},
    {otherCallId(kOtherBarrier), "MPI_Barrier"},
    {otherCallId(kOtherAllreduce), "MPI_Allreduce"},
    {otherCallId(kOtherAllgather), "MPI_Allgather"},
    {otherCallId(kOtherAllgatherv), "MPI_Allgatherv"},
    {otherCallId(kOtherAlltoall), "MPI_Alltoall"},
    {otherCallId(kOtherAlltoallv), "MPI_Alltoallv"},
    {otherCallId(kOtherAlltoallw), "MPI_Alltoallw"},
    {otherCallId(kOtherReduceScatter), "MPI_Reduce_scatter"},
    {otherCallId(kOtherReduceScatterBlock), "MPI_Reduce_scatter_block"},
    {otherCallId(kOtherScan), "MPI_Scan"},
    {otherCallId(kOtherExscan), "MPI_Exscan"},
    {otherCallId(kOtherProbe), "MPI_Probe"},
    {otherCallId(kOtherCommCreate), "MPI_Comm_create"},
    {otherCallId(kOtherCommSplitType), "MPI_Comm_split_type"},
    {otherCallId(kOtherRequestFree), "MPI_Request_free"},
    {otherCallId(kOtherCommDupNoComm), "MPI_Comm_dup (no intracommunicator)"},
    {otherCallId(kOtherCommSplitNoComm), "MPI_Comm_split (MPI_COMM_NULL)"},
    {otherCallId(kOtherCartCreateNoComm), "MPI_Cart_create (MPI_COMM_NULL)"},
    {otherCallId(kOtherCartSubNoComm), "MPI_Cart_sub (MPI_COMM_NULL)"},
    {otherCallId(kOtherCancelledIrecv), "MPI_Irecv (cancelled)"},
    {otherCallId(kOtherCancelledIsend), "MPI_Isend (cancelled)"},
    {otherCallId(kOtherCommCreateGroupNoComm), "MPI_Comm_create_group (MPI_COMM_NULL)"},
    {otherCallId(kOtherCommIdupNoComm), "MPI_Comm_idup (no intracommunicator)"},
    {otherCallId(kOtherGraphCreateNoComm), "MPI_Graph_create (MPI_COMM_NULL)"},
    {otherCallId(kOtherDistGraphCreateNoComm), "MPI_Dist_graph_create (no intracommunicator)"},
    {otherCallId(kOtherDistGraphCreateAdjacentNoComm),
     "MPI_Dist_graph_create_adjacent (no intracommunicator)"},
    {otherCallId(kOtherIntercommMergeNoComm), "MPI_Intercomm_merge (no intracommunicator)"},
    {otherCallId(kOtherIprobe), "MPI_Iprobe"},
    {otherCallId(kOtherMprobe), "MPI_Mprobe"},
    {otherCallId(kOtherImprobe), "MPI_Improbe"},
    {otherCallId(kOtherIprobePolls), "MPI_Iprobe (no message, polls)"},
    {otherCallId(kOtherTestPolls), "MPI_Test (nothing completed, polls)"},
    {otherCallId(kOtherRecordingCut), "Recording stopped"},
};

// Names of the communicator-making calls recorded with a member list.
inline constexpr CallName kCommCallNames[kCommCallCount] = {
    {commCallId(kCommCreate), "MPI_Comm_create"},
    {commCallId(kCommCreateGroup), "MPI_Comm_create_group"},
    {commCallId(kCommSplitType), "MPI_Comm_split_type"},
    {commCallId(kCommIdup), "MPI_Comm_idup"},
    {commCallId(kGraphCreate), "MPI_Graph_create"},
    {commCallId(kDistGraphCreate), "MPI_Dist_graph_create"},
    {commCallId(kDistGraphCreateAdjacent), "MPI_Dist_graph_create_adjacent"},
    {commCallId(kIntercommMerge), "MPI_Intercomm_merge"},
    {commCallId(kCommDupWithInfo), "MPI_Comm_dup_with_info"},
};

constexpr bool isSafeOtherId(uint32_t id) {
    return (id & (0x10 | 0x20 | 0x800)) == 0 && id != 65 && id != 67 && id > 36;
}

constexpr bool isSafeCommCallId(uint32_t id) {
    return (id & (0x10 | 0x800)) == 0 && (id & 0x20) != 0 && id > 36;
}

} // namespace zlvt
