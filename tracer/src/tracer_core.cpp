// Recording: which calls are recorded and how each record reaches the part
// file (through the run of polls in progress, after the call a nested one ran
// in, up to the record limit), and the C API.

#include "tracer_state.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>

namespace zlvt {

State& st() {
    static State* s = new State;
    return *s;
}

RecordStream& stream() {
    static RecordStream* s = new RecordStream;
    return *s;
}

namespace {

thread_local int t_depth = 0;
thread_local const char* t_nextFile = nullptr;
thread_local unsigned t_nextLine = 0;

// One record as a wrapper asks for it: the call's fields as the format
// names them, and the members of a communicator it made.
struct Pending {
    enum Kind { kShort, kLong, kComm } kind = kShort;
    CallRecord call;
    std::vector<uint32_t> members;
};

// Records of calls made inside another traced call: written after that
// call's own, so that start times keep their order in the part file.
thread_local std::vector<Pending> t_deferred;

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
    RecordStream& out = stream();
    if (!out.isOpen()) return;
    for (; s.files.emitted < s.files.names.size(); ++s.files.emitted)
        out.name(kNameTableFiles, static_cast<uint32_t>(s.files.emitted),
                 s.files.names[s.files.emitted]);
    for (; s.sections.emitted < s.sections.names.size(); ++s.sections.emitted)
        out.name(kNameTableSections, static_cast<uint32_t>(s.sections.emitted),
                 s.sections.names[s.sections.emitted]);
}

// --- the record limit

void countRecordLocked(int64_t at) {
    State& s = st();
    if (s.paused || s.cut) return;
    if (++s.callRecords < s.recordLimit || s.recordLimit == 0) return;
    s.cut = true;
    // Visible where it happened: the calls end here, Finalize follows.
    stream().shortCall(0, otherCallId(kOtherRecordingCut), at, at);
    std::fprintf(stderr,
                 "zlvtrace: rank %d stopped recording after %llu call records (ZLV_MAX_RECORDS); "
                 "its trace ends with \"Recording stopped\" and MPI_Finalize\n",
                 s.rank, static_cast<unsigned long long>(s.callRecords));
}

void writePollsLocked() {
    PollRun& polls = st().polls;
    if (!polls.pending()) return;
    const PolledSpan run = polls.take();
    stream().longCall(run.location, run.func, run.start, run.end, run.polls, 0, -1, run.comm);
    countRecordLocked(run.end);
}

bool allowed(Pending::Kind kind) {
    const State& s = st();
    if (!s.active || s.cut) return false;
    return kind == Pending::kComm || !s.paused;
}

size_t writeLocked(const Pending& r) {
    emitPendingNames();
    writePollsLocked();
    if (!allowed(r.kind)) return 0; // the polls reached the limit
    RecordStream& out = stream();
    size_t at = 0;
    const CallRecord& c = r.call;
    switch (r.kind) {
    case Pending::kShort:
        out.shortCall(c.location, c.function, c.start, c.end);
        break;
    case Pending::kLong:
        at = out.longCall(c.location, c.function, c.start, c.end, c.size, c.msgTag, c.peer, c.comm);
        break;
    case Pending::kComm:
        out.commCall(c.location, c.function, c.start, c.end, c.comm, r.members.data(),
                     r.members.size());
        break;
    }
    countRecordLocked(c.end);
    return at;
}

size_t write(const Pending& r) {
    if (!allowed(r.kind)) return 0;
    SharedLock guard;
    return writeLocked(r);
}

// A nested call's record waits for the enclosing call's; returns where a
// long record was written (0 when it waits or was not written).
size_t submit(Pending&& r, bool nested) {
    if (!nested) return write(r);
    t_deferred.push_back(std::move(r));
    return 0;
}

void writeDeferred() {
    // Taken first: writing cannot run a nested call, but stay safe if it did.
    std::vector<Pending> records;
    records.swap(t_deferred);
    for (const Pending& r : records) write(r);
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

Call::Call(void* returnAddress, bool beforeInit, Nesting nesting) {
    const bool outermost = t_depth++ == 0;
    if (!outermost && nesting == kOutermostOnly) return;
    // The location given by zlv_here is the outermost call's.
    const char* file = outermost ? t_nextFile : nullptr;
    if (outermost) t_nextFile = nullptr;
    if (!(st().active || (beforeInit && !st().initialized))) return;
    on_ = true;
    nested_ = !outermost;
    location = file ? makeLocation(fileIdOf(file), t_nextLine) : addressLocation(returnAddress);
    start = nowMicros();
}

Call::~Call() {
    // A call that ended without a record (a test that completed nothing)
    // leaves no trace of having run.
    if (on_ && !nested_ && !st().threadShared && stream().hasTentative()) stream().dropTentative();
    if (--t_depth == 0 && !t_deferred.empty()) writeDeferred();
}

namespace {

// With several threads in MPI at once there is no single call in flight.
bool showsRunning(bool nested) {
    if (nested || !allowed(Pending::kLong) || st().threadShared) return false;
    emitPendingNames();
    writePollsLocked();
    return allowed(Pending::kLong);
}

} // namespace

void Call::running(uint32_t func) {
    if (showsRunning(nested_)) stream().tentativeShort(location, func, start);
}

void Call::running(uint32_t func, uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    if (showsRunning(nested_))
        stream().tentativeLong(location, func, start, size, msgTag, peer, comm);
}

int64_t Call::finish() {
    return nowMicros();
}

void Call::shortRecord(uint32_t func, int64_t end) const {
    submit({Pending::kShort, {location, func, start, end, 0, 0, 0, 0}, {}}, nested_);
}

size_t Call::longRecord(uint32_t func, int64_t end, uint32_t size, uint32_t msgTag, int32_t peer,
                        uint32_t comm) const {
    return submit({Pending::kLong, {location, func, start, end, size, msgTag, peer, comm}, {}},
                  nested_);
}

void Call::commRecord(uint32_t func, int64_t end, uint32_t comm,
                      const std::vector<uint32_t>& members) const {
    submit({Pending::kComm, {location, func, start, end, 0, 0, 0, comm}, members}, nested_);
}

void Call::poll(uint32_t func, int64_t end, uint32_t comm) const {
    if (nested_ || !allowed(Pending::kLong)) return;
    SharedLock guard;
    PollRun& polls = st().polls;
    if (polls.add(func, location, start, end, comm)) {
        writePollsLocked();
        polls.add(func, location, start, end, comm);
    }
    if (polls.full()) writePollsLocked();
}

void Call::lifeCycleRecord(uint32_t func, int64_t end) const {
    State& s = st();
    if (!s.active) return;
    SharedLock guard;
    emitPendingNames();
    if (!s.cut) writePollsLocked();
    stream().shortCall(location, func, start, end);
}

void endRecordsLocked() {
    State& s = st();
    emitPendingNames();
    if (!s.cut) writePollsLocked();
    for (const auto& [location, times] : s.counters)
        stream().counter(static_cast<uint32_t>(std::min<uint64_t>(times, 0xFFFFFFFFu)), location);
}

// --- the C API

void emitSectionMarker(uint32_t section) {
    const int64_t t = nowMicros();
    SharedLock guard;
    if (!st().active || st().cut) return;
    emitPendingNames();
    writePollsLocked();
    stream().shortCall(section, kFuncSection, t, t);
}

void beginSection(const char* name) {
    State& s = st();
    if (s.finished) return;
    uint32_t id;
    {
        SharedLock guard;
        id = s.sections.intern(name ? name : "");
        s.sectionStack.push_back(id);
    }
    emitSectionMarker(id);
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
    emitSectionMarker(back);
}

void pauseRecording(bool paused) {
    State& s = st();
    SharedLock guard;
    // The polls so far belong to the recorded part.
    if (paused && s.active && !s.paused && !s.cut) writePollsLocked();
    s.paused = paused;
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
