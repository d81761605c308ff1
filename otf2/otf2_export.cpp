#include "otf2/otf2_export.h"

#include "convert/call_names.h"
#include "convert/chrome_export.h"
#include "format/tracer_calls.h"
#include "model/trace_document.h"
#include "otf2/archive_writer.h"
#include "otf2/import_context.h"
#include "otf2/otf2_import.h"

#include <otf2/otf2.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <tuple>

namespace otf2out {
namespace {

bool isCollective(uint32_t id) {
    switch (id) {
    case kFuncBcast:
    case kFuncReduce:
    case kFuncScatter:
    case kFuncScatterv:
    case kFuncGather:
    case kFuncGatherv:
        return true;
    default:
        return id >= otherCallId(kOtherBarrier) && id <= otherCallId(kOtherExscan);
    }
}

// Requests posted and not yet completed, by communicator, peer and tag: a
// wait completes the oldest one with its message's address.
using MessageKey = std::tuple<uint32_t, int32_t, uint32_t>;
struct Posted {
    uint64_t request;
    uint32_t size;
};

class ProcessEvents {
  public:
    ProcessEvents(ArchiveWriter& w, OTF2_EvtWriter* ev, uint64_t base, uint32_t locationAttr,
                  std::map<uint32_t, uint32_t>& regions, std::map<uint32_t, uint32_t>& sections,
                  const std::map<uint32_t, uint32_t>& commRefs, const TTrace& trace)
        : w_(w), ev_(ev), base_(base), attr_(locationAttr), regions_(regions), sections_(sections),
          commRefs_(commRefs), trace_(trace) {}

    void section(const TFunc& f) {
        const uint64_t t = ticks(f.start);
        if (open_) OTF2_EvtWriter_Leave(ev_, nullptr, t, *open_);
        open_.reset();
        if (f.location == 0) return;
        auto it = sections_.find(f.location);
        if (it == sections_.end())
            it =
                sections_
                    .emplace(f.location, w_.region(trace_.sectName(f.location), OTF2_PARADIGM_USER))
                    .first;
        open_ = it->second;
        OTF2_EvtWriter_Enter(ev_, nullptr, t, *open_);
    }

    void call(const TFunc& f, bool last) {
        const uint32_t id = f.baseFuncId();
        const uint32_t region = regionOf(id == otherCallId(kOtherCancelledIsend)   ? kFuncIsend
                                         : id == otherCallId(kOtherCancelledIrecv) ? kFuncIrecv
                                                                                   : id);
        const uint64_t t0 = ticks(f.start), t1 = ticks(f.end);
        OTF2_AttributeList* attrs = OTF2_AttributeList_New();
        OTF2_AttributeList_AddUint32(attrs, attr_, f.location);
        OTF2_EvtWriter_Enter(ev_, attrs, t0, region);
        OTF2_AttributeList_Delete(attrs);
        events(f, id, t0, t1);
        // A call the process never returned from stays open, and so does its section.
        leftOpen_ = last && (f.funcId & kUnfinishedFlag);
        if (!leftOpen_) OTF2_EvtWriter_Leave(ev_, nullptr, t1, region);
    }

    void counters(int32_t rank, uint32_t metric, uint64_t at) {
        for (const TCounter& c : countersOf(trace_, static_cast<uint32_t>(rank))) {
            const OTF2_Type types[2] = {OTF2_TYPE_UINT64, OTF2_TYPE_UINT64};
            OTF2_MetricValue values[2];
            values[0].unsigned_int = c.location;
            values[1].unsigned_int = c.times;
            OTF2_EvtWriter_Metric(ev_, nullptr, at, metric, 2, types, values);
        }
    }

    void close(uint64_t at) {
        if (open_ && !leftOpen_) OTF2_EvtWriter_Leave(ev_, nullptr, at, *open_);
        open_.reset();
    }

    uint64_t ticks(int64_t us) const { return static_cast<uint64_t>(us) + base_; }

  private:
    uint32_t regionOf(uint32_t id) {
        auto it = regions_.find(id);
        if (it == regions_.end())
            it = regions_.emplace(id, w_.region(exportedFuncName(trace_, id), OTF2_PARADIGM_MPI))
                     .first;
        return it->second;
    }

