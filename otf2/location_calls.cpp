#include "otf2/location_calls.h"

#include "format/tracer_calls.h"
#include "model/trace_model.h"

#include <algorithm>

namespace otf2in {
namespace {

uint32_t clampSize(uint64_t bytes) {
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
}

// The bytes a collective call moves from this process's point of view: what
// the root sends out or takes in, what the other members send or receive.
uint32_t collectiveSize(uint32_t funcId, bool root, uint64_t sent, uint64_t received) {
    switch (funcId) {
    case kFuncBcast:
    case kFuncScatter:
    case kFuncScatterv:
        return clampSize(root ? sent : received);
    case kFuncReduce:
    case kFuncGather:
    case kFuncGatherv:
        return clampSize(root ? received : sent);
    default:
        return clampSize(std::max(sent, received));
    }
}

constexpr uint32_t kCancelledIrecv = otherCallId(kOtherCancelledIrecv);
constexpr uint32_t kCancelledIsend = otherCallId(kOtherCancelledIsend);

} // namespace

uint32_t NameIds::id(const std::string& name) {
    if (name.empty()) return 0;
    auto [it, fresh] = ids_.emplace(name, static_cast<uint32_t>(names_.size() + 1));
    if (fresh) names_.push_back(name);
    return it->second;
}

LocationCalls::LocationCalls(const ImportContext& context, uint32_t rank, NameIds& sections,
                             NameIds& files)
    : ctx_(context), rank_(rank), sections_(sections), files_(files) {}

uint32_t LocationCalls::commId(uint32_t ref) const {
    const CommInfo* c = ctx_.comm(ref);
    return c ? c->id : 0;
}

uint32_t LocationCalls::currentSection() const {
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        if (it->section) return it->sectionId;
    return 0;
}

LocationCalls::Frame* LocationCalls::innermostMpi() {
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        if (it->info && it->info->mpi && !it->section) return &*it;
    return nullptr;
}

void LocationCalls::add(const Event& e) {
    lastTime_ = std::max(lastTime_, ctx_.micros(e.time));
    if (e.kind == EventKind::Enter) return enter(e);
    if (e.kind == EventKind::Leave) return leave(e, false);
    if (e.kind == EventKind::Metric) {
        metrics_.push_back(
            {ctx_.micros(e.time), e.metric, {e.metricValues.begin(), e.metricValues.end()}});
        return;
    }
    Frame* f = innermostMpi();
    if (!f) {
        ++stray_;
        return;
    }
    onMessage(e, *f);
}

void LocationCalls::enter(const Event& e) {
    Frame f;
    f.region = e.region;
    f.info = ctx_.region(e.region);
    f.start = ctx_.micros(e.time);
    const bool insideMpi = innermostMpi() != nullptr;
    if (f.info && f.info->mpi) {
        // MPI regions inside MPI regions are the library's own business: their
        // events belong to the outer call.
        if (insideMpi) f.info = nullptr;
    } else if (!insideMpi) {
        f.section = true;
        f.sectionId = sections_.id(f.info ? f.info->name : "region " + std::to_string(e.region));
        f.sinceBefore = sectionSince_;
        f.callsBefore = calls_.size();
        sectionSince_ = f.start;
        f.visit = visits_.size();
        visits_.push_back({f.start, f.start, f.sectionId, openSections_++});
    }
    if (f.info && f.info->mpi) {
        f.location = (files_.id(f.info->sourceFile) & 0xFFFF) << 16 | (f.info->line & 0xFFFF);
        if (auto attr = ctx_.locationAttribute())
            for (const EventAttribute& a : e.attributes)
                if (a.attribute == *attr) f.location = static_cast<uint32_t>(a.value);
    }
    frames_.push_back(f);
}

void LocationCalls::leave(const Event& e, bool unfinished) {
    auto match = std::find_if(frames_.rbegin(), frames_.rend(),
                              [&](const Frame& f) { return f.region == e.region; });
    if (match == frames_.rend()) {
        ++stray_;
        return;
    }
    const int64_t end = ctx_.micros(e.time);
    const size_t depth = frames_.size() - 1 - (match - frames_.rbegin());
    // Frames above the one left were left implicitly.
    while (frames_.size() > depth) {
        Frame f = frames_.back();
        frames_.pop_back();
        closeFrame(f, end, unfinished);
    }
}

void LocationCalls::closeFrame(Frame& f, int64_t end, bool unfinished) {
    if (f.section) {
        visits_[f.visit].leave = end;
        --openSections_;
        // Left without a call inside: the enclosing section never stopped.
        sectionSince_ = calls_.size() == f.callsBefore ? f.sinceBefore : end;
        return;
    }
    if (!f.info || !f.info->mpi) return;
    if (f.count == 0) addCall(f, f.info->plainFuncId);
    for (size_t i = f.slot; i < calls_.size(); ++i) {
        calls_[i].end = std::max(end, calls_[i].start);
        if (unfinished) calls_[i].funcId |= kUnfinishedFlag;
    }
}

TraceCall& LocationCalls::addCall(Frame& f, uint32_t funcId) {
    if (f.count == 0) {
        const uint32_t section = currentSection();
        // A section entered before the first call begins after it, so that
        // MPI_Init stays the first call of the process.
        if (!calls_.empty() && section != emittedSection_) {
            const int64_t at = std::max(sectionSince_, calls_.back().end);
            calls_.push_back({section, kFuncSection, at, at, 0, 0, 0, 0});
            emittedSection_ = section;
        }
        f.slot = calls_.size();
    }
    ++f.count;
    calls_.push_back({f.location, funcId, f.start, f.start, 0, 0, 0, 0});
    return calls_.back();
}

void LocationCalls::onMessage(const Event& e, Frame& f) {
    const auto message = [&](uint32_t funcId) -> TraceCall& {
        TraceCall& c = addCall(f, funcId);
        c.peer = static_cast<int32_t>(e.peer);
        c.comm = commId(e.comm);
        c.msgTag = e.tag;
        c.size = clampSize(e.length);
        return c;
    };
    switch (e.kind) {
    case EventKind::MpiSend:
        message(kFuncSend);
        break;
    case EventKind::MpiRecv:
        message(kFuncRecv);
        break;
    case EventKind::MpiIsend:
        message(kFuncIsend);
        isends_[e.request] = calls_.size() - 1;
        break;
    case EventKind::MpiIrecvRequest:
        addCall(f, kFuncIrecv).peer = -1; // source unknown until it completes
        irecvs_[e.request] = calls_.size() - 1;
        break;
    case EventKind::MpiIrecv: {
        auto posted = irecvs_.find(e.request);
        if (posted != irecvs_.end()) {
            TraceCall& c = calls_[posted->second];
            c.peer = static_cast<int32_t>(e.peer);
            c.comm = commId(e.comm);
            c.msgTag = e.tag;
            c.size = clampSize(e.length);
            irecvs_.erase(posted);
        } else if (f.info->funcId == kFuncIrecv) {
            message(kFuncIrecv); // posted and completed in one
            break;
        }
        message(kFuncWaitIrecv);
        break;
    }
    case EventKind::MpiIsendComplete: {
        auto posted = isends_.find(e.request);
        TraceCall wait;
        wait.peer = -1;
        if (posted != isends_.end()) {
            wait = calls_[posted->second];
            isends_.erase(posted);
        }
        TraceCall& c = addCall(f, kFuncWaitIsend);
        c.peer = wait.peer, c.comm = wait.comm, c.msgTag = wait.msgTag, c.size = wait.size;
        break;
    }
    case EventKind::MpiRequestCancelled:
        if (auto s = isends_.find(e.request); s != isends_.end()) {
            calls_[s->second].funcId = kCancelledIsend;
            isends_.erase(s);
        } else if (auto r = irecvs_.find(e.request); r != irecvs_.end()) {
            calls_[r->second].funcId = kCancelledIrecv;
            irecvs_.erase(r);
        }
        break;
    case EventKind::CollectiveEnd: {
        const CommInfo* comm = ctx_.comm(e.comm);
        const bool root =
            comm && ImportContext::localRank(*comm, rank_) == static_cast<int32_t>(e.peer);
        TraceCall& c = addCall(f, f.info->funcId);
        c.peer = static_cast<int32_t>(e.peer);
        c.comm = comm ? comm->id : 0;
        c.size = collectiveSize(f.info->funcId, root, e.length, e.received);
        break;
    }
    case EventKind::CommCreate:
        if ((f.info->funcId & kFuncMembersBit) && f.info->funcId != kFuncCommFree) {
            TraceCall& c = addCall(f, f.info->funcId);
            if (const CommInfo* comm = ctx_.comm(e.comm)) {
                c.comm = comm->id;
                members_[calls_.size() - 1] = comm->members;
                c.size = static_cast<uint32_t>(comm->members.size());
                created_.push_back(comm->id);
            }
        }
        break;
    case EventKind::CommDestroy:
        if (f.info->funcId == kFuncCommFree) addCall(f, kFuncCommFree).comm = commId(e.comm);
        break;
    default:
        break;
    }
}

ImportedCalls LocationCalls::finish() {
    while (!frames_.empty()) {
        Frame f = frames_.back();
        frames_.pop_back();
        closeFrame(f, lastTime_, true);
    }
    return std::move(calls_);
}

} // namespace otf2in
