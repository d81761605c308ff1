#pragma once
// Writes a loaded trace as an OTF2 archive that the OTF2 tools read and
// that the importer reads back into the same document: one location per
// rank under a system tree node per node, a region per function and per
// section, MPI events inside the call regions (requests paired with their
// waits in call order by communicator, peer and tag), communicators with
// their members, and the counter records as a metric.

#include <string>

class TTrace;

namespace otf2out {

// anchorPath: ".../NAME.otf2"; the archive directory ".../NAME" must not exist.
bool exportArchive(const TTrace& trace, const std::string& anchorPath, std::string& error);

} // namespace otf2out
