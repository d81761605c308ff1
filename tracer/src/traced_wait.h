#pragma once
// How completions of non-blocking requests are recorded, whatever language
// they were called from. Every completed MPI_Isend or MPI_Irecv request gives
// one "MPI_Wait for Isend" / "MPI_Wait for Irecv" record with the peer and tag
// of its message, so that a send links to the wait that received it. A wait
// that completes none of them is one MPI_Wait; a test that completes nothing
// is a poll: consecutive ones are one record.

#include "tracer_core.h"

#include <vector>

namespace zlvt {

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

// One wait or test over the requests `before` (as they were when it was
// called); real() completes them and fills what done() and statusOf read.
template <class Real, class Done, class StatusOf>
int tracedCompletion(void* caller, Real real, bool isTest, int count, const MPI_Request* before,
                     Done done, StatusOf statusOf) {
    Call call(caller);
    if (!call) return real();
    if (!isTest) call.running(kFuncWait);
    const int rc = real();
    const int64_t end = call.finish();
    if (isTest && !done()) {
        call.poll(otherCallId(kOtherTestPolls), end, 0);
        return rc;
    }
    if (recordCompleted(call, end, before, count, statusOf) == 0 && !isTest)
        call.shortRecord(kFuncWait, end);
    return rc;
}

// Waitsome/Testsome: the status of request i is at the position of i in indices.
inline std::vector<int>& positionsOf(const int* indices, int outcount, int incount) {
    thread_local std::vector<int> pos;
    pos.assign(static_cast<size_t>(incount > 0 ? incount : 0), -1);
    for (int j = 0; j < outcount; ++j)
        if (indices[j] >= 0 && indices[j] < incount) pos[static_cast<size_t>(indices[j])] = j;
    return pos;
}

// The lookups of the four call shapes.
inline auto statusOfOne(const MPI_Status* st) {
    return [st](int) { return st; };
}
inline auto statusOfEach(const MPI_Status* st) {
    return [st](int i) { return &st[i]; };
}
inline auto statusOfIndex(const MPI_Status* st, const int* index) {
    return [st, index](int i) -> const MPI_Status* { return i == *index ? st : nullptr; };
}
// Valid once real() has filled outcount and indices.
inline auto statusOfSome(const MPI_Status* st, const int* outcount, const int* indices,
                         int incount) {
    return [=, pos = static_cast<std::vector<int>*>(nullptr)](int i) mutable -> const MPI_Status* {
        if (!pos) pos = &positionsOf(indices, *outcount == MPI_UNDEFINED ? 0 : *outcount, incount);
        return (*pos)[static_cast<size_t>(i)] < 0 ? nullptr : &st[(*pos)[static_cast<size_t>(i)]];
    };
}

template <class Real>
int tracedRequestFree(void* caller, Real real, MPI_Request before) {
    Call call(caller);
    if (!call) return real();
    const int rc = real();
    RequestInfo info;
    if (takeRequest(before, info)) releaseRequestInfo(info);
    forgetPersistent(before);
    call.shortRecord(otherCallId(kOtherRequestFree), call.finish());
    return rc;
}

// Copies of the caller's requests as they were before the call.
inline std::vector<MPI_Request>& savedRequests(const MPI_Request* requests, int count) {
    thread_local std::vector<MPI_Request> saved;
    saved.assign(requests, requests + (count > 0 ? count : 0));
    return saved;
}

} // namespace zlvt
