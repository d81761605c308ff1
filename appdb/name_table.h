#pragma once
// A name table indexed by a 32-bit identifier. Stored sparsely so that a
// database naming identifier 4294967295 costs no more than one naming 5;
// it still answers as a dense array: below size() an unnamed slot is "".

#include <cstdint>
#include <string>
#include <unordered_map>

class TNameTable {
  public:
    // Highest named identifier + 1 (the length of the equivalent dense array).
    uint64_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    void set(uint32_t id, std::string name);
    void append(std::string name) { set(static_cast<uint32_t>(size_), std::move(name)); }
    // The entry; "" for an unnamed slot or an identifier not below size().
    const std::string& at(uint32_t id) const;
    bool covers(uint32_t id) const { return id < size_; }
    size_t namedCount() const { return names_.size(); }
    // Calls f(id, name) for every named slot, in no particular order.
    template <class F>
    void forEachNamed(F&& f) const {
        for (const auto& [id, name] : names_) f(id, name);
    }

  private:
    std::unordered_map<uint32_t, std::string> names_;
    uint64_t size_ = 0;
};
