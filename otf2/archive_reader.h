#pragma once
// Reads an OTF2 archive through the OTF2 library: the global definitions
// first, then the events of one location at a time (the local definitions
// of that location are read before its events, so the library maps local
// references and applies the location's clock offsets).
//
// Failures are results: every call answers false with a one-line message
// and keeps what it delivered.

#include "otf2/archive_defs.h"
#include "otf2/archive_events.h"

#include <memory>
#include <string>

namespace otf2in {

class ArchiveReader {
  public:
    ArchiveReader();
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Opens the anchor file and reads the global definitions.
    bool open(const std::string& anchorPath, std::string& error);
    const Definitions& definitions() const { return defs_; }
    // "major.minor.bugfix" of the archive; empty before open.
    const std::string& version() const { return version_; }

    // Every event of the location, in archive order, to `sink`.
    bool readLocation(uint64_t location, const EventSink& sink, std::string& error);

  private:
    uint64_t announcedEvents(uint64_t location) const;

    struct Library;
    std::unique_ptr<Library> lib_;
    Definitions defs_;
    std::string version_;
};

// True when the path names an OTF2 anchor file (by its extension).
bool isAnchorFile(const std::string& path);

} // namespace otf2in
