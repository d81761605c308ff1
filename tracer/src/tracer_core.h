#pragma once
// The state of the tracer inside one MPI process and the helpers every
// wrapper uses: deciding whether a call is recorded, its source location,
// communicator identifiers, request bookkeeping and record output.

#include "format/tracer_calls.h"
#include "record_stream.h"

#include <mpi.h>

#include <cstdint>
#include <string>
#include <vector>

// The address the wrapper returns to: where the traced call was made.
#define ZLV_CALLER __builtin_return_address(0)

namespace zlvt {

int64_t nowMicros();

// Bookkeeping runs between MPI_Init and MPI_Finalize.
bool tracingActive();

// One traced call from the view of its wrapper. A call made while another
// traced call runs on the same thread (inside the MPI library, from one of
// its callbacks) is recorded only when its wrapper asks for it: its records
// then follow the outer call's, which started first.
class Call {
  public:
    enum Nesting { kOutermostOnly, kAlsoNested };
    // beforeInit: MPI_Init's own wrapper, the one call recorded before tracing starts.
    explicit Call(void* returnAddress, bool beforeInit = false, Nesting nesting = kOutermostOnly);
    Call(void* returnAddress, Nesting nesting) : Call(returnAddress, false, nesting) {}
    ~Call();
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // Whether the wrapper keeps its books (communicators, requests).
    explicit operator bool() const { return on_; }

    // What is running now; a process that dies inside the call leaves this
    // record with the unfinished flag.
    void running(uint32_t func);
    void running(uint32_t func, uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm);
    // The end time; the call is no longer in flight.
    int64_t finish();

    void shortRecord(uint32_t func, int64_t end) const;
    // Returns where the record lies in the part file (RequestInfo::record), 0 if unwritten.
    size_t longRecord(uint32_t func, int64_t end, uint32_t size, uint32_t msgTag, int32_t peer,
                      uint32_t comm) const;
    // Also while recording is paused: later calls may use the communicator.
    void commRecord(uint32_t func, int64_t end, uint32_t comm,
                    const std::vector<uint32_t>& members) const;
    // An MPI_Iprobe or MPI_Test* that found nothing: joins the run of polls
    // in progress (func: kOtherIprobePolls or kOtherTestPolls).
    void poll(uint32_t func, int64_t end, uint32_t comm) const;
    // MPI_Init, MPI_Finalize and MPI_Abort: written even after a cut or while paused.
    void lifeCycleRecord(uint32_t func, int64_t end) const;

    int64_t start = 0;
    uint32_t location = 0;

  private:
    bool on_ = false;
    bool nested_ = false;
};

// --- communicators
// Identifier of a communicator in the trace: 91 world, 92 self, the agreed
// identifier of a communicator made by a traced call, 0 when untracked.
uint32_t commId(MPI_Comm comm);
// Peer rank as recorded: local to the communicator when it is tracked,
// global otherwise, so that the reader's fallback still pairs the right
// processes. Wildcards and MPI_PROC_NULL stay as they are.
int32_t recordedPeer(MPI_Comm comm, int localRank);
// Gives a new intracommunicator an identifier agreed by all its members
// (a collective call over it) and returns it with the member list of global
// ranks; 0 for MPI_COMM_NULL and intercommunicators, which stay untracked.
uint32_t trackNewComm(MPI_Comm comm, std::vector<uint32_t>& members);
// The same for a communicator that cannot be used yet (MPI_Comm_idup): its
// members are those of `parent`, over which the identifier is agreed.
uint32_t trackPendingComm(MPI_Comm parent, MPI_Comm comm, std::vector<uint32_t>& members);
void forgetComm(MPI_Comm comm);
int localRank(MPI_Comm comm);
int commSize(MPI_Comm comm);

// --- data sizes
uint32_t bytesOf(int count, MPI_Datatype type);
uint32_t bytesReceived(const MPI_Status& status, uint32_t fallback);

// --- non-blocking requests
struct RequestInfo {
    bool isSend = false;
    int32_t peer = 0; // as recorded: see recordedPeer
    uint32_t msgTag = 0;
    uint32_t comm = 0;
    uint32_t size = 0;
    // Receives on untracked communicators: the group to turn the source into a global rank.
    MPI_Group peerGroup = MPI_GROUP_NULL;
    // Offset of the request's MPI_Isend/MPI_Irecv record in the part file (0:
    // none), rewritten when the request completes.
    size_t record = 0;
};
void trackRequest(MPI_Request request, const RequestInfo& info);
// Takes the request's bookkeeping out; false for requests the tracer did not start.
bool takeRequest(MPI_Request request, RequestInfo& info);
MPI_Group untrackedPeerGroup(MPI_Comm comm);
void releaseRequestInfo(RequestInfo& info);
// Persistent requests: what each one sends or receives, kept from its
// MPI_X_init to its MPI_Request_free; startPersistent gives the bookkeeping
// of one start (false for requests the tracer did not make).
void trackPersistent(MPI_Request request, const RequestInfo& info, MPI_Comm comm);
bool startPersistent(MPI_Request request, RequestInfo& info);
void forgetPersistent(MPI_Request request);
// Records one "MPI_Wait for Isend"/"MPI_Wait for Irecv" for a completed
// request, and rewrites the request's own record with what is known only now:
// a receive's actual source, tag and size; that it was cancelled.
void recordCompletion(const Call& call, int64_t end, const RequestInfo& info,
                      const MPI_Status& status);

// --- matched probes: the message of an MPI_Mprobe/MPI_Improbe, until its
// MPI_Mrecv/MPI_Imrecv receives it
void trackMessage(MPI_Message message, MPI_Comm comm, const MPI_Status& status);
bool takeMessage(MPI_Message message, MPI_Comm& comm, MPI_Status& status);

// --- run life cycle
void startTracing(const Call& initCall, int64_t initEnd, int threadLevel);
void finishTracing(Call& finalizeCall);
void abortTracing(const Call& abortCall);

// --- the C API
void beginSection(const char* name);
// zlv_pause / zlv_resume; ZLV_PAUSED set starts the run paused.
void pauseRecording(bool paused);
void endSection();
void addCount(const char* file, unsigned line, void* returnAddress, unsigned times);
void setNextLocation(const char* file, unsigned line);

} // namespace zlvt
