#pragma once
// Fortran entry points. Open MPI's Fortran bindings call the C library's
// PMPI_ functions directly, so a Fortran program never reaches the C
// wrappers: the tracer defines the Fortran entry points too. Each runs the
// library's own Fortran implementation (found by its profiling name, so
// buffers, status and in-place markers keep their Fortran meaning) and is
// recorded like the C call, from handles converted to C.

#include <mpi.h>

#include <cstdint>
#include <vector>

namespace zlvt {

// The library's Fortran implementation `pmpi_name_`; exits with a message
// when the MPI library has no Fortran bindings (it cannot then be called).
void* fortranImplementation(const char* name);

constexpr int kFortranStatusSize = static_cast<int>(sizeof(MPI_Status) / sizeof(MPI_Fint));

inline int rcOf(const MPI_Fint* ierr) {
    return ierr ? static_cast<int>(*ierr) : MPI_SUCCESS;
}

// A Fortran status argument: the caller's, or one of the tracer's own when
// the caller ignores it, and the same status in C once the call returned.
struct FortranStatus {
    explicit FortranStatus(MPI_Fint* given) : f(given == MPI_F_STATUS_IGNORE ? own : given) {}
    // After the call.
    MPI_Status* toC() {
        MPI_Status_f2c(f, &c);
        return &c;
    }
    MPI_Fint own[kFortranStatusSize] = {};
    MPI_Fint* f;
    MPI_Status c{};
};

struct FortranStatuses {
    FortranStatuses(MPI_Fint* given, int count)
        : own(given == MPI_F_STATUSES_IGNORE
                  ? static_cast<size_t>(count > 0 ? count : 1) * kFortranStatusSize
                  : 0),
          f(own.empty() ? given : own.data()), c(static_cast<size_t>(count > 0 ? count : 1)) {}
    // After the call: the first n statuses.
    MPI_Status* toC(int n) {
        for (int i = 0; i < n; ++i) MPI_Status_f2c(f + i * kFortranStatusSize, &c[size_t(i)]);
        return c.data();
    }
    std::vector<MPI_Fint> own;
    MPI_Fint* f;
    std::vector<MPI_Status> c;
};

inline std::vector<MPI_Request> requestsToC(const MPI_Fint* requests, int count) {
    std::vector<MPI_Request> out(static_cast<size_t>(count > 0 ? count : 0));
    for (size_t i = 0; i < out.size(); ++i) out[i] = MPI_Request_f2c(requests[i]);
    return out;
}

// Fortran indices count from 1.
inline int indexToC(MPI_Fint index) {
    return index == MPI_UNDEFINED ? MPI_UNDEFINED : static_cast<int>(index) - 1;
}

} // namespace zlvt

#define ZLV_FORTRAN_ALIAS(lower) __attribute__((alias("ompi_" #lower "_f")))

// Defines the entry `lower` under every name Open MPI's Fortran bindings
// use: ompi_lower_f (called by the mpi_f08 module), mpi_lower_ (mpif.h and
// the mpi module), mpi_lower, mpi_lower__ and MPI_UPPER. The body follows.
#define ZLV_FORTRAN(lower, UPPER, params)                                                          \
    extern "C" void ompi_##lower##_f params;                                                       \
    extern "C" void mpi_##lower params ZLV_FORTRAN_ALIAS(lower);                                   \
    extern "C" void mpi_##lower##_ params ZLV_FORTRAN_ALIAS(lower);                                \
    extern "C" void mpi_##lower##__ params ZLV_FORTRAN_ALIAS(lower);                               \
    extern "C" void MPI_##UPPER params ZLV_FORTRAN_ALIAS(lower);                                   \
    extern "C" void ompi_##lower##_f params

// Inside an entry: `real`, the library's implementation of the same call.
#define ZLV_FORTRAN_REAL(lower)                                                                    \
    static const auto real = reinterpret_cast<decltype(&ompi_##lower##_f)>(                        \
        zlvt::fortranImplementation("pmpi_" #lower "_"))

// Runs `real` with the entry's arguments and gives its error code.
#define ZLV_RUN(...)                                                                               \
    [&] {                                                                                          \
        real(__VA_ARGS__);                                                                         \
        return rcOf(ierr);                                                                         \
    }
