#include "otf2/document_fill.h"

#include "appdb/fdb_reader.h"
#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"

#include <algorithm>

uint32_t DocumentFill::addNode(std::string, std::optional<uint32_t> ipv4) {
    // A node known by name only still needs an identifier of its own:
    // 0.x.y.z numbered from 1, past any address taken.
    uint32_t id = ipv4.value_or(0);
    while (!ipv4 && (id == 0 || taken_.count(id))) {
        ++synthetic_;
        id = nodeIdFromOctets(0, static_cast<uint8_t>(synthetic_ >> 16),
                              static_cast<uint8_t>(synthetic_ >> 8),
                              static_cast<uint8_t>(synthetic_));
    }
    taken_.insert(id);
    nodeIds_.push_back(id);
    return static_cast<uint32_t>(nodeIds_.size() - 1);
}

DocumentFill::ProcessHandle DocumentFill::declareProcess(int32_t rank, uint32_t nodeIndex,
                                                         uint64_t expectedCalls) {
    const uint32_t nodeId = nodeIndex < nodeIds_.size() ? nodeIds_[nodeIndex] : 0;
    TProcess& p = trace_.processes.emplace_back(nodeIndex, nodeId, static_cast<uint32_t>(rank));
    p.calls.reserve(expectedCalls);
    return static_cast<ProcessHandle>(trace_.processes.size() - 1);
}

void DocumentFill::addKnownComm(ProcessHandle process, uint32_t id,
                                std::span<const uint32_t> globalMembers) {
    TComm comm;
    comm.id = id;
    comm.size = static_cast<uint32_t>(globalMembers.size());
    comm.members = std::vector<uint32_t>(globalMembers.begin(), globalMembers.end());
    comm.freedAt = kNeverFreed;
    trace_.processes[process].addComm(std::move(comm));
}

void DocumentFill::addCall(ProcessHandle process, const FillCall& c,
                           std::optional<std::span<const uint32_t>> members) {
    TProcess& p = trace_.processes[process];
    const auto index = static_cast<uint32_t>(p.calls.size());
    if (members && c.funcId == kFuncCommFree) {
        p.freeComm(c.comm, index);
    } else if (members) {
        TComm comm;
        comm.id = c.comm;
        comm.size = static_cast<uint32_t>(members->size());
        comm.members = std::vector<uint32_t>(members->begin(), members->end());
        comm.createdAt = index;
        p.addComm(std::move(comm));
    }
    const TComm* comm = p.findComm(c.comm, index);
    const auto rank = static_cast<int32_t>(p.rank);
    const int32_t me = comm ? comm->toLocal(rank) : rank;
    p.addCall(
        TFunc::make(c.location, c.funcId, c.start, c.end, c.peer, c.comm, c.msgTag, c.size, me));
}

void DocumentFill::addSectionMarker(ProcessHandle process, uint32_t section, int64_t at) {
    addCall(process, {section, kFuncSection, at, at, 0, 0, 0, 0});
}

void DocumentFill::nameSection(uint32_t id, std::string name) {
    if (trace_.sectionNames.empty()) trace_.sectionNames.append(kMainSectionName);
    trace_.sectionNames.set(id, std::move(name));
}

void DocumentFill::nameFile(uint32_t id, std::string name) {
    trace_.fileNames.set(id, std::move(name));
}

void DocumentFill::addCounter(int32_t rank, uint32_t times, uint32_t location) {
    trace_.counterList.push_back({static_cast<uint32_t>(rank), times, location});
}

bool DocumentFill::finish(const LoadProgress& progress) {
    if (trace_.sectionNames.empty()) trace_.sectionNames.append(kMainSectionName);
    std::sort(trace_.counterList.begin(), trace_.counterList.end(),
              [](const TCounter& a, const TCounter& b) {
                  return a.rank != b.rank ? a.rank < b.rank : a.location < b.location;
              });
    ProgressStep linking(&progress, 400, 700);
    buildLinks(trace_, 0, &linking);
    ProgressStep aligning(&progress, 700, 1000);
    const bool aligned = alignClocks(trace_, errors_, 0, &aligning);
    aligning.finish();
    return aligned;
}
