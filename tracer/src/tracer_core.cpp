#include "tracer_core.h"

#include "collect.h"
#include "part_merge.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <ifaddrs.h>
#include <map>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace zlvt {

namespace {

// Communicators made by traced calls get 93 + agreed sequence × world size +
// lowest member's global rank: unique in the job and never reused.
constexpr uint64_t kFirstCommId = 93;

struct NameTable {
    std::unordered_map<std::string, uint32_t> ids;
    std::vector<std::string> names{""}; // 0 is taken: address-located file, main section
    size_t emitted = 1;                 // names[0 .. emitted) are in the part file

    uint32_t intern(const std::string& name) {
        auto it = ids.find(name);
        if (it != ids.end()) return it->second;
        const auto id = static_cast<uint32_t>(names.size());
        names.push_back(name);
        ids.emplace(name, id);
        return id;
    }
};

struct State {
    bool initialized = false; // MPI_Init has run through the tracer
    bool active = false;      // recording: between MPI_Init and MPI_Finalize
    bool finished = false;    // MPI_Finalize, MPI_Abort or a signal ended the recording
    bool partUsable = false;
    bool threadShared = false;
    std::mutex lock;
    int rank = 0;
    int size = 1;
    MPI_Group worldGroup = MPI_GROUP_NULL;
    MPI_Comm traceComm = MPI_COMM_NULL;
    uint32_t commSeq = 0;
    std::unordered_map<MPI_Comm, uint32_t> comms;
    std::unordered_map<MPI_Request, RequestInfo> requests;
    std::unordered_map<MPI_Request, std::pair<RequestInfo, MPI_Comm>> persistent;
    NameTable files;
    NameTable sections;
    std::unordered_map<const char*, uint32_t> fileByPointer;
    std::vector<uint32_t> sectionStack;
    std::map<uint32_t, uint64_t> counters;
    TraceFileNames names;
    std::string partPath;
};

// Never destroyed: wrappers may still run while static objects are torn down.
State& st() {
    static State* s = new State;
    return *s;
}

RecordStream g_stream;
thread_local int t_depth = 0;
thread_local const char* t_nextFile = nullptr;
thread_local unsigned t_nextLine = 0;

class SharedLock {
  public:
    SharedLock() : held_(st().threadShared) {
        if (held_) st().lock.lock();
    }
    ~SharedLock() {
        if (held_) st().lock.unlock();
    }

  private:
    bool held_;
};

// --- names and locations

uint32_t fileIdOf(const char* file) {
    SharedLock guard;
    State& s = st();
    auto it = s.fileByPointer.find(file);
    if (it != s.fileByPointer.end()) return it->second;
    uint32_t id = s.files.intern(file);
    if (id > 0xFFFF) id = 0; // beyond 16 bits a file cannot be named
    s.fileByPointer.emplace(file, id);
    return id;
}

uint32_t makeLocation(uint32_t file, unsigned line) {
    return file << 16 | (line & 0xFFFF);
}

// Without a file and line the location is file 0 with the low 16 bits of the
// caller's offset in its executable or library: the same for every process
// and every run of one build.
uint32_t addressLocation(void* address) {
    struct Slot {
        void* address;
        uint32_t location;
    };
    thread_local Slot cache[256] = {};
    const auto a = reinterpret_cast<uintptr_t>(address);
    Slot& slot = cache[(a >> 2) & 255];
    if (slot.address == address && address) return slot.location;
    Dl_info info{};
    uintptr_t offset = a;
    if (dladdr(address, &info) && info.dli_fbase)
        offset = a - reinterpret_cast<uintptr_t>(info.dli_fbase);
    slot = {address, makeLocation(0, static_cast<unsigned>(offset & 0xFFFF))};
    return slot.location;
}

void emitPendingNames() {
    State& s = st();
    if (!g_stream.isOpen()) return;
    for (; s.files.emitted < s.files.names.size(); ++s.files.emitted)
        g_stream.name(kNameTableFiles, static_cast<uint32_t>(s.files.emitted),
                      s.files.names[s.files.emitted]);
    for (; s.sections.emitted < s.sections.names.size(); ++s.sections.emitted)
        g_stream.name(kNameTableSections, static_cast<uint32_t>(s.sections.emitted),
                      s.sections.names[s.sections.emitted]);
}

void emitSectionMarker(uint32_t section) {
    const int64_t t = nowMicros();
    SharedLock guard;
    g_stream.shortCall(section, kFuncSection, t, t);
}

void writeCounters() {
    for (const auto& [location, times] : st().counters)
        g_stream.counter(static_cast<uint32_t>(std::min<uint64_t>(times, 0xFFFFFFFFu)), location);
}

// --- node identity

void nodeAddress(unsigned char out[4]) {
    const unsigned char loopback[4] = {127, 0, 0, 1};
    std::memcpy(out, loopback, 4);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET) continue;
            if ((i->ifa_flags & IFF_LOOPBACK) || !(i->ifa_flags & IFF_UP)) continue;
            const auto* sin = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
            std::memcpy(out, &sin->sin_addr.s_addr, 4); // network order: first number first
            break;
        }
        freeifaddrs(list);
    }
}

