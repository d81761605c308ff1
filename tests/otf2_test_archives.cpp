#include "tests/otf2_test_archives.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <numeric>

TestArchive::TestArchive(const std::string& dir, uint32_t ranks, std::vector<uint32_t> nodeOf)
    : dir_(dir) {
    std::string error;
    EXPECT_TRUE(w_.open(dir, "traces", error)) << error;
    w_.clock(1000000, 0, 0);
    const uint32_t machine =
        w_.systemTreeNode("cluster", "machine", OTF2_UNDEFINED_SYSTEM_TREE_NODE);
    std::map<uint32_t, uint32_t> nodes;
    std::vector<uint64_t> all(ranks);
    for (uint32_t r = 0; r < ranks; ++r) {
        const uint32_t n = r < nodeOf.size() ? nodeOf[r] : 0;
        if (!nodes.count(n))
            nodes[n] = w_.systemTreeNode("host" + std::to_string(n), "node", machine);
        const uint32_t group = w_.locationGroup("MPI Rank " + std::to_string(r), nodes[n]);
        locations_.push_back(w_.location("Master thread", group));
        all[r] = locations_.back();
    }
    w_.group("", OTF2_GROUP_TYPE_COMM_LOCATIONS, all);
    std::vector<uint64_t> worldRanks(ranks);
    std::iota(worldRanks.begin(), worldRanks.end(), 0);
    w_.comm(kWorld, "MPI_COMM_WORLD", w_.group("", OTF2_GROUP_TYPE_COMM_GROUP, worldRanks),
            OTF2_UNDEFINED_COMM);
    w_.comm(kSelf, "MPI_COMM_SELF", w_.group("", OTF2_GROUP_TYPE_COMM_SELF, {}),
            OTF2_UNDEFINED_COMM);
}

uint32_t TestArchive::region(const std::string& name) {
    auto it = regions_.find(name);
    if (it != regions_.end()) return it->second;
    const bool mpi = name.rfind("MPI_", 0) == 0;
    const uint32_t r = w_.region(name, mpi ? OTF2_PARADIGM_MPI : OTF2_PARADIGM_USER,
                                 mpi ? "" : "solver.c", mpi ? 0 : 10);
    regions_[name] = r;
    return r;
}

void TestArchive::enter(uint32_t rank, uint64_t t, const std::string& name) {
    OTF2_EvtWriter_Enter(ev(rank), nullptr, t, region(name));
}

void TestArchive::leave(uint32_t rank, uint64_t t, const std::string& name) {
    OTF2_EvtWriter_Leave(ev(rank), nullptr, t, region(name));
}

void TestArchive::call(uint32_t rank, uint64_t t0, uint64_t t1, const std::string& name) {
    enter(rank, t0, name);
    leave(rank, t1, name);
}

void TestArchive::initAll(uint64_t t0, uint64_t t1) {
    for (uint32_t r = 0; r < locations_.size(); ++r) call(r, t0, t1, "MPI_Init");
}

void TestArchive::send(uint32_t rank, uint64_t t0, uint64_t t1, uint32_t to, uint32_t tag,
                       uint64_t bytes, uint32_t comm) {
    enter(rank, t0, "MPI_Send");
    OTF2_EvtWriter_MpiSend(ev(rank), nullptr, t0, to, comm, tag, bytes);
    leave(rank, t1, "MPI_Send");
}

void TestArchive::recv(uint32_t rank, uint64_t t0, uint64_t t1, uint32_t from, uint32_t tag,
                       uint64_t bytes, uint32_t comm) {
    enter(rank, t0, "MPI_Recv");
    OTF2_EvtWriter_MpiRecv(ev(rank), nullptr, t1, from, comm, tag, bytes);
    leave(rank, t1, "MPI_Recv");
}

void TestArchive::collective(uint32_t rank, uint64_t t0, uint64_t t1, const std::string& name,
                             uint32_t comm, uint32_t root, uint64_t sent, uint64_t received) {
    enter(rank, t0, name);
    OTF2_EvtWriter_MpiCollectiveBegin(ev(rank), nullptr, t0);
    OTF2_EvtWriter_MpiCollectiveEnd(ev(rank), nullptr, t1, OTF2_COLLECTIVE_OP_BCAST, comm, root,
                                    sent, received);
    leave(rank, t1, name);
}

uint32_t TestArchive::subComm(const std::string& name, std::vector<uint64_t> ranks) {
    const uint32_t ref = nextComm_++;
    w_.comm(ref, name, w_.group("", OTF2_GROUP_TYPE_COMM_GROUP, std::move(ranks)), kWorld);
    return ref;
}

void TestArchive::close() {
    std::string error;
    EXPECT_TRUE(w_.close(error)) << error;
}

std::string freshArchiveDir(const std::string& name) {
    const auto dir = std::filesystem::path(testing::TempDir()) / ("zlv_otf2_" + name);
    std::filesystem::remove_all(dir);
    return dir.string();
}
