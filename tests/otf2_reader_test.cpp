// The OTF2 reading layer on archives written with the library's writer.

#include "otf2/archive_reader.h"
#include "tests/otf2_test_archives.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

using namespace otf2in;

namespace {

std::vector<Event> eventsOf(ArchiveReader& reader, uint64_t location) {
    std::vector<Event> events;
    std::string error;
    EXPECT_TRUE(reader.readLocation(
        location, [&](const Event& e) { events.push_back(e); }, error))
        << error;
    for (Event& e : events) e.attributes = {}, e.metricValues = {};
    return events;
}

// Opens the archive; a failure is the test's, with the reader's line.
bool opens(ArchiveReader& reader, const std::string& path) {
    std::string error;
    const bool opened = reader.open(path, error);
    EXPECT_TRUE(opened) << error;
    return opened;
}

std::string pingPong(const std::string& name) {
    TestArchive a(freshArchiveDir(name), 2);
    a.initAll(0, 100);
    a.send(0, 200, 250, 1, 7, 64);
    a.recv(1, 190, 260, 0, 7, 64);
    a.send(1, 300, 350, 0, 8, 32);
    a.recv(0, 290, 360, 1, 8, 32);
    a.close();
    return a.path();
}

} // namespace

TEST(Otf2Reader, DefinitionsAndEventsOfAPingPong) {
    ArchiveReader reader;
    ASSERT_TRUE(opens(reader, pingPong("defs")));
    const Definitions& d = reader.definitions();
    EXPECT_EQ(d.timerResolution, 1000000u);
    ASSERT_EQ(d.locations.size(), 2u);
    const LocationGroup& g = d.locationGroups.at(d.locations[1].group);
    EXPECT_EQ(std::tuple(g.name, g.type, d.systemTreeNodes.at(g.systemTreeParent).name),
              std::tuple("MPI Rank 1", kLocationGroupProcess, "host0"));
    EXPECT_EQ(d.comms.at(TestArchive::kWorld).name, "MPI_COMM_WORLD");
    const Group& world = d.groups.at(d.comms.at(TestArchive::kWorld).group);
    EXPECT_EQ(world.members, (std::vector<uint64_t>{0, 1}));
    EXPECT_EQ(reader.version().substr(0, 2), "3.");

    // The events of one location, in order.
    const auto events = eventsOf(reader, d.locations[0].id);
    ASSERT_EQ(events.size(), 8u);
    EXPECT_EQ(events[2].kind, EventKind::Enter);
    EXPECT_EQ(d.regions.at(events[2].region).name, "MPI_Send");
    EXPECT_EQ(std::tuple(events[3].kind, events[3].peer, events[3].tag, events[3].length),
              std::tuple(EventKind::MpiSend, 1u, 7u, uint64_t{64}));
    EXPECT_EQ(std::pair(events[6].kind, events[6].time),
              std::pair(EventKind::MpiRecv, uint64_t{360}));
}

TEST(Otf2Reader, ClockOffsetsOfALocationAreApplied) {
    TestArchive a(freshArchiveDir("offsets"), 4);
    a.initAll(1000, 1100);
    // Measured at the start and at the end of the run, as Score-P does.
    a.writer().clockOffset(a.locationOf(1), 0, 500);
    a.writer().clockOffset(a.locationOf(1), 10000, 700);
    // Measured once: the whole location is off by that much.
    a.writer().clockOffset(a.locationOf(2), 5000, -300);
    a.writer().clockOffset(a.locationOf(3), 0, 40);
    a.close();
    ArchiveReader reader;
    ASSERT_TRUE(opens(reader, a.path()));
    auto times = [&](uint32_t rank) {
        const auto events = eventsOf(reader, a.locationOf(rank));
        return std::vector<uint64_t>{events.at(0).time, events.at(1).time};
    };
    EXPECT_EQ(times(0), (std::vector<uint64_t>{1000, 1100}));
    EXPECT_EQ(times(1), (std::vector<uint64_t>{1520, 1622})); // interpolated
    EXPECT_EQ(times(2), (std::vector<uint64_t>{700, 800}));
    EXPECT_EQ(times(3), (std::vector<uint64_t>{1040, 1140}));
}

TEST(Otf2Reader, AttributesAndMetricValuesReachTheSink) {
    TestArchive a(freshArchiveDir("attrs"), 1);
    const uint32_t attr = a.writer().attribute("origin", OTF2_TYPE_UINT32);
    const uint32_t member = a.writer().metricMember("PAPI_TOT_INS", "#");
    const uint32_t metric = a.writer().metricClass({member});
    OTF2_AttributeList* list = OTF2_AttributeList_New();
    OTF2_AttributeList_AddUint32(list, attr, 0x10002A);
    OTF2_EvtWriter_Enter(a.ev(0), list, 5, a.region("MPI_Init"));
    OTF2_AttributeList_Delete(list);
    OTF2_Type type = OTF2_TYPE_UINT64;
    OTF2_MetricValue value;
    value.unsigned_int = 12345;
    OTF2_EvtWriter_Metric(a.ev(0), nullptr, 6, metric, 1, &type, &value);
    a.leave(0, 7, "MPI_Init");
    a.close();

    ArchiveReader reader;
    std::string error;
    ASSERT_TRUE(reader.open(a.path(), error)) << error;
    std::vector<EventAttribute> attrs;
    std::vector<double> values;
    ASSERT_TRUE(reader.readLocation(
        0,
        [&](const Event& e) {
            attrs.insert(attrs.end(), e.attributes.begin(), e.attributes.end());
            values.insert(values.end(), e.metricValues.begin(), e.metricValues.end());
        },
        error));
    ASSERT_EQ(attrs.size(), 1u);
    EXPECT_EQ(reader.definitions().attributes.at(attrs[0].attribute).name, "origin");
    EXPECT_EQ(attrs[0].value, 0x10002Au);
    EXPECT_EQ(values, std::vector<double>{12345});
    EXPECT_EQ(reader.definitions().metricMembers.at(member).name, "PAPI_TOT_INS");
}

