#pragma once
// A second thread that a paint may share work items with. It waits between
// paints, so that a paint neither starts a thread nor waits for one to be
// scheduled: items are taken from a shared counter, and a helper that wakes
// late finds none left and the paint does not wait for it.

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

class PaintHelper {
  public:
    PaintHelper() = default;
    ~PaintHelper();
    PaintHelper(const PaintHelper&) = delete;
    PaintHelper& operator=(const PaintHelper&) = delete;

    // Calls item(i) exactly once for each i in 0 .. count-1, in rising order
    // of taking, on the calling thread and the helper; returns when all are
    // done. item must only write what item i owns. Runs everything on the
    // calling thread when the helper cannot be started. What an item throws
    // reaches the caller once every taken item is done.
    void run(uint32_t count, const std::function<void(uint32_t)>& item);

  private:
    void serve();
    // Takes and does items until none is left; counts those it did.
    void work();

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::thread thread_;
    bool started_ = false, failed_ = false, quit_ = false;
    // The current job, under mutex_ except for the taking itself.
    const std::function<void(uint32_t)>* item_ = nullptr;
    uint32_t count_ = 0;
    uint64_t job_ = 0;  // jobs posted so far
    uint32_t next_ = 0; // next item to take
    uint32_t finished_ = 0;
    std::exception_ptr failure_;
};
