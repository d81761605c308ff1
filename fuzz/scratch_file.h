#pragma once
// A private temporary directory for the fuzz targets, which hand their bytes
// to readers that only take file names. Removed when the program ends.

#include <cstddef>
#include <cstdint>
#include <string>

// Writes the bytes to `name` inside the scratch directory; returns the full path.
std::string writeScratchFile(const std::string& name, const uint8_t* data, size_t size);

// The full path of `name` inside the scratch directory (created when needed).
std::string scratchPath(const std::string& name);
