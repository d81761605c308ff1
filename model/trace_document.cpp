#include "model/trace_document.h"

#include "appdb/fdb_reader.h"
#include "appdb/func_names.h"
#include "appdb/node_address.h"
#include "model/trace_loader.h"
#include "model/wrapping_math.h"

#include <algorithm>

std::optional<std::string> databaseNameFor(const std::string& traceName) {
    const size_t dot = traceName.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    if (traceName.size() - dot == 4) return traceName.substr(0, dot) + ".fdb";
    return traceName;
}

TTrace::TTrace(const std::string& fileName, std::ostream& dbMessages, std::ostream& errors,
               const LoadProgress& progress, const LoadCancel* cancel, LoadDepth depth) {
    loaded_ = loadTrace(*this, fileName, errors, progress, cancel, depth);
    if (!loaded_) return;
    const std::optional<std::string> dbName = databaseNameFor(fileName);
    if (!dbName) {
        dbMessages << "Can't find application Db file. No information context avalable"
                   << std::endl;
        return;
    }
    const int result = loadFdb(*dbName);
    if (result == kFdbCantOpen)
        dbMessages << "Can't open file: " << *dbName << ". No information context avalable"
                   << std::endl;
    else if (result == kFdbBadLine || result == kFdbBadEntry)
        dbMessages << "Wrong file format: " << *dbName << ". No information context avalable"
                   << std::endl;
}

int TTrace::loadFdb(const std::string& path) {
    databaseResult_ = ::loadFdb(sectionNames, fileNames, path);
    return *databaseResult_;
}

std::string TTrace::sectName(uint32_t id) const {
    return ::sectName(sectionNames, id);
}
std::string TTrace::fileName(uint32_t id) const {
    return ::fileName(fileNames, id);
}

const std::string& TTrace::funcName(uint32_t id) const {
    static const TFuncNames kFixed;
    if (const std::string* fixed = kFixed.find(id)) return *fixed;
    auto it = functionNames.find(id);
    return it != functionNames.end() ? it->second : kFixed.funcName(id);
}

uint32_t TTrace::nodeCount() const {
    uint32_t count = 0;
    for (const TProcess& p : processes) count = std::max(count, p.nodeIndex + 1);
    return count;
}

int64_t TTrace::nodeOffset(uint32_t nodeIndex) const {
    if (nodeIndex >= nodeClocks.size()) return 0;
    // Sorting moves processes within the list but never changes a node index.
    if (nodeCountFor_ != processes.data() || nodeCountSize_ != processes.size()) {
        nodeCountCache_ = nodeCount();
        nodeCountFor_ = processes.data();
        nodeCountSize_ = processes.size();
    }
    if (nodeIndex >= nodeCountCache_) return 0;
    return nodeClocks[nodeIndex].offset;
}

int64_t TTrace::startTime() {
    bool any = false;
    int64_t best = 0;
    for (TProcess& p : processes) {
        const TFunc* f = p.first();
        if (!f) continue;
        const int64_t t = wrapAdd(f->start, nodeOffset(p.nodeIndex));
        if (!any || t < best) best = t;
        any = true;
    }
    return best;
}

int64_t TTrace::endTime() {
    bool any = false;
    int64_t best = 0;
    for (TProcess& p : processes) {
        const TFunc* f = p.last();
        if (!f) continue;
        const int64_t t = wrapAdd(f->end, nodeOffset(p.nodeIndex));
        if (!any || t > best) best = t;
        any = true;
    }
    return best;
}

const TProcess* TTrace::processOfRank(int32_t rank) const {
    for (const TProcess& p : processes)
        if (static_cast<int32_t>(p.rank) == rank) return &p;
    return nullptr;
}

TProcess* TTrace::processAt(uint32_t position) {
    return position < processes.size() ? &processes[position] : nullptr;
}

const TProcess* TTrace::processAt(uint32_t position) const {
    return position < processes.size() ? &processes[position] : nullptr;
}

int64_t TTrace::processDuration(int32_t rank) const {
    const TProcess* p = processOfRank(rank);
    return p ? p->duration() : 0;
}

int TTrace::processTimes(int32_t rank, int64_t& init, int64_t& finalize, int64_t& send,
                         int64_t& receive) const {
    if (const TProcess* p = processOfRank(rank)) p->times(init, finalize, send, receive);
    return 0;
}

bool TTrace::nodeOfRank(int32_t rank, uint32_t& nodeIndex, uint32_t& nodeId) const {
    const TProcess* p = processOfRank(rank);
    if (!p) return false;
    nodeIndex = p->nodeIndex;
    nodeId = p->nodeId;
    return true;
}

void TTrace::dataSizes(int32_t rank, int32_t peerRank, uint64_t& sent, uint64_t& received,
                       uint32_t section) const {
    if (const TProcess* p = processOfRank(rank)) p->sumDataSize(peerRank, sent, received, section);
}

void TTrace::messageCounts(int32_t rank, int32_t peerRank, uint64_t& sent, uint64_t& received,
                           uint32_t section) const {
    if (const TProcess* p = processOfRank(rank))
        p->countMessages(peerRank, sent, received, section);
}

uint32_t TTrace::openComms(int32_t rank, uint32_t capacity, uint32_t* out) const {
    const TProcess* p = processOfRank(rank);
    return p ? p->openComms(capacity, out) : 0;
}

TFunc* TTrace::firstCall(uint32_t position) {
    TProcess* p = processAt(position);
    return p ? p->first() : nullptr;
}

TFunc* TTrace::nextCall(uint32_t position) {
    TProcess* p = processAt(position);
    return p ? p->next() : nullptr;
}

TFunc* TTrace::lastCall(uint32_t position) {
    TProcess* p = processAt(position);
    return p ? p->last() : nullptr;
}

int64_t TTrace::nodeIndexAt(uint32_t position) const {
    const TProcess* p = processAt(position);
    return p ? int64_t{p->nodeIndex} : -1;
}

int32_t TTrace::rankAt(uint32_t position) const {
    const TProcess* p = processAt(position);
    return p ? static_cast<int32_t>(p->rank) : -1;
}

uint32_t TTrace::nodeIdAt(uint32_t position) const {
    const TProcess* p = processAt(position);
    return p ? p->nodeId : 0;
}

std::string TTrace::nodeNameAt(uint32_t position) const {
    const TProcess* p = processAt(position);
    return p ? nodeNameOf(nodes, *p) : dottedNodeId(0);
}

std::string nodeNameOf(const std::vector<TNode>& nodes, const TProcess& p) {
    return p.nodeIndex < nodes.size() ? nodes[p.nodeIndex].name : dottedNodeId(p.nodeId);
}

// Stable sorts: equal keys keep their order, so results are reproducible.
void TTrace::sortByNode() {
    std::stable_sort(processes.begin(), processes.end(), [](const TProcess& a, const TProcess& b) {
        return a.nodeIndex < b.nodeIndex;
    });
}

void TTrace::sortByRank() {
    std::stable_sort(processes.begin(), processes.end(),
                     [](const TProcess& a, const TProcess& b) { return a.rank < b.rank; });
}
