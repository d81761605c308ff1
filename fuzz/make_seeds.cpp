// Writes the seed inputs of the fuzz targets: small traces built record by
// record, and hand-written databases. Run once; its outputs, minimised, are
// committed under fuzz/corpus/, beside small `zlv gen` outputs (gen_*). The
// empty input needs no seed: libFuzzer and the replay driver always run it.
//
//   fuzz_make_seeds OUTDIR   (writes OUTDIR/trace/*, OUTDIR/fdb/* and OUTDIR/otf2/*)

#include "fuzz/otf2_archive_bytes.h"
#include "model/trace_document.h"
#include "model/trace_model.h"
#include "model/trace_writer.h"
#include "otf2/otf2_export.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const uint32_t kNodeA = nodeIdFromOctets(10, 0, 0, 1);
const uint32_t kNodeB = nodeIdFromOctets(10, 0, 0, 2);

// Declaration plus MPI_Init ending at `initEnd`.
void startProcess(TraceWriter& w, uint32_t rank, uint32_t node, int64_t initEnd) {
    w.declareProcess(rank, node);
    w.shortCall(makeLocation(1, 10), kFuncInit, initEnd - 100, initEnd);
}

void finish(TraceWriter& w, int64_t at) {
    w.shortCall(makeLocation(1, 90), kFuncFinalize, at, at + 5);
}

TraceWriter pointToPoint() {
    TraceWriter w;
    startProcess(w, 0, kNodeA, 1000);
    w.longCall(makeLocation(1, 20), kFuncSend, 1100, 1150, 64, 5, 1, kWorldComm);
    w.longCall(makeLocation(1, 21), kFuncSend, 1200, 1250, 64, 7, 1, kWorldComm);
    finish(w, 1300);
    startProcess(w, 1, kNodeB, 2000);
    w.longCall(makeLocation(2, 30), kFuncRecv, 2000, 2100, 64, 5, 0, kWorldComm);
    w.longCall(makeLocation(2, 31), kFuncRecv, 2100, 2200, 64, 7, 0, kWorldComm);
    finish(w, 2300);
    return w;
}

TraceWriter nonBlocking() {
    TraceWriter w;
    startProcess(w, 0, kNodeA, 0);
    w.longCall(makeLocation(1, 20), kFuncIsend, 10, 11, 8, 3, 1, kWorldComm);
    w.longCall(makeLocation(1, 21), kFuncWaitIsend, 12, 40, 8, 3, 1, kWorldComm);
    startProcess(w, 1, kNodeA, 0);
    w.longCall(makeLocation(1, 30), kFuncIrecv, 5, 6, 8, 3, 0, kWorldComm);
    w.longCall(makeLocation(1, 31), kFuncWaitIrecv, 7, 50, 8, 3, 0, kWorldComm);
    w.shortCall(makeLocation(1, 32), kFuncWait, 51, 52);
    return w;
}

TraceWriter collectives() {
    TraceWriter w;
    for (uint32_t r = 0; r < 4; ++r) {
        startProcess(w, r, r < 2 ? kNodeA : kNodeB, 100 * r);
        w.longCall(makeLocation(1, 40), kFuncBcast, 500, 600, 32, 0, 0, kWorldComm);
        w.longCall(makeLocation(1, 41), kFuncReduce, 700, 800, 16, 0, 0, kWorldComm);
        w.longCall(makeLocation(1, 42), kFuncScatter, 900, 950, 4, 0, 1, kWorldComm);
        w.longCall(makeLocation(1, 43), kFuncGatherv, 960, 990, 4, 0, 2, kWorldComm);
        finish(w, 1000);
    }
    return w;
}

