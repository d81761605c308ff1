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
    kOtherCallCount
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
};

constexpr bool isSafeOtherId(uint32_t id) {
    return (id & (0x10 | 0x20 | 0x800)) == 0 && id != 65 && id != 67 && id > 36;
}

} // namespace zlvt
