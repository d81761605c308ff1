#include "view/paint_helper.h"

#include <system_error>

PaintHelper::~PaintHelper() {
    if (!started_) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PaintHelper::run(uint32_t count, const std::function<void(uint32_t)>& item) {
    if (!started_ && !failed_) {
        try {
            thread_ = std::thread([this] { serve(); });
            started_ = true;
        } catch (const std::system_error&) {
            failed_ = true; // no thread to be had: the calling thread does it all
        }
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        item_ = &item;
        count_ = count;
        next_ = 0;
        finished_ = 0;
        failure_ = nullptr;
        ++job_;
    }
    if (started_) wake_.notify_one();
    work();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return finished_ == count_; });
    item_ = nullptr; // a helper waking late finds nothing to do
    if (failure_) std::rethrow_exception(failure_);
}

void PaintHelper::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (item_ && next_ < count_) {
        const uint32_t i = next_++;
        const std::function<void(uint32_t)>& item = *item_;
        lock.unlock();
        std::exception_ptr failure;
        try {
            item(i);
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        if (failure && !failure_) failure_ = failure;
        if (++finished_ == count_) done_.notify_all();
    }
}

void PaintHelper::serve() {
    uint64_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || job_ != seen; });
        if (quit_) return;
        seen = job_;
        lock.unlock();
        work();
        lock.lock();
    }
}