std::string traceBaseName() {
    const char* given = std::getenv("ZLV_TRACE");
    if (given && *given) return given;
    return program_invocation_short_name && *program_invocation_short_name
               ? program_invocation_short_name
               : "trace";
}

// --- death by signal

constexpr int kCaughtSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGSEGV,
                                  SIGBUS,  SIGFPE, SIGILL, SIGABRT};
struct sigaction g_oldActions[NSIG];
char g_deathPrefix[64];
size_t g_deathPrefixLength = 0;
char g_deathNote[512];
size_t g_deathNoteLength = 0;

void writeAll(const char* text, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(2, text, n);
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

void onDeadlySignal(int sig) {
    State& s = st();
    if (s.active && g_stream.isOpen()) {
        s.active = false;
        s.finished = true;
        // Interrupted while writing a record: what is written stays as it is.
        if (!g_stream.busy()) {
            g_stream.keepTentative(nowMicros());
            emitPendingNames();
            writeCounters();
        }
        // Formatted by hand: printf is not safe in a signal handler.
        char number[12];
        size_t digits = 0;
        for (int v = sig; v > 0 && digits < sizeof number; v /= 10)
            number[sizeof number - 1 - digits++] = static_cast<char>('0' + v % 10);
        writeAll(g_deathPrefix, g_deathPrefixLength);
        writeAll(number + sizeof number - digits, digits);
        writeAll(g_deathNote, g_deathNoteLength);
    }
    // The handler that was there before (the MPI library's or the default)
    // takes over when this one returns.
    sigaction(sig, &g_oldActions[sig], nullptr);
    raise(sig);
}

void installSignalHandlers() {
    State& s = st();
    auto length = [](size_t capacity, int n) {
        return n > 0 ? std::min<size_t>(static_cast<size_t>(n), capacity - 1) : 0;
    };
    g_deathPrefixLength =
        length(sizeof g_deathPrefix, std::snprintf(g_deathPrefix, sizeof g_deathPrefix,
                                                   "zlvtrace: rank %d stopped by signal ", s.rank));
    g_deathNoteLength = length(
        sizeof g_deathNote,
        std::snprintf(g_deathNote, sizeof g_deathNote,
                      "; its records are in %s; after the job has ended, join the parts with: "
                      "zlv-merge %s\n",
                      s.partPath.c_str(), s.names.partsDir.c_str()));
    for (int sig : kCaughtSignals) {
        struct sigaction act {};
        act.sa_handler = onDeadlySignal;
        sigemptyset(&act.sa_mask);
        act.sa_flags = 0;
        sigaction(sig, &act, &g_oldActions[sig]);
    }
}

void restoreSignalHandlers() {
    for (int sig : kCaughtSignals) sigaction(sig, &g_oldActions[sig], nullptr);
}

// A program that leaves without MPI_Finalize still leaves its part behind.
__attribute__((destructor)) void flushAtExit() {
    State& s = st();
    if (!s.active || !g_stream.isOpen()) return;
    s.active = false;
    s.finished = true;
    emitPendingNames();
    writeCounters();
    g_stream.close();
    std::fprintf(stderr,
                 "zlvtrace: rank %d ended without MPI_Finalize; its records are in %s; join the "
                 "parts with: zlv-merge %s\n",
                 s.rank, s.partPath.c_str(), s.names.partsDir.c_str());
}

} // namespace

int64_t nowMicros() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000000 + ts.tv_nsec / 1000;
}

bool tracingActive() {
    return st().active;
}

// --- Call

Call::Call(void* returnAddress, bool beforeInit) {
    if (t_depth++ > 0) return;
    const char* file = t_nextFile;
    t_nextFile = nullptr;
    if (!(st().active || (beforeInit && !st().initialized))) return;
    on_ = true;
    location = file ? makeLocation(fileIdOf(file), t_nextLine) : addressLocation(returnAddress);
    start = nowMicros();
}

