#pragma once
// OTF2 archives for the tests, written with the OTF2 library's writer API as
// a Score-P run would leave them: one process location group per rank under
// a "node" system tree node, a COMM_LOCATIONS group that gives the ranks, a
// world communicator and MPI regions entered and left around the MPI events.

#include "otf2/archive_writer.h"

#include <otf2/otf2.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TestArchive {
  public:
    // Ranks r = 0..ranks-1, on node "host<nodeOf[r]>" (all on "host0" when empty).
    TestArchive(const std::string& dir, uint32_t ranks, std::vector<uint32_t> nodeOf = {});

    static constexpr uint32_t kWorld = 0; // comm reference of MPI_COMM_WORLD
    static constexpr uint32_t kSelf = 1;

    otf2out::ArchiveWriter& writer() { return w_; }
    OTF2_EvtWriter* ev(uint32_t rank) { return w_.events(locations_[rank]); }
    uint64_t locationOf(uint32_t rank) const { return locations_[rank]; }
    // The region of that name (made on first use); MPI paradigm for "MPI_*" names.
    uint32_t region(const std::string& name);

    void enter(uint32_t rank, uint64_t t, const std::string& name);
    void leave(uint32_t rank, uint64_t t, const std::string& name);
    // Enter at t0, leave at t1, nothing between.
    void call(uint32_t rank, uint64_t t0, uint64_t t1, const std::string& name);
    // MPI_Init on every rank from t0 to t1.
    void initAll(uint64_t t0, uint64_t t1);
    void send(uint32_t rank, uint64_t t0, uint64_t t1, uint32_t to, uint32_t tag, uint64_t bytes,
              uint32_t comm = kWorld);
    void recv(uint32_t rank, uint64_t t0, uint64_t t1, uint32_t from, uint32_t tag, uint64_t bytes,
              uint32_t comm = kWorld);
    // A collective region with its begin and end events.
    void collective(uint32_t rank, uint64_t t0, uint64_t t1, const std::string& name, uint32_t comm,
                    uint32_t root, uint64_t sent, uint64_t received);
    // A communicator of these global ranks (its reference is returned).
    uint32_t subComm(const std::string& name, std::vector<uint64_t> ranks);

    // Writes the definitions; the anchor file is path().
    void close();
    std::string path() const { return dir_ + "/traces.otf2"; }

  private:
    otf2out::ArchiveWriter w_;
    std::string dir_;
    std::vector<uint64_t> locations_;
    std::map<std::string, uint32_t> regions_;
    uint32_t nextComm_ = 2;
};

// A fresh empty directory under the test temporary directory.
std::string freshArchiveDir(const std::string& name);
