/* An MPI program with the shapes real programs have and the tracer once got
 * wrong, for the tracer tests. Run with 4 processes, linked with the tracer.
 * Modes:
 *   normal  communicators made by MPI_Comm_create and other calls the trace
 *           format does not name, collectives on MPI_COMM_SELF, matched probes,
 *           an MPI_Comm_free made from inside MPI_Comm_free, polling, sends
 *           whose requests may share a handle
 *   pause   rank 0 pauses recording around a few calls (zlv_pause/zlv_resume) */
#include <mpi.h>

#include "zlv_trace.h"

#include <string.h>

static int rank, size;

/* Rank 1 sends to rank 3 on a communicator of ranks 1 to 3 (local 0 to 2). */
static void onCommCreate(void) {
    MPI_Group world, upper;
    MPI_Comm sub;
    const int members[3] = {1, 2, 3};
    int value = rank;
    MPI_Comm_group(MPI_COMM_WORLD, &world);
    MPI_Group_incl(world, 3, members, &upper);
    MPI_Comm_create(MPI_COMM_WORLD, upper, &sub);
    if (sub != MPI_COMM_NULL) {
        int subRank;
        MPI_Comm_rank(sub, &subRank);
        MPI_Bcast(&value, 1, MPI_INT, 1, sub); /* root: global rank 2 */
        if (subRank == 0) MPI_Send(&value, 1, MPI_INT, 2, 80, sub);
        if (subRank == 2) MPI_Recv(&value, 1, MPI_INT, 0, 80, sub, MPI_STATUS_IGNORE);
        MPI_Comm_free(&sub);
    }
    MPI_Group_free(&upper);
    MPI_Group_free(&world);
}

/* Communicators of the other making calls, each used by one collective. */
static void onOtherMadeComms(void) {
    MPI_Comm shared, early, graph, half, inter, merged;
    MPI_Request request;
    int value = rank, sum = 0, next = (rank + 1) % size, prev = (rank + size - 1) % size, one = 1;
    MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, rank, MPI_INFO_NULL, &shared);
    MPI_Allreduce(&value, &sum, 1, MPI_INT, MPI_SUM, shared);
    MPI_Comm_free(&shared);

    MPI_Comm_idup(MPI_COMM_WORLD, &early, &request);
    MPI_Wait(&request, MPI_STATUS_IGNORE);
    MPI_Bcast(&value, 1, MPI_INT, 3, early);
    MPI_Comm_free(&early);

    MPI_Dist_graph_create_adjacent(MPI_COMM_WORLD, 1, &prev, &one, 1, &next, &one, MPI_INFO_NULL, 0,
                                   &graph);
    MPI_Sendrecv(&value, 1, MPI_INT, next, 81, &sum, 1, MPI_INT, prev, 81, graph,
                 MPI_STATUS_IGNORE);
    MPI_Comm_free(&graph);

    /* halves 0,1 and 2,3 joined by an intercommunicator, then merged */
    MPI_Comm_split(MPI_COMM_WORLD, rank / 2, rank, &half);
    MPI_Intercomm_create(half, 0, MPI_COMM_WORLD, rank < 2 ? 2 : 0, 82, &inter);
    MPI_Intercomm_merge(inter, rank >= 2, &merged);
    MPI_Reduce(&value, &sum, 1, MPI_INT, MPI_SUM, 0, merged);
    MPI_Comm_free(&merged);
    MPI_Comm_free(&inter);
    MPI_Comm_free(&half);
}

/* The making calls of whole-world communicators left, each used by one collective. */
static void onWorldCopies(void) {
    MPI_Group world;
    MPI_Comm grouped, graph, dist, copy;
    const int index[4] = {1, 2, 3, 4}, edges[4] = {1, 2, 3, 0};
    int value = rank, sum = 0, next = (rank + 1) % size, one = 1;
    MPI_Comm_group(MPI_COMM_WORLD, &world);
    MPI_Comm_create_group(MPI_COMM_WORLD, world, 83, &grouped);
    MPI_Bcast(&value, 1, MPI_INT, 2, grouped);
    MPI_Comm_free(&grouped);
    MPI_Group_free(&world);

    MPI_Graph_create(MPI_COMM_WORLD, 4, index, edges, 0, &graph);
    MPI_Reduce(&value, &sum, 1, MPI_INT, MPI_SUM, 1, graph);
    MPI_Comm_free(&graph);

    MPI_Dist_graph_create(MPI_COMM_WORLD, 1, &rank, &one, &next, &one, MPI_INFO_NULL, 0, &dist);
    MPI_Allreduce(&value, &sum, 1, MPI_INT, MPI_SUM, dist);
    MPI_Comm_free(&dist);

    MPI_Comm_dup_with_info(MPI_COMM_WORLD, MPI_INFO_NULL, &copy);
    MPI_Bcast(&value, 1, MPI_INT, 0, copy);
    MPI_Comm_free(&copy);
}

static void onSelf(void) {
    int value = rank, gathered = -1;
    MPI_Gather(&value, 1, MPI_INT, &gathered, 1, MPI_INT, 0, MPI_COMM_SELF);
    MPI_Bcast(&value, 1, MPI_INT, 0, MPI_COMM_SELF);
}

