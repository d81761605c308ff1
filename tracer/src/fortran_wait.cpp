// Completion of non-blocking requests from Fortran.

#include "fortran_entry.h"
#include "traced_wait.h"

using namespace zlvt;

namespace {

constexpr bool kWait = false;
constexpr bool kTest = true;

auto always() {
    return [] { return true; };
}

// Waitsome and Testsome: the statuses of the completed requests, in C indices.
struct SomeCompleted {
    SomeCompleted(MPI_Fint* statuses, int incount)
        : st(statuses, incount), indices(size_t(incount > 0 ? incount : 1)) {}
    void toC(const MPI_Fint* outcount, const MPI_Fint* fIndices) {
        done = static_cast<int>(*outcount);
        const int n = done == MPI_UNDEFINED ? 0 : done;
        for (int i = 0; i < n; ++i) indices[size_t(i)] = indexToC(fIndices[i]);
        st.toC(n);
    }
    FortranStatuses st;
    std::vector<int> indices;
    int done = 0;
};

// Waitsome and Testsome take the same arguments; a Testsome that completes
// nothing is a failed poll, a Waitsome always a call.
template <class Real>
void traceSome(void* caller, Real real, bool isTest, MPI_Fint* incount, MPI_Fint* requests,
               MPI_Fint* outcount, MPI_Fint* indices, MPI_Fint* statuses, MPI_Fint* ierr) {
    const int n = static_cast<int>(*incount);
    SomeCompleted some(statuses, n);
    const auto before = requestsToC(requests, n);
    tracedCompletion(
        caller,
        [&] {
            real(incount, requests, outcount, indices, some.st.f, ierr);
            some.toC(outcount, indices);
            return rcOf(ierr);
        },
        isTest, n, before.data(), [&] { return !isTest || some.done != 0; },
        statusOfSome(some.st.c.data(), &some.done, some.indices.data(), n));
}

} // namespace

ZLV_FORTRAN(wait, WAIT, (MPI_Fint * request, MPI_Fint* status, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(wait);
    FortranStatus st(status);
    const MPI_Request before = MPI_Request_f2c(*request);
    tracedCompletion(
        ZLV_CALLER,
        [&] {
            real(request, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        kWait, 1, &before, always(), statusOfOne(&st.c));
}

ZLV_FORTRAN(waitall, WAITALL,
            (MPI_Fint * count, MPI_Fint* requests, MPI_Fint* statuses, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(waitall);
    const int n = static_cast<int>(*count);
    FortranStatuses st(statuses, n);
    const auto before = requestsToC(requests, n);
    tracedCompletion(
        ZLV_CALLER,
        [&] {
            real(count, requests, st.f, ierr);
            st.toC(n);
            return rcOf(ierr);
        },
        kWait, n, before.data(), always(), statusOfEach(st.c.data()));
}

ZLV_FORTRAN(waitany, WAITANY,
            (MPI_Fint * count, MPI_Fint* requests, MPI_Fint* index, MPI_Fint* status,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(waitany);
    const int n = static_cast<int>(*count);
    FortranStatus st(status);
    const auto before = requestsToC(requests, n);
    int completed = MPI_UNDEFINED;
    tracedCompletion(
        ZLV_CALLER,
        [&] {
            real(count, requests, index, st.f, ierr);
            completed = indexToC(*index);
            st.toC();
            return rcOf(ierr);
        },
        kWait, n, before.data(), always(), statusOfIndex(&st.c, &completed));
}

ZLV_FORTRAN(waitsome, WAITSOME,
            (MPI_Fint * incount, MPI_Fint* requests, MPI_Fint* outcount, MPI_Fint* indices,
             MPI_Fint* statuses, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(waitsome);
    traceSome(ZLV_CALLER, real, kWait, incount, requests, outcount, indices, statuses, ierr);
}

ZLV_FORTRAN(test, TEST, (MPI_Fint * request, MPI_Fint* flag, MPI_Fint* status, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(test);
    FortranStatus st(status);
    const MPI_Request before = MPI_Request_f2c(*request);
    tracedCompletion(
        ZLV_CALLER,
        [&] {
            real(request, flag, st.f, ierr);
            st.toC();
            return rcOf(ierr);
        },
        kTest, 1, &before, [&] { return *flag != 0; }, statusOfOne(&st.c));
}

ZLV_FORTRAN(testall, TESTALL,
            (MPI_Fint * count, MPI_Fint* requests, MPI_Fint* flag, MPI_Fint* statuses,
             MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(testall);
    const int n = static_cast<int>(*count);
    FortranStatuses st(statuses, n);
    const auto before = requestsToC(requests, n);
    tracedCompletion(
        ZLV_CALLER,
        [&] {
            real(count, requests, flag, st.f, ierr);
            st.toC(*flag ? n : 0);
            return rcOf(ierr);
        },
        kTest, n, before.data(), [&] { return *flag != 0; }, statusOfEach(st.c.data()));
}

ZLV_FORTRAN(testany, TESTANY,
            (MPI_Fint * count, MPI_Fint* requests, MPI_Fint* index, MPI_Fint* flag,
             MPI_Fint* status, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(testany);
    const int n = static_cast<int>(*count);
    FortranStatus st(status);
    const auto before = requestsToC(requests, n);
    int completed = MPI_UNDEFINED;
    tracedCompletion(
        ZLV_CALLER,
        [&] {
            real(count, requests, index, flag, st.f, ierr);
            completed = *flag ? indexToC(*index) : MPI_UNDEFINED;
            st.toC();
            return rcOf(ierr);
        },
        kTest, n, before.data(), [&] { return *flag != 0; }, statusOfIndex(&st.c, &completed));
}

ZLV_FORTRAN(testsome, TESTSOME,
            (MPI_Fint * incount, MPI_Fint* requests, MPI_Fint* outcount, MPI_Fint* indices,
             MPI_Fint* statuses, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(testsome);
    traceSome(ZLV_CALLER, real, kTest, incount, requests, outcount, indices, statuses, ierr);
}

ZLV_FORTRAN(request_free, REQUEST_FREE, (MPI_Fint * request, MPI_Fint* ierr)) {
    ZLV_FORTRAN_REAL(request_free);
    const MPI_Request before = MPI_Request_f2c(*request);
    tracedRequestFree(
        ZLV_CALLER,
        [&] {
            real(request, ierr);
            return rcOf(ierr);
        },
        before);
}
