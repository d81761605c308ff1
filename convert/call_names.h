#pragma once
// The name of a function identifier for files other programs read: the fixed
// table, then the tracer's table, then "MPI_Unknown_<hex>".

#include <cstdint>
#include <string>

std::string exportedFuncName(uint32_t funcId);
