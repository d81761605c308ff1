#include "view/view_filter.h"

#include <algorithm>
#include <string>

ViewFilter::ViewFilter(uint32_t nodeCount, uint32_t rankCount)
    : nodeMask_(nodeCount, 1), rankMask_(rankCount, 1) {}

bool ViewFilter::nodeVisible(int64_t nodeIndex) const {
    return nodeIndex >= 0 && static_cast<uint64_t>(nodeIndex) < nodeMask_.size() &&
           nodeMask_[static_cast<size_t>(nodeIndex)] != 0;
}

bool ViewFilter::rankVisible(int64_t rank) const {
    return rank >= 0 && static_cast<uint64_t>(rank) < rankMask_.size() &&
           rankMask_[static_cast<size_t>(rank)] != 0;
}

void ViewFilter::setNodeMask(uint32_t n, const uint32_t* flags) {
    std::copy_n(flags, std::min<size_t>(n, nodeMask_.size()), nodeMask_.begin());
}

void ViewFilter::setRankMask(uint32_t n, const uint32_t* flags) {
    std::copy_n(flags, std::min<size_t>(n, rankMask_.size()), rankMask_.begin());
}

bool ViewFilter::getNodeMask(uint32_t& count, uint32_t* out) const {
    count = nodeCount();
    std::copy(nodeMask_.begin(), nodeMask_.end(), out);
    return true;
}

bool ViewFilter::getRankMask(uint32_t& count, uint32_t* out) const {
    count = rankCount();
    std::copy(rankMask_.begin(), rankMask_.end(), out);
    return true;
}

void ViewFilter::setFuncVisible(uint32_t funcId, bool visible) {
    if (visible)
        hiddenFuncs_.erase(funcId & ~kUnfinished);
    else
        hiddenFuncs_.insert(funcId & ~kUnfinished);
}

uint32_t ViewFilter::hiddenNodes() const {
    return static_cast<uint32_t>(std::count(nodeMask_.begin(), nodeMask_.end(), 0u));
}

uint32_t ViewFilter::hiddenRanks() const {
    return static_cast<uint32_t>(std::count(rankMask_.begin(), rankMask_.end(), 0u));
}

std::string hiddenSummary(const ViewFilter& filter) {
    std::string text;
    const auto add = [&text](uint32_t n, const char* one, const char* many) {
        if (n == 0) return;
        text += text.empty() ? "Hidden: " : ", ";
        text += std::to_string(n) + " " + (n == 1 ? one : many);
    };
    add(filter.hiddenNodes(), "node", "nodes");
    add(filter.hiddenRanks(), "rank", "ranks");
    add(static_cast<uint32_t>(filter.hiddenFuncs().size()), "function", "functions");
    return text;
}
