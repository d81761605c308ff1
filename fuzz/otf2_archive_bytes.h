#pragma once
// One fuzz input holds a whole OTF2 archive: its files one after the other,
// split by a separator line, in a fixed order: the anchor file, the global
// definitions, then the local definitions and the events of location 0, 1, ...

#include <cstddef>
#include <cstdint>
#include <string>

constexpr const char* kArchivePartSeparator = "\n--zlv-otf2-part--\n";

// The files of the archive whose anchor file is dir/name.otf2, as one input.
std::string packArchive(const std::string& dir, const std::string& name);
// Writes the input's files as dir/traces.otf2 and its directory; returns the anchor's path.
std::string unpackArchive(const uint8_t* data, size_t size, const std::string& dir);
