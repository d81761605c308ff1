#pragma once
// The name of a function identifier for files other programs read: the fixed
// table, then the tracer's table, then the names the trace brought along
// (those of other formats), then "MPI_Unknown_<hex>".

#include <cstdint>
#include <string>

class TTrace;

std::string exportedFuncName(const TTrace& trace, uint32_t funcId);