Call::~Call() {
    // A call that ended without a record (a test that completed nothing)
    // leaves no trace of having run.
    if (on_ && !st().threadShared && g_stream.hasTentative()) g_stream.dropTentative();
    --t_depth;
}

// With several threads in MPI at once there is no single call in flight.
void Call::running(uint32_t func) {
    if (!st().active || st().threadShared) return;
    emitPendingNames();
    g_stream.tentativeShort(location, func, start);
}

void Call::running(uint32_t func, uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    if (!st().active || st().threadShared) return;
    emitPendingNames();
    g_stream.tentativeLong(location, func, start, size, msgTag, peer, comm);
}

int64_t Call::finish() {
    return nowMicros();
}

void Call::shortRecord(uint32_t func, int64_t end) const {
    if (!st().active) return;
    SharedLock guard;
    emitPendingNames();
    g_stream.shortCall(location, func, start, end);
}

size_t Call::longRecord(uint32_t func, int64_t end, uint32_t size, uint32_t msgTag, int32_t peer,
                        uint32_t comm) const {
    if (!st().active) return 0;
    SharedLock guard;
    emitPendingNames();
    return g_stream.longCall(location, func, start, end, size, msgTag, peer, comm);
}

void Call::commRecord(uint32_t func, int64_t end, uint32_t comm,
                      const std::vector<uint32_t>& members) const {
    if (!st().active) return;
    SharedLock guard;
    emitPendingNames();
    g_stream.commCall(location, func, start, end, comm, members.data(), members.size());
}

// --- communicators

uint32_t commId(MPI_Comm comm) {
    if (comm == MPI_COMM_WORLD) return kWorldComm;
    if (comm == MPI_COMM_SELF) return kSelfComm;
    if (comm == MPI_COMM_NULL) return 0;
    SharedLock guard;
    auto it = st().comms.find(comm);
    return it == st().comms.end() ? 0 : it->second;
}

namespace {

MPI_Group peerGroupOf(MPI_Comm comm) {
    MPI_Group group = MPI_GROUP_NULL;
    int inter = 0;
    PMPI_Comm_test_inter(comm, &inter);
    if (inter)
        PMPI_Comm_remote_group(comm, &group);
    else
        PMPI_Comm_group(comm, &group);
    return group;
}

int32_t toWorld(MPI_Group group, int rank) {
    int world = MPI_UNDEFINED;
    if (group == MPI_GROUP_NULL ||
        PMPI_Group_translate_ranks(group, 1, &rank, st().worldGroup, &world) != MPI_SUCCESS ||
        world == MPI_UNDEFINED)
        return rank;
    return world;
}

} // namespace

int32_t recordedPeer(MPI_Comm comm, int rank) {
    if (rank < 0 || comm == MPI_COMM_NULL || commId(comm) != 0) return rank;
    MPI_Group group = peerGroupOf(comm);
    const int32_t world = toWorld(group, rank);
    if (group != MPI_GROUP_NULL) PMPI_Group_free(&group);
    return world;
}

uint32_t trackNewComm(MPI_Comm comm, std::vector<uint32_t>& members) {
    members.clear();
    if (comm == MPI_COMM_NULL) return 0;
    int inter = 0;
    PMPI_Comm_test_inter(comm, &inter);
    if (inter) return 0;
    MPI_Group group;
    PMPI_Comm_group(comm, &group);
    int n = 0;
    PMPI_Group_size(group, &n);
    std::vector<int> local(static_cast<size_t>(n)), world(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) local[static_cast<size_t>(i)] = i;
    PMPI_Group_translate_ranks(group, n, local.data(), st().worldGroup, world.data());
    PMPI_Group_free(&group);
    members.assign(world.begin(), world.end());

    State& s = st();
    uint32_t seq = s.commSeq;
    PMPI_Allreduce(MPI_IN_PLACE, &seq, 1, MPI_UINT32_T, MPI_MAX, comm);
    const uint32_t leader = members.empty() ? 0 : *std::min_element(members.begin(), members.end());
    const auto id = static_cast<uint32_t>(kFirstCommId +
                                          uint64_t{seq} * static_cast<uint64_t>(s.size) + leader);
    SharedLock guard;
    s.commSeq = seq + 1;
    s.comms[comm] = id;
    return id;
}

void forgetComm(MPI_Comm comm) {
    SharedLock guard;
    st().comms.erase(comm);
}

int localRank(MPI_Comm comm) {
    int r = -1;
    if (comm != MPI_COMM_NULL) PMPI_Comm_rank(comm, &r);
    return r;
}

int commSize(MPI_Comm comm) {
    int n = 0;
    if (comm != MPI_COMM_NULL) PMPI_Comm_size(comm, &n);
    return n;
}

