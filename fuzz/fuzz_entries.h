#pragma once
// Entry functions of the fuzz targets. Each takes arbitrary bytes, runs one
// part of the program on them and aborts when an invariant breaks. The
// libFuzzer mains and the plain replay driver both call these.

#include <cstddef>
#include <cstdint>

using FuzzEntry = int (*)(const uint8_t* data, size_t size);

// The bytes as a trace file: load, then every accessor, link and clock result.
int fuzzTraceEntry(const uint8_t* data, size_t size);
// The bytes as an application database: load, then name lookups.
int fuzzFdbEntry(const uint8_t* data, size_t size);
// The bytes as an OTF2 archive (see otf2_archive_bytes.h): import, then as `trace`.
int fuzzOtf2Entry(const uint8_t* data, size_t size);
// The bytes as a trace opened in the main window and painted (builds with Qt).
int fuzzDrawEntry(const uint8_t* data, size_t size);
