// Completion of non-blocking requests. Every completed MPI_Isend or
// MPI_Irecv request gives one "MPI_Wait for Isend" / "MPI_Wait for Irecv"
// record with the peer and tag of its message, so that a send links to the
// wait that received it. A wait that completes none of them is one MPI_Wait;
// a test that completes none of them is not recorded (polling would flood the
// trace).

#include "tracer_core.h"

#include <vector>

using namespace zlvt;

namespace {

// statusOf(i) is the status of request i when the call completed it, null
// otherwise. (Completion cannot be read from the handle: a persistent
// request keeps its handle.)
template <class StatusOf>
int recordCompleted(const Call& call, int64_t end, const MPI_Request* before, int count,
                    StatusOf statusOf) {
    int recorded = 0;
    for (int i = 0; i < count; ++i) {
        if (before[i] == MPI_REQUEST_NULL) continue;
        const MPI_Status* status = statusOf(i);
        RequestInfo info;
        if (!status || !takeRequest(before[i], info)) continue;
        recordCompletion(call, end, info, *status);
        releaseRequestInfo(info);
        ++recorded;
    }
    return recorded;
}

std::vector<MPI_Request>& savedRequests(const MPI_Request* requests, int count) {
    thread_local std::vector<MPI_Request> saved;
    saved.assign(requests, requests + (count > 0 ? count : 0));
    return saved;
}

MPI_Status* statusArray(MPI_Status* given, int count) {
    thread_local std::vector<MPI_Status> own;
    if (given != MPI_STATUSES_IGNORE) return given;
    own.resize(static_cast<size_t>(count > 0 ? count : 1));
    return own.data();
}

// Waitsome/Testsome: the status of request i is at the position of i in indices.
std::vector<int>& positionsOf(const int* indices, int outcount, int incount) {
    thread_local std::vector<int> pos;
    pos.assign(static_cast<size_t>(incount > 0 ? incount : 0), -1);
    for (int j = 0; j < outcount; ++j)
        if (indices[j] >= 0 && indices[j] < incount) pos[static_cast<size_t>(indices[j])] = j;
    return pos;
}

} // namespace

extern "C" {

int MPI_Wait(MPI_Request* request, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Wait(request, status);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const MPI_Request before = *request;
    call.running(kFuncWait);
    const int rc = PMPI_Wait(request, st);
    const int64_t end = call.finish();
    if (recordCompleted(call, end, &before, 1, [&](int) { return st; }) == 0)
        call.shortRecord(kFuncWait, end);
    return rc;
}

int MPI_Waitall(int count, MPI_Request requests[], MPI_Status statuses[]) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Waitall(count, requests, statuses);
    auto& before = savedRequests(requests, count);
    MPI_Status* st = statusArray(statuses, count);
    call.running(kFuncWait);
    const int rc = PMPI_Waitall(count, requests, st);
    const int64_t end = call.finish();
    if (recordCompleted(call, end, before.data(), count, [&](int i) { return &st[i]; }) == 0)
        call.shortRecord(kFuncWait, end);
    return rc;
}

int MPI_Waitany(int count, MPI_Request requests[], int* index, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Waitany(count, requests, index, status);
    auto& before = savedRequests(requests, count);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    call.running(kFuncWait);
    const int rc = PMPI_Waitany(count, requests, index, st);
    const int64_t end = call.finish();
    if (recordCompleted(call, end, before.data(), count, [&](int i) -> const MPI_Status* {
            return i == *index ? st : nullptr;
        }) == 0)
        call.shortRecord(kFuncWait, end);
    return rc;
}

int MPI_Waitsome(int incount, MPI_Request requests[], int* outcount, int indices[],
                 MPI_Status statuses[]) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Waitsome(incount, requests, outcount, indices, statuses);
    auto& before = savedRequests(requests, incount);
    MPI_Status* st = statusArray(statuses, incount);
    call.running(kFuncWait);
    const int rc = PMPI_Waitsome(incount, requests, outcount, indices, st);
    const int64_t end = call.finish();
    const int done = *outcount == MPI_UNDEFINED ? 0 : *outcount;
    auto& pos = positionsOf(indices, done, incount);
    auto statusOf = [&](int i) -> const MPI_Status* { return pos[i] < 0 ? nullptr : &st[pos[i]]; };
    if (recordCompleted(call, end, before.data(), incount, statusOf) == 0)
        call.shortRecord(kFuncWait, end);
    return rc;
}

int MPI_Test(MPI_Request* request, int* flag, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Test(request, flag, status);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const MPI_Request before = *request;
    const int rc = PMPI_Test(request, flag, st);
    if (*flag) recordCompleted(call, call.finish(), &before, 1, [&](int) { return st; });
    return rc;
}

int MPI_Testall(int count, MPI_Request requests[], int* flag, MPI_Status statuses[]) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Testall(count, requests, flag, statuses);
    auto& before = savedRequests(requests, count);
    MPI_Status* st = statusArray(statuses, count);
    const int rc = PMPI_Testall(count, requests, flag, st);
    if (*flag)
        recordCompleted(call, call.finish(), before.data(), count, [&](int i) { return &st[i]; });
    return rc;
}

int MPI_Testany(int count, MPI_Request requests[], int* index, int* flag, MPI_Status* status) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Testany(count, requests, index, flag, status);
    auto& before = savedRequests(requests, count);
    MPI_Status own;
    MPI_Status* st = status == MPI_STATUS_IGNORE ? &own : status;
    const int rc = PMPI_Testany(count, requests, index, flag, st);
    if (*flag && *index != MPI_UNDEFINED)
        recordCompleted(call, call.finish(), before.data(), count,
                        [&](int i) -> const MPI_Status* { return i == *index ? st : nullptr; });
    return rc;
}

int MPI_Testsome(int incount, MPI_Request requests[], int* outcount, int indices[],
                 MPI_Status statuses[]) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Testsome(incount, requests, outcount, indices, statuses);
    auto& before = savedRequests(requests, incount);
    MPI_Status* st = statusArray(statuses, incount);
    const int rc = PMPI_Testsome(incount, requests, outcount, indices, st);
    if (*outcount != MPI_UNDEFINED && *outcount > 0) {
        auto& pos = positionsOf(indices, *outcount, incount);
        recordCompleted(
            call, call.finish(), before.data(), incount,
            [&](int i) -> const MPI_Status* { return pos[i] < 0 ? nullptr : &st[pos[i]]; });
    }
    return rc;
}

int MPI_Request_free(MPI_Request* request) {
    Call call(ZLV_CALLER);
    if (!call) return PMPI_Request_free(request);
    const MPI_Request before = *request;
    const int rc = PMPI_Request_free(request);
    RequestInfo info;
    if (takeRequest(before, info)) releaseRequestInfo(info);
    forgetPersistent(before);
    call.shortRecord(otherCallId(kOtherRequestFree), call.finish());
    return rc;
}

} // extern "C"
