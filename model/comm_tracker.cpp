#include "model/comm_tracker.h"

CommTracker::CommTracker(const TProcess& p, uint64_t salt) : slots_(0, SaltedHash{salt}) {
    for (uint32_t k = 0; k < p.comms.size(); ++k) slots_[p.comms[k].id].positions.push_back(k);
}

void CommTracker::add(TProcess& p, TComm&& c) {
    slots_[c.id].positions.push_back(static_cast<uint32_t>(p.comms.size()));
    p.addComm(std::move(c));
}

void CommTracker::free(TProcess& p, uint32_t id, uint32_t callIndex) {
    auto it = slots_.find(id);
    if (it == slots_.end()) return;
    Slots& s = it->second;
    for (; s.unfreed < s.positions.size(); ++s.unfreed) {
        TComm& c = p.comms[s.positions[s.unfreed]];
        if (c.freedAt == 0) {
            c.freedAt = callIndex;
            return;
        }
    }
}

const TComm* CommTracker::find(const TProcess& p, uint32_t id, uint32_t callIndex) {
    if (id != lastId_ || !last_) {
        auto it = slots_.find(id);
        if (it == slots_.end()) return nullptr;
        lastId_ = id;
        last_ = &it->second;
    }
    Slots& s = *last_;
    for (; s.live < s.positions.size(); ++s.live) {
        const TComm& c = p.comms[s.positions[s.live]];
        if (c.freedAt == 0 || c.freedAt >= callIndex) return &c;
    }
    return nullptr;
}

int32_t CommTracker::ownLocalRank(const TProcess& p, const TComm& c) {
    const auto rank = static_cast<int32_t>(p.rank);
    if (c.id == kWorldComm || c.id == kSelfComm || c.members.size() < 16) return c.toLocal(rank);
    const auto index = static_cast<size_t>(&c - p.comms.data());
    if (ownLocal_.size() < p.comms.size()) ownLocal_.resize(p.comms.size(), kUnknownLocal);
    if (ownLocal_[index] == kUnknownLocal) ownLocal_[index] = c.toLocal(rank);
    return ownLocal_[index];
}

bool classifyNeedsOwnRank(uint32_t funcId) {
    switch (funcId) {
    case kFuncBcast:
    case kFuncScatter:
    case kFuncScatterv:
    case kFuncReduce:
    case kFuncGather:
    case kFuncGatherv:
        return true;
    default:
        return false;
    }
}
