#pragma once
// What the importer derives from an archive's global definitions before it
// reads any event: which location is which rank, the node of every rank, our
// identifier of every communicator with its members as global ranks, what
// every region stands for, and how ticks become microseconds.

#include "otf2/archive_defs.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace otf2in {

struct RankInfo {
    uint64_t location = 0; // the rank's main thread
    std::string node;      // host name
};

struct RegionInfo {
    bool mpi = false;
    uint32_t funcId = 0; // of an MPI region: fixed, tracer or per-trace identifier
    // Of an MPI region whose fixed identifier says "creates" or "frees" a
    // communicator: the per-trace identifier to use when no event says which.
    uint32_t plainFuncId = 0;
    std::string name;
    std::string sourceFile;
    uint32_t line = 0;
};

struct CommInfo {
    uint32_t id = 0;
    std::vector<uint32_t> members; // global ranks; empty for world, self and unknown
    bool predefined = false;       // world or self
};

// Names of MPI functions beyond the fixed and the tracer's tables get an
// identifier from this callback (the model's per-trace name table).
using NameToId = std::function<uint32_t(const std::string& name)>;

class ImportContext {
  public:
    ImportContext(const Definitions& defs, const NameToId& perTraceId);

    const std::vector<RankInfo>& ranks() const { return ranks_; }
    // Locations of ranks beyond their main thread: "rank R: NAME" texts.
    const std::vector<std::string>& otherThreads() const { return otherThreads_; }
    std::optional<uint32_t> rankOf(uint64_t location) const;

    const RegionInfo* region(uint32_t ref) const;
    // Our identifier of an OTF2 communicator; 0 (unknown) for an undefined one.
    const CommInfo* comm(uint32_t ref) const;
    const std::vector<CommInfo>& comms() const { return commList_; }
    // Local rank of a global rank in a communicator; -1 when not a member.
    static int32_t localRank(const CommInfo& comm, uint32_t globalRank);

    // Microseconds since the archive's global offset.
    int64_t micros(uint64_t ticks) const;
    // The attribute our writer puts the call's source location in, if defined.
    std::optional<uint32_t> locationAttribute() const { return locationAttribute_; }
    // Of our own archives: the file names of the source locations, by file identifier.
    const std::vector<std::pair<uint32_t, std::string>>& files() const { return files_; }
    // Problems with the definitions themselves, one line each.
    const std::vector<std::string>& problems() const { return problems_; }

  private:
    void assignRanks(const Definitions& defs);
    void mapComms(const Definitions& defs);
    void mapRegions(const Definitions& defs, const NameToId& perTraceId);

    std::vector<RankInfo> ranks_;
    std::unordered_map<uint64_t, uint32_t> rankOfLocation_;
    std::vector<std::string> otherThreads_;
    std::unordered_map<uint32_t, RegionInfo> regions_;
    std::unordered_map<uint32_t, size_t> commIndex_;
    std::vector<CommInfo> commList_;
    uint64_t resolution_ = 1000000, globalOffset_ = 0;
    std::optional<uint32_t> locationAttribute_;
    std::vector<std::pair<uint32_t, std::string>> files_;
    std::vector<std::string> problems_;
};

// Our archives name a communicator after its identifier: "comm 1000".
constexpr const char* kCommNamePrefix = "comm ";

// The attribute name under which a call's source location (file << 16 | line) travels.
constexpr const char* kLocationAttributeName = "ZLV_SOURCE_LOCATION";

// Fixed, alias or tracer identifier of an MPI function name; 0 when none.
uint32_t knownMpiFuncId(const std::string& name);

} // namespace otf2in
