/* An MPI program with a known number of every traced call, for the tracer
 * tests. Run with 4 processes. Modes:
 *   normal  every call once or a few times (the counts are in the tests)
 *   abort   rank 1 calls MPI_Abort while the others wait for it in MPI_Recv
 *   leave   rank 0 returns from main without MPI_Finalize (others wait in MPI_Recv)
 * Built twice: as a plain program (traced through LD_PRELOAD) and with
 * zlv_mpi.h and the C API, linked against the tracer. */
#ifdef ZLV_INSTRUMENTED
#include "zlv_mpi.h"
#else
#include <mpi.h>
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int rank, size, left, right;

#ifdef ZLV_INSTRUMENTED
#define SECTION_BEGIN(name) zlv_section_begin(name)
#define SECTION_END() zlv_section_end()
#else
#define SECTION_BEGIN(name) ((void)0)
#define SECTION_END() ((void)0)
#endif

static void pointToPoint(void) {
    int out = rank, in = -1, i;
    MPI_Status status;
    MPI_Request req[3];

    /* blocking ring; even ranks send first */
    if (rank % 2 == 0) {
        MPI_Send(&out, 1, MPI_INT, right, 10, MPI_COMM_WORLD);
        MPI_Recv(&in, 1, MPI_INT, left, 10, MPI_COMM_WORLD, &status);
    } else {
        MPI_Recv(&in, 1, MPI_INT, left, 10, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        MPI_Send(&out, 1, MPI_INT, right, 10, MPI_COMM_WORLD);
    }

    /* receives from any source at rank 0 */
    if (rank == 0) {
        for (i = 1; i < size; ++i)
            MPI_Recv(&in, 1, MPI_INT, MPI_ANY_SOURCE, 20, MPI_COMM_WORLD, &status);
    } else {
        MPI_Send(&out, 1, MPI_INT, 0, 20, MPI_COMM_WORLD);
    }

    /* non-blocking pair completed by MPI_Waitall */
    MPI_Irecv(&in, 1, MPI_INT, left, 30, MPI_COMM_WORLD, &req[0]);
    MPI_Isend(&out, 1, MPI_INT, right, 30, MPI_COMM_WORLD, &req[1]);
    MPI_Waitall(2, req, MPI_STATUSES_IGNORE);

    /* the same completed by two MPI_Wait */
    MPI_Irecv(&in, 1, MPI_INT, left, 31, MPI_COMM_WORLD, &req[0]);
    MPI_Isend(&out, 1, MPI_INT, right, 31, MPI_COMM_WORLD, &req[1]);
    MPI_Wait(&req[0], MPI_STATUS_IGNORE);
    MPI_Wait(&req[1], &status);

    /* wildcard non-blocking receives completed by MPI_Waitany */
    if (rank == 0) {
        int got[3];
        for (i = 0; i < 3; ++i)
            MPI_Irecv(&got[i], 1, MPI_INT, MPI_ANY_SOURCE, 32, MPI_COMM_WORLD, &req[i]);
        for (i = 0; i < 3; ++i) {
            int index;
            MPI_Waitany(3, req, &index, MPI_STATUS_IGNORE);
        }
    } else {
        MPI_Isend(&out, 1, MPI_INT, 0, 32, MPI_COMM_WORLD, &req[0]);
        MPI_Wait(&req[0], MPI_STATUS_IGNORE);
    }

    /* a receive completed by polling MPI_Test, a send by MPI_Waitsome */
    {
        int flag = 0, outcount = 0, indices[1];
        MPI_Isend(&out, 1, MPI_INT, right, 33, MPI_COMM_WORLD, &req[1]);
        MPI_Irecv(&in, 1, MPI_INT, left, 33, MPI_COMM_WORLD, &req[0]);
        while (!flag) MPI_Test(&req[0], &flag, &status);
        while (outcount == 0) {
            MPI_Waitsome(1, &req[1], &outcount, indices, MPI_STATUSES_IGNORE);
            if (outcount == MPI_UNDEFINED) break;
        }
    }

    /* persistent requests, started twice */
    {
        MPI_Request persistent[2];
        MPI_Recv_init(&in, 1, MPI_INT, left, 35, MPI_COMM_WORLD, &persistent[0]);
        MPI_Send_init(&out, 1, MPI_INT, right, 35, MPI_COMM_WORLD, &persistent[1]);
        for (i = 0; i < 2; ++i) {
            MPI_Startall(2, persistent);
            MPI_Waitall(2, persistent, MPI_STATUSES_IGNORE);
        }
        MPI_Request_free(&persistent[0]);
        MPI_Request_free(&persistent[1]);
    }

    /* a receive that never gets its message: cancelled, then waited for */
    MPI_Irecv(&in, 1, MPI_INT, left, 77, MPI_COMM_WORLD, &req[0]);
    MPI_Cancel(&req[0]);
    MPI_Wait(&req[0], MPI_STATUS_IGNORE);

    MPI_Sendrecv(&out, 1, MPI_INT, right, 40, &in, 1, MPI_INT, left, 40, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE);
}

static void collectives(void) {
    int value = rank, sum = 0, all[4], counts[4] = {1, 1, 1, 1}, displs[4] = {0, 1, 2, 3};
    int piece = 0;
    MPI_Bcast(&value, 1, MPI_INT, 0, MPI_COMM_WORLD);
    MPI_Bcast(&value, 1, MPI_INT, 0, MPI_COMM_WORLD);
    MPI_Reduce(&rank, &sum, 1, MPI_INT, MPI_SUM, 1, MPI_COMM_WORLD);
    MPI_Scatter(all, 1, MPI_INT, &piece, 1, MPI_INT, 0, MPI_COMM_WORLD);
    MPI_Scatterv(all, counts, displs, MPI_INT, &piece, 1, MPI_INT, 2, MPI_COMM_WORLD);
    MPI_Gather(&rank, 1, MPI_INT, all, 1, MPI_INT, 3, MPI_COMM_WORLD);
    MPI_Gatherv(&rank, 1, MPI_INT, all, counts, displs, MPI_INT, 0, MPI_COMM_WORLD);
    MPI_Barrier(MPI_COMM_WORLD);
    MPI_Allreduce(&rank, &sum, 1, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
}

static MPI_Comm communicators(void) {
    MPI_Comm dup, half, cart, row, leak;
    int value = rank, dims[2] = {2, 2}, periods[2] = {0, 0}, remain[2] = {0, 1};
    int halfRank;

    MPI_Comm_dup(MPI_COMM_WORLD, &dup);
    if (rank == 0) MPI_Send(&value, 1, MPI_INT, 1, 50, dup);
    /* the only message on dup: safe to take with both wildcards */
    if (rank == 1)
        MPI_Recv(&value, 1, MPI_INT, MPI_ANY_SOURCE, MPI_ANY_TAG, dup, MPI_STATUS_IGNORE);
    MPI_Comm_free(&dup);

    MPI_Comm_split(MPI_COMM_WORLD, rank % 2, rank, &half);
    MPI_Bcast(&value, 1, MPI_INT, 0, half);
    MPI_Comm_rank(half, &halfRank);
    if (halfRank == 0)
        MPI_Send(&value, 1, MPI_INT, 1, 60, half);
    else
        MPI_Recv(&value, 1, MPI_INT, 0, 60, half, MPI_STATUS_IGNORE);
    MPI_Comm_free(&half);

    MPI_Cart_create(MPI_COMM_WORLD, 2, dims, periods, 0, &cart);
    MPI_Cart_sub(cart, remain, &row);
    MPI_Bcast(&value, 1, MPI_INT, 1, row);
    MPI_Comm_free(&row);
    MPI_Comm_free(&cart);

    /* planted: created and never freed */
    MPI_Comm_dup(MPI_COMM_WORLD, &leak);
    return leak;
}

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "normal";
    int i;
    MPI_Init(&argc, &argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    left = (rank + size - 1) % size;
    right = (rank + 1) % size;

    SECTION_BEGIN("exchange");
    pointToPoint();
    SECTION_END();
    for (i = 0; i < 5; ++i) {
#ifdef ZLV_INSTRUMENTED
        ZLV_COUNT();
#endif
    }

    if (strcmp(mode, "abort") == 0 || strcmp(mode, "leave") == 0) {
        int value;
        const int quitter = strcmp(mode, "abort") == 0 ? 1 : 0;
        MPI_Barrier(MPI_COMM_WORLD); /* everyone is through the exchange */
        if (rank == quitter) {
            /* Give the others time to block in MPI_Recv even on a loaded machine. */
            sleep(1);
            if (quitter == 1) MPI_Abort(MPI_COMM_WORLD, 3);
            return 0; /* leaves without MPI_Finalize */
        }
        MPI_Recv(&value, 1, MPI_INT, quitter, 99, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        return 1; /* not reached: the job is torn down first */
    }

    collectives();
    (void)communicators();
    MPI_Finalize();
    return 0;
}
