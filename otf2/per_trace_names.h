#pragma once
// Identifiers for MPI function names that neither the fixed table nor the
// tracer's table knows: one per distinct name of a trace, from a range of
// their own whose identifiers never carry the bits with a meaning (0x10
// wait, 0x20 member list, 0x800 unfinished).

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace otf2in {

class PerTraceNames {
  public:
    uint32_t id(const std::string& name);
    // (identifier, name) in order of first use.
    const std::vector<std::pair<uint32_t, std::string>>& entries() const { return entries_; }

    // The k-th identifier of the range: k's bits spread over the free bit positions.
    static uint32_t idAt(uint32_t k);

  private:
    std::unordered_map<std::string, uint32_t> ids_;
    std::vector<std::pair<uint32_t, std::string>> entries_;
};

} // namespace otf2in
