#pragma once
// Independent work items shared by the calling thread and a few more: the
// loader and the statistics walk one process (or range) per item, and two
// cores halve the wait.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

// Calls fn(worker, i) exactly once for each i in 0 .. count-1, items taken in
// rising order by `workers` threads: the calling thread is worker 0, and
// helpers that cannot be started leave their share to the others. fn must
// only write what item i (or worker `worker`) owns. An exception thrown by
// any item (out of memory, say) reaches the caller after every worker stopped.
template <typename Fn>
void parallelFor(unsigned workers, uint32_t count, Fn&& fn) {
    std::atomic<uint32_t> next{0};
    std::vector<std::exception_ptr> failures(std::max(workers, 1u));
    auto work = [&](unsigned worker) {
        try {
            for (uint32_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < count;)
                fn(worker, i);
        } catch (...) {
            failures[worker] = std::current_exception();
            next.store(count); // the others stop taking items too
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned w = 1; w < workers && w < count; ++w) {
        try {
            helpers.emplace_back(work, w);
        } catch (const std::system_error&) {
            break; // no more threads to be had
        }
    }
    work(0);
    for (std::thread& h : helpers) h.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

// The same on the calling thread and, where the machine has more than one
// core, one helper: fn(i) for each item.
template <typename Fn>
void parallelFor(uint32_t count, Fn&& fn) {
    const unsigned workers = std::thread::hardware_concurrency() == 1 ? 1 : 2;
    parallelFor(workers, count, [&](unsigned, uint32_t i) { fn(i); });
}
