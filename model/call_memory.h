#pragma once
// Memory for the call lists of one loaded trace. The loader knows every list's
// final size before it reads a call, so all lists come from one block mapped
// for huge pages: call lists are a few megabytes each, too small for huge pages
// on their own, and filling a gigabyte of them page by page costs more than
// reading the file. Lists that outgrow the block use the heap.

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <thread>
#include <type_traits>

class CallBlock {
  public:
    // Reserves address space only: pages are backed when first written.
    explicit CallBlock(size_t bytes);
    ~CallBlock();
    CallBlock(const CallBlock&) = delete;
    CallBlock& operator=(const CallBlock&) = delete;

    // The next `bytes` of the block, aligned; nullptr when they do not fit.
    void* take(size_t bytes, size_t align);
    bool owns(const void* p) const {
        const auto* b = static_cast<const unsigned char*>(p);
        return base_ && b >= base_ && b < base_ + size_;
    }

    // Backs the block's first `bytes` with pages now (huge pages where the
    // system has them), so that writing them later takes no page faults.
    void prefault(size_t from, size_t to);
    size_t size() const { return size_; }

  private:
    unsigned char* base_ = nullptr;
    size_t size_ = 0;
    std::atomic<size_t> used_{0};
};

// Faults in a call block's pages on a second thread, as far as a first pass
// over the file says they will be needed, while that pass goes on: the
// kernel clears the pages on an otherwise idle core. Clearing pages can be
// slower than the pass: what is left when the pass ends is faulted in where
// it is first written, on every worker, rather than waited for.
class CallBlockWarmer {
  public:
    explicit CallBlockWarmer(CallBlock& block);
    ~CallBlockWarmer() { stop(); }
    CallBlockWarmer(const CallBlockWarmer&) = delete;
    CallBlockWarmer& operator=(const CallBlockWarmer&) = delete;

    // The block's first `bytes` will be written.
    void needed(size_t bytes) { wanted_.store(bytes, std::memory_order_relaxed); }
    // The first pass is over: stops after the step under way.
    void stop();

  private:
    void run();

    CallBlock& block_;
    std::atomic<size_t> wanted_{0};
    std::atomic<bool> finishing_{false};
    std::thread thread_;
};

template <class T>
class CallAllocator {
  public:
    using value_type = T;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;
    using propagate_on_container_copy_assignment = std::false_type;

    CallAllocator() noexcept = default;
    explicit CallAllocator(std::shared_ptr<CallBlock> block) noexcept : block_(std::move(block)) {}
    template <class U>
    CallAllocator(const CallAllocator<U>& other) noexcept : block_(other.block()) {}

    T* allocate(size_t n) {
        if (block_ && n <= ~size_t{0} / sizeof(T))
            if (void* p = block_->take(n * sizeof(T), alignof(T))) return static_cast<T*>(p);
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept {
        if (block_ && block_->owns(p)) return; // the block goes as a whole
        std::allocator<T>().deallocate(p, n);
    }
    const std::shared_ptr<CallBlock>& block() const { return block_; }
    template <class U>
    bool operator==(const CallAllocator<U>& other) const noexcept {
        return block_ == other.block();
    }

  private:
    std::shared_ptr<CallBlock> block_;
};
