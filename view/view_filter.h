#pragma once
// Which nodes, ranks and functions the views show, and whether links are
// drawn. Masks are indexed by node index and by rank, so they survive
// re-sorting; functions are hidden by identifier (the unfinished flag aside).

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

class ViewFilter {
  public:
    ViewFilter(uint32_t nodeCount, uint32_t rankCount);

    bool nodeVisible(int64_t nodeIndex) const;
    bool rankVisible(int64_t rank) const;

    // Copies the first n flags (n is clipped to the mask's length).
    void setNodeMask(uint32_t n, const uint32_t* flags);
    void setRankMask(uint32_t n, const uint32_t* flags);
    // Stores the mask's length in count and the whole mask in out, which must hold it.
    bool getNodeMask(uint32_t& count, uint32_t* out) const;
    bool getRankMask(uint32_t& count, uint32_t* out) const;

    const std::vector<uint32_t>& nodeMask() const { return nodeMask_; }
    const std::vector<uint32_t>& rankMask() const { return rankMask_; }
    uint32_t nodeCount() const { return static_cast<uint32_t>(nodeMask_.size()); }
    uint32_t rankCount() const { return static_cast<uint32_t>(rankMask_.size()); }

    // Calls of a hidden function are neither drawn, nor hit, nor linked.
    bool funcVisible(uint32_t funcId) const {
        return hiddenFuncs_.empty() || !hiddenFuncs_.count(funcId & ~kUnfinished);
    }
    bool hidesFunctions() const { return !hiddenFuncs_.empty(); }
    void setFuncVisible(uint32_t funcId, bool visible);
    const std::unordered_set<uint32_t>& hiddenFuncs() const { return hiddenFuncs_; }

    uint32_t hiddenNodes() const;
    uint32_t hiddenRanks() const;

    uint32_t showLinks = 0;

  private:
    static constexpr uint32_t kUnfinished = 0x800;
    std::vector<uint32_t> nodeMask_;
    std::vector<uint32_t> rankMask_;
    std::unordered_set<uint32_t> hiddenFuncs_;
};

// "Hidden: 2 nodes, 1 rank, 3 functions", or "" when everything is shown.
std::string hiddenSummary(const ViewFilter& filter);
