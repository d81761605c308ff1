// Collective calls from Fortran.

#include "fortran_entry.h"
#include "traced_collective.h"

using namespace zlvt;

namespace {

uint32_t bytesOfF(const MPI_Fint* count, const MPI_Fint* type) {
    return bytesOf(static_cast<int>(*count), MPI_Type_f2c(*type));
}

// Mean bytes per member of a Fortran vector of counts.
uint32_t meanBytesF(const MPI_Fint* counts, MPI_Comm comm, const MPI_Fint* type) {
    const int n = commSize(comm);
    std::vector<int> c(static_cast<size_t>(n > 0 ? n : 0));
    for (size_t i = 0; i < c.size(); ++i) c[i] = static_cast<int>(counts[i]);
    return meanBytes(c.data(), comm, MPI_Type_f2c(*type));
}

bool isRootF(const MPI_Fint* root, MPI_Comm comm) {
    return isRoot(static_cast<int>(*root), comm);
}

} // namespace

ZLV_FORTRAN(bcast, BCAST,
            (char* buf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* root, MPI_Fint* comm,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(bcast);
    tracedCollective(ZLV_CALLER, kFuncBcast, bytesOfF(count, type), *root, MPI_Comm_f2c(*comm),
                     ZLV_RUN(buf, count, type, root, comm, ierr));
}

ZLV_FORTRAN(reduce, REDUCE,
            (char* sendbuf, char* recvbuf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* op,
             MPI_Fint* root, MPI_Fint* comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(reduce);
    tracedCollective(ZLV_CALLER, kFuncReduce, bytesOfF(count, type), *root, MPI_Comm_f2c(*comm),
                     ZLV_RUN(sendbuf, recvbuf, count, type, op, root, comm, ierr));
}

ZLV_FORTRAN(scatter, SCATTER,
            (char* sendbuf, MPI_Fint* sendcount, MPI_Fint* sendtype, char* recvbuf,
             MPI_Fint* recvcount, MPI_Fint* recvtype, MPI_Fint* root, MPI_Fint* comm,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(scatter);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    const uint32_t size =
        isRootF(root, c) ? bytesOfF(sendcount, sendtype) : bytesOfF(recvcount, recvtype);
    tracedCollective(
        ZLV_CALLER, kFuncScatter, size, *root, c,
        ZLV_RUN(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm, ierr));
}

ZLV_FORTRAN(scatterv, SCATTERV,
            (char* sendbuf, MPI_Fint* sendcounts, MPI_Fint* displs, MPI_Fint* sendtype,
             char* recvbuf, MPI_Fint* recvcount, MPI_Fint* recvtype, MPI_Fint* root, MPI_Fint* comm,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(scatterv);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    const uint32_t size =
        isRootF(root, c) ? meanBytesF(sendcounts, c, sendtype) : bytesOfF(recvcount, recvtype);
    tracedCollective(ZLV_CALLER, kFuncScatterv, size, *root, c,
                     ZLV_RUN(sendbuf, sendcounts, displs, sendtype, recvbuf, recvcount, recvtype,
                             root, comm, ierr));
}

ZLV_FORTRAN(gather, GATHER,
            (char* sendbuf, MPI_Fint* sendcount, MPI_Fint* sendtype, char* recvbuf,
             MPI_Fint* recvcount, MPI_Fint* recvtype, MPI_Fint* root, MPI_Fint* comm,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(gather);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    const uint32_t size =
        isRootF(root, c) ? bytesOfF(recvcount, recvtype) : bytesOfF(sendcount, sendtype);
    tracedCollective(
        ZLV_CALLER, kFuncGather, size, *root, c,
        ZLV_RUN(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, root, comm, ierr));
}

ZLV_FORTRAN(gatherv, GATHERV,
            (char* sendbuf, MPI_Fint* sendcount, MPI_Fint* sendtype, char* recvbuf,
             MPI_Fint* recvcounts, MPI_Fint* displs, MPI_Fint* recvtype, MPI_Fint* root,
             MPI_Fint* comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(gatherv);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    const uint32_t size =
        isRootF(root, c) ? meanBytesF(recvcounts, c, recvtype) : bytesOfF(sendcount, sendtype);
    tracedCollective(ZLV_CALLER, kFuncGatherv, size, *root, c,
                     ZLV_RUN(sendbuf, sendcount, sendtype, recvbuf, recvcounts, displs, recvtype,
                             root, comm, ierr));
}

ZLV_FORTRAN(barrier, BARRIER, (MPI_Fint * comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(barrier);
    tracedCollective(ZLV_CALLER, otherCallId(kOtherBarrier), 0, -1, MPI_Comm_f2c(*comm),
                     ZLV_RUN(comm, ierr));
}

// Allreduce, Scan, Exscan and Reduce_scatter_block: one count, one type, one operation.
#define ZLV_FORTRAN_REDUCTION(lower, UPPER, call)                                                  \
    ZLV_FORTRAN(lower, UPPER,                                                                      \
                (char* sendbuf, char* recvbuf, MPI_Fint* count, MPI_Fint* type, MPI_Fint* op,      \
                 MPI_Fint* comm, MPI_Fint* ierr)) {                                                \
        ZLV_FORTRAN_REAL(lower);                                                                   \
        tracedCollective(ZLV_CALLER, otherCallId(call), bytesOfF(count, type), -1,                 \
                         MPI_Comm_f2c(*comm),                                                      \
                         ZLV_RUN(sendbuf, recvbuf, count, type, op, comm, ierr));                  \
    }

ZLV_FORTRAN_REDUCTION(allreduce, ALLREDUCE, kOtherAllreduce)
ZLV_FORTRAN_REDUCTION(scan, SCAN, kOtherScan)
ZLV_FORTRAN_REDUCTION(exscan, EXSCAN, kOtherExscan)
ZLV_FORTRAN_REDUCTION(reduce_scatter_block, REDUCE_SCATTER_BLOCK, kOtherReduceScatterBlock)

ZLV_FORTRAN(reduce_scatter, REDUCE_SCATTER,
            (char* sendbuf, char* recvbuf, MPI_Fint* recvcounts, MPI_Fint* type, MPI_Fint* op,
             MPI_Fint* comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(reduce_scatter);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    tracedCollective(ZLV_CALLER, otherCallId(kOtherReduceScatter), meanBytesF(recvcounts, c, type),
                     -1, c, ZLV_RUN(sendbuf, recvbuf, recvcounts, type, op, comm, ierr));
}

// Allgather and Alltoall: counts and types on both sides.
#define ZLV_FORTRAN_ALL_TO_ALL(lower, UPPER, call)                                                 \
    ZLV_FORTRAN(lower, UPPER,                                                                      \
                (char* sendbuf, MPI_Fint* sendcount, MPI_Fint* sendtype, char* recvbuf,            \
                 MPI_Fint* recvcount, MPI_Fint* recvtype, MPI_Fint* comm, MPI_Fint* ierr)) {       \
        ZLV_FORTRAN_REAL(lower);                                                                   \
        tracedCollective(                                                                          \
            ZLV_CALLER, otherCallId(call), bytesOfF(recvcount, recvtype), -1, MPI_Comm_f2c(*comm), \
            ZLV_RUN(sendbuf, sendcount, sendtype, recvbuf, recvcount, recvtype, comm, ierr));      \
    }

ZLV_FORTRAN_ALL_TO_ALL(allgather, ALLGATHER, kOtherAllgather)
ZLV_FORTRAN_ALL_TO_ALL(alltoall, ALLTOALL, kOtherAlltoall)

ZLV_FORTRAN(allgatherv, ALLGATHERV,
            (char* sendbuf, MPI_Fint* sendcount, MPI_Fint* sendtype, char* recvbuf,
             MPI_Fint* recvcounts, MPI_Fint* displs, MPI_Fint* recvtype, MPI_Fint* comm,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(allgatherv);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    tracedCollective(
        ZLV_CALLER, otherCallId(kOtherAllgatherv), meanBytesF(recvcounts, c, recvtype), -1, c,
        ZLV_RUN(sendbuf, sendcount, sendtype, recvbuf, recvcounts, displs, recvtype, comm, ierr));
}

ZLV_FORTRAN(alltoallv, ALLTOALLV,
            (char* sendbuf, MPI_Fint* sendcounts, MPI_Fint* sdispls, MPI_Fint* sendtype,
             char* recvbuf, MPI_Fint* recvcounts, MPI_Fint* rdispls, MPI_Fint* recvtype,
             MPI_Fint* comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(alltoallv);
    const MPI_Comm c = MPI_Comm_f2c(*comm);
    tracedCollective(ZLV_CALLER, otherCallId(kOtherAlltoallv), meanBytesF(recvcounts, c, recvtype),
                     -1, c,
                     ZLV_RUN(sendbuf, sendcounts, sdispls, sendtype, recvbuf, recvcounts, rdispls,
                             recvtype, comm, ierr));
}

ZLV_FORTRAN(alltoallw, ALLTOALLW,
            (char* sendbuf, MPI_Fint* sendcounts, MPI_Fint* sdispls, MPI_Fint* sendtypes,
             char* recvbuf, MPI_Fint* recvcounts, MPI_Fint* rdispls, MPI_Fint* recvtypes,
             MPI_Fint* comm, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(alltoallw);
    tracedCollective(ZLV_CALLER, otherCallId(kOtherAlltoallw), 0, -1, MPI_Comm_f2c(*comm),
                     ZLV_RUN(sendbuf, sendcounts, sdispls, sendtypes, recvbuf, recvcounts, rdispls,
                             recvtypes, comm, ierr));
}
