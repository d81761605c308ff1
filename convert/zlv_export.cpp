#include "convert/zlv_export.h"

#include "model/trace_document.h"
#include "model/trace_writer.h"

#include <algorithm>
#include <cctype>

namespace {

// Nodes without an IPv4 address (host names of other formats) still need
// distinct identifiers: 0.0.x.y numbered from 1.
uint32_t nodeIdFor(const TProcess& p) {
    if (p.nodeId != 0) return p.nodeId;
    const uint32_t k = p.nodeIndex + 1;
    return nodeIdFromOctets(0, 0, static_cast<uint8_t>(k >> 8), static_cast<uint8_t>(k));
}

std::map<uint32_t, std::string> namesOf(const TNameTable& table, bool skipMain) {
    std::map<uint32_t, std::string> names;
    table.forEachNamed([&](uint32_t id, const std::string& name) {
        if (!(skipMain && id == 0) && !name.empty()) names[id] = databaseName(name);
    });
    return names;
}

// A .zlv trace cannot declare a communicator without a call that makes it.
// On one known from the start, the peer becomes the global rank, which is
// what readers assume for a communicator they do not know.
int32_t peerFor(const TProcess& p, const TFunc& f, uint32_t index) {
    const TComm* c = p.findComm(f.comm, index);
    if (!c || c->freedAt != kNeverFreed || c->id == kWorldComm || c->id == kSelfComm) return f.peer;
    const int32_t global = c->toGlobal(f.peer);
    return global < 0 ? f.peer : global;
}

} // namespace

std::string databaseName(const std::string& name) {
    std::string out = name;
    for (char& c : out)
        if (std::isspace(static_cast<unsigned char>(c))) c = '_';
    return out;
}

bool exportZlv(const TTrace& trace, const std::string& zlvPath, std::string& error) {
    const std::optional<std::string> fdbPath = databaseNameFor(zlvPath);
    if (!fdbPath || *fdbPath == zlvPath) {
        error = "the trace name needs a three-character extension: " + zlvPath;
        return false;
    }
    TraceWriter w;
    if (!w.open(zlvPath)) {
        error = "cannot write " + zlvPath;
        return false;
    }
    std::vector<const TProcess*> procs;
    for (const TProcess& p : trace.processes) procs.push_back(&p);
    std::stable_sort(procs.begin(), procs.end(),
                     [](const TProcess* a, const TProcess* b) { return a->rank < b->rank; });
    for (const TProcess* p : procs) {
        w.declareProcess(p->rank, nodeIdFor(*p));
        // Communicators a call makes, by the index of that call.
        std::map<uint32_t, const TComm*> made;
        for (const TComm& c : p->comms)
            if (c.id != kWorldComm && c.id != kSelfComm && c.freedAt != kNeverFreed)
                made[c.createdAt] = &c;
        for (uint32_t k = 0; k < p->calls.size(); ++k) {
            const TFunc& f = p->calls[k];
            auto m = made.find(k);
            if (f.isSectionMarker()) {
                w.sectionMarker(f.location, f.start);
            } else if ((f.funcId & kFuncMembersBit) && m != made.end()) {
                const std::vector<uint32_t> members(m->second->members.begin(),
                                                    m->second->members.end());
                w.commCall(f.location, f.funcId, f.start, f.end, f.comm, members);
            } else if (f.funcId & kFuncMembersBit) {
                w.commCall(f.location, f.funcId, f.start, f.end, f.comm,
                           {}); // frees, or makes none
            } else {
                w.longCall(f.location, f.funcId, f.start, f.end, f.size, f.msgTag,
                           peerFor(*p, f, k), f.comm);
            }
        }
        for (const TCounter& c : trace.counterList)
            if (c.rank == p->rank) w.counter(c.times, c.location);
    }
    if (!w.close()) {
        error = "writing " + zlvPath + " failed";
        return false;
    }
    const FdbContents names{namesOf(trace.sectionNames, true), namesOf(trace.fileNames, false)};
    if (!saveText(*fdbPath, fdbText(names))) {
        error = "cannot write " + *fdbPath;
        return false;
    }
    return true;
}
