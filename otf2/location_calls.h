#pragma once
// Turns the events of one rank's main thread into the calls of its process:
// every MPI region one or more calls (a send, a receive, one wait per
// completed request, the collective), every other region a program section
// for the MPI calls inside it. The calls are held until the location ends,
// because a receive's source, tag and size arrive only with its completion.

#include "otf2/archive_events.h"
#include "otf2/import_context.h"

#include "model/trace_builder.h"

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

namespace otf2in {

// The calls of one location as the builder takes them, in blocks: a
// growing vector would hold up to twice its calls while it moves them, and
// a location may hold most of the archive.
using ImportedCalls = std::deque<TraceCall>;

struct MetricSample {
    int64_t time = 0;
    uint32_t metric = 0;
    std::vector<double> values;
};

// Identifiers of section and file names, shared by all locations of an import.
class NameIds {
  public:
    // 1, 2, ... in order of first use; 0 for the empty name.
    uint32_t id(const std::string& name);
    const std::vector<std::string>& names() const { return names_; } // index id - 1

  private:
    std::unordered_map<std::string, uint32_t> ids_;
    std::vector<std::string> names_;
};

class LocationCalls {
  public:
    LocationCalls(const ImportContext& context, uint32_t rank, NameIds& sections, NameIds& files);

    void add(const Event& e);
    // Closes what is still open (as unfinished calls) and hands over the calls.
    ImportedCalls finish();
    // The member lists of the calls that made a communicator, by call index
    // (few calls have one, so they are kept apart).
    const std::unordered_map<size_t, std::vector<uint32_t>>& memberLists() const {
        return members_;
    }

    // Communicators this location created with a call.
    const std::vector<uint32_t>& createdComms() const { return created_; }
    std::vector<MetricSample>& metrics() { return metrics_; }
    // Every visit of a section's region, in the order entered (after finish).
    std::vector<TRegionVisit>& regionVisits() { return visits_; }
    // Leaves without a matching enter, events outside any MPI region.
    uint64_t strayEvents() const { return stray_; }

  private:
    struct Frame {
        uint32_t region = 0;
        const RegionInfo* info = nullptr;
        bool section = false; // a non-MPI region outside MPI regions
        uint32_t sectionId = 0;
        int64_t sinceBefore = 0; // when the enclosing section became current
        size_t callsBefore = 0;
        size_t visit = 0; // of a section: its entry in visits_
        size_t slot = 0;  // where its calls go
        size_t count = 0; // calls made so far
        int64_t start = 0;
        uint32_t location = 0;
        bool collective = false, created = false;
    };

    void enter(const Event& e);
    void leave(const Event& e, bool unfinished);
    void closeFrame(Frame& f, int64_t end, bool unfinished);
    TraceCall& addCall(Frame& f, uint32_t funcId);
    Frame* innermostMpi();
    void sectionChange(int64_t at);
    uint32_t currentSection() const;
    void onMessage(const Event& e, Frame& f);
    uint32_t commId(uint32_t ref) const;

    const ImportContext& ctx_;
    uint32_t rank_;
    NameIds& sections_;
    NameIds& files_;
    ImportedCalls calls_;
    std::unordered_map<size_t, std::vector<uint32_t>> members_;
    std::vector<Frame> frames_;
    // Posted non-blocking calls by request: index into calls_.
    std::unordered_map<uint64_t, size_t> isends_, irecvs_;
    std::vector<uint32_t> created_;
    std::vector<MetricSample> metrics_;
    std::vector<TRegionVisit> visits_;
    uint32_t openSections_ = 0;
    uint32_t emittedSection_ = 0;
    int64_t sectionSince_ = 0;
    int64_t lastTime_ = 0;
    uint64_t stray_ = 0;
};

} // namespace otf2in
