#pragma once
// The definition callbacks: fill Definitions from the OTF2 reader, and list
// the clock offsets of one location.

#include "otf2/archive_defs.h"

#include <otf2/OTF2_Reader.h>

#include <vector>

namespace otf2in {

// `read`: the definitions read, whether a callback took them or not.
OTF2_ErrorCode readGlobalDefinitions(OTF2_Reader* reader, Definitions& defs, uint64_t& read);

// An offset to the global clock, measured at `time` (ticks of the location's clock).
struct ClockOffset {
    uint64_t time = 0;
    int64_t offset = 0;
};

// Reads the local definitions of a location, whose mapping tables and clock
// offsets the library keeps for its events; the offsets also go to `offsets`.
OTF2_ErrorCode readLocalDefinitions(OTF2_Reader* reader, OTF2_DefReader* defReader,
                                    std::vector<ClockOffset>& offsets);

} // namespace otf2in
