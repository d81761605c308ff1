#pragma once
// Every field of one call, for the tool tip and the details panel: what the
// call was, when it ran, whom it talked to, where it stands in the source,
// and the calls its messages link it with.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TTrace;
struct TFunc;

struct CallField {
    std::string label;
    std::string value;
};

// A call at the other end of a link: the receive of a send, or the send of
// a receive.
struct LinkPartner {
    uint32_t position = 0; // of the partner's process in the document's list
    int32_t rank = 0;
    const TFunc* call = nullptr;
    bool toReceive = true; // this call sends to the partner
};

struct CallDetails {
    std::vector<CallField> fields;
    std::vector<LinkPartner> partners;
};

// Times are display times (corrected by the node's clock offset), in µs,
// counted from `origin` (0: as loaded; the trace's start: from the start).
// withPartners: also find the link partners (a receive's sender may take a
// walk over the calls of every process).
CallDetails callDetails(const TTrace& trace, uint32_t position, const TFunc& call,
                        bool withPartners = true, int64_t origin = 0);

// The labels of the fields, in their order.
std::vector<std::string> callDetailLabels();

// "Label: value" lines, one per field.
std::string detailsText(const CallDetails& details);

// The list position of the process that holds the call; nullopt when none does.
std::optional<uint32_t> positionOfCall(const TTrace& trace, const TFunc& call);
// The call's index in its process's call list (the call must belong to it).
uint32_t callIndexIn(const TTrace& trace, uint32_t position, const TFunc& call);
