#include "otf2/import_context.h"

#include "appdb/func_names.h"
#include "format/tracer_calls.h"
#include "model/trace_model.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

namespace otf2in {
namespace {

bool startsWith(const std::string& s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The host a location group ran on: its nearest system tree ancestor of
// class "node", else its direct parent. Bounded walk: a hostile tree may loop.
std::string hostOf(const Definitions& defs, uint32_t node) {
    auto direct = defs.systemTreeNodes.find(node);
    if (direct == defs.systemTreeNodes.end()) return "unknown";
    uint32_t at = node;
    for (size_t steps = 0; steps <= defs.systemTreeNodes.size(); ++steps) {
        auto it = defs.systemTreeNodes.find(at);
        if (it == defs.systemTreeNodes.end()) break;
        if (it->second.className == "node") return it->second.name;
        at = it->second.parent;
    }
    return direct->second.name;
}

} // namespace

uint32_t knownMpiFuncId(const std::string& name) {
    static const std::unordered_map<std::string, uint32_t> ids = [] {
        std::unordered_map<std::string, uint32_t> m;
        const TFuncNames fixed;
        for (const TFuncNames::Entry& e : fixed.entries()) m.emplace(e.name, e.id);
        for (const CallName& c : kOtherCallNames) m.emplace(c.name, c.id);
        // Recorded as our tracer records them.
        m["MPI_Init_thread"] = kFuncInit;
        for (const char* s : {"MPI_Ssend", "MPI_Bsend", "MPI_Rsend"}) m[s] = kFuncSend;
        for (const char* s : {"MPI_Issend", "MPI_Ibsend", "MPI_Irsend"}) m[s] = kFuncIsend;
        return m;
    }();
    auto it = ids.find(name);
    return it == ids.end() ? 0 : it->second;
}

ImportContext::ImportContext(const Definitions& defs, const NameToId& perTraceId) {
    if (defs.timerResolution == 0)
        problems_.push_back("OTF2 archive gives no timer resolution; ticks read as microseconds");
    else
        resolution_ = defs.timerResolution;
    globalOffset_ = defs.globalOffset;
    for (const auto& [ref, a] : defs.attributes)
        if (a.name == kLocationAttributeName) locationAttribute_ = ref;
    // Our archives list the file names as source locations whose line is the file's identifier.
    if (locationAttribute_)
        for (const SourceLocation& s : defs.sourceLocations) files_.push_back({s.line, s.file});
    assignRanks(defs);
    mapComms(defs);
    mapRegions(defs, perTraceId);
}

void ImportContext::assignRanks(const Definitions& defs) {
    std::unordered_map<uint64_t, const Location*> byId;
    for (const Location& l : defs.locations) byId.emplace(l.id, &l);
    std::vector<const Location*> mains;
    // MPI's own list: member k is the location of rank k.
    const Group* commLocations = nullptr;
    uint32_t best = kNoRef;
    for (const auto& [ref, g] : defs.groups)
        if (g.type == kGroupCommLocations && g.paradigm == kParadigmMpi && ref < best)
            best = ref, commLocations = &g;
    if (commLocations) {
        for (uint64_t id : commLocations->members) {
            auto it = byId.find(id);
            if (it == byId.end() || rankOfLocation_.count(id)) {
                problems_.push_back("OTF2 definitions inconsistent: rank " +
                                    std::to_string(mains.size()) + " names location " +
                                    std::to_string(id) + ", which is not one of its own");
                continue;
            }
            rankOfLocation_[id] = static_cast<uint32_t>(mains.size());
            mains.push_back(it->second);
        }
    } else {
        // No MPI list: every process location group is a rank, in definition order.
        std::unordered_set<uint32_t> seen;
        for (const Location& l : defs.locations) {
            auto g = defs.locationGroups.find(l.group);
            const bool process =
                g == defs.locationGroups.end() || g->second.type == kLocationGroupProcess;
            if (!process || l.type == kLocationMetric || !seen.insert(l.group).second) continue;
            rankOfLocation_[l.id] = static_cast<uint32_t>(mains.size());
            mains.push_back(&l);
        }
    }
    std::unordered_map<uint32_t, uint32_t> rankOfGroup;
    for (const Location* l : mains) {
        auto g = defs.locationGroups.find(l->group);
        const uint32_t node = g == defs.locationGroups.end() ? kNoRef : g->second.systemTreeParent;
        rankOfGroup.emplace(l->group, static_cast<uint32_t>(ranks_.size()));
        ranks_.push_back({l->id, hostOf(defs, node)});
    }
    for (const Location& l : defs.locations) {
        if (rankOfLocation_.count(l.id) || l.type == kLocationMetric) continue;
        auto r = rankOfGroup.find(l.group);
        if (r != rankOfGroup.end())
            otherThreads_.push_back("rank " + std::to_string(r->second) + ": " + l.name);
    }
}

void ImportContext::mapComms(const Definitions& defs) {
    const auto worldLike = [&](const Comm& c) {
        auto g = defs.groups.find(c.group);
        if (c.name == "MPI_COMM_WORLD") return true;
        if (c.parent != kNoRef || g == defs.groups.end() || g->second.type != kGroupCommGroup ||
            g->second.members.size() != ranks_.size())
            return false;
        for (size_t k = 0; k < g->second.members.size(); ++k)
            if (g->second.members[k] != k) return false;
        return true;
    };
    const auto selfLike = [&](const Comm& c) {
        auto g = defs.groups.find(c.group);
        return c.name == "MPI_COMM_SELF" ||
               (g != defs.groups.end() && g->second.type == kGroupCommSelf);
    };
    uint32_t spare = 0x80000000u; // identifiers for references that would meet 91 or 92
    bool world = false, self = false;
    for (uint32_t ref : defs.commOrder) {
        const Comm& c = defs.comms.at(ref);
        CommInfo info;
        if (!world && worldLike(c)) {
            info = {kWorldComm, {}, true};
            world = true;
        } else if (!self && selfLike(c)) {
            info = {kSelfComm, {}, true};
            self = true;
        } else {
            info.id = (ref == kWorldComm || ref == kSelfComm) ? spare++ : ref;
            if (locationAttribute_ && startsWith(c.name, kCommNamePrefix))
                info.id = static_cast<uint32_t>(std::strtoul(c.name.c_str() + 5, nullptr, 10));
            auto g = defs.groups.find(c.group);
            if (g != defs.groups.end()) {
                for (uint64_t m : g->second.members) {
                    if (m >= ranks_.size())
                        problems_.push_back("OTF2 definitions inconsistent: communicator " +
                                            std::to_string(ref) + " names rank " +
                                            std::to_string(m) + " of " +
                                            std::to_string(ranks_.size()));
                    info.members.push_back(static_cast<uint32_t>(m));
                }
            }
        }
        commIndex_[ref] = commList_.size();
        commList_.push_back(std::move(info));
    }
}

void ImportContext::mapRegions(const Definitions& defs, const NameToId& perTraceId) {
    for (const auto& [ref, r] : defs.regions) {
        RegionInfo info;
        info.name = r.name;
        info.sourceFile = r.sourceFile;
        info.line = r.beginLine;
        info.mpi = startsWith(r.name, "MPI_");
        if (info.mpi) {
            info.funcId = knownMpiFuncId(r.name);
            if (info.funcId == 0) info.funcId = perTraceId(r.name);
            const bool commCall = (info.funcId & kFuncMembersBit) != 0;
            info.plainFuncId = commCall ? perTraceId(r.name) : info.funcId;
        }
        regions_.emplace(ref, std::move(info));
    }
}

std::optional<uint32_t> ImportContext::rankOf(uint64_t location) const {
    auto it = rankOfLocation_.find(location);
    if (it == rankOfLocation_.end()) return std::nullopt;
    return it->second;
}

const RegionInfo* ImportContext::region(uint32_t ref) const {
    auto it = regions_.find(ref);
    return it == regions_.end() ? nullptr : &it->second;
}

const CommInfo* ImportContext::comm(uint32_t ref) const {
    auto it = commIndex_.find(ref);
    return it == commIndex_.end() ? nullptr : &commList_[it->second];
}

int32_t ImportContext::localRank(const CommInfo& comm, uint32_t globalRank) {
    if (comm.id == kWorldComm) return static_cast<int32_t>(globalRank);
    if (comm.id == kSelfComm) return 0;
    auto it = std::find(comm.members.begin(), comm.members.end(), globalRank);
    return it == comm.members.end() ? -1 : static_cast<int32_t>(it - comm.members.begin());
}

int64_t ImportContext::micros(uint64_t ticks) const {
    const uint64_t since = ticks - globalOffset_; // wraps like the archive's own arithmetic
    if (resolution_ == 1000000) return static_cast<int64_t>(since);
    const __int128 us = static_cast<__int128>(static_cast<int64_t>(since)) * 1000000 / resolution_;
    if (us > INT64_MAX) return INT64_MAX;
    if (us < INT64_MIN) return INT64_MIN;
    return static_cast<int64_t>(us);
}

} // namespace otf2in
