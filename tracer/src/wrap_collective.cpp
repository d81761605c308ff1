// Collective calls. The rooted ones carry their root as the peer and the
// data size per member; the others are recorded under the tracer's own
// identifiers with the communicator and the size one process contributes.

#include "tracer_core.h"

#include <algorithm>

using namespace zlvt;

namespace {

uint64_t sumOf(const int counts[], int n) {
    uint64_t total = 0;
    if (counts)
        for (int i = 0; i < n; ++i) total += counts[i] > 0 ? uint64_t(counts[i]) : 0;
    return total;
}

// Mean bytes per member of a vector of counts.
uint32_t meanBytes(const int counts[], MPI_Comm comm, MPI_Datatype type) {
    const int n = commSize(comm);
    if (n <= 0) return 0;
    const uint64_t mean = sumOf(counts, n) / uint64_t(n);
    return bytesOf(static_cast<int>(std::min<uint64_t>(mean, 0x7FFFFFFF)), type);
}

bool isRoot(int root, MPI_Comm comm) {
    return localRank(comm) == root;
}

// Runs one collective under the given identifier and records it as a long record.
template <class Real>
int tracedCollective(Call& call, uint32_t func, uint32_t size, int root, MPI_Comm comm, Real real) {
    const int32_t peer = root < 0 ? -1 : recordedPeer(comm, root);
    const uint32_t id = commId(comm);
    call.running(func, size, 0, peer, id);
    const int rc = real();
    call.longRecord(func, call.finish(), size, 0, peer, id);
    return rc;
}

} // namespace

extern "C" {

int MPI_Bcast(void* buf, int count, MPI_Datatype type, int root, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Bcast(buf, count, type, root, comm);
    return tracedCollective(call, kFuncBcast, bytesOf(count, type), root, comm,
                            [&] { return PMPI_Bcast(buf, count, type, root, comm); });
}

int MPI_Reduce(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
               int root, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Reduce(sendbuf, recvbuf, count, type, op, root, comm);
    return tracedCollective(call, kFuncReduce, bytesOf(count, type), root, comm, [&] {
        return PMPI_Reduce(sendbuf, recvbuf, count, type, op, root, comm);
    });
}

int MPI_Scatter(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                int recvcount, MPI_Datatype recvtype, int root, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Scatter(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm);
    const uint32_t size =
        isRoot(root, comm) ? bytesOf(sendcount, sendtype) : bytesOf(recvcount, recvtype);
    return tracedCollective(call, kFuncScatter, size, root, comm, [&] {
        return PMPI_Scatter(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm);
    });
}

int MPI_Scatterv(const void* sendbuf, const int sendcounts[], const int displs[],
                 MPI_Datatype sendtype, void* recvbuf, int recvcount, MPI_Datatype recvtype,
                 int root, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Scatterv(sendbuf, sendcounts, displs, sendtype, recvbuf, recvcount, recvtype,
                             root, comm);
    const uint32_t size =
        isRoot(root, comm) ? meanBytes(sendcounts, comm, sendtype) : bytesOf(recvcount, recvtype);
    return tracedCollective(call, kFuncScatterv, size, root, comm, [&] {
        return PMPI_Scatterv(sendbuf, sendcounts, displs, sendtype, recvbuf, recvcount, recvtype,
                             root, comm);
    });
}

int MPI_Gather(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
               int recvcount, MPI_Datatype recvtype, int root, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Gather(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm);
    const uint32_t size =
        isRoot(root, comm) ? bytesOf(recvcount, recvtype) : bytesOf(sendcount, sendtype);
    return tracedCollective(call, kFuncGather, size, root, comm, [&] {
        return PMPI_Gather(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm);
    });
}

int MPI_Gatherv(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                const int recvcounts[], const int displs[], MPI_Datatype recvtype, int root,
                MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Gatherv(sendbuf, sendcount, sendtype, recvbuf, recvcounts, displs, recvtype,
                            root, comm);
    const uint32_t size =
        isRoot(root, comm) ? meanBytes(recvcounts, comm, recvtype) : bytesOf(sendcount, sendtype);
    return tracedCollective(call, kFuncGatherv, size, root, comm, [&] {
        return PMPI_Gatherv(sendbuf, sendcount, sendtype, recvbuf, recvcounts, displs, recvtype,
                            root, comm);
    });
}

int MPI_Barrier(MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Barrier(comm);
    return tracedCollective(call, otherCallId(kOtherBarrier), 0, -1, comm,
                            [&] { return PMPI_Barrier(comm); });
}

int MPI_Allreduce(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
                  MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Allreduce(sendbuf, recvbuf, count, type, op, comm);
    return tracedCollective(
        call, otherCallId(kOtherAllreduce), bytesOf(count, type), -1, comm,
        [&] { return PMPI_Allreduce(sendbuf, recvbuf, count, type, op, comm); });
}

int MPI_Allgather(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                  int recvcount, MPI_Datatype recvtype, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Allgather(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm);
    return tracedCollective(
        call, otherCallId(kOtherAllgather), bytesOf(recvcount, recvtype), -1, comm, [&] {
            return PMPI_Allgather(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm);
        });
}

int MPI_Allgatherv(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                   const int recvcounts[], const int displs[], MPI_Datatype recvtype,
                   MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Allgatherv(sendbuf, sendcount, sendtype, recvbuf, recvcounts, displs, recvtype,
                               comm);
    return tracedCollective(call, otherCallId(kOtherAllgatherv),
                            meanBytes(recvcounts, comm, recvtype), -1, comm, [&] {
                                return PMPI_Allgatherv(sendbuf, sendcount, sendtype, recvbuf,
                                                       recvcounts, displs, recvtype, comm);
                            });
}

int MPI_Alltoall(const void* sendbuf, int sendcount, MPI_Datatype sendtype, void* recvbuf,
                 int recvcount, MPI_Datatype recvtype, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Alltoall(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm);
    return tracedCollective(
        call, otherCallId(kOtherAlltoall), bytesOf(recvcount, recvtype), -1, comm, [&] {
            return PMPI_Alltoall(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm);
        });
}

int MPI_Alltoallv(const void* sendbuf, const int sendcounts[], const int sdispls[],
                  MPI_Datatype sendtype, void* recvbuf, const int recvcounts[], const int rdispls[],
                  MPI_Datatype recvtype, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Alltoallv(sendbuf, sendcounts, sdispls, sendtype, recvbuf, recvcounts, rdispls,
                              recvtype, comm);
    return tracedCollective(call, otherCallId(kOtherAlltoallv),
                            meanBytes(recvcounts, comm, recvtype), -1, comm, [&] {
                                return PMPI_Alltoallv(sendbuf, sendcounts, sdispls, sendtype,
                                                      recvbuf, recvcounts, rdispls, recvtype, comm);
                            });
}

int MPI_Alltoallw(const void* sendbuf, const int sendcounts[], const int sdispls[],
                  const MPI_Datatype sendtypes[], void* recvbuf, const int recvcounts[],
                  const int rdispls[], const MPI_Datatype recvtypes[], MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call)
        return PMPI_Alltoallw(sendbuf, sendcounts, sdispls, sendtypes, recvbuf, recvcounts, rdispls,
                              recvtypes, comm);
    return tracedCollective(call, otherCallId(kOtherAlltoallw), 0, -1, comm, [&] {
        return PMPI_Alltoallw(sendbuf, sendcounts, sdispls, sendtypes, recvbuf, recvcounts, rdispls,
                              recvtypes, comm);
    });
}

