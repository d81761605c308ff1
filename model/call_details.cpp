#include "model/call_details.h"

#include "model/trace_document.h"

#include <iterator>

namespace {

const char* const kLabels[] = {"Function", "Rank", "Node", "Start", "End",
                               "Duration", "Peer", "Tag",  "Size",  "Communicator",
                               "Section",  "File", "Line"};

std::string micros(int64_t t) {
    return std::to_string(t) + " µs";
}

// The section a call belongs to: that of the last marker before it.
uint32_t sectionOf(const TProcess& p, uint32_t index) {
    for (uint32_t k = index + 1; k-- > 0;)
        if (p.calls[k].isSectionMarker()) return p.calls[k].location;
    return 0;
}

std::string peerText(const TProcess& p, uint32_t index, const TFunc& call) {
    std::string text = std::to_string(call.peer);
    const TComm* comm = p.findComm(call.comm, index);
    const int32_t global = comm                      ? comm->toGlobal(call.peer)
                           : call.comm == kWorldComm ? call.peer
                                                     : -1;
    if (global >= 0 && global != call.peer) text += " (rank " + std::to_string(global) + ")";
    return text;
}

// The position in the list of each process, reached from its record.
uint32_t positionOf(const TTrace& trace, const TProcess* p) {
    return static_cast<uint32_t>(p - trace.processes.data());
}

// The sends whose links end at `call`: looked for in the processes of the
// call's peer first, then, when none links to it there, in every process.
void addSenders(const TTrace& trace, const TFunc& call, std::vector<LinkPartner>& out) {
    const auto scan = [&](const TProcess& p) {
        for (const TFunc& f : p.calls)
            for (const TLink& link : f.linkSpan())
                if (link.recv == &call)
                    out.push_back({positionOf(trace, &p), static_cast<int32_t>(p.rank), &f, false});
    };
    const size_t before = out.size();
    const TProcess* peer = trace.processOfRank(call.peer);
    if (peer) scan(*peer);
    if (out.size() != before) return;
    for (const TProcess& p : trace.processes)
        if (&p != peer) scan(p);
}

} // namespace

std::vector<std::string> callDetailLabels() {
    return {std::begin(kLabels), std::end(kLabels)};
}

std::optional<uint32_t> positionOfCall(const TTrace& trace, const TFunc& call) {
    for (uint32_t i = 0; i < trace.processCount(); ++i) {
        const TCallList& calls = trace.processAt(i)->calls;
        if (!calls.empty() && &call >= calls.data() && &call < calls.data() + calls.size())
            return i;
    }
    return std::nullopt;
}

uint32_t callIndexIn(const TTrace& trace, uint32_t position, const TFunc& call) {
    return static_cast<uint32_t>(&call - trace.processAt(position)->calls.data());
}

CallDetails callDetails(const TTrace& trace, uint32_t position, const TFunc& call,
                        bool withPartners) {
    CallDetails d;
    const TProcess* p = trace.processAt(position);
    if (!p) return d;
    const uint32_t index = callIndexIn(trace, position, call);
    const int64_t shift = trace.nodeOffset(p->nodeIndex);
    const int64_t start = wrapAdd(call.start, shift);
    const int64_t end = wrapAdd(call.end, shift);
    std::string function = trace.funcName(call.baseFuncId());
    if (call.funcId & kUnfinishedFlag) function += " (unfinished)";

    const std::string values[] = {
        function,
        std::to_string(p->rank),
        trace.nodeNameAt(position),
        micros(start),
        micros(end),
        micros(wrapSub(end, start)),
        peerText(*p, index, call),
        std::to_string(call.msgTag),
        std::to_string(call.size),
        std::to_string(call.comm),
        trace.sectName(sectionOf(*p, index)),
        trace.fileName(call.location >> 16),
        std::to_string(call.location & 0xFFFF),
    };
    static_assert(std::size(values) == std::size(kLabels));
    for (size_t i = 0; i < std::size(kLabels); ++i) d.fields.push_back({kLabels[i], values[i]});
    if (!withPartners) return d;
    for (const TLink& link : call.linkSpan()) {
        const TProcess* to = trace.processOfRank(static_cast<int32_t>(link.rank));
        if (to && link.recv)
            d.partners.push_back(
                {positionOf(trace, to), static_cast<int32_t>(link.rank), link.recv, true});
    }
    if (call.kind & kKindRecv) addSenders(trace, call, d.partners);
    return d;
}

std::string detailsText(const CallDetails& details) {
    std::string text;
    for (const CallField& f : details.fields) {
        if (!text.empty()) text += "\n";
        text += f.label + ": " + f.value;
    }
    return text;
}