    Posted complete(std::map<MessageKey, std::deque<Posted>>& posted, const TFunc& f) {
        auto it = posted.find({f.comm, f.peer, f.msgTag});
        if (it == posted.end() || it->second.empty()) return {nextRequest_++, f.size};
        const Posted p = it->second.front();
        it->second.pop_front();
        return p;
    }

    void events(const TFunc& f, uint32_t id, uint64_t t0, uint64_t t1) {
        const auto peer = static_cast<uint32_t>(f.peer);
        const uint32_t comm = commRefs_.at(f.comm);
        switch (id) {
        case kFuncSend:
            OTF2_EvtWriter_MpiSend(ev_, nullptr, t0, peer, comm, f.msgTag, f.size);
            return;
        case kFuncRecv:
            OTF2_EvtWriter_MpiRecv(ev_, nullptr, t1, peer, comm, f.msgTag, f.size);
            return;
        case kFuncIsend:
            OTF2_EvtWriter_MpiIsend(ev_, nullptr, t0, peer, comm, f.msgTag, f.size, nextRequest_);
            isends_[{f.comm, f.peer, f.msgTag}].push_back({nextRequest_++, f.size});
            return;
        case kFuncIrecv:
            OTF2_EvtWriter_MpiIrecvRequest(ev_, nullptr, t0, nextRequest_);
            irecvs_[{f.comm, f.peer, f.msgTag}].push_back({nextRequest_++, f.size});
            return;
        case kFuncWaitIsend:
            OTF2_EvtWriter_MpiIsendComplete(ev_, nullptr, t1, complete(isends_, f).request);
            return;
        case kFuncWaitIrecv: {
            const Posted p = complete(irecvs_, f);
            OTF2_EvtWriter_MpiIrecv(ev_, nullptr, t1, peer, comm, f.msgTag, p.size, p.request);
            return;
        }
        case kFuncCommFree:
            OTF2_EvtWriter_CommDestroy(ev_, nullptr, t1, comm);
            return;
        default:
            break;
        }
        if (id == otherCallId(kOtherCancelledIsend) || id == otherCallId(kOtherCancelledIrecv)) {
            if (id == otherCallId(kOtherCancelledIsend))
                OTF2_EvtWriter_MpiIsend(ev_, nullptr, t0, peer, comm, f.msgTag, f.size,
                                        nextRequest_);
            else
                OTF2_EvtWriter_MpiIrecvRequest(ev_, nullptr, t0, nextRequest_);
            OTF2_EvtWriter_MpiRequestCancelled(ev_, nullptr, t1, nextRequest_++);
        } else if ((id & kFuncMembersBit) && f.size > 0) {
            OTF2_EvtWriter_CommCreate(ev_, nullptr, t1, comm);
        } else if (isCollective(id)) {
            OTF2_EvtWriter_MpiCollectiveBegin(ev_, nullptr, t0);
            OTF2_EvtWriter_MpiCollectiveEnd(ev_, nullptr, t1, OTF2_COLLECTIVE_OP_BCAST, comm, peer,
                                            f.size, f.size);
        }
    }

