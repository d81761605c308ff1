// Completion of non-blocking requests from C.

#include "traced_wait.h"

#include <vector>

using namespace zlvt;

namespace {

MPI_Status* statusArray(MPI_Status* given, int count) {
    thread_local std::vector<MPI_Status> own;
    if (given != MPI_STATUSES_IGNORE) return given;
    own.resize(static_cast<size_t>(count > 0 ? count : 1));
    return own.data();
}

MPI_Status* statusOr(MPI_Status* given, MPI_Status& own) {
    return given == MPI_STATUS_IGNORE ? &own : given;
}

constexpr bool kWait = false;
constexpr bool kTest = true;

} // namespace

extern "C" {

int MPI_Wait(MPI_Request* request, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const MPI_Request before = *request;
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Wait(request, st); }, kWait, 1, &before, [] { return true; },
        statusOfOne(st));
}

int MPI_Waitall(int count, MPI_Request requests[], MPI_Status statuses[]) {
    auto& before = savedRequests(requests, count);
    MPI_Status* st = statusArray(statuses, count);
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Waitall(count, requests, st); }, kWait, count, before.data(),
        [] { return true; }, statusOfEach(st));
}

int MPI_Waitany(int count, MPI_Request requests[], int* index, MPI_Status* status) {
    auto& before = savedRequests(requests, count);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Waitany(count, requests, index, st); }, kWait, count,
        before.data(), [] { return true; }, statusOfIndex(st, index));
}

int MPI_Waitsome(int incount, MPI_Request requests[], int* outcount, int indices[],
                 MPI_Status statuses[]) {
    auto& before = savedRequests(requests, incount);
    MPI_Status* st = statusArray(statuses, incount);
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Waitsome(incount, requests, outcount, indices, st); }, kWait,
        incount, before.data(), [] { return true; }, statusOfSome(st, outcount, indices, incount));
}

int MPI_Test(MPI_Request* request, int* flag, MPI_Status* status) {
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    const MPI_Request before = *request;
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Test(request, flag, st); }, kTest, 1, &before,
        [&] { return *flag != 0; }, statusOfOne(st));
}

int MPI_Testall(int count, MPI_Request requests[], int* flag, MPI_Status statuses[]) {
    auto& before = savedRequests(requests, count);
    MPI_Status* st = statusArray(statuses, count);
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Testall(count, requests, flag, st); }, kTest, count,
        before.data(), [&] { return *flag != 0; }, statusOfEach(st));
}

int MPI_Testany(int count, MPI_Request requests[], int* index, int* flag, MPI_Status* status) {
    auto& before = savedRequests(requests, count);
    MPI_Status own;
    MPI_Status* st = statusOr(status, own);
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Testany(count, requests, index, flag, st); }, kTest, count,
        before.data(), [&] { return *flag != 0; }, statusOfIndex(st, index));
}

int MPI_Testsome(int incount, MPI_Request requests[], int* outcount, int indices[],
                 MPI_Status statuses[]) {
    auto& before = savedRequests(requests, incount);
    MPI_Status* st = statusArray(statuses, incount);
    return tracedCompletion(
        ZLV_CALLER, [&] { return PMPI_Testsome(incount, requests, outcount, indices, st); }, kTest,
        incount, before.data(), [&] { return *outcount != 0; },
        statusOfSome(st, outcount, indices, incount));
}

int MPI_Request_free(MPI_Request* request) {
    const MPI_Request before = *request;
    return tracedRequestFree(
        ZLV_CALLER, [&] { return PMPI_Request_free(request); }, before);
}

} // extern "C"