/* Rank 0 sends 8 ints to rank 2, taken by MPI_Mprobe and MPI_Mrecv; rank 3
 * sends 2 ints to rank 1, found by polling MPI_Improbe and taken by MPI_Imrecv. */
static void matchedProbes(void) {
    int data[8] = {0};
    MPI_Message message;
    MPI_Status status;
    if (rank == 0) MPI_Send(data, 8, MPI_INT, 2, 70, MPI_COMM_WORLD);
    if (rank == 2) {
        MPI_Mprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &message, &status);
        MPI_Mrecv(data, 8, MPI_INT, &message, MPI_STATUS_IGNORE);
    }
    if (rank == 3) MPI_Send(data, 2, MPI_INT, 1, 71, MPI_COMM_WORLD);
    if (rank == 1) {
        MPI_Request request;
        int found = 0;
        while (!found)
            MPI_Improbe(3, MPI_ANY_TAG, MPI_COMM_WORLD, &found, &message, MPI_STATUS_IGNORE);
        MPI_Imrecv(data, 8, MPI_INT, &message, &request);
        MPI_Wait(&request, MPI_STATUS_IGNORE);
    }
}

/* Frees the communicator kept in the attribute, as mpi4py's cleanup does. */
static int freeKept(MPI_Comm comm, int key, void* value, void* extra) {
    (void)comm;
    (void)key;
    (void)extra;
    return MPI_Comm_free((MPI_Comm*)value);
}

static MPI_Comm kept;

static void nestedFree(void) {
    MPI_Comm holder;
    int key;
    MPI_Comm_dup(MPI_COMM_WORLD, &holder);
    MPI_Comm_dup(MPI_COMM_WORLD, &kept);
    MPI_Comm_create_keyval(MPI_COMM_NULL_COPY_FN, freeKept, &key, NULL);
    MPI_Comm_set_attr(holder, key, &kept);
    MPI_Comm_free(&holder); /* frees kept from inside */
    MPI_Comm_free_keyval(&key);
}

/* Rank 1 polls MPI_Test 5 times before it lets rank 0 send; rank 2 polls
 * MPI_Iprobe 4 times before it lets rank 3 send. Then each polls until done. */
static void polling(void) {
    int value = rank, flag = 0, i;
    MPI_Request request;
    if (rank == 1) {
        MPI_Irecv(&value, 1, MPI_INT, 0, 72, MPI_COMM_WORLD, &request);
        for (i = 0; i < 5; ++i) MPI_Test(&request, &flag, MPI_STATUS_IGNORE);
        MPI_Send(&value, 1, MPI_INT, 0, 73, MPI_COMM_WORLD);
        while (!flag) MPI_Test(&request, &flag, MPI_STATUS_IGNORE);
    }
    if (rank == 0) {
        MPI_Recv(&value, 1, MPI_INT, 1, 73, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        MPI_Send(&value, 1, MPI_INT, 1, 72, MPI_COMM_WORLD);
    }
    if (rank == 2) {
        for (i = 0; i < 4; ++i) MPI_Iprobe(3, 74, MPI_COMM_WORLD, &flag, MPI_STATUS_IGNORE);
        MPI_Send(&value, 1, MPI_INT, 3, 75, MPI_COMM_WORLD);
        while (!flag) MPI_Iprobe(3, 74, MPI_COMM_WORLD, &flag, MPI_STATUS_IGNORE);
        MPI_Recv(&value, 1, MPI_INT, 3, 74, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    }
    if (rank == 3) {
        MPI_Recv(&value, 1, MPI_INT, 2, 75, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        MPI_Send(&value, 1, MPI_INT, 2, 74, MPI_COMM_WORLD);
    }
}

/* Two small sends completed at once inside MPI_Isend: the library may give
 * both the same request handle. Each wait completes one, in order. */
static void sharedHandles(void) {
    int value = rank, i;
    MPI_Request requests[2];
    if (rank == 0) {
        for (i = 0; i < 2; ++i)
            MPI_Isend(&value, 1, MPI_INT, 1, 90 + i, MPI_COMM_WORLD, &requests[i]);
        for (i = 0; i < 2; ++i) MPI_Wait(&requests[i], MPI_STATUS_IGNORE);
    }
    if (rank == 1)
        for (i = 0; i < 2; ++i)
            MPI_Recv(&value, 1, MPI_INT, 0, 90 + i, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
}

/* Rank 0 pauses over one barrier and a communicator made meanwhile, then
 * records a broadcast on that communicator. */
static void paused(void) {
    MPI_Comm made;
    int value = rank;
    if (rank == 0) zlv_pause();
    MPI_Barrier(MPI_COMM_WORLD);
    MPI_Comm_dup(MPI_COMM_WORLD, &made);
    if (rank == 0) zlv_resume();
    MPI_Bcast(&value, 1, MPI_INT, 0, made);
    MPI_Comm_free(&made);
}

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "normal";
    MPI_Init(&argc, &argv);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &size);
    if (strcmp(mode, "pause") == 0) {
        paused();
    } else {
        onCommCreate();
        onOtherMadeComms();
        onWorldCopies();
        onSelf();
        matchedProbes();
        nestedFree();
        polling();
        sharedHandles();
    }
    MPI_Finalize();
    return 0;
}
