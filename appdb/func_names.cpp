#include "appdb/func_names.h"

#include "format/tracer_calls.h"

#include <span>

TFuncNames::TFuncNames()
    : entries_{{kFuncInit, "MPI_Init"},
               {kFuncFinalize, "MPI_Finalize"},
               {kFuncSend, "MPI_Send"},
               {kFuncRecv, "MPI_Recv"},
               {kFuncIsend, "MPI_Isend"},
               {kFuncIrecv, "MPI_Irecv"},
               {kFuncWait, "MPI_Wait"},
               {kFuncReduce, "MPI_Reduce"},
               {kFuncBcast, "MPI_Bcast"},
               {kFuncScatter, "MPI_Scatter"},
               {kFuncScatterv, "MPI_Scatterv"},
               {kFuncGather, "MPI_Gather"},
               {kFuncGatherv, "MPI_Gatherv"},
               {kFuncCommDup, "MPI_Comm_dup"},
               {kFuncCommSplit, "MPI_Comm_split"},
               {kFuncCartCreate, "MPI_Cart_create"},
               {kFuncCartSub, "MPI_Cart_sub"},
               {kFuncCommFree, "MPI_Comm_free"},
               {kFuncWaitIsend, "MPI_Wait for Isend"},
               {kFuncWaitIrecv, "MPI_Wait for Irecv"}} {
    // The tracer's own identifiers follow, so that every recorded call has a name.
    const std::span<const CallName> tables[] = {kOtherCallNames, kCommCallNames};
    for (std::span<const CallName> table : tables)
        for (const CallName& c : table) entries_.push_back({c.id, c.name});
}

const std::string* TFuncNames::find(uint32_t id) const {
    for (const Entry& e : entries_)
        if (e.id == id) return &e.name;
    return nullptr;
}

const std::string& TFuncNames::funcName(uint32_t id) const {
    static const std::string kUnknown = "Unknown";
    const std::string* name = find(id);
    return name ? *name : kUnknown;
}
