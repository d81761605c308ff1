#pragma once
// The fixed table of MPI function identifiers and their display names,
// followed by the names of the tracer's own identifiers.

#include <cstdint>
#include <string>
#include <vector>

class TFuncNames {
  public:
    struct Entry {
        uint32_t id;
        std::string name;
    };

    TFuncNames(); // the twenty fixed names, then the tracer's (format/tracer_calls.h)
    void addFunc(uint32_t id, std::string name) { entries_.push_back({id, std::move(name)}); }
    // First entry with that identifier, "Unknown" when none. Callers clear 0x800 first.
    const std::string& funcName(uint32_t id) const;
    // The first entry's name; nullptr when none.
    const std::string* find(uint32_t id) const;
    const std::vector<Entry>& entries() const { return entries_; }

  private:
    std::vector<Entry> entries_;
};
