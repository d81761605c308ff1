#pragma once
// Figures kept per function identifier while walking millions of calls: an
// open-addressed table, since a tree or a node-based map costs a cache miss
// per call and a program uses only a few dozen functions.

#include <cstdint>
#include <utility>
#include <vector>

template <typename Value>
class IdTable {
  public:
    IdTable() { rehash(64); }

    Value& operator[](uint32_t id) {
        size_t i = slotOf(id);
        if (keys_[i] == id) return values_[i];
        while (keys_[i] != kEmpty) {
            i = (i + 1) & (keys_.size() - 1);
            if (keys_[i] == id) return values_[i];
        }
        if (2 * (used_ + 1) > keys_.size()) {
            rehash(keys_.size() * 2);
            return (*this)[id];
        }
        ++used_;
        keys_[i] = id;
        return values_[i];
    }

    // fn(id, value) for every identifier met, in no particular order.
    template <typename Fn>
    void forEach(Fn&& fn) const {
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i] != kEmpty) fn(static_cast<uint32_t>(keys_[i]), values_[i]);
    }

  private:
    static constexpr uint64_t kEmpty = UINT64_MAX; // identifiers are 32-bit
    size_t slotOf(uint32_t id) const { return (id * 2654435761u) & (keys_.size() - 1); }

    void rehash(size_t slots) {
        std::vector<uint64_t> keys(slots, kEmpty);
        std::vector<Value> values(slots);
        std::swap(keys, keys_);
        std::swap(values, values_);
        used_ = 0;
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i] != kEmpty) (*this)[static_cast<uint32_t>(keys[i])] = std::move(values[i]);
    }

    std::vector<uint64_t> keys_;
    std::vector<Value> values_;
    size_t used_ = 0;
};