TEST(Otf2Reader, OtfPrintReadsWhatTheWriterWrote) {
    const std::string path = pingPong("print");
    const std::string out = path + ".txt";
    ASSERT_EQ(std::system(("otf2-print " + path + " >" + out + " 2>&1").c_str()), 0);
    std::ifstream in(out);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("MPI_SEND"), std::string::npos) << text;
}

TEST(Otf2Reader, MissingOrBrokenFilesGiveOneLine) {
    std::string error;
    {
        ArchiveReader reader;
        EXPECT_FALSE(reader.open("/nonexistent/traces.otf2", error));
        EXPECT_EQ(error, "Can't open file /nonexistent/traces.otf2");
    }
    const std::string path = pingPong("broken");
    const std::filesystem::path dir = std::filesystem::path(path).parent_path() / "traces";
    {
        std::filesystem::remove(dir / "1.evt");
        ArchiveReader reader;
        ASSERT_TRUE(opens(reader, path));
        EXPECT_TRUE(reader.readLocation(
            0, [](const Event&) {}, error))
            << error;
        EXPECT_FALSE(reader.readLocation(
            1, [](const Event&) {}, error));
        EXPECT_NE(error.find("location 1"), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    {
        std::filesystem::resize_file(dir.string() + ".def", 10);
        ArchiveReader reader;
        EXPECT_FALSE(reader.open(path, error));
        EXPECT_NE(error.find("global definitions"), std::string::npos) << error;
    }
    {
        std::ofstream(path, std::ios::trunc) << "garbage";
        ArchiveReader reader;
        EXPECT_FALSE(reader.open(path, error));
        EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
    }
}

// However an event file is cut, reading its location either fails with one
// line or delivers every event: also where the cut falls between two records
// (the library reads those without an error).
TEST(Otf2Reader, EveryCutOfAnEventFileThatLosesEventsIsReported) {
    // Nanosecond ticks, as Score-P writes them.
    TestArchive a(freshArchiveDir("cuts"), 3);
    a.writer().clock(1000000000, 0, 0);
    a.initAll(0, 100000);
    a.send(0, 300000, 700000, 1, 1, 8);
    a.recv(1, 250000, 800000, 0, 1, 8);
    for (uint32_t r = 0; r < 3; ++r) a.call(r, 900000, 950000, "MPI_Finalize");
    a.close();
    const std::string path = a.path();
    const std::string events =
        (std::filesystem::path(path).parent_path() / "traces" / "1.evt").string();
    const std::string original = [&] {
        std::ifstream in(events, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }();
    size_t all = 0;
    {
        ArchiveReader reader;
        ASSERT_TRUE(opens(reader, path));
        all = eventsOf(reader, 1).size();
    }
    ASSERT_GT(all, 0u);
    size_t reported = 0;
    for (size_t size = 0; size < original.size(); ++size) {
        std::ofstream(events, std::ios::binary | std::ios::trunc)
            .write(original.data(), static_cast<std::streamsize>(size));
        ArchiveReader reader;
        ASSERT_TRUE(opens(reader, path));
        std::string error;
        // As the importer does: the locations one after the other.
        ASSERT_TRUE(reader.readLocation(
            0, [](const Event&) {}, error))
            << error;
        size_t delivered = 0;
        if (reader.readLocation(
                1, [&](const Event&) { ++delivered; }, error)) {
            EXPECT_EQ(delivered, all) << size;
            continue;
        }
        ++reported;
        EXPECT_NE(error.find("location 1"), std::string::npos) << size << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << size;
    }
    EXPECT_GT(reported, original.size() / 2);
}

// Files whose records all read well but are fewer than the anchor file
// announces (those of a shorter run, or cut between two records) are no
// complete archive: an event file, and the global definitions.
TEST(Otf2Reader, FewerRecordsThanAnnouncedAreReported) {
    auto run = [](const std::string& name, bool whole) {
        TestArchive a(freshArchiveDir(name), 2);
        a.initAll(0, 100);
        if (whole) {
            a.send(1, 200, 250, 0, 7, 64);
            a.call(0, 260, 270, "MPI_Barrier"); // a region more
        }
        a.close();
        return std::filesystem::path(a.path()).parent_path();
    };
    const std::filesystem::path whole = run("announced_whole", true);
    const std::filesystem::path shorter = run("announced_short", false);
    const std::string anchor = (whole / "traces.otf2").string();
    const auto takeFromShorter = [&](const char* file) {
        std::filesystem::copy_file(shorter / file, whole / file,
                                   std::filesystem::copy_options::overwrite_existing);
    };
    takeFromShorter("traces/1.evt");
    ArchiveReader reader;
    ASSERT_TRUE(opens(reader, anchor));
    std::string error;
    size_t delivered = 0;
    EXPECT_FALSE(reader.readLocation(
        1, [&](const Event&) { ++delivered; }, error));
    EXPECT_EQ(delivered, 2u); // what was read still reaches the sink
    EXPECT_EQ(error, "OTF2 events of location 1 cut short: 2 of 5 events read");

    takeFromShorter("traces.def");
    ArchiveReader shortDefinitions;
    EXPECT_FALSE(shortDefinitions.open(anchor, error));
    EXPECT_NE(error.find(": global definitions cut short: "), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
}
