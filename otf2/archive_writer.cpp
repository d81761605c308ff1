#include "otf2/archive_writer.h"

#include "otf2/library_errors.h"

#include <otf2/otf2.h>

#include <cstdarg>
#include <cstdio>
#include <unordered_map>

namespace otf2out {
namespace {

OTF2_FlushType preFlush(void*, OTF2_FileType, OTF2_LocationRef, void*, bool) {
    return OTF2_FLUSH;
}

OTF2_FlushCallbacks flushCallbacks = {preFlush, nullptr};

struct NodeDef {
    uint32_t name, className, parent;
};
struct GroupDef {
    uint32_t name;
    uint8_t type;
    std::vector<uint64_t> members;
};
struct CommDef {
    uint32_t ref, name, group, parent;
};
struct RegionDef {
    uint32_t name, file, line;
    uint8_t paradigm;
};
struct LocationDef {
    uint32_t name, group;
};
struct ClockOffsetDef {
    uint64_t location, time;
    int64_t offset;
};

} // namespace

struct ArchiveWriter::Defs {
    OTF2_Archive* archive = nullptr;
    OTF2_ErrorCallback previous = nullptr;
    uint64_t resolution = 1000000, globalOffset = 0, length = 0;
    std::vector<std::string> strings;
    std::unordered_map<std::string, uint32_t> stringRefs;
    std::vector<NodeDef> nodes;
    std::vector<std::pair<uint32_t, uint32_t>> locationGroups; // name, node
    std::vector<LocationDef> locations;
    std::vector<OTF2_EvtWriter*> writers;
    std::vector<uint64_t> eventCounts;
    std::vector<RegionDef> regions;
    std::vector<GroupDef> groups;
    std::vector<CommDef> comms;
    std::vector<std::pair<uint32_t, uint8_t>> attributes;
    std::vector<std::pair<uint32_t, uint32_t>> metricMembers; // name, unit
    std::vector<std::vector<uint32_t>> metricClasses;
    std::vector<ClockOffsetDef> clockOffsets;
    std::vector<std::pair<uint32_t, uint32_t>> sourceLocations; // file, line
};

ArchiveWriter::ArchiveWriter() : defs_(std::make_unique<Defs>()) {
    defs_->previous = OTF2_Error_RegisterCallback(otf2lib::onError, nullptr);
}

ArchiveWriter::~ArchiveWriter() {
    std::string ignored;
    if (defs_->archive) close(ignored);
    OTF2_Error_RegisterCallback(defs_->previous, nullptr);
}

bool ArchiveWriter::open(const std::string& dir, const std::string& name, std::string& error) {
    otf2lib::message().clear();
    defs_->archive =
        OTF2_Archive_Open(dir.c_str(), name.c_str(), OTF2_FILEMODE_WRITE, 1024 * 1024,
                          4 * 1024 * 1024, OTF2_SUBSTRATE_POSIX, OTF2_COMPRESSION_NONE);
    if (!defs_->archive) {
        error = "cannot create OTF2 archive " + dir + "/" + name + ".otf2: " + otf2lib::message();
        return false;
    }
    OTF2_Archive_SetFlushCallbacks(defs_->archive, &flushCallbacks, nullptr);
    OTF2_Archive_SetSerialCollectiveCallbacks(defs_->archive);
    if (OTF2_Archive_OpenEvtFiles(defs_->archive) != OTF2_SUCCESS) {
        error =
            "cannot create the OTF2 event files of " + dir + "/" + name + ": " + otf2lib::message();
        OTF2_Archive_Close(defs_->archive);
        defs_->archive = nullptr;
        return false;
    }
    string(""); // reference 0: the empty text, for absent names
    return true;
}

void ArchiveWriter::clock(uint64_t ticksPerSecond, uint64_t globalOffset, uint64_t traceLength) {
    defs_->resolution = ticksPerSecond;
    defs_->globalOffset = globalOffset;
    defs_->length = traceLength;
}

uint32_t ArchiveWriter::string(const std::string& text) {
    auto [it, fresh] = defs_->stringRefs.emplace(text, defs_->strings.size());
    if (fresh) defs_->strings.push_back(text);
    return it->second;
}

uint32_t ArchiveWriter::systemTreeNode(const std::string& name, const std::string& className,
                                       uint32_t parent) {
    defs_->nodes.push_back({string(name), string(className), parent});
    return static_cast<uint32_t>(defs_->nodes.size() - 1);
}

uint32_t ArchiveWriter::locationGroup(const std::string& name, uint32_t systemTreeNode) {
    defs_->locationGroups.push_back({string(name), systemTreeNode});
    return static_cast<uint32_t>(defs_->locationGroups.size() - 1);
}

uint64_t ArchiveWriter::location(const std::string& name, uint32_t locationGroup) {
    defs_->locations.push_back({string(name), locationGroup});
    defs_->writers.push_back(nullptr);
    return defs_->locations.size() - 1;
}

uint32_t ArchiveWriter::region(const std::string& name, uint8_t paradigm,
                               const std::string& sourceFile, uint32_t line) {
    defs_->regions.push_back({string(name), string(sourceFile), line, paradigm});
    return static_cast<uint32_t>(defs_->regions.size() - 1);
}

uint32_t ArchiveWriter::group(const std::string& name, uint8_t type,
                              std::vector<uint64_t> members) {
    defs_->groups.push_back({string(name), type, std::move(members)});
    return static_cast<uint32_t>(defs_->groups.size() - 1);
}

void ArchiveWriter::comm(uint32_t ref, const std::string& name, uint32_t group, uint32_t parent) {
    defs_->comms.push_back({ref, string(name), group, parent});
}

uint32_t ArchiveWriter::attribute(const std::string& name, uint8_t type) {
    defs_->attributes.push_back({string(name), type});
    return static_cast<uint32_t>(defs_->attributes.size() - 1);
}

uint32_t ArchiveWriter::metricMember(const std::string& name, const std::string& unit) {
    defs_->metricMembers.push_back({string(name), string(unit)});
    return static_cast<uint32_t>(defs_->metricMembers.size() - 1);
}

uint32_t ArchiveWriter::metricClass(std::vector<uint32_t> members) {
    defs_->metricClasses.push_back(std::move(members));
    return static_cast<uint32_t>(defs_->metricClasses.size() - 1);
}

void ArchiveWriter::sourceLocation(const std::string& file, uint32_t line) {
    defs_->sourceLocations.push_back({string(file), line});
}

void ArchiveWriter::clockOffset(uint64_t location, uint64_t time, int64_t offset) {
    defs_->clockOffsets.push_back({location, time, offset});
}

OTF2_EvtWriter* ArchiveWriter::events(uint64_t location) {
    if (!defs_->archive || location >= defs_->writers.size()) return nullptr;
    OTF2_EvtWriter*& w = defs_->writers[location];
    if (!w) w = OTF2_Archive_GetEvtWriter(defs_->archive, location);
    return w;
}

bool ArchiveWriter::writeLocalDefinitions() {
    if (OTF2_Archive_OpenDefFiles(defs_->archive) != OTF2_SUCCESS) return false;
    bool ok = true;
    for (uint64_t loc = 0; loc < defs_->locations.size(); ++loc) {
        OTF2_DefWriter* w = OTF2_Archive_GetDefWriter(defs_->archive, loc);
        if (!w) {
            ok = false;
            continue;
        }
        for (const ClockOffsetDef& c : defs_->clockOffsets)
            if (c.location == loc) OTF2_DefWriter_WriteClockOffset(w, c.time, c.offset, 0.0);
        OTF2_Archive_CloseDefWriter(defs_->archive, w);
    }
    return OTF2_Archive_CloseDefFiles(defs_->archive) == OTF2_SUCCESS && ok;
}

void ArchiveWriter::writeGlobalDefinitions() {
    Defs& d = *defs_;
    OTF2_GlobalDefWriter* g = OTF2_Archive_GetGlobalDefWriter(d.archive);
    if (!g) return;
    OTF2_GlobalDefWriter_WriteClockProperties(g, d.resolution, d.globalOffset, d.length,
                                              OTF2_UNDEFINED_TIMESTAMP);
    for (uint32_t i = 0; i < d.strings.size(); ++i)
        OTF2_GlobalDefWriter_WriteString(g, i, d.strings[i].c_str());
    for (uint32_t i = 0; i < d.attributes.size(); ++i)
        OTF2_GlobalDefWriter_WriteAttribute(g, i, d.attributes[i].first, 0, d.attributes[i].second);
    for (uint32_t i = 0; i < d.nodes.size(); ++i)
        OTF2_GlobalDefWriter_WriteSystemTreeNode(g, i, d.nodes[i].name, d.nodes[i].className,
                                                 d.nodes[i].parent);
    for (uint32_t i = 0; i < d.locationGroups.size(); ++i)
        OTF2_GlobalDefWriter_WriteLocationGroup(
            g, i, d.locationGroups[i].first, OTF2_LOCATION_GROUP_TYPE_PROCESS,
            d.locationGroups[i].second, OTF2_UNDEFINED_LOCATION_GROUP);
    for (uint64_t i = 0; i < d.locations.size(); ++i)
        OTF2_GlobalDefWriter_WriteLocation(g, i, d.locations[i].name, OTF2_LOCATION_TYPE_CPU_THREAD,
                                           d.eventCounts[i], d.locations[i].group);
    for (uint32_t i = 0; i < d.regions.size(); ++i) {
        const RegionDef& r = d.regions[i];
        OTF2_GlobalDefWriter_WriteRegion(g, i, r.name, r.name, 0, OTF2_REGION_ROLE_FUNCTION,
                                         r.paradigm, OTF2_REGION_FLAG_NONE, r.file, r.line, r.line);
    }
    for (uint32_t i = 0; i < d.groups.size(); ++i) {
        const GroupDef& gr = d.groups[i];
        OTF2_GlobalDefWriter_WriteGroup(
            g, i, gr.name, gr.type, OTF2_PARADIGM_MPI, OTF2_GROUP_FLAG_NONE,
            static_cast<uint32_t>(gr.members.size()), gr.members.data());
    }
    for (const CommDef& c : d.comms)
        OTF2_GlobalDefWriter_WriteComm(g, c.ref, c.name, c.group, c.parent, OTF2_COMM_FLAG_NONE);
    for (uint32_t i = 0; i < d.sourceLocations.size(); ++i)
        OTF2_GlobalDefWriter_WriteSourceCodeLocation(g, i, d.sourceLocations[i].first,
                                                     d.sourceLocations[i].second);
    for (uint32_t i = 0; i < d.metricMembers.size(); ++i)
        OTF2_GlobalDefWriter_WriteMetricMember(
            g, i, d.metricMembers[i].first, 0, OTF2_METRIC_TYPE_USER, OTF2_METRIC_ABSOLUTE_POINT,
            OTF2_TYPE_UINT64, OTF2_BASE_DECIMAL, 0, d.metricMembers[i].second);
    for (uint32_t i = 0; i < d.metricClasses.size(); ++i)
        OTF2_GlobalDefWriter_WriteMetricClass(g, i, static_cast<uint8_t>(d.metricClasses[i].size()),
                                              d.metricClasses[i].data(), OTF2_METRIC_ASYNCHRONOUS,
                                              OTF2_RECORDER_KIND_ABSTRACT);
    OTF2_Archive_CloseGlobalDefWriter(d.archive, g);
}

bool ArchiveWriter::close(std::string& error) {
    Defs& d = *defs_;
    if (!d.archive) return false;
    otf2lib::message().clear();
    // Every location needs an event file, even an empty one.
    for (uint64_t i = 0; i < d.locations.size(); ++i) events(i);
    d.eventCounts.assign(d.writers.size(), 0);
    for (size_t i = 0; i < d.writers.size(); ++i) {
        if (!d.writers[i]) continue;
        OTF2_EvtWriter_GetNumberOfEvents(d.writers[i], &d.eventCounts[i]);
        OTF2_Archive_CloseEvtWriter(d.archive, d.writers[i]);
        d.writers[i] = nullptr;
    }
    bool ok = OTF2_Archive_CloseEvtFiles(d.archive) == OTF2_SUCCESS;
    ok = writeLocalDefinitions() && ok;
    writeGlobalDefinitions();
    ok = OTF2_Archive_Close(d.archive) == OTF2_SUCCESS && ok;
    d.archive = nullptr;
    ok = ok && otf2lib::message().empty();
    if (!ok) error = "writing the OTF2 archive failed: " + otf2lib::message();
    return ok;
}

} // namespace otf2out
