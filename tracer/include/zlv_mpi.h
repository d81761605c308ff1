/* Include this header instead of <mpi.h> (after it is fine too) to have every
 * traced MPI call carry the file and line it was made from. Without it the
 * tracer locates a call by its return address only. Link with -lzlvtrace. */
#ifndef ZLV_MPI_H
#define ZLV_MPI_H

#include <mpi.h>

#include "zlv_trace.h"

#define MPI_Init(...) (zlv_here(__FILE__, __LINE__), MPI_Init(__VA_ARGS__))
#define MPI_Init_thread(...) (zlv_here(__FILE__, __LINE__), MPI_Init_thread(__VA_ARGS__))
#define MPI_Finalize(...) (zlv_here(__FILE__, __LINE__), MPI_Finalize(__VA_ARGS__))
#define MPI_Abort(...) (zlv_here(__FILE__, __LINE__), MPI_Abort(__VA_ARGS__))
#define MPI_Send(...) (zlv_here(__FILE__, __LINE__), MPI_Send(__VA_ARGS__))
#define MPI_Ssend(...) (zlv_here(__FILE__, __LINE__), MPI_Ssend(__VA_ARGS__))
#define MPI_Bsend(...) (zlv_here(__FILE__, __LINE__), MPI_Bsend(__VA_ARGS__))
#define MPI_Rsend(...) (zlv_here(__FILE__, __LINE__), MPI_Rsend(__VA_ARGS__))
#define MPI_Recv(...) (zlv_here(__FILE__, __LINE__), MPI_Recv(__VA_ARGS__))
#define MPI_Isend(...) (zlv_here(__FILE__, __LINE__), MPI_Isend(__VA_ARGS__))
#define MPI_Issend(...) (zlv_here(__FILE__, __LINE__), MPI_Issend(__VA_ARGS__))
#define MPI_Ibsend(...) (zlv_here(__FILE__, __LINE__), MPI_Ibsend(__VA_ARGS__))
#define MPI_Irsend(...) (zlv_here(__FILE__, __LINE__), MPI_Irsend(__VA_ARGS__))
#define MPI_Irecv(...) (zlv_here(__FILE__, __LINE__), MPI_Irecv(__VA_ARGS__))
#define MPI_Sendrecv(...) (zlv_here(__FILE__, __LINE__), MPI_Sendrecv(__VA_ARGS__))
#define MPI_Sendrecv_replace(...) (zlv_here(__FILE__, __LINE__), MPI_Sendrecv_replace(__VA_ARGS__))
#define MPI_Probe(...) (zlv_here(__FILE__, __LINE__), MPI_Probe(__VA_ARGS__))
#define MPI_Iprobe(...) (zlv_here(__FILE__, __LINE__), MPI_Iprobe(__VA_ARGS__))
#define MPI_Mprobe(...) (zlv_here(__FILE__, __LINE__), MPI_Mprobe(__VA_ARGS__))
#define MPI_Improbe(...) (zlv_here(__FILE__, __LINE__), MPI_Improbe(__VA_ARGS__))
#define MPI_Mrecv(...) (zlv_here(__FILE__, __LINE__), MPI_Mrecv(__VA_ARGS__))
#define MPI_Imrecv(...) (zlv_here(__FILE__, __LINE__), MPI_Imrecv(__VA_ARGS__))
#define MPI_Wait(...) (zlv_here(__FILE__, __LINE__), MPI_Wait(__VA_ARGS__))
#define MPI_Waitall(...) (zlv_here(__FILE__, __LINE__), MPI_Waitall(__VA_ARGS__))
#define MPI_Waitany(...) (zlv_here(__FILE__, __LINE__), MPI_Waitany(__VA_ARGS__))
#define MPI_Waitsome(...) (zlv_here(__FILE__, __LINE__), MPI_Waitsome(__VA_ARGS__))
#define MPI_Test(...) (zlv_here(__FILE__, __LINE__), MPI_Test(__VA_ARGS__))
#define MPI_Testall(...) (zlv_here(__FILE__, __LINE__), MPI_Testall(__VA_ARGS__))
#define MPI_Testany(...) (zlv_here(__FILE__, __LINE__), MPI_Testany(__VA_ARGS__))
#define MPI_Testsome(...) (zlv_here(__FILE__, __LINE__), MPI_Testsome(__VA_ARGS__))
#define MPI_Request_free(...) (zlv_here(__FILE__, __LINE__), MPI_Request_free(__VA_ARGS__))
#define MPI_Bcast(...) (zlv_here(__FILE__, __LINE__), MPI_Bcast(__VA_ARGS__))
#define MPI_Reduce(...) (zlv_here(__FILE__, __LINE__), MPI_Reduce(__VA_ARGS__))
#define MPI_Scatter(...) (zlv_here(__FILE__, __LINE__), MPI_Scatter(__VA_ARGS__))
#define MPI_Scatterv(...) (zlv_here(__FILE__, __LINE__), MPI_Scatterv(__VA_ARGS__))
#define MPI_Gather(...) (zlv_here(__FILE__, __LINE__), MPI_Gather(__VA_ARGS__))
#define MPI_Gatherv(...) (zlv_here(__FILE__, __LINE__), MPI_Gatherv(__VA_ARGS__))
#define MPI_Barrier(...) (zlv_here(__FILE__, __LINE__), MPI_Barrier(__VA_ARGS__))
#define MPI_Allreduce(...) (zlv_here(__FILE__, __LINE__), MPI_Allreduce(__VA_ARGS__))
#define MPI_Allgather(...) (zlv_here(__FILE__, __LINE__), MPI_Allgather(__VA_ARGS__))
#define MPI_Allgatherv(...) (zlv_here(__FILE__, __LINE__), MPI_Allgatherv(__VA_ARGS__))
#define MPI_Alltoall(...) (zlv_here(__FILE__, __LINE__), MPI_Alltoall(__VA_ARGS__))
#define MPI_Alltoallv(...) (zlv_here(__FILE__, __LINE__), MPI_Alltoallv(__VA_ARGS__))
#define MPI_Alltoallw(...) (zlv_here(__FILE__, __LINE__), MPI_Alltoallw(__VA_ARGS__))
#define MPI_Reduce_scatter(...) (zlv_here(__FILE__, __LINE__), MPI_Reduce_scatter(__VA_ARGS__))
#define MPI_Reduce_scatter_block(...)                                                              \
    (zlv_here(__FILE__, __LINE__), MPI_Reduce_scatter_block(__VA_ARGS__))
