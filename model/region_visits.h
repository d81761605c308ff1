#pragma once
// The region visits of a process as every figure reads them: those its
// source recorded, made to nest, or else the stretches its section markers
// give.

#include "model/trace_model.h"

#include <span>
#include <vector>

// Makes recorded visits nest whatever the source's times: no visit deeper
// than one below the visits open around it, each inside its parent and not
// before its previous sibling's leave. Afterwards entries never decrease.
void nestRegionVisits(std::vector<TRegionVisit>& visits);

// The stretches in which a section other than the main one was current, from
// its marker to the next marker that names another section (or the end of the
// process's last call). A .zlv trace records only switches between sections,
// not which section a switch returns to, so these stretches never nest.
std::vector<TRegionVisit> visitsFromMarkers(const TProcess& p);

// The visits of one process: its recorded ones (not copied), else those of
// its markers.
class ProcessRegions {
  public:
    explicit ProcessRegions(const TProcess& p);
    ProcessRegions(const ProcessRegions&) = delete; // visits() may point into it
    ProcessRegions& operator=(const ProcessRegions&) = delete;
    std::span<const TRegionVisit> visits() const { return visits_; }

  private:
    std::vector<TRegionVisit> fromMarkers_;
    std::span<const TRegionVisit> visits_;
};
