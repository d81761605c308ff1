#pragma once
// Finding calls: the next or previous call in time order that matches what
// the user asked for (function, rank, minimum duration, tag, peer).

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TTrace;
struct TFunc;

struct CallQuery {
    std::optional<uint32_t> funcId; // compared without the unfinished flag
    std::optional<int32_t> rank;
    int64_t minDuration = 0; // µs
    std::optional<uint32_t> tag;
    std::optional<int32_t> peer;
    // Calls it refuses are never found (hidden ones, for example).
    std::function<bool(uint32_t position, const TFunc&)> accepts;
};

// A call by its process's list position and its index in the call list.
struct CallRef {
    uint32_t position = 0;
    uint32_t index = 0;
    bool operator==(const CallRef&) const = default;
};

bool matches(const CallQuery& query, int32_t rank, const TFunc& call);

// Calls are ordered by display start, then list position, then index. The
// first matching call after `from` (before it, when !forward); without
// `from`, the first (last) of all. Section markers match only when asked for
// by function.
std::optional<CallRef> findCall(const TTrace& trace, const CallQuery& query,
                                std::optional<CallRef> from, bool forward);

// Every function identifier (unfinished flag cleared) that some call has,
// ascending.
std::vector<uint32_t> functionsPresent(const TTrace& trace);
