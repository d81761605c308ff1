#pragma once
// Independent work items shared by the calling thread and one more: the
// statistics walk one process per item, and two cores halve the wait.

#include <atomic>
#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>

// Calls fn(i) exactly once for each i in 0 .. count-1, on the calling thread
// and, when there is more than one item and a thread can be started, on one
// helper thread. fn must only write what item i owns. An exception of the
// helper's items (out of memory, say) reaches the caller after both finished.
template <typename Fn>
void parallelFor(uint32_t count, Fn&& fn) {
    std::atomic<uint32_t> next{0};
    auto work = [&] {
        for (uint32_t i = next.fetch_add(1, std::memory_order_relaxed); i < count;
             i = next.fetch_add(1, std::memory_order_relaxed))
            fn(i);
    };
    std::exception_ptr helperFailure;
    std::thread helper;
    if (count > 1 && std::thread::hardware_concurrency() != 1) {
        try {
            helper = std::thread([&] {
                try {
                    work();
                } catch (...) {
                    helperFailure = std::current_exception();
                    next.store(count); // the calling thread stops taking items too
                }
            });
        } catch (const std::system_error&) {
            // No thread to be had: the calling thread does all of it.
        }
    }
    try {
        work();
    } catch (...) {
        next.store(count);
        if (helper.joinable()) helper.join();
        throw;
    }
    if (helper.joinable()) helper.join();
    if (helperFailure) std::rethrow_exception(helperFailure);
}