#define MPI_Scan(...) (zlv_here(__FILE__, __LINE__), MPI_Scan(__VA_ARGS__))
#define MPI_Exscan(...) (zlv_here(__FILE__, __LINE__), MPI_Exscan(__VA_ARGS__))
#define MPI_Comm_dup(...) (zlv_here(__FILE__, __LINE__), MPI_Comm_dup(__VA_ARGS__))
#define MPI_Comm_split(...) (zlv_here(__FILE__, __LINE__), MPI_Comm_split(__VA_ARGS__))
#define MPI_Comm_split_type(...) (zlv_here(__FILE__, __LINE__), MPI_Comm_split_type(__VA_ARGS__))
#define MPI_Comm_create(...) (zlv_here(__FILE__, __LINE__), MPI_Comm_create(__VA_ARGS__))
#define MPI_Cart_create(...) (zlv_here(__FILE__, __LINE__), MPI_Cart_create(__VA_ARGS__))
#define MPI_Cart_sub(...) (zlv_here(__FILE__, __LINE__), MPI_Cart_sub(__VA_ARGS__))
#define MPI_Comm_dup_with_info(...)                                                                \
    (zlv_here(__FILE__, __LINE__), MPI_Comm_dup_with_info(__VA_ARGS__))
#define MPI_Comm_create_group(...)                                                                 \
    (zlv_here(__FILE__, __LINE__), MPI_Comm_create_group(__VA_ARGS__))
#define MPI_Comm_idup(...) (zlv_here(__FILE__, __LINE__), MPI_Comm_idup(__VA_ARGS__))
#define MPI_Graph_create(...) (zlv_here(__FILE__, __LINE__), MPI_Graph_create(__VA_ARGS__))
#define MPI_Dist_graph_create(...)                                                                 \
    (zlv_here(__FILE__, __LINE__), MPI_Dist_graph_create(__VA_ARGS__))
#define MPI_Dist_graph_create_adjacent(...)                                                        \
    (zlv_here(__FILE__, __LINE__), MPI_Dist_graph_create_adjacent(__VA_ARGS__))
#define MPI_Intercomm_merge(...) (zlv_here(__FILE__, __LINE__), MPI_Intercomm_merge(__VA_ARGS__))
#define MPI_Comm_free(...) (zlv_here(__FILE__, __LINE__), MPI_Comm_free(__VA_ARGS__))
#define MPI_Send_init(...) (zlv_here(__FILE__, __LINE__), MPI_Send_init(__VA_ARGS__))
#define MPI_Ssend_init(...) (zlv_here(__FILE__, __LINE__), MPI_Ssend_init(__VA_ARGS__))
#define MPI_Bsend_init(...) (zlv_here(__FILE__, __LINE__), MPI_Bsend_init(__VA_ARGS__))
#define MPI_Rsend_init(...) (zlv_here(__FILE__, __LINE__), MPI_Rsend_init(__VA_ARGS__))
#define MPI_Recv_init(...) (zlv_here(__FILE__, __LINE__), MPI_Recv_init(__VA_ARGS__))
#define MPI_Start(...) (zlv_here(__FILE__, __LINE__), MPI_Start(__VA_ARGS__))
#define MPI_Startall(...) (zlv_here(__FILE__, __LINE__), MPI_Startall(__VA_ARGS__))

#endif
