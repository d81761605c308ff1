#include "model/member_list.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

uint64_t hashRanks(std::span<const uint32_t> ranks, uint64_t salt) {
    uint64_t h = salt ^ (ranks.size() * 0x9E3779B97F4A7C15ULL);
    size_t k = 0;
    // Two independent lanes keep the multiplications from waiting on each other.
    uint64_t a = h, b = ~h;
    for (; k + 4 <= ranks.size(); k += 4) {
        a = (a ^ (uint64_t{ranks[k]} | uint64_t{ranks[k + 1]} << 32)) * 0xFF51AFD7ED558CCDULL;
        b = (b ^ (uint64_t{ranks[k + 2]} | uint64_t{ranks[k + 3]} << 32)) * 0xC4CEB9FE1A85EC53ULL;
        a ^= a >> 29;
        b ^= b >> 31;
    }
    for (; k < ranks.size(); ++k) a = (a ^ ranks[k]) * 0xFF51AFD7ED558CCDULL;
    h = a ^ (b * 0x9E3779B97F4A7C15ULL);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    return h;
}

} // namespace

TMembers::TMembers(std::vector<uint32_t> ranks) : list_(share(std::move(ranks))) {}

std::shared_ptr<const TMembers::Shared> TMembers::share(std::vector<uint32_t> ranks) {
    auto shared = std::make_shared<Shared>();
    shared->ascending = std::adjacent_find(ranks.begin(), ranks.end(),
                                           std::greater_equal<uint32_t>()) == ranks.end();
    shared->ranks = std::move(ranks);
    return shared;
}

bool operator==(const TMembers& a, const TMembers& b) {
    return a.list_ == b.list_ || std::equal(a.begin(), a.end(), b.begin(), b.end());
}

MemberPool::Slot& MemberPool::slotOf(uint64_t hash) {
    if (2 * (used_ + 1) > slots_.size()) {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(std::max<size_t>(64, 2 * old.size()), Slot{});
        used_ = 0;
        for (Slot& s : old)
            if (s.hash != 0) {
                slotOf(s.hash) = std::move(s);
                ++used_;
            }
    }
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask)
        if (slots_[i].hash == hash || slots_[i].hash == 0) return slots_[i];
}

TMembers MemberPool::intern(std::span<const uint32_t> ranks) {
    const uint64_t hash = (hashRanks(ranks, salt_) & hashMask_) | 1; // 0 marks an empty slot
    Slot& slot = slotOf(hash);
    for (const TMembers& list : slot.lists)
        if (list.size() == ranks.size() &&
            (ranks.empty() || std::memcmp(list.data(), ranks.data(), ranks.size_bytes()) == 0))
            return list;
    TMembers made(TMembers::share(std::vector<uint32_t>(ranks.begin(), ranks.end())));
    ++distinct_;
    if (slot.lists.size() < kCandidates) {
        if (slot.hash == 0) {
            slot.hash = hash;
            ++used_;
        }
        slot.lists.push_back(made);
    }
    return made;
}
