#include "convert/chrome_export.h"

#include "convert/call_names.h"
#include "model/trace_document.h"

#include <algorithm>
#include <climits>
#include <span>
#include <string>
#include <vector>

namespace {

// JSON text of a string, quotes included.
std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

class EventStream {
  public:
    EventStream(std::ostream& out) : out_(out) { out_ << "{\"traceEvents\":[\n"; }
    void event(const std::string& json) {
        if (!first_) out_ << ",\n";
        first_ = false;
        out_ << json;
    }
    bool close() {
        out_ << "\n]}\n";
        return static_cast<bool>(out_.flush());
    }

  private:
    std::ostream& out_;
    bool first_ = true;
};

struct Names {
    const TTrace& trace;
    std::string func(uint32_t id) {
        auto it = std::find_if(cache.begin(), cache.end(), [&](auto& e) { return e.first == id; });
        if (it != cache.end()) return it->second;
        cache.emplace_back(id, quoted(exportedFuncName(trace, id & ~kUnfinishedFlag) +
                                      ((id & kUnfinishedFlag) ? " (unfinished)" : "")));
        return cache.back().second;
    }
    std::vector<std::pair<uint32_t, std::string>> cache;
};

int64_t runStart(const TTrace& trace) {
    int64_t start = INT64_MAX;
    for (const TProcess& p : trace.processes)
        if (!p.calls.empty())
            start = std::min(start, p.calls.front().start + trace.nodeOffset(p.nodeIndex));
    return start == INT64_MAX ? 0 : start;
}

std::string flowEnd(const char* phase, uint64_t id, uint32_t pid, int64_t ts) {
    return std::string("{\"ph\":\"") + phase +
           "\",\"cat\":\"link\",\"name\":\"message\",\"id\":" + std::to_string(id) +
           ",\"pid\":" + std::to_string(pid) + ",\"tid\":0,\"ts\":" + std::to_string(ts) +
           (phase[0] == 'f' ? ",\"bp\":\"e\"}" : "}");
}

} // namespace

std::span<const TCounter> countersOf(const TTrace& trace, uint32_t rank) {
    auto [from, to] =
        std::equal_range(trace.counterList.begin(), trace.counterList.end(), TCounter{rank, 0, 0},
                         [](const TCounter& a, const TCounter& b) { return a.rank < b.rank; });
    return {from, to};
}

bool exportChromeTrace(const TTrace& trace, std::ostream& out) {
    EventStream events(out);
    Names names{trace, {}};
    const int64_t origin = runStart(trace);
    std::vector<int64_t> offsetOfRank; // corrected-time shift of each receiving process
    for (const TProcess& p : trace.processes) {
        if (p.rank >= offsetOfRank.size()) offsetOfRank.resize(p.rank + 1, 0);
        offsetOfRank[p.rank] = trace.nodeOffset(p.nodeIndex) - origin;
    }
    uint64_t flowId = 0;
    for (uint32_t pos = 0; pos < trace.processes.size(); ++pos) {
        const TProcess& p = trace.processes[pos];
        const std::string pid = std::to_string(p.rank);
        events.event("{\"ph\":\"M\",\"name\":\"process_name\",\"pid\":" + pid +
                     ",\"args\":{\"name\":" +
                     quoted("Rank " + pid + " (" + nodeNameOf(trace.nodes, p) + ")") + "}}");
        events.event("{\"ph\":\"M\",\"name\":\"process_sort_index\",\"pid\":" + pid +
                     ",\"args\":{\"sort_index\":" + std::to_string(pos) + "}}");
        const int64_t shift = trace.nodeOffset(p.nodeIndex) - origin;
        uint32_t section = 0;
        int64_t last = 0;
        for (const TFunc& f : p.calls) {
            if (f.isSectionMarker()) {
                section = f.location;
                continue;
            }
            const int64_t ts = f.start + shift;
            last = std::max(last, f.end + shift);
            const uint32_t file = f.location >> 16, line = f.location & 0xFFFF;
            events.event("{\"ph\":\"X\",\"cat\":\"mpi\",\"name\":" + names.func(f.funcId) +
                         ",\"pid\":" + pid + ",\"tid\":0,\"ts\":" + std::to_string(ts) +
                         ",\"dur\":" + std::to_string(std::max<int64_t>(0, f.end - f.start)) +
                         ",\"args\":{\"peer\":" + std::to_string(f.peer) + ",\"tag\":" +
                         std::to_string(f.msgTag) + ",\"size\":" + std::to_string(f.size) +
                         ",\"communicator\":" + std::to_string(f.comm) +
                         ",\"section\":" + quoted(trace.sectName(section)) + ",\"source\":" +
                         quoted(trace.fileName(file) + ":" + std::to_string(line)) + "}}");
            for (const TLink& l : f.linkSpan()) {
                const int64_t recvShift =
                    l.rank < offsetOfRank.size() ? offsetOfRank[l.rank] : shift;
                events.event(flowEnd("s", ++flowId, p.rank, ts));
                // Into the receiving slice, not before the message left.
                const int64_t recvStart = l.recv->start + recvShift,
                              recvEnd = l.recv->end + recvShift;
                events.event(flowEnd("f", flowId, l.rank,
                                     std::clamp(ts, recvStart, std::max(recvStart, recvEnd))));
            }
        }
        for (const TCounter& c : countersOf(trace, p.rank)) {
            const std::string where =
                trace.fileName(c.location >> 16) + ":" + std::to_string(c.location & 0xFFFF);
            events.event("{\"ph\":\"C\",\"name\":" + quoted(where) + ",\"pid\":" + pid +
                         ",\"ts\":" + std::to_string(last) +
                         ",\"args\":{\"times\":" + std::to_string(c.times) + "}}");
        }
    }
    return events.close();
}
