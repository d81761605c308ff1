// The run's life cycle: where tracing starts (MPI_Init), how it ends
// (MPI_Finalize, MPI_Abort, a deadly signal, leaving main) and what stays.

#include "collect.h"
#include "run_control.h"
#include "tracer_state.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zlvt {

namespace {

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
    if (s.active && stream().isOpen()) {
        s.active = false;
        s.finished = true;
        // Interrupted while writing a record: what is written stays as it is.
        if (!stream().busy()) {
            stream().keepTentative(nowMicros());
            endRecordsLocked();
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
    if (!s.active || !stream().isOpen()) return;
    endRecordsLocked();
    s.active = false;
    s.finished = true;
    stream().close();
    std::fprintf(stderr,
                 "zlvtrace: rank %d ended without MPI_Finalize; its records are in %s; join the "
                 "parts with: zlv-merge %s\n",
                 s.rank, s.partPath.c_str(), s.names.partsDir.c_str());
}

// Where the trace would go cannot take it: one line from rank 0 says so
// (every rank would find the same), and the program runs untraced.
std::string writableDirectory() {
    const char* candidates[] = {std::getenv("TMPDIR"), "/tmp", std::getenv("HOME")};
    for (const char* dir : candidates)
        if (dir && *dir && ::access(dir, W_OK | X_OK) == 0) return dir;
    return {};
}

// Makes the parts directory and opens this rank's part; errno of the failure, 0 on success.
int openPart(State& s, const PartHeader& header) {
    if (::mkdir(s.names.partsDir.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    s.partPath = partFileName(s.names.partsDir, static_cast<uint32_t>(s.rank));
    errno = 0;
    if (stream().open(s.partPath, header)) return 0;
    return errno != 0 ? errno : EIO;
}

} // namespace

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

    const std::string base = traceBaseName();
    s.names = traceFileNames(base);
    PartHeader header{static_cast<uint32_t>(s.rank), static_cast<uint32_t>(s.size), runKey};
    const int err = openPart(s, header);
    int failedRanks = err != 0 ? 1 : 0;
    PMPI_Allreduce(MPI_IN_PLACE, &failedRanks, 1, MPI_INT, MPI_SUM, s.traceComm);
    if (failedRanks == s.size) {
        // Nothing to collect at MPI_Finalize either.
        if (s.rank == 0)
            std::fprintf(
                stderr, "%s\n",
                unwritableTraceLine(s.names.partsDir, base, err, writableDirectory()).c_str());
        PMPI_Comm_free(&s.traceComm);
        s.traceComm = MPI_COMM_NULL;
        return;
    }
    if (err != 0) {
        std::fprintf(stderr, "zlvtrace: rank %d cannot write %s (%s): it is not traced\n", s.rank,
                     s.partPath.c_str(), std::strerror(err));
        return;
    }
    s.partUsable = true;
    s.recordLimit = recordLimitFrom(std::getenv("ZLV_MAX_RECORDS"));
    unsigned char address[4];
    nodeAddress(address);
    stream().declaration(static_cast<uint32_t>(s.rank), address);
    s.active = true;
    initCall.lifeCycleRecord(kFuncInit, initEnd);
    if (!s.sectionStack.empty()) emitSectionMarker(s.sectionStack.back());
    const char* paused = std::getenv("ZLV_PAUSED");
    if (paused && *paused) pauseRecording(true);
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
        finalizeCall.lifeCycleRecord(kFuncFinalize, end);
        SharedLock guard;
        endRecordsLocked();
        s.active = false;
        s.finished = true;
        stream().close();
        // What was written before the failure is still a readable part.
        if (stream().failed())
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
    abortCall.lifeCycleRecord(otherCallId(kOtherAbort) | kUnfinishedFlag, nowMicros());
    SharedLock guard;
    endRecordsLocked();
    s.active = false;
    s.finished = true;
    stream().close();
    std::fprintf(stderr,
                 "zlvtrace: rank %d called MPI_Abort; its records are in %s; after the job has "
                 "ended, join the parts with: zlv-merge %s\n",
                 s.rank, s.partPath.c_str(), s.names.partsDir.c_str());
}

} // namespace zlvt
