#pragma once
// At MPI_Finalize: every process sends its part file to rank 0, which joins
// them into the trace and its database in the working directory. Parts are
// removed when the trace was written (unless ZLV_KEEP_PARTS is set).

#include "part_merge.h"

#include <mpi.h>

#include <string>

namespace zlvt {

// Collective over `comm` (a private duplicate of the world communicator).
// Returns true on every process when rank 0 wrote the trace.
bool collectTrace(MPI_Comm comm, const TraceFileNames& names, const std::string& ownPart,
                  bool ownPartUsable);

} // namespace zlvt