// --- sizes

uint32_t bytesOf(int count, MPI_Datatype type) {
    if (count <= 0 || type == MPI_DATATYPE_NULL) return 0;
    int typeSize = 0;
    if (PMPI_Type_size(type, &typeSize) != MPI_SUCCESS || typeSize <= 0) return 0;
    return static_cast<uint32_t>(
        std::min<uint64_t>(uint64_t(count) * uint64_t(typeSize), 0xFFFFFFFFu));
}

uint32_t bytesReceived(const MPI_Status& status, uint32_t fallback) {
    int count = MPI_UNDEFINED;
    if (PMPI_Get_count(&status, MPI_BYTE, &count) != MPI_SUCCESS || count == MPI_UNDEFINED ||
        count < 0)
        return fallback;
    return static_cast<uint32_t>(count);
}

// --- requests

void trackRequest(MPI_Request request, const RequestInfo& info) {
    if (request == MPI_REQUEST_NULL) return;
    SharedLock guard;
    st().requests[request] = info;
}

bool takeRequest(MPI_Request request, RequestInfo& info) {
    if (request == MPI_REQUEST_NULL) return false;
    SharedLock guard;
    auto it = st().requests.find(request);
    if (it == st().requests.end()) return false;
    info = it->second;
    st().requests.erase(it);
    return true;
}

void trackPersistent(MPI_Request request, const RequestInfo& info, MPI_Comm comm) {
    if (request == MPI_REQUEST_NULL) return;
    SharedLock guard;
    st().persistent[request] = {info, comm};
}

bool startPersistent(MPI_Request request, RequestInfo& info) {
    MPI_Comm comm;
    {
        SharedLock guard;
        auto it = st().persistent.find(request);
        if (it == st().persistent.end()) return false;
        info = it->second.first;
        comm = it->second.second;
    }
    info.peerGroup = info.isSend ? MPI_GROUP_NULL : untrackedPeerGroup(comm);
    return true;
}

void forgetPersistent(MPI_Request request) {
    SharedLock guard;
    st().persistent.erase(request);
}

namespace {

void rewriteRequestRecord(const RequestInfo& info, uint32_t func, uint32_t size, uint32_t msgTag,
                          int32_t peer) {
    if (info.record == 0 || !st().active) return;
    SharedLock guard;
    g_stream.rewriteLong(info.record, func, size, msgTag, peer);
}

} // namespace

void recordCompletion(const Call& call, int64_t end, const RequestInfo& info,
                      const MPI_Status& status) {
    // A cancelled request moved no message: its wait is a plain MPI_Wait, and
    // its posting call no longer counts as a send or receive.
    int cancelled = 0;
    PMPI_Test_cancelled(&status, &cancelled);
    if (cancelled) {
        rewriteRequestRecord(info,
                             otherCallId(info.isSend ? kOtherCancelledIsend : kOtherCancelledIrecv),
                             info.size, info.msgTag, info.peer);
        call.shortRecord(kFuncWait, end);
        return;
    }
    if (info.isSend) {
        call.longRecord(kFuncWaitIsend, end, info.size, info.msgTag, info.peer, info.comm);
        return;
    }
    // The source as the status tells it, in the same terms as a posted peer.
    int32_t source = status.MPI_SOURCE;
    if (info.peerGroup != MPI_GROUP_NULL) source = toWorld(info.peerGroup, source);
    const auto tag = static_cast<uint32_t>(status.MPI_TAG);
    const uint32_t size = bytesReceived(status, info.size);
    // The posted receive counts as a receive from its actual sender; a posted
    // source or tag that was not a wildcard stays as it was given.
    rewriteRequestRecord(info, kFuncIrecv, size,
                         info.msgTag == static_cast<uint32_t>(MPI_ANY_TAG) ? tag : info.msgTag,
                         info.peer == MPI_ANY_SOURCE ? source : info.peer);
    call.longRecord(kFuncWaitIrecv, end, size, tag, source, info.comm);
}

void releaseRequestInfo(RequestInfo& info) {
    if (info.peerGroup != MPI_GROUP_NULL) PMPI_Group_free(&info.peerGroup);
}

MPI_Group untrackedPeerGroup(MPI_Comm comm) {
    if (comm == MPI_COMM_NULL || commId(comm) != 0) return MPI_GROUP_NULL;
    return peerGroupOf(comm);
}

// --- run life cycle

