#pragma once
// Matches the sends of one pair of processes when all of them are
// point-to-point: each send, in call order, takes the first candidate of
// its communicator and tag not yet taken. Candidates are read only as far as
// the sends need them, and only those passed over wait in queues: where
// messages arrive in the order they were sent, almost nothing waits, however
// long the two call lists are.

#include "model/link_parts.h"
#include "model/trace_model.h"

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

class TagMatcher {
  public:
    // candidateCall(c), c < candidates: the receiver's call index of
    // candidate c, in call order. senderCalls: the calls that `sends` index.
    template <typename CandidateCall>
    void run(const TProcess& receiver, uint32_t i, std::span<const ExplicitSend> sends,
             const TFunc* senderCalls, size_t candidates, CandidateCall&& candidateCall,
             std::vector<LinkOut>& out) {
        start();
        const TFunc* calls = receiver.calls.data();
        constexpr size_t kAhead = 8;
        size_t next = 0; // the first candidate not yet read
        for (const ExplicitSend& e : sends) {
            const TFunc& s = senderCalls[e.call];
            const uint64_t sendKey = keyOf(s.comm, s.msgTag);
            const uint32_t q = queueOf(sendKey);
            uint32_t c = kNone;
            if (queues_[q].head < queues_[q].items.size()) {
                Queue& queue = queues_[q];
                c = queue.items[queue.head++];
                if (queue.head == queue.items.size()) queue.items.clear(), queue.head = 0;
                --waiting_;
            } else {
                while (next < candidates) {
                    if (next + kAhead < candidates)
                        __builtin_prefetch(&calls[candidateCall(next + kAhead)].comm);
                    const auto read = static_cast<uint32_t>(next++);
                    const TFunc& r = calls[candidateCall(read)];
                    const uint64_t key = keyOf(r.comm, r.msgTag);
                    if (key == sendKey) {
                        c = read;
                        break;
                    }
                    queues_[queueOf(key)].items.push_back(read);
                    ++waiting_;
                }
            }
            if (c == kNone) {
                if (next == candidates && waiting_ == 0) break; // nothing left to take
                continue;
            }
            const uint32_t k = candidateCall(c);
            out.push_back({e.call, i, TLink::gapOf(s.end, calls[k].end), k});
        }
    }

  private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    struct Queue {
        std::vector<uint32_t> items; // candidates passed over, in call order
        size_t head = 0;             // the first not yet taken
    };

    void start() {
        for (Queue& q : queues_) {
            q.items.clear();
            q.head = 0;
        }
        queueOfKey_.clear();
        lastKey_ = 0;
        lastQueue_ = kNone;
        waiting_ = 0;
    }

    uint32_t queueOf(uint64_t key) {
        if (lastQueue_ != kNone && key == lastKey_) return lastQueue_;
        const auto [it, added] =
            queueOfKey_.try_emplace(key, static_cast<uint32_t>(queueOfKey_.size()));
        if (added && queues_.size() < queueOfKey_.size()) queues_.emplace_back();
        lastKey_ = key;
        lastQueue_ = it->second;
        return it->second;
    }

    std::vector<Queue> queues_; // kept across pairs, with their room
    std::unordered_map<uint64_t, uint32_t> queueOfKey_;
    uint64_t lastKey_ = 0;
    uint32_t lastQueue_ = kNone;
    size_t waiting_ = 0;
};