    ArchiveWriter& w_;
    OTF2_EvtWriter* ev_;
    uint64_t base_;
    uint32_t attr_;
    std::map<uint32_t, uint32_t>& regions_;
    std::map<uint32_t, uint32_t>& sections_;
    const std::map<uint32_t, uint32_t>& commRefs_;
    const TTrace& trace_;
    std::optional<uint32_t> open_; // the section region entered last
    std::map<MessageKey, std::deque<Posted>> isends_, irecvs_;
    uint64_t nextRequest_ = 1;
    bool leftOpen_ = false;
};

// Every communicator of the trace with the members its first holder gives,
// and every identifier a call names, known or not. References are dense, as
// the format expects; our identifier travels in the name.
std::map<uint32_t, uint32_t>
defineComms(ArchiveWriter& w, const std::vector<const TProcess*>& procs, uint32_t nRanks) {
    std::map<uint32_t, std::vector<uint64_t>> members;
    for (const TProcess* p : procs) {
        for (const TComm& c : p->comms)
            if (c.id != kWorldComm && c.id != kSelfComm && !members.count(c.id))
                members[c.id].assign(c.members.begin(), c.members.end());
        for (const TFunc& f : p->calls)
            if (!f.isSectionMarker() && f.comm != kWorldComm && f.comm != kSelfComm)
                members[f.comm];
    }
    std::vector<uint64_t> world(nRanks);
    for (uint32_t r = 0; r < nRanks; ++r) world[r] = r;
    std::map<uint32_t, uint32_t> refs = {{kWorldComm, 0}, {kSelfComm, 1}};
    w.comm(0, "MPI_COMM_WORLD", w.group("", OTF2_GROUP_TYPE_COMM_GROUP, world),
           OTF2_UNDEFINED_COMM);
    w.comm(1, "MPI_COMM_SELF", w.group("", OTF2_GROUP_TYPE_COMM_SELF, {}), OTF2_UNDEFINED_COMM);
    for (auto& [id, list] : members) {
        const auto ref = static_cast<uint32_t>(refs.size());
        refs[id] = ref;
        w.comm(ref, otf2in::kCommNamePrefix + std::to_string(id),
               w.group("", OTF2_GROUP_TYPE_COMM_GROUP, std::move(list)), 0);
    }
    return refs;
}

} // namespace

bool exportArchive(const TTrace& trace, const std::string& anchorPath, std::string& error) {
    const std::filesystem::path anchor(anchorPath);
    if (anchor.extension() != ".otf2") {
        error = "the OTF2 anchor file name must end in .otf2: " + anchorPath;
        return false;
    }
    const std::filesystem::path dir = anchor.parent_path().empty() ? "." : anchor.parent_path();
    const std::string name = anchor.stem().string();
    std::error_code ec;
    if (std::filesystem::exists(dir / name, ec) || std::filesystem::exists(anchor, ec)) {
        error = "will not overwrite the existing archive " + anchorPath;
        return false;
    }
    std::vector<const TProcess*> procs;
    for (const TProcess& p : trace.processes) procs.push_back(&p);
    std::stable_sort(procs.begin(), procs.end(),
                     [](const TProcess* a, const TProcess* b) { return a->rank < b->rank; });

    int64_t minRaw = 0;
    for (const TProcess* p : procs)
        for (const TFunc& f : p->calls) minRaw = std::min({minRaw, f.start, f.end});
    const uint64_t base = static_cast<uint64_t>(0) - static_cast<uint64_t>(minRaw);

    ArchiveWriter w;
    if (!w.open(dir.string(), name, error)) return false;
    w.clock(1000000, base, 0);
    const uint32_t attr = w.attribute(otf2in::kLocationAttributeName, OTF2_TYPE_UINT32);
    const uint32_t counterMetric =
        w.metricClass({w.metricMember(otf2in::kCounterLocationMetric, ""),
                       w.metricMember(otf2in::kCounterTimesMetric, "#")});
    const uint32_t machine =
        w.systemTreeNode("machine", "machine", OTF2_UNDEFINED_SYSTEM_TREE_NODE);
    std::map<uint32_t, uint32_t> nodes; // node index -> system tree node
    std::vector<uint64_t> locations;
    for (const TProcess* p : procs) {
        if (!nodes.count(p->nodeIndex))
            nodes[p->nodeIndex] = w.systemTreeNode(nodeNameOf(trace.nodes, *p), "node", machine);
        const std::string rank = "MPI Rank " + std::to_string(p->rank);
        locations.push_back(
            w.location("Master thread", w.locationGroup(rank, nodes[p->nodeIndex])));
    }
    w.group("", OTF2_GROUP_TYPE_COMM_LOCATIONS, locations);
    const std::map<uint32_t, uint32_t> commRefs =
        defineComms(w, procs, static_cast<uint32_t>(procs.size()));
    trace.fileNames.forEachNamed(
        [&](uint32_t id, const std::string& file) { w.sourceLocation(file, id); });

    std::map<uint32_t, uint32_t> regions, sections;
    for (size_t i = 0; i < procs.size(); ++i) {
        const TProcess& p = *procs[i];
        ProcessEvents events(w, w.events(locations[i]), base, attr, regions, sections, commRefs,
                             trace);
        uint64_t last = 0;
        for (size_t k = 0; k < p.calls.size(); ++k) {
            const TFunc& f = p.calls[k];
            if (f.isSectionMarker())
                events.section(f);
            else
                events.call(f, k + 1 == p.calls.size());
            last = std::max({last, events.ticks(f.start), events.ticks(f.end)});
        }
        events.counters(static_cast<int32_t>(p.rank), counterMetric, last);
        events.close(last);
    }
    return w.close(error);
}

} // namespace otf2out