void startTracing(const Call& initCall, int64_t initEnd, int threadLevel) {
    State& s = st();
    s.initialized = true;
    s.threadShared = threadLevel == MPI_THREAD_MULTIPLE;
    PMPI_Comm_rank(MPI_COMM_WORLD, &s.rank);
    PMPI_Comm_size(MPI_COMM_WORLD, &s.size);
    PMPI_Comm_group(MPI_COMM_WORLD, &s.worldGroup);
    PMPI_Comm_dup(MPI_COMM_WORLD, &s.traceComm);

    // Parts of an earlier run left in the same directory are told apart by this key.
    uint64_t runKey = 0;
    if (s.rank == 0) {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        runKey =
            (uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec)) ^ (uint64_t(getpid()) << 40);
    }
    PMPI_Bcast(&runKey, 1, MPI_UINT64_T, 0, s.traceComm);

    s.names = traceFileNames(traceBaseName());
    if (::mkdir(s.names.partsDir.c_str(), 0777) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "zlvtrace: cannot make %s: %s\n", s.names.partsDir.c_str(),
                     std::strerror(errno));
    }
    s.partPath = partFileName(s.names.partsDir, static_cast<uint32_t>(s.rank));
    PartHeader header{static_cast<uint32_t>(s.rank), static_cast<uint32_t>(s.size), runKey};
    if (!g_stream.open(s.partPath, header)) {
        std::fprintf(stderr, "zlvtrace: cannot write %s: rank %d is not traced\n",
                     s.partPath.c_str(), s.rank);
        return;
    }
    s.partUsable = true;
    unsigned char address[4];
    nodeAddress(address);
    g_stream.declaration(static_cast<uint32_t>(s.rank), address);
    s.active = true;
    initCall.shortRecord(kFuncInit, initEnd);
    if (!s.sectionStack.empty()) emitSectionMarker(s.sectionStack.back());
    installSignalHandlers();
}

void finishTracing(Call& finalizeCall) {
    State& s = st();
    if (!s.initialized || s.traceComm == MPI_COMM_NULL) return;
    const bool recording = s.active;
    finalizeCall.running(kFuncFinalize);
    PMPI_Barrier(s.traceComm);
    const int64_t end = finalizeCall.finish();
    if (recording) {
        finalizeCall.shortRecord(kFuncFinalize, end);
        SharedLock guard;
        s.active = false;
        s.finished = true;
        writeCounters();
        g_stream.close();
        // What was written before the failure is still a readable part.
        if (g_stream.failed())
            std::fprintf(stderr,
                         "zlvtrace: rank %d: writing %s failed; its records may end early\n",
                         s.rank, s.partPath.c_str());
    }
    restoreSignalHandlers();
    collectTrace(s.traceComm, s.names, s.partPath, s.partUsable);
    PMPI_Comm_free(&s.traceComm);
    if (s.worldGroup != MPI_GROUP_NULL) PMPI_Group_free(&s.worldGroup);
}

void abortTracing(const Call& abortCall) {
    State& s = st();
    if (!s.active) return;
    abortCall.shortRecord(otherCallId(kOtherAbort) | kUnfinishedFlag, nowMicros());
    SharedLock guard;
    s.active = false;
    s.finished = true;
    writeCounters();
    g_stream.close();
    std::fprintf(stderr,
                 "zlvtrace: rank %d called MPI_Abort; its records are in %s; after the job has "
                 "ended, join the parts with: zlv-merge %s\n",
                 s.rank, s.partPath.c_str(), s.names.partsDir.c_str());
}

// --- the C API

void beginSection(const char* name) {
    State& s = st();
    if (s.finished) return;
    uint32_t id;
    {
        SharedLock guard;
        id = s.sections.intern(name ? name : "");
        s.sectionStack.push_back(id);
    }
    if (s.active) {
        SharedLock guard;
        emitPendingNames();
    }
    if (s.active) emitSectionMarker(id);
}

void endSection() {
    State& s = st();
    if (s.finished) return;
    uint32_t back = 0;
    {
        SharedLock guard;
        if (s.sectionStack.empty()) return;
        s.sectionStack.pop_back();
        back = s.sectionStack.empty() ? 0 : s.sectionStack.back();
    }
    if (s.active) emitSectionMarker(back);
}

void addCount(const char* file, unsigned line, void* returnAddress, unsigned times) {
    State& s = st();
    if (s.finished) return;
    const uint32_t location =
        file ? makeLocation(fileIdOf(file), line) : addressLocation(returnAddress);
    SharedLock guard;
    s.counters[location] += times;
}

void setNextLocation(const char* file, unsigned line) {
    t_nextFile = file;
    t_nextLine = line;
}

} // namespace zlvt
