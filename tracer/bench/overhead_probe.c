/* Measures what tracing adds to an MPI call. Run with 2 processes, once
 * plainly and once with LD_PRELOAD=libzlvtrace.so; compare the figures.
 *   pingpong N   N round trips of empty MPI_Send/MPI_Recv (2 calls per rank each)
 *   waitnull N   N MPI_Wait on MPI_REQUEST_NULL: a call that costs MPI almost
 *                nothing, so the time is mostly the tracer's own record
 * Prints the mean time per call on rank 0, in nanoseconds. */
#include <mpi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    int rank, i;
    const char* mode = argc > 1 ? argv[1] : "pingpong";
    const long n = argc > 2 ? atol(argv[2]) : 100000;
    double start, seconds;
    long calls;
    MPI_Init(&argc, &argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Barrier(MPI_COMM_WORLD);
    start = MPI_Wtime();
    if (strcmp(mode, "waitnull") == 0) {
        MPI_Request none = MPI_REQUEST_NULL;
        for (i = 0; i < n; ++i) MPI_Wait(&none, MPI_STATUS_IGNORE);
        calls = n;
    } else {
        char byte = 0;
        for (i = 0; i < n; ++i) {
            if (rank == 0) {
                MPI_Send(&byte, 0, MPI_BYTE, 1, 0, MPI_COMM_WORLD);
                MPI_Recv(&byte, 0, MPI_BYTE, 1, 0, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            } else if (rank == 1) {
                MPI_Recv(&byte, 0, MPI_BYTE, 0, 0, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
                MPI_Send(&byte, 0, MPI_BYTE, 0, 0, MPI_COMM_WORLD);
            }
        }
        calls = 2 * n;
    }
    seconds = MPI_Wtime() - start;
    if (rank == 0)
        printf("%s: %ld calls in %.3f s, %.1f ns per call\n", mode, calls, seconds,
               seconds * 1e9 / (double)calls);
    MPI_Finalize();
    return 0;
}
