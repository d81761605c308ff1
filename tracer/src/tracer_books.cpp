// The tracer's books: communicator identifiers, ranks and sizes as
// recorded, non-blocking and persistent requests, matched-probe messages.

#include "tracer_state.h"

#include <algorithm>

namespace zlvt {

namespace {

// Communicators made by traced calls get 93 + agreed sequence × world size +
// lowest member's global rank: unique in the job and never reused.
constexpr uint64_t kFirstCommId = 93;

} // namespace

// --- communicators

uint32_t commId(MPI_Comm comm) {
    if (comm == MPI_COMM_WORLD) return 91;
    if (comm == MPI_COMM_SELF) return 92;
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

} // namespace

int32_t toWorld(MPI_Group group, int rank) {
    int world = MPI_UNDEFINED;
    if (group == MPI_GROUP_NULL ||
        PMPI_Group_translate_ranks(group, 1, &rank, st().worldGroup, &world) != MPI_SUCCESS ||
        world == MPI_UNDEFINED)
        return rank;
    return world;
}

int32_t recordedPeer(MPI_Comm comm, int rank) {
    if (rank < 0 || comm == MPI_COMM_NULL || commId(comm) != 0) return rank;
    MPI_Group group = peerGroupOf(comm);
    const int32_t world = toWorld(group, rank);
    if (group != MPI_GROUP_NULL) PMPI_Group_free(&group);
    return world;
}

namespace {

std::vector<uint32_t> worldRanksOf(MPI_Group group) {
    int n = 0;
    PMPI_Group_size(group, &n);
    std::vector<int> local(static_cast<size_t>(n)), world(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) local[static_cast<size_t>(i)] = i;
    PMPI_Group_translate_ranks(group, n, local.data(), st().worldGroup, world.data());
    return {world.begin(), world.end()};
}

// The members agree on the sequence number over `over` (a collective call
// there), which has the same members as `comm`.
uint32_t agreeOnId(MPI_Comm over, MPI_Comm comm, const std::vector<uint32_t>& members) {
    State& s = st();
    uint32_t seq = s.commSeq;
    PMPI_Allreduce(MPI_IN_PLACE, &seq, 1, MPI_UINT32_T, MPI_MAX, over);
    const uint32_t leader = members.empty() ? 0 : *std::min_element(members.begin(), members.end());
    const auto id = static_cast<uint32_t>(kFirstCommId +
                                          uint64_t{seq} * static_cast<uint64_t>(s.size) + leader);
    SharedLock guard;
    s.commSeq = seq + 1;
    s.comms[comm] = id;
    return id;
}

bool isIntercomm(MPI_Comm comm) {
    int inter = 0;
    PMPI_Comm_test_inter(comm, &inter);
    return inter != 0;
}

} // namespace

uint32_t trackNewComm(MPI_Comm comm, std::vector<uint32_t>& members) {
    members.clear();
    if (comm == MPI_COMM_NULL || isIntercomm(comm)) return 0;
    MPI_Group group;
    PMPI_Comm_group(comm, &group);
    members = worldRanksOf(group);
    PMPI_Group_free(&group);
    return agreeOnId(comm, comm, members);
}

uint32_t trackPendingComm(MPI_Comm parent, MPI_Comm comm, std::vector<uint32_t>& members) {
    members.clear();
    if (comm == MPI_COMM_NULL || parent == MPI_COMM_NULL || isIntercomm(parent)) return 0;
    MPI_Group group;
    PMPI_Comm_group(parent, &group);
    members = worldRanksOf(group);
    PMPI_Group_free(&group);
    return agreeOnId(parent, comm, members);
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
    auto [it, fresh] = st().requests.try_emplace(request, PendingRequests{info, {}});
    if (!fresh) it->second.later.push_back(info);
}

bool takeRequest(MPI_Request request, RequestInfo& info) {
    if (request == MPI_REQUEST_NULL) return false;
    SharedLock guard;
    auto it = st().requests.find(request);
    if (it == st().requests.end()) return false;
    PendingRequests& pending = it->second;
    info = pending.first;
    if (pending.taken == pending.later.size()) {
        st().requests.erase(it);
    } else {
        pending.first = pending.later[pending.taken++];
        if (pending.taken == pending.later.size()) {
            pending.later.clear();
            pending.taken = 0;
        }
    }
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
    stream().rewriteLong(info.record, func, size, msgTag, peer);
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

// --- matched probes

void trackMessage(MPI_Message message, MPI_Comm comm, const MPI_Status& status) {
    if (message == MPI_MESSAGE_NULL || message == MPI_MESSAGE_NO_PROC) return;
    SharedLock guard;
    st().messages[message] = {comm, status};
}

bool takeMessage(MPI_Message message, MPI_Comm& comm, MPI_Status& status) {
    SharedLock guard;
    auto it = st().messages.find(message);
    if (it == st().messages.end()) return false;
    comm = it->second.comm;
    status = it->second.status;
    st().messages.erase(it);
    return true;
}

} // namespace zlvt
