#pragma once
// The tracer's state inside one MPI process, shared by the files that keep
// it: the run and its recording (tracer_core.cpp), communicators, requests
// and messages (tracer_books.cpp).

#include "part_merge.h"
#include "poll_runs.h"
#include "record_stream.h"
#include "tracer_core.h"

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace zlvt {

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

// The requests in flight under one handle. Usually one; but an MPI library
// may give every request that completed at once the same handle (Open MPI
// does for small sends it made inside MPI_Isend), and each of them is then
// completed once: in the order they were made.
struct PendingRequests {
    RequestInfo first;
    std::vector<RequestInfo> later; // later[taken ..] wait, in order
    size_t taken = 0;
};

struct MessageInfo {
    MPI_Comm comm = MPI_COMM_NULL;
    MPI_Status status{};
};

struct State {
    bool initialized = false; // MPI_Init has run through the tracer
    bool active = false;      // bookkeeping: between MPI_Init and MPI_Finalize
    bool finished = false;    // MPI_Finalize, MPI_Abort or a signal ended the recording
    bool partUsable = false;
    bool threadShared = false;
    bool paused = false;      // zlv_pause: calls are not recorded, communicators are
    bool cut = false;         // the record limit was reached
    uint64_t recordLimit = 0; // 0: none
    uint64_t callRecords = 0; // call records written so far
    std::mutex lock;
    int rank = 0;
    int size = 1;
    MPI_Group worldGroup = MPI_GROUP_NULL;
    MPI_Comm traceComm = MPI_COMM_NULL;
    uint32_t commSeq = 0;
    std::unordered_map<MPI_Comm, uint32_t> comms;
    std::unordered_map<MPI_Request, PendingRequests> requests;
    std::unordered_map<MPI_Request, std::pair<RequestInfo, MPI_Comm>> persistent;
    std::unordered_map<MPI_Message, MessageInfo> messages;
    PollRun polls;
    NameTable files;
    NameTable sections;
    std::unordered_map<const char*, uint32_t> fileByPointer;
    std::vector<uint32_t> sectionStack;
    std::map<uint32_t, uint64_t> counters;
    TraceFileNames names;
    std::string partPath;
};

// Never destroyed: wrappers may still run while static objects are torn down.
State& st();
RecordStream& stream();

// Held around bookkeeping when several threads may be in MPI at once.
class SharedLock {
  public:
    SharedLock() : held_(st().threadShared) {
        if (held_) st().lock.lock();
    }
    ~SharedLock() {
        if (held_) st().lock.unlock();
    }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

  private:
    bool held_;
};

int32_t toWorld(MPI_Group group, int rank);

// The end of a part: names not yet written, the polls in progress, the counters.
void endRecordsLocked();
// A section marker, unless recording has ended or was cut.
void emitSectionMarker(uint32_t section);

} // namespace zlvt