TraceWriter communicators() {
    TraceWriter w;
    const std::vector<uint32_t> evens{0, 2};
    const std::vector<uint32_t> odds{1, 3};
    for (uint32_t r = 0; r < 4; ++r) {
        startProcess(w, r, kNodeA, 0);
        w.commCall(makeLocation(3, 5), kFuncCommSplit, 10, 20, 500 + r % 2, r % 2 ? odds : evens);
        w.longCall(makeLocation(3, 6), r / 2 ? kFuncRecv : kFuncSend, 30, 40, 100, 9, r / 2 ? 0 : 1,
                   500 + r % 2);
        w.commCall(makeLocation(3, 7), kFuncCommDup, 50, 60, 600,
                   std::vector<uint32_t>{0, 1, 2, 3});
        w.longCall(makeLocation(3, 8), kFuncBcast, 70, 80, 8, 0, 0, 600);
        w.commCall(makeLocation(3, 9), kFuncCommFree, 90, 91, 500 + r % 2, {});
        w.commCall(makeLocation(3, 10), kFuncCartCreate, 92, 93, 700, std::vector<uint32_t>{r});
        w.longCall(makeLocation(3, 11), kFuncSend, 94, 95, 1, 1, 0, kSelfComm);
    }
    return w;
}

TraceWriter sectionsAndCounters() {
    TraceWriter w;
    w.counter(3, makeLocation(1, 1)); // before any declaration
    startProcess(w, 0, kNodeA, 0);
    w.sectionMarker(1, 10);
    w.longCall(makeLocation(1, 20), kFuncSend, 11, 12, 10, 1, 1, kWorldComm);
    w.sectionMarker(2, 13);
    w.longCall(makeLocation(1, 21), kFuncSend, 14, 15, 20, 1, 1, kWorldComm);
    w.counter(100, makeLocation(1, 20));
    w.counter(5, makeLocation(2, 7));
    w.skipRecord66();
    w.skipRecord68();
    startProcess(w, 1, kNodeB, 0);
    w.sectionMarker(1, 10);
    w.longCall(makeLocation(1, 30), kFuncRecv, 11, 20, 10, 1, 0, kWorldComm);
    w.sectionMarker(2, 21);
    w.longCall(makeLocation(1, 31), kFuncRecv, 22, 30, 20, 1, 0, kWorldComm);
    w.counter(7, makeLocation(1, 30));
    return w;
}

TraceWriter interleaved() {
    TraceWriter w;
    startProcess(w, 0, kNodeA, 0);
    startProcess(w, 1, kNodeB, 0);
    w.declareProcess(0, kNodeB); // continues rank 0, its node stays
    w.longCall(makeLocation(1, 20), kFuncSend, 10, 20, 4, 2, 1, kWorldComm);
    w.shortCall(makeLocation(1, 21), kFuncRecv, 30, 40); // keeps the long fields
    w.declareProcess(1, kNodeA);
    w.longCall(makeLocation(1, 30), kFuncRecv, 5, 8, 4, 2, 0, kWorldComm);
    w.longCall(makeLocation(1, 31), kFuncSend | kUnfinishedFlag, 50, 60, 4, 2, 0, kWorldComm);
    return w;
}

TraceWriter failures() {
    TraceWriter w;
    startProcess(w, 0, kNodeA, 0);
    w.declareProcess(1, kNodeB); // a node without MPI_Init
    w.shortCall(makeLocation(1, 1), kFuncSend, 0, 1);
    w.declareProcess(2, kNodeB); // a process without calls
    return w;
}

TraceWriter extremes() {
    TraceWriter w;
    startProcess(w, 0, kNodeA, INT64_MIN + 100);
    w.longCall(UINT32_MAX, kFuncSend, INT64_MAX - 5, INT64_MAX, UINT32_MAX, UINT32_MAX, 1,
               kWorldComm);
    startProcess(w, 1, kNodeB, INT64_MAX);
    w.longCall(0, kFuncRecv, INT64_MIN, INT64_MIN + 1, UINT32_MAX, UINT32_MAX, 0, kWorldComm);
    w.longCall(0, kFuncRecv, 0, 1, 0, 0, -1, kWorldComm); // wildcard source
    startProcess(w, 0x7FFFFFFF, nodeIdFromOctets(255, 255, 255, 255), 0);
    w.longCall(0, kFuncReduce, 0, 1, 0, 0, -5, 12345); // unknown communicator
    return w;
}

