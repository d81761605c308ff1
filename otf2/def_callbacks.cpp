#include "otf2/def_callbacks.h"

#include <otf2/OTF2_DefReaderCallbacks.h>
#include <otf2/OTF2_GlobalDefReaderCallbacks.h>

namespace otf2in {
namespace {

// Strings are defined before use in well-formed archives; names defined
// later (or never) read as empty text.
struct DefState {
    Definitions& defs;
    std::unordered_map<uint32_t, std::string> strings;

    std::string text(OTF2_StringRef ref) const {
        auto it = strings.find(ref);
        return it == strings.end() ? std::string() : it->second;
    }
};

DefState& state(void* userData) {
    return *static_cast<DefState*>(userData);
}

// Every name of the archive ends up in one-line texts (check lines, tables,
// messages): a control character, a line break above all, becomes '?'.
std::string printable(const char* text) {
    std::string s = text ? text : "";
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return s;
}

OTF2_CallbackCode onString(void* u, OTF2_StringRef self, const char* text) {
    state(u).strings[self] = printable(text);
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onClock(void* u, uint64_t resolution, uint64_t globalOffset, uint64_t, uint64_t) {
    state(u).defs.timerResolution = resolution;
    state(u).defs.globalOffset = globalOffset;
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onSystemTreeNode(void* u, OTF2_SystemTreeNodeRef self, OTF2_StringRef name,
                                   OTF2_StringRef className, OTF2_SystemTreeNodeRef parent) {
    DefState& s = state(u);
    s.defs.systemTreeNodes[self] = {s.text(name), s.text(className), parent};
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onLocationGroup(void* u, OTF2_LocationGroupRef self, OTF2_StringRef name,
                                  OTF2_LocationGroupType type, OTF2_SystemTreeNodeRef parent,
                                  OTF2_LocationGroupRef) {
    DefState& s = state(u);
    s.defs.locationGroups[self] = {s.text(name), type, parent};
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onLocation(void* u, OTF2_LocationRef self, OTF2_StringRef name,
                             OTF2_LocationType type, uint64_t events, OTF2_LocationGroupRef group) {
    DefState& s = state(u);
    s.defs.locations.push_back({self, s.text(name), type, events, group});
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onRegion(void* u, OTF2_RegionRef self, OTF2_StringRef name, OTF2_StringRef,
                           OTF2_StringRef, OTF2_RegionRole, OTF2_Paradigm paradigm, OTF2_RegionFlag,
                           OTF2_StringRef sourceFile, uint32_t beginLine, uint32_t) {
    DefState& s = state(u);
    s.defs.regions[self] = {s.text(name), s.text(sourceFile), beginLine, paradigm};
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onGroup(void* u, OTF2_GroupRef self, OTF2_StringRef name, OTF2_GroupType type,
                          OTF2_Paradigm paradigm, OTF2_GroupFlag, uint32_t count,
                          const uint64_t* members) {
    DefState& s = state(u);
    Group g{s.text(name), type, paradigm, {}};
    if (members) g.members.assign(members, members + count);
    s.defs.groups[self] = std::move(g);
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onComm(void* u, OTF2_CommRef self, OTF2_StringRef name, OTF2_GroupRef group,
                         OTF2_CommRef parent, OTF2_CommFlag) {
    DefState& s = state(u);
    if (s.defs.comms.emplace(self, Comm{s.text(name), group, parent}).second)
        s.defs.commOrder.push_back(self);
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onMetricMember(void* u, OTF2_MetricMemberRef self, OTF2_StringRef name,
                                 OTF2_StringRef, OTF2_MetricType, OTF2_MetricMode, OTF2_Type,
                                 OTF2_Base, int64_t, OTF2_StringRef unit) {
    DefState& s = state(u);
    s.defs.metricMembers[self] = {s.text(name), s.text(unit)};
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onMetricClass(void* u, OTF2_MetricRef self, uint8_t count,
                                const OTF2_MetricMemberRef* members, OTF2_MetricOccurrence,
                                OTF2_RecorderKind) {
    Metric m;
    if (members) m.members.assign(members, members + count);
    state(u).defs.metrics[self] = std::move(m);
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onMetricInstance(void* u, OTF2_MetricRef self, OTF2_MetricRef metricClass,
                                   OTF2_LocationRef, OTF2_MetricScope, uint64_t) {
    Definitions& defs = state(u).defs;
    auto it = defs.metrics.find(metricClass);
    if (it != defs.metrics.end()) defs.metrics[self] = Metric{it->second.members};
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onAttribute(void* u, OTF2_AttributeRef self, OTF2_StringRef name, OTF2_StringRef,
                              OTF2_Type type) {
    DefState& s = state(u);
    s.defs.attributes[self] = {s.text(name), type};
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onSourceLocation(void* u, OTF2_SourceCodeLocationRef, OTF2_StringRef file,
                                   uint32_t line) {
    DefState& s = state(u);
    s.defs.sourceLocations.push_back({s.text(file), line});
    return OTF2_CALLBACK_SUCCESS;
}

OTF2_CallbackCode onClockOffset(void* u, OTF2_TimeStamp time, int64_t offset, double) {
    static_cast<std::vector<ClockOffset>*>(u)->push_back({time, offset});
    return OTF2_CALLBACK_SUCCESS;
}

} // namespace

OTF2_ErrorCode readLocalDefinitions(OTF2_Reader* reader, OTF2_DefReader* defReader,
                                    std::vector<ClockOffset>& offsets) {
    OTF2_DefReaderCallbacks* cb = OTF2_DefReaderCallbacks_New();
    OTF2_DefReaderCallbacks_SetClockOffsetCallback(cb, onClockOffset);
    OTF2_ErrorCode status = OTF2_Reader_RegisterDefCallbacks(reader, defReader, cb, &offsets);
    OTF2_DefReaderCallbacks_Delete(cb);
    uint64_t read = 0;
    if (status == OTF2_SUCCESS)
        status = OTF2_Reader_ReadAllLocalDefinitions(reader, defReader, &read);
    return status;
}

OTF2_ErrorCode readGlobalDefinitions(OTF2_Reader* reader, Definitions& defs, uint64_t& read) {
    OTF2_GlobalDefReader* defReader = OTF2_Reader_GetGlobalDefReader(reader);
    if (!defReader) return OTF2_ERROR_INVALID_ARGUMENT;
    OTF2_GlobalDefReaderCallbacks* cb = OTF2_GlobalDefReaderCallbacks_New();
    OTF2_GlobalDefReaderCallbacks_SetStringCallback(cb, onString);
    OTF2_GlobalDefReaderCallbacks_SetClockPropertiesCallback(cb, onClock);
    OTF2_GlobalDefReaderCallbacks_SetSystemTreeNodeCallback(cb, onSystemTreeNode);
    OTF2_GlobalDefReaderCallbacks_SetLocationGroupCallback(cb, onLocationGroup);
    OTF2_GlobalDefReaderCallbacks_SetLocationCallback(cb, onLocation);
    OTF2_GlobalDefReaderCallbacks_SetRegionCallback(cb, onRegion);
    OTF2_GlobalDefReaderCallbacks_SetGroupCallback(cb, onGroup);
    OTF2_GlobalDefReaderCallbacks_SetCommCallback(cb, onComm);
    OTF2_GlobalDefReaderCallbacks_SetMetricMemberCallback(cb, onMetricMember);
    OTF2_GlobalDefReaderCallbacks_SetMetricClassCallback(cb, onMetricClass);
    OTF2_GlobalDefReaderCallbacks_SetMetricInstanceCallback(cb, onMetricInstance);
    OTF2_GlobalDefReaderCallbacks_SetAttributeCallback(cb, onAttribute);
    OTF2_GlobalDefReaderCallbacks_SetSourceCodeLocationCallback(cb, onSourceLocation);
    DefState s{defs, {}};
    OTF2_ErrorCode status = OTF2_Reader_RegisterGlobalDefCallbacks(reader, defReader, cb, &s);
    OTF2_GlobalDefReaderCallbacks_Delete(cb);
    read = 0;
    if (status == OTF2_SUCCESS)
        status = OTF2_Reader_ReadAllGlobalDefinitions(reader, defReader, &read);
    OTF2_Reader_CloseGlobalDefReader(reader, defReader);
    return status;
}

} // namespace otf2in
