#include "tools/zlv/verbs.h"

#include "model/stat_kinds.h"

#include <cstdio>
#include <iostream>

const std::vector<Verb>& verbTable() {
    static const std::string statsSummary =
        "a statistics table: " + statKindNames([](const StatKindInfo&) { return true; }) +
        ", sizes";
    static const std::vector<Verb> verbs = {
        {"info", "summary of a trace as key: value lines", runInfo},
        {"links", "every send-to-receive link, tab-separated", runLinks},
        {"dump", "every record of every process, then the counters", runDump},
        {"gen", "simulate an MPI program and write its trace and database", runGen},
#ifdef ZLV_WITH_RENDER
        {"render", "the main window with the trace open, as a PNG picture", runRender},
#endif
        {"check", "consistency checks: unfinished calls, unfreed communicators, send/recv counts",
         runCheck},
        {"stats", statsSummary.c_str(), runStats},
        {"sections", "the program sections of a trace: identifier and name", runSections},
        {"convert", "a trace as an OTF2 archive, or an OTF2 archive as a .zlv trace", runConvert},
        {"export", "a trace as Trace Event JSON for Perfetto and chrome://tracing", runExport},
        {"profile", "time per MPI function or per rank, inside and outside MPI", runProfile},
        {"waits", "time lost waiting: late senders and receivers, collectives", runWaits},
        {"clocks", "clock quality: reversed links per pair of nodes, offsets", runClocks},
    };
    return verbs;
}

int usageError(const std::string& verb, const std::string& message, const char* usage) {
    std::cerr << "zlv " << verb << ": " << message << "\n" << usage;
    return kExitUnusable;
}

bool fileReadable(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

#include "model/trace_document.h"
#include "otf2/archive_reader.h"
#include "otf2/open_trace.h"

std::unique_ptr<TTrace> openTraceForVerb(const std::string& path, int& status, bool withLinks) {
    const bool readable = fileReadable(path);
    auto trace = withLinks || otf2in::isAnchorFile(path)
                     ? openTraceFile(path, std::cerr, std::cerr)
                     : std::make_unique<TTrace>(path, std::cerr, std::cerr, LoadProgress{}, nullptr,
                                                LoadDepth::WithoutLinks);
    if (!readable) {
        status = kExitUnusable;
        return nullptr;
    }
    status = trace->loaded() ? kExitOk : kExitLoadFailed;
    return trace;
}
