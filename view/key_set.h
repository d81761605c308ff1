#pragma once
// A set of nonzero 64-bit keys by open addressing that grows with what it
// holds, so that emptying it costs little when few keys went in.

#include <cstddef>
#include <cstdint>
#include <vector>

class KeySet {
  public:
    // Holds nothing; keeps the memory of its largest table.
    void clear() {
        if (count_ > 0 || slots_.size() != kFirstSize) slots_.assign(kFirstSize, 0);
        count_ = 0;
    }
    // Whether `key` (nonzero) was held already; holds it from now on.
    bool insertSeen(uint64_t key) {
        if (slots_.empty()) slots_.assign(kFirstSize, 0);
        if (place(slots_, key)) return true;
        if (++count_ * 2 > slots_.size()) grow();
        return false;
    }
    size_t size() const { return count_; }

    // Spreads a key's bits over the table's index.
    static uint64_t mix(uint64_t k) {
        k ^= k >> 33;
        k *= 0xff51afd7ed558ccdULL;
        k ^= k >> 33;
        return k;
    }

  private:
    static constexpr size_t kFirstSize = 64; // a power of two

    // Puts key into a table that has room; true when it was there.
    static bool place(std::vector<uint64_t>& table, uint64_t key) {
        const size_t mask = table.size() - 1;
        for (size_t h = mix(key) & mask;; h = (h + 1) & mask) {
            if (table[h] == key) return true;
            if (table[h] == 0) {
                table[h] = key;
                return false;
            }
        }
    }
    void grow() {
        std::vector<uint64_t> larger(slots_.size() * 2, 0);
        for (uint64_t key : slots_)
            if (key != 0) place(larger, key);
        slots_.swap(larger);
    }

    std::vector<uint64_t> slots_;
    size_t count_ = 0;
};
