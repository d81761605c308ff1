#pragma once
// Writes an OTF2 archive through the OTF2 library: definitions are collected
// as they are made and written when the archive is closed (a location's
// definition needs its event count); events go straight to the library's
// per-location event writers.
//
//   ArchiveWriter w;
//   w.open("dir", "traces", error);           // dir/traces.otf2, dir/traces/
//   uint64_t loc = w.location("rank 0", w.locationGroup("rank 0", node));
//   OTF2_EvtWriter_Enter(w.events(loc), nullptr, t, region);
//   w.close(error);

#include <otf2/OTF2_EvtWriter.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace otf2out {

class ArchiveWriter {
  public:
    ArchiveWriter();
    ~ArchiveWriter();
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Creates the anchor file dir/name.otf2 with its directory dir/name.
    bool open(const std::string& dir, const std::string& name, std::string& error);
    // Writes every definition and closes the archive; false when the library failed.
    bool close(std::string& error);

    void clock(uint64_t ticksPerSecond, uint64_t globalOffset, uint64_t traceLength);
    uint32_t string(const std::string& text); // the same text gives the same reference
    uint32_t systemTreeNode(const std::string& name, const std::string& className, uint32_t parent);
    uint32_t locationGroup(const std::string& name, uint32_t systemTreeNode);
    // A CPU thread location; references count from 0.
    uint64_t location(const std::string& name, uint32_t locationGroup);
    // paradigm: an OTF2_Paradigm value; sourceFile empty for none.
    uint32_t region(const std::string& name, uint8_t paradigm, const std::string& sourceFile = {},
                    uint32_t line = 0);
    // type: an OTF2_GroupType value; members: locations or ranks, as the type says.
    uint32_t group(const std::string& name, uint8_t type, std::vector<uint64_t> members);
    // A communicator with a reference of the caller's choosing (parent: OTF2_UNDEFINED_COMM).
    void comm(uint32_t ref, const std::string& name, uint32_t group, uint32_t parent);
    uint32_t attribute(const std::string& name, uint8_t type);
    uint32_t metricMember(const std::string& name, const std::string& unit);
    uint32_t metricClass(std::vector<uint32_t> members);
    // A source code location definition (references count from 0).
    void sourceLocation(const std::string& file, uint32_t line);
    // A clock offset of the location, written with its local definitions.
    void clockOffset(uint64_t location, uint64_t time, int64_t offset);

    // The event writer of a location made by location(); nullptr before open.
    OTF2_EvtWriter* events(uint64_t location);

  private:
    struct Defs;
    bool writeLocalDefinitions();
    void writeGlobalDefinitions();

    std::unique_ptr<Defs> defs_;
};

} // namespace otf2out
