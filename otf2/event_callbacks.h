#pragma once
// The event callbacks: one location's events as plain Events to a sink.

#include "otf2/archive_events.h"

#include <otf2/OTF2_Reader.h>

namespace otf2in {

// `read`: the events read, whether a callback took them or not.
OTF2_ErrorCode readLocalEvents(OTF2_Reader* reader, OTF2_EvtReader* evtReader,
                               const EventSink& sink, uint64_t& read);

} // namespace otf2in