void save(const fs::path& path, const std::string& bytes) {
    if (!saveText(path.string(), bytes)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
}

void writeTraces(const fs::path& dir) {
    const std::pair<const char*, TraceWriter> traces[] = {
        {"point_to_point.zlv", pointToPoint()},
        {"non_blocking.zlv", nonBlocking()},
        {"collectives.zlv", collectives()},
        {"communicators.zlv", communicators()},
        {"sections.zlv", sectionsAndCounters()},
        {"interleaved.zlv", interleaved()},
        {"failures.zlv", failures()},
        {"extremes.zlv", extremes()},
    };
    for (const auto& [name, w] : traces) save(dir / name, w.bytes());

    const std::string whole = pointToPoint().bytes();
    save(dir / "truncated.zlv", whole.substr(0, whole.size() - 9));
    save(dir / "stray_bytes.zlv", whole + "\x01\x02\x03");

    TraceWriter unknownTag = pointToPoint();
    unknownTag.word(17);
    unknownTag.word(0);
    save(dir / "unknown_tag.zlv", unknownTag.bytes());

    TraceWriter early;
    early.shortCall(0, kFuncInit, 0, 1); // a call before any declaration
    save(dir / "call_first.zlv", early.bytes());

    TraceWriter hugeList; // a member list claiming far more than the file holds
    startProcess(hugeList, 0, kNodeA, 0);
    hugeList.longCall(0, kFuncCommSplit, 0, 1, 0xFFFFFFFF, 0, 0, 300);
    hugeList.word(0);
    save(dir / "huge_member_list.zlv", hugeList.bytes());
}

void writeDatabases(const fs::path& dir) {
    FdbContents contents;
    contents.sections = {{0, "main"}, {1, "setup"}, {2, "solve"}};
    contents.files = {{1, "solver.c"}, {2, "io.c"}, {5, "util.c"}};
    save(dir / "typical.fdb", fdbText(contents));
    save(dir / "mixed_case.fdb",
         "[FILES]\n 3: a.c trailing words\n[Sections\n4:\tloop\n[files]x\n");
    save(dir / "no_newline.fdb", "[sections]\n1:last");
    save(dir / "bad_keyword.fdb", "[sections]\n1:a\n[filesx]\n2:b\n");
    save(dir / "bad_line.fdb", "[files]\n1:a\nnot an entry\n");
    save(dir / "missing_colon.fdb", "[files]\n1 a\n");
    save(dir / "entry_first.fdb", "1:a\n[files]\n");
    save(dir / "empty_name.fdb", "[files]\n7:\n");
    save(dir / "blank_lines.fdb", "\n[files]\n\n  \n1:x\n");
    save(dir / "huge_ids.fdb",
         "[files]\n4294967295:" + std::string(2035, 'f') + "\n[sections]\n4294967294:s\n");
    save(dir / "long_line.fdb", "[files]\n1:" + std::string(3000, 'n') + "\n");
    save(dir / "brackets.fdb", "[]\n");
}

} // namespace

// The OTF2 target's seeds: some of the traces above, written as archives by
// the OTF2 writer and packed into one input each.
void writeArchives(const fs::path& dir, const fs::path& traces) {
    for (const char* name : {"point_to_point", "non_blocking", "collectives", "communicators",
                             "sections", "failures"}) {
        std::ostringstream quiet;
        const TTrace trace((traces / (std::string(name) + ".zlv")).string(), quiet, quiet);
        const fs::path work = fs::temp_directory_path() / ("zlv-seed-" + std::string(name));
        fs::remove_all(work);
        fs::create_directories(work);
        std::string error;
        if (!otf2out::exportArchive(trace, (work / "traces.otf2").string(), error)) {
            std::fprintf(stderr, "%s: %s\n", name, error.c_str());
            continue;
        }
        save(dir / (std::string(name) + ".otf2in"), packArchive(work.string(), "traces"));
        fs::remove_all(work);
    }
}

int main(int argc, char** argv) {
    // An option is no directory to fill: "--help" must not become one.
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: fuzz_make_seeds OUTDIR\n");
        return 2;
    }
    const fs::path out = argv[1];
    fs::create_directories(out / "trace");
    fs::create_directories(out / "fdb");
    writeTraces(out / "trace");
    writeDatabases(out / "fdb");
    fs::create_directories(out / "otf2");
    writeArchives(out / "otf2", out / "trace");
    return 0;
}
