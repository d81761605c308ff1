// MPI_Init, MPI_Init_thread, MPI_Finalize and MPI_Abort: where tracing
// starts and where the trace is written.

#include "tracer_core.h"

using namespace zlvt;

extern "C" {

int MPI_Init(int* argc, char*** argv) {
    Call call(ZLV_CALLER, true);
    if (!call) return PMPI_Init(argc, argv);
    const int rc = PMPI_Init(argc, argv);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS) startTracing(call, end, MPI_THREAD_SINGLE);
    return rc;
}

int MPI_Init_thread(int* argc, char*** argv, int required, int* provided) {
    Call call(ZLV_CALLER, true);
    if (!call) return PMPI_Init_thread(argc, argv, required, provided);
    const int rc = PMPI_Init_thread(argc, argv, required, provided);
    const int64_t end = call.finish();
    if (rc == MPI_SUCCESS) startTracing(call, end, *provided);
    return rc;
}

int MPI_Finalize(void) {
    Call call(ZLV_CALLER);
    finishTracing(call);
    return PMPI_Finalize();
}

int MPI_Abort(MPI_Comm comm, int errorcode) {
    Call call(ZLV_CALLER);
    if (call) abortTracing(call);
    return PMPI_Abort(comm, errorcode);
}

void zlv_section_begin(const char* name) {
    beginSection(name);
}
void zlv_section_end(void) {
    endSection();
}
void zlv_pause(void) {
    pauseRecording(true);
}
void zlv_resume(void) {
    pauseRecording(false);
}
void zlv_count_at(const char* file, unsigned line, unsigned times) {
    addCount(file, line, nullptr, times);
}
void zlv_count(void) {
    addCount(nullptr, 0, ZLV_CALLER, 1);
}
void zlv_here(const char* file, unsigned line) {
    setNextLocation(file, line);
}

} // extern "C"
