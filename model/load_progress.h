#pragma once
// How far a load has come, for a window that shows it. Called on the loading
// thread only, with thousandths that never go down.

#include <atomic>
#include <cstdint>
#include <functional>

using LoadProgress = std::function<void(uint32_t permille)>;
// Set by whoever watches a load to stop it; read by every worker.
using LoadCancel = std::atomic<bool>;

// How much of the document a load makes. Without links, the node clocks keep
// only their starting point (each node's time 0 at the end of its MPI_Init):
// enough, and much quicker, for readers that look at neither links nor
// corrected times. The result and the messages are those of a full load.
enum class LoadDepth { Full, WithoutLinks };

// One step of the load, mapped onto its share [from, to] of the whole and
// reported only when the thousandth changes.
class ProgressStep {
  public:
    ProgressStep(const LoadProgress* sink, uint32_t from, uint32_t to,
                 const LoadCancel* cancel = nullptr)
        : sink_(sink && *sink ? sink : nullptr), cancel_(cancel), from_(from), to_(to) {}

    // Whether the load is to stop: its steps then end early, from any worker.
    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    void report(uint64_t done, uint64_t total) {
        if (!sink_) return;
        const double part = total == 0 || done >= total ? 1.0 : double(done) / double(total);
        const auto permille = from_ + static_cast<uint32_t>((to_ - from_) * part);
        if (permille == last_) return;
        last_ = permille;
        (*sink_)(permille);
    }
    void finish() { report(1, 1); }

  private:
    const LoadProgress* sink_;
    const LoadCancel* cancel_;
    uint32_t from_, to_;
    // Where the step starts is where the step before it ended: never said twice.
    uint32_t last_ = from_;
};
