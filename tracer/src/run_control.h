#pragma once
// What the environment asks of a traced run, and what the tracer says when
// the trace cannot go where it would: plain code, without MPI.

#include <cstdint>
#include <string>

namespace zlvt {

// ZLV_MAX_RECORDS: call records per process before recording stops; 0 (also
// for text that is not a positive number) means no limit.
uint64_t recordLimitFrom(const char* text);

// The directory that holds `path` ("." for a bare name).
std::string directoryOf(const std::string& path);

// One line (without its end) for a trace whose parts directory `partsDir`
// cannot be made or written, errno `err`. `writable` is a directory known to
// be writable, for the advice; empty when none was found.
std::string unwritableTraceLine(const std::string& partsDir, const std::string& baseName, int err,
                                const std::string& writable);

} // namespace zlvt
