// Collective calls from C.

#include "traced_collective.h"

using namespace zlvt;

extern "C" {

int MPI_Bcast(void* buf, int count, MPI_Datatype type, int root, MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, kFuncBcast, bytesOf(count, type), root, comm,
                            [&] { return PMPI_Bcast(buf, count, type, root, comm); });
}

int MPI_Reduce(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
               int root, MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, kFuncReduce, bytesOf(count, type), root, comm, [&] {
        return PMPI_Reduce(sendbuf, recvbuf, count, type, op, root, comm);
    });
}

int MPI_Scatter(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                int recvcount, MPI_Datatype recvtype, int root, MPI_Comm comm) {
    const uint32_t size =
        isRoot(root, comm) ? bytesOf(sendcount, sendtype) : bytesOf(recvcount, recvtype);
    return tracedCollective(ZLV_CALLER, kFuncScatter, size, root, comm, [&] {
        return PMPI_Scatter(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm);
    });
}

int MPI_Scatterv(const void* sendbuf, const int sendcounts[], const int displs[],
                 MPI_Datatype sendtype, void* recvbuf, int recvcount, MPI_Datatype recvtype,
                 int root, MPI_Comm comm) {
    const uint32_t size =
        isRoot(root, comm) ? meanBytes(sendcounts, comm, sendtype) : bytesOf(recvcount, recvtype);
    return tracedCollective(ZLV_CALLER, kFuncScatterv, size, root, comm, [&] {
        return PMPI_Scatterv(sendbuf, sendcounts, displs, sendtype, recvbuf, recvcount, recvtype,
                             root, comm);
    });
}

int MPI_Gather(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
               int recvcount, MPI_Datatype recvtype, int root, MPI_Comm comm) {
    const uint32_t size =
        isRoot(root, comm) ? bytesOf(recvcount, recvtype) : bytesOf(sendcount, sendtype);
    return tracedCollective(ZLV_CALLER, kFuncGather, size, root, comm, [&] {
        return PMPI_Gather(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm);
    });
}

int MPI_Gatherv(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                const int recvcounts[], const int displs[], MPI_Datatype recvtype, int root,
                MPI_Comm comm) {
    const uint32_t size =
        isRoot(root, comm) ? meanBytes(recvcounts, comm, recvtype) : bytesOf(sendcount, sendtype);
    return tracedCollective(ZLV_CALLER, kFuncGatherv, size, root, comm, [&] {
        return PMPI_Gatherv(sendbuf, sendcount, sendtype, recvbuf, recvcounts, displs, recvtype,
                            root, comm);
    });
}

int MPI_Barrier(MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, otherCallId(kOtherBarrier), 0, -1, comm,
                            [&] { return PMPI_Barrier(comm); });
}

int MPI_Allreduce(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
                  MPI_Comm comm) {
    return tracedCollective(
        ZLV_CALLER, otherCallId(kOtherAllreduce), bytesOf(count, type), -1, comm,
        [&] { return PMPI_Allreduce(sendbuf, recvbuf, count, type, op, comm); });
}

int MPI_Allgather(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                  int recvcount, MPI_Datatype recvtype, MPI_Comm comm) {
    return tracedCollective(
        ZLV_CALLER, otherCallId(kOtherAllgather), bytesOf(recvcount, recvtype), -1, comm, [&] {
            return PMPI_Allgather(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm);
        });
}

int MPI_Allgatherv(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                   const int recvcounts[], const int displs[], MPI_Datatype recvtype,
                   MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, otherCallId(kOtherAllgatherv),
                            meanBytes(recvcounts, comm, recvtype), -1, comm, [&] {
                                return PMPI_Allgatherv(sendbuf, sendcount, sendtype, recvbuf,
                                                       recvcounts, displs, recvtype, comm);
                            });
}

int MPI_Alltoall(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                 int recvcount, MPI_Datatype recvtype, MPI_Comm comm) {
    return tracedCollective(
        ZLV_CALLER, otherCallId(kOtherAlltoall), bytesOf(recvcount, recvtype), -1, comm, [&] {
            return PMPI_Alltoall(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm);
        });
}

int MPI_Alltoallv(const void* sendbuf, const int sendcounts[], const int sdispls[],
                  MPI_Datatype sendtype, void* recvbuf, const int recvcounts[], const int rdispls[],
                  MPI_Datatype recvtype, MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, otherCallId(kOtherAlltoallv),
                            meanBytes(recvcounts, comm, recvtype), -1, comm, [&] {
                                return PMPI_Alltoallv(sendbuf, sendcounts, sdispls, sendtype,
                                                      recvbuf, recvcounts, rdispls, recvtype, comm);
                            });
}

int MPI_Alltoallw(const void* sendbuf, const int sendcounts[], const int sdispls[],
                  const MPI_Datatype sendtypes[], void* recvbuf, const int recvcounts[],
                  const int rdispls[], const MPI_Datatype recvtypes[], MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, otherCallId(kOtherAlltoallw), 0, -1, comm, [&] {
        return PMPI_Alltoallw(sendbuf, sendcounts, sdispls, sendtypes, recvbuf, recvcounts, rdispls,
                              recvtypes, comm);
    });
}

int MPI_Reduce_scatter(const void* sendbuf, void* recvbuf, const int recvcounts[],
                       MPI_Datatype type, MPI_Op op, MPI_Comm comm) {
    return tracedCollective(
        ZLV_CALLER, otherCallId(kOtherReduceScatter), meanBytes(recvcounts, comm, type), -1, comm,
        [&] { return PMPI_Reduce_scatter(sendbuf, recvbuf, recvcounts, type, op, comm); });
}

int MPI_Reduce_scatter_block(const void* sendbuf, void* recvbuf, int recvcount, MPI_Datatype type,
                             MPI_Op op, MPI_Comm comm) {
    return tracedCollective(
        ZLV_CALLER, otherCallId(kOtherReduceScatterBlock), bytesOf(recvcount, type), -1, comm,
        [&] { return PMPI_Reduce_scatter_block(sendbuf, recvbuf, recvcount, type, op, comm); });
}

int MPI_Scan(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
             MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, otherCallId(kOtherScan), bytesOf(count, type), -1, comm,
                            [&] { return PMPI_Scan(sendbuf, recvbuf, count, type, op, comm); });
}

int MPI_Exscan(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
               MPI_Comm comm) {
    return tracedCollective(ZLV_CALLER, otherCallId(kOtherExscan), bytesOf(count, type), -1, comm,
                            [&] { return PMPI_Exscan(sendbuf, recvbuf, count, type, op, comm); });
}

} // extern "C"
