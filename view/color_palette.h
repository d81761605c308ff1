#pragma once
// The colours of MPI functions in the event explorer: the fixed entries,
// then one for each of the tracer's own identifiers.

#include <cstdint>
#include <vector>

struct TColour {
    uint8_t r = 255, g = 255, b = 255;
    bool operator==(const TColour&) const = default;
};

class ColorPalette {
  public:
    struct Entry {
        uint32_t id;
        TColour colour;
    };

    ColorPalette(); // the nineteen fixed entries, then the tracer's calls
    void append(uint32_t id, TColour colour) { entries_.push_back({id, colour}); }
    // First entry with that identifier; white when none. Callers clear 0x800 first.
    TColour colourOf(uint32_t id) const;
    uint32_t idAt(uint32_t index) const { return index < entries_.size() ? entries_[index].id : 0; }
    uint32_t entryCount() const { return static_cast<uint32_t>(entries_.size()); }

  private:
    std::vector<Entry> entries_;
};
