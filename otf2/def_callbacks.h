#pragma once
// The global definition callbacks: fill Definitions from the OTF2 reader.

#include "otf2/archive_defs.h"

#include <otf2/OTF2_Reader.h>

namespace otf2in {

OTF2_ErrorCode readGlobalDefinitions(OTF2_Reader* reader, Definitions& defs);

} // namespace otf2in
