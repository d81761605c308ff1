#include "convert/zlv_export.h"
#include "model/trace_document.h"
#include "otf2/archive_reader.h"
#include "otf2/otf2_export.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv convert IN OUT\n"
    "Writes the trace IN (.zlv, or an OTF2 anchor file .otf2) as OUT: an OTF2\n"
    "archive when OUT ends in .otf2 (OUT and its directory must not exist),\n"
    "else a .zlv trace with its .fdb database beside it.\n"
    "Exit status: 0 written, 1 written from a trace that only partly loaded,\n"
    "2 IN cannot be opened, OUT cannot be written, or wrong arguments.\n";

} // namespace

int runConvert(int argc, char** argv) {
    VerbCall verb("convert", kUsage);
    const Args* args = verb.parse(argc, argv, {}, 2, "a trace and an output file expected");
    if (!args) return verb.exit();
    TTrace* trace = verb.openTrace(args->positional[0]);
    if (!trace) return verb.exit();
    const std::string& out = args->positional[1];
    std::string error;
    const bool written = otf2in::isAnchorFile(out) ? otf2out::exportArchive(*trace, out, error)
                                                   : exportZlv(*trace, out, error);
    if (!written) {
        std::cerr << "zlv convert: " << error << "\n";
        return kExitUnusable;
    }
    return verb.exit();
}
