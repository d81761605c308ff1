#include "otf2/event_callbacks.h"

#include <otf2/OTF2_AttributeList.h>
#include <otf2/OTF2_EvtReaderCallbacks.h>

#include <vector>

namespace otf2in {
namespace {

struct EventState {
    const EventSink& sink;
    std::vector<EventAttribute> attributes;
    std::vector<double> values;
};

uint64_t widened(OTF2_Type type, const OTF2_AttributeValue& v) {
    switch (type) {
    case OTF2_TYPE_UINT8:
        return v.uint8;
    case OTF2_TYPE_UINT16:
        return v.uint16;
    case OTF2_TYPE_UINT32:
        return v.uint32;
    case OTF2_TYPE_INT8:
        return static_cast<uint64_t>(int64_t{v.int8});
    case OTF2_TYPE_INT16:
        return static_cast<uint64_t>(int64_t{v.int16});
    case OTF2_TYPE_INT32:
        return static_cast<uint64_t>(int64_t{v.int32});
    case OTF2_TYPE_INT64:
        return static_cast<uint64_t>(v.int64);
    default:
        return v.uint64; // 64-bit and reference types
    }
}

// Delivers one event with the attributes the archive attached to it.
OTF2_CallbackCode deliver(void* userData, OTF2_AttributeList* list, Event& e) {
    auto& s = *static_cast<EventState*>(userData);
    s.attributes.clear();
    const uint32_t n = list ? OTF2_AttributeList_GetNumberOfElements(list) : 0;
    for (uint32_t i = 0; i < n; ++i) {
        OTF2_AttributeRef ref;
        OTF2_Type type;
        OTF2_AttributeValue value;
        if (OTF2_AttributeList_GetAttributeByIndex(list, i, &ref, &type, &value) == OTF2_SUCCESS)
            s.attributes.push_back({ref, widened(type, value)});
    }
    e.attributes = s.attributes;
    s.sink(e);
    return OTF2_CALLBACK_SUCCESS;
}

Event at(EventKind kind, OTF2_TimeStamp time) {
    Event e;
    e.kind = kind;
    e.time = time;
    return e;
}

OTF2_CallbackCode onRegion(EventKind kind, OTF2_TimeStamp t, void* u, OTF2_AttributeList* a,
                           OTF2_RegionRef region) {
    Event e = at(kind, t);
    e.region = region;
    return deliver(u, a, e);
}

OTF2_CallbackCode onEnter(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                          OTF2_AttributeList* a, OTF2_RegionRef region) {
    return onRegion(EventKind::Enter, t, u, a, region);
}

OTF2_CallbackCode onLeave(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                          OTF2_AttributeList* a, OTF2_RegionRef region) {
    return onRegion(EventKind::Leave, t, u, a, region);
}

OTF2_CallbackCode onMessage(EventKind kind, OTF2_TimeStamp t, void* u, OTF2_AttributeList* a,
                            uint32_t peer, OTF2_CommRef comm, uint32_t tag, uint64_t length,
                            uint64_t request) {
    Event e = at(kind, t);
    e.peer = peer;
    e.comm = comm;
    e.tag = tag;
    e.length = length;
    e.request = request;
    return deliver(u, a, e);
}

OTF2_CallbackCode onSend(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                         OTF2_AttributeList* a, uint32_t receiver, OTF2_CommRef comm, uint32_t tag,
                         uint64_t length) {
    return onMessage(EventKind::MpiSend, t, u, a, receiver, comm, tag, length, 0);
}

OTF2_CallbackCode onIsend(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                          OTF2_AttributeList* a, uint32_t receiver, OTF2_CommRef comm, uint32_t tag,
                          uint64_t length, uint64_t request) {
    return onMessage(EventKind::MpiIsend, t, u, a, receiver, comm, tag, length, request);
}

OTF2_CallbackCode onRecv(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                         OTF2_AttributeList* a, uint32_t sender, OTF2_CommRef comm, uint32_t tag,
                         uint64_t length) {
    return onMessage(EventKind::MpiRecv, t, u, a, sender, comm, tag, length, 0);
}

OTF2_CallbackCode onIrecv(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                          OTF2_AttributeList* a, uint32_t sender, OTF2_CommRef comm, uint32_t tag,
                          uint64_t length, uint64_t request) {
    return onMessage(EventKind::MpiIrecv, t, u, a, sender, comm, tag, length, request);
}

OTF2_CallbackCode onRequest(EventKind kind, OTF2_TimeStamp t, void* u, OTF2_AttributeList* a,
                            uint64_t request) {
    Event e = at(kind, t);
    e.request = request;
    return deliver(u, a, e);
}

OTF2_CallbackCode onIsendComplete(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                                  OTF2_AttributeList* a, uint64_t request) {
    return onRequest(EventKind::MpiIsendComplete, t, u, a, request);
}

OTF2_CallbackCode onIrecvRequest(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                                 OTF2_AttributeList* a, uint64_t request) {
    return onRequest(EventKind::MpiIrecvRequest, t, u, a, request);
}

OTF2_CallbackCode onCancelled(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                              OTF2_AttributeList* a, uint64_t request) {
    return onRequest(EventKind::MpiRequestCancelled, t, u, a, request);
}

OTF2_CallbackCode onCollBegin(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                              OTF2_AttributeList* a) {
    Event e = at(EventKind::CollectiveBegin, t);
    return deliver(u, a, e);
}

OTF2_CallbackCode onCollEnd(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                            OTF2_AttributeList* a, OTF2_CollectiveOp, OTF2_CommRef comm,
                            uint32_t root, uint64_t sent, uint64_t received) {
    Event e = at(EventKind::CollectiveEnd, t);
    e.comm = comm;
    e.peer = root;
    e.length = sent;
    e.received = received;
    return deliver(u, a, e);
}

OTF2_CallbackCode onComm(EventKind kind, OTF2_TimeStamp t, void* u, OTF2_AttributeList* a,
                         OTF2_CommRef comm) {
    Event e = at(kind, t);
    e.comm = comm;
    return deliver(u, a, e);
}

OTF2_CallbackCode onCommCreate(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                               OTF2_AttributeList* a, OTF2_CommRef comm) {
    return onComm(EventKind::CommCreate, t, u, a, comm);
}

OTF2_CallbackCode onCommDestroy(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                                OTF2_AttributeList* a, OTF2_CommRef comm) {
    return onComm(EventKind::CommDestroy, t, u, a, comm);
}

OTF2_CallbackCode onMetric(OTF2_LocationRef, OTF2_TimeStamp t, uint64_t, void* u,
                           OTF2_AttributeList* a, OTF2_MetricRef metric, uint8_t count,
                           const OTF2_Type* types, const OTF2_MetricValue* values) {
    auto& s = *static_cast<EventState*>(u);
    s.values.clear();
    for (uint8_t i = 0; types && values && i < count; ++i) {
        const OTF2_MetricValue& v = values[i];
        if (types[i] == OTF2_TYPE_DOUBLE)
            s.values.push_back(v.floating_point);
        else if (types[i] == OTF2_TYPE_INT64)
            s.values.push_back(static_cast<double>(v.signed_int));
        else
            s.values.push_back(static_cast<double>(v.unsigned_int));
    }
    Event e = at(EventKind::Metric, t);
    e.metric = metric;
    e.metricValues = s.values;
    return deliver(u, a, e);
}

} // namespace

OTF2_ErrorCode readLocalEvents(OTF2_Reader* reader, OTF2_EvtReader* evtReader,
                               const EventSink& sink, uint64_t& read) {
    OTF2_EvtReaderCallbacks* cb = OTF2_EvtReaderCallbacks_New();
    OTF2_EvtReaderCallbacks_SetEnterCallback(cb, onEnter);
    OTF2_EvtReaderCallbacks_SetLeaveCallback(cb, onLeave);
    OTF2_EvtReaderCallbacks_SetMpiSendCallback(cb, onSend);
    OTF2_EvtReaderCallbacks_SetMpiIsendCallback(cb, onIsend);
    OTF2_EvtReaderCallbacks_SetMpiIsendCompleteCallback(cb, onIsendComplete);
    OTF2_EvtReaderCallbacks_SetMpiIrecvRequestCallback(cb, onIrecvRequest);
    OTF2_EvtReaderCallbacks_SetMpiIrecvCallback(cb, onIrecv);
    OTF2_EvtReaderCallbacks_SetMpiRecvCallback(cb, onRecv);
    OTF2_EvtReaderCallbacks_SetMpiRequestCancelledCallback(cb, onCancelled);
    OTF2_EvtReaderCallbacks_SetMpiCollectiveBeginCallback(cb, onCollBegin);
    OTF2_EvtReaderCallbacks_SetMpiCollectiveEndCallback(cb, onCollEnd);
    OTF2_EvtReaderCallbacks_SetCommCreateCallback(cb, onCommCreate);
    OTF2_EvtReaderCallbacks_SetCommDestroyCallback(cb, onCommDestroy);
    OTF2_EvtReaderCallbacks_SetMetricCallback(cb, onMetric);
    EventState s{sink, {}, {}};
    OTF2_ErrorCode status = OTF2_Reader_RegisterEvtCallbacks(reader, evtReader, cb, &s);
    OTF2_EvtReaderCallbacks_Delete(cb);
    read = 0;
    if (status == OTF2_SUCCESS) status = OTF2_Reader_ReadAllLocalEvents(reader, evtReader, &read);
    return status;
}

} // namespace otf2in
