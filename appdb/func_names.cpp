#include "appdb/func_names.h"

TFuncNames::TFuncNames()
    : entries_{{1, "MPI_Init"},
               {2, "MPI_Finalize"},
               {3, "MPI_Send"},
               {4, "MPI_Recv"},
               {8, "MPI_Isend"},
               {9, "MPI_Irecv"},
               {16, "MPI_Wait"},
               {6, "MPI_Reduce"},
               {5, "MPI_Bcast"},
               {11, "MPI_Scatter"},
               {12, "MPI_Scatterv"},
               {13, "MPI_Gather"},
               {14, "MPI_Gatherv"},
               {32, "MPI_Comm_dup"},
               {33, "MPI_Comm_split"},
               {34, "MPI_Cart_create"},
               {35, "MPI_Cart_sub"},
               {36, "MPI_Comm_free"},
               {24, "MPI_Wait for Isend"},
               {25, "MPI_Wait for Irecv"}} {}

const std::string& TFuncNames::funcName(uint32_t id) const {
    static const std::string kUnknown = "Unknown";
    for (const Entry& e : entries_)
        if (e.id == id) return e.name;
    return kUnknown;
}