int MPI_Reduce_scatter(const void* sendbuf, void* recvbuf, const int recvcounts[],
                       MPI_Datatype type, MPI_Op op, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Reduce_scatter(sendbuf, recvbuf, recvcounts, type, op, comm);
    return tracedCollective(
        call, otherCallId(kOtherReduceScatter), meanBytes(recvcounts, comm, type), -1, comm,
        [&] { return PMPI_Reduce_scatter(sendbuf, recvbuf, recvcounts, type, op, comm); });
}

int MPI_Reduce_scatter_block(const void* sendbuf, void* recvbuf, int recvcount, MPI_Datatype type,
                             MPI_Op op, MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Reduce_scatter_block(sendbuf, recvbuf, recvcount, type, op, comm);
    return tracedCollective(
        call, otherCallId(kOtherReduceScatterBlock), bytesOf(recvcount, type), -1, comm,
        [&] { return PMPI_Reduce_scatter_block(sendbuf, recvbuf, recvcount, type, op, comm); });
}

int MPI_Scan(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
             MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Scan(sendbuf, recvbuf, count, type, op, comm);
    return tracedCollective(call, otherCallId(kOtherScan), bytesOf(count, type), -1, comm,
                            [&] { return PMPI_Scan(sendbuf, recvbuf, count, type, op, comm); });
}

int MPI_Exscan(const void* sendbuf, void* recvbuf, int count, MPI_Datatype type, MPI_Op op,
               MPI_Comm comm) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Exscan(sendbuf, recvbuf, count, type, op, comm);
    return tracedCollective(call, otherCallId(kOtherExscan), bytesOf(count, type), -1, comm,
                            [&] { return PMPI_Exscan(sendbuf, recvbuf, count, type, op, comm); });
}

} // extern "C"
