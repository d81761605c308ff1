#pragma once
// The global definitions of an OTF2 archive as plain data: what the archive
// reader hands to the importer. References stay the archive's own numbers;
// they are looked up in maps because a hostile archive may use any 32-bit
// value, and a table indexed by them could be made arbitrarily large.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace otf2in {

// The archive's "no reference" value for 32-bit references.
constexpr uint32_t kNoRef = 0xFFFFFFFFu;
constexpr uint64_t kNoLocation = 0xFFFFFFFFFFFFFFFFull;

// Values of the OTF2 enumerations that the importer looks at (fixed by the format).
constexpr uint8_t kLocationGroupProcess = 1;
constexpr uint8_t kLocationCpuThread = 1;
constexpr uint8_t kLocationMetric = 3;
constexpr uint8_t kGroupCommLocations = 2;
constexpr uint8_t kGroupCommGroup = 3;
constexpr uint8_t kGroupCommSelf = 4;
constexpr uint8_t kParadigmMpi = 4;

struct SystemTreeNode {
    std::string name;
    std::string className;
    uint32_t parent = kNoRef;
};

struct LocationGroup {
    std::string name;
    uint8_t type = 0;
    uint32_t systemTreeParent = kNoRef;
};

struct Location {
    uint64_t id = 0;
    std::string name;
    uint8_t type = 0;
    uint64_t events = 0; // as the definition announces them
    uint32_t group = kNoRef;
};

struct Region {
    std::string name;
    std::string sourceFile;
    uint32_t beginLine = 0;
    uint8_t paradigm = 0;
};

struct Group {
    std::string name;
    uint8_t type = 0;
    uint8_t paradigm = 0;
    std::vector<uint64_t> members;
};

struct Comm {
    std::string name;
    uint32_t group = kNoRef;
    uint32_t parent = kNoRef;
};

struct MetricMember {
    std::string name;
    std::string unit;
};

// A metric class, or an instance standing for its class.
struct Metric {
    std::vector<uint32_t> members;
};

struct Attribute {
    std::string name;
    uint8_t type = 0;
};

struct SourceLocation {
    std::string file;
    uint32_t line = 0;
};

struct Definitions {
    // Ticks per second and the tick that is time 0; resolution 0: not given.
    uint64_t timerResolution = 0;
    uint64_t globalOffset = 0;

    std::unordered_map<uint32_t, SystemTreeNode> systemTreeNodes;
    std::unordered_map<uint32_t, LocationGroup> locationGroups;
    std::vector<Location> locations; // in definition order
    std::unordered_map<uint32_t, Region> regions;
    std::unordered_map<uint32_t, Group> groups;
    std::unordered_map<uint32_t, Comm> comms;
    std::vector<uint32_t> commOrder; // comm references in definition order
    std::unordered_map<uint32_t, MetricMember> metricMembers;
    std::unordered_map<uint32_t, Metric> metrics;
    std::unordered_map<uint32_t, Attribute> attributes;
    std::vector<SourceLocation> sourceLocations; // in definition order
};

} // namespace otf2in
