#include "view/view_filter.h"

#include <algorithm>

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
