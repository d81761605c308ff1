#pragma once
// The member list of a communicator: entry k is the global rank of local rank
// k. Every process of a communicator lists the same members, so a reader keeps
// one copy per distinct list (MemberPool) and the processes share it: at
// thousands of processes the lists would otherwise take processes² words.
// A list never changes once made.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

class TMembers {
  public:
    using value_type = uint32_t;
    using const_iterator = const uint32_t*;
    using iterator = const_iterator;

    TMembers() = default;
    // Implicit: lists are built as vectors and assigned.
    TMembers(std::vector<uint32_t> ranks); // NOLINT(google-explicit-constructor)
    TMembers(std::initializer_list<uint32_t> ranks) : TMembers(std::vector<uint32_t>(ranks)) {}

    const uint32_t* data() const { return list_ ? list_->ranks.data() : nullptr; }
    size_t size() const { return list_ ? list_->ranks.size() : 0; }
    bool empty() const { return size() == 0; }
    uint32_t operator[](size_t k) const { return list_->ranks[k]; }
    const uint32_t* begin() const { return data(); }
    const uint32_t* end() const { return data() + size(); }

    // Whether each entry is greater than the one before (the usual case):
    // then a rank's local rank is found by binary search, in any prefix too.
    bool ascending() const { return !list_ || list_->ascending; }
    // Whether both are the very same copy.
    bool sharesWith(const TMembers& other) const { return list_ == other.list_; }

    friend bool operator==(const TMembers& a, const TMembers& b);

  private:
    struct Shared {
        std::vector<uint32_t> ranks;
        bool ascending = true;
    };
    explicit TMembers(std::shared_ptr<const Shared> list) : list_(std::move(list)) {}
    static std::shared_ptr<const Shared> share(std::vector<uint32_t> ranks);

    std::shared_ptr<const Shared> list_;
    friend class MemberPool;
};

// One reader's distinct member lists: equal lists come back as one shared copy.
class MemberPool {
  public:
    // The salt spreads the lists of a hostile file as it spreads ranks.
    // Tests keep fewer hash bits to make lists collide.
    explicit MemberPool(uint64_t salt, int hashBits = 64)
        : salt_(salt), hashMask_(hashBits >= 64 ? ~uint64_t{0} : (uint64_t{1} << hashBits) - 1) {}
    TMembers intern(std::span<const uint32_t> ranks);
    size_t distinct() const { return distinct_; }

  private:
    // Lists by hash, open addressing; a few candidates per hash at most, so
    // that colliding lists cost no long comparisons (beyond them, a list is
    // kept as a copy of its own).
    static constexpr size_t kCandidates = 4;
    struct Slot {
        uint64_t hash = 0;
        std::vector<TMembers> lists;
    };
    Slot& slotOf(uint64_t hash);

    uint64_t salt_;
    uint64_t hashMask_;
    std::vector<Slot> slots_;
    size_t used_ = 0;
    size_t distinct_ = 0;
};
