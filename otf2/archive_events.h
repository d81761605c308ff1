#pragma once
// The events of one OTF2 location as plain data, in the order the archive
// holds them. Times are the archive's ticks, clock offsets already applied.

#include <cstdint>
#include <functional>
#include <span>

namespace otf2in {

enum class EventKind : uint8_t {
    Enter,
    Leave,
    MpiSend,
    MpiIsend,
    MpiIsendComplete,
    MpiIrecvRequest,
    MpiIrecv,
    MpiRecv,
    MpiRequestCancelled,
    CollectiveBegin,
    CollectiveEnd,
    CommCreate,
    CommDestroy,
    Metric,
};

// One attribute of an event, its value widened to 64 bits.
struct EventAttribute {
    uint32_t attribute = 0;
    uint64_t value = 0;
};

struct Event {
    EventKind kind = EventKind::Enter;
    uint64_t time = 0;
    uint32_t region = 0; // Enter, Leave
    uint32_t peer = 0;   // receiver, sender or root, a rank of `comm`
    uint32_t comm = 0;
    uint32_t tag = 0;
    uint64_t length = 0;   // message length; bytes sent by a collective
    uint64_t received = 0; // bytes received by a collective
    uint64_t request = 0;
    uint32_t metric = 0;
    std::span<const double> metricValues; // valid during the call only
    std::span<const EventAttribute> attributes;
};

using EventSink = std::function<void(const Event&)>;

} // namespace otf2in
