#include "tools/gen/trace_generator.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <iostream>

namespace {

constexpr const char* kUsage =
    "usage: zlv gen PATTERN OUT.zlv [options]\n"
    "Simulates an MPI program and writes its trace OUT.zlv and its database\n"
    "OUT.fdb. The same options and seed always give the same files.\n"
    "\n"
    "patterns:\n"
    "  ring            blocking MPI_Send/MPI_Recv around a ring\n"
    "  stencil         2-D halo exchange with MPI_Isend/MPI_Irecv and their waits\n"
    "                  on a Cartesian communicator\n"
    "  master-worker   rank 0 hands out tagged tasks of uneven length, collects\n"
    "                  the results in arrival order, then sends stop messages\n"
    "  collectives     MPI_Bcast, MPI_Scatter(v), MPI_Gather(v), MPI_Reduce over\n"
    "                  the world, an MPI_Comm_dup copy, MPI_Comm_split halves and\n"
    "                  MPI_Cart_sub rows of an MPI_Cart_create grid; all freed\n"
    "  mixed           the four above in named sections, with counter records\n"
    "  pingpong        two ranks bounce messages of 1 B to 1 MiB (powers of two\n"
    "                  and their neighbours 3 bytes off), each size blocking\n"
    "                  (MPI_Send/MPI_Recv), then non-blocking (MPI_Isend/MPI_Irecv\n"
    "                  and their waits)\n"
    "\n"
    "options:\n"
    "  --ranks N        processes, 2 to 4096 (default 8; pingpong: 2 only)\n"
    "  --nodes M        nodes, 1 to N; ranks fill them in blocks (default 2)\n"
    "  --iterations K   iterations of each pattern (default 10); master-worker\n"
    "                   runs K x (N-1) tasks, pingpong K sweeps over the sizes\n"
    "  --seed S         seed of the simulated durations and sizes (default 1)\n"
    "  --skew-us X      each node's clock is off by up to X microseconds (default 0)\n"
    "  --fault NAME     plant a fault; repeatable:\n"
    "                     unfinished    the last rank ends inside MPI_Finalize\n"
    "                     unfreed-comm  every rank dups the world, never frees it\n"
    "                     lost-recv     rank 0 sends rank 1 a message (tag 999)\n"
    "                                   that is never received\n"
    "                     no-init       the ranks of the last node lack MPI_Init\n"
    "\n"
    "Prints processes, calls and bytes written as key: value lines.\n";

bool parseCount(const Args& args, const char* name, uint64_t max, uint64_t& out,
                std::string& error) {
    const auto text = args.option(name);
    if (!text) return true;
    long long v = 0;
    if (!parseInt64(*text, v) || v < 0 || static_cast<unsigned long long>(v) > max) {
        error = std::string("bad value for ") + name + ": " + *text;
        return false;
    }
    out = static_cast<uint64_t>(v);
    return true;
}

} // namespace

int runGen(int argc, char** argv) {
    VerbCall verb("gen", kUsage);
    const ArgSpec spec{{"--ranks", "--nodes", "--iterations", "--seed", "--skew-us", "--fault"},
                       {}};
    const Args* args = verb.parse(argc, argv, spec, 2, "a pattern and an output file expected");
    if (!args) return verb.exit();

    GenOptions options;
    const auto pattern = patternFromName(args->positional[0]);
    if (!pattern) return verb.usageError("unknown pattern " + args->positional[0]);
    options.pattern = *pattern;
    if (options.pattern == GenPattern::PingPong) options.ranks = 2;

    uint64_t ranks = options.ranks, nodes = options.nodes, iterations = options.iterations;
    uint64_t seed = options.seed, skew = 0;
    std::string error;
    if (!parseCount(*args, "--ranks", UINT32_MAX, ranks, error) ||
        !parseCount(*args, "--nodes", UINT32_MAX, nodes, error) ||
        !parseCount(*args, "--iterations", UINT32_MAX, iterations, error) ||
        !parseCount(*args, "--seed", INT64_MAX, seed, error) ||
        !parseCount(*args, "--skew-us", kGenMaxSkewUs, skew, error))
        return verb.usageError(error);
    options.ranks = static_cast<uint32_t>(ranks);
    options.nodes = static_cast<uint32_t>(nodes);
    options.iterations = static_cast<uint32_t>(iterations);
    options.seed = seed;
    options.skewUs = static_cast<int64_t>(skew);
    if (auto it = args->options.find("--fault"); it != args->options.end()) {
        for (const std::string& name : it->second) {
            const auto fault = faultFromName(name);
            if (!fault) return verb.usageError("unknown fault " + name);
            options.faults |= *fault;
        }
    }
    if (const std::string problem = checkOptions(options); !problem.empty())
        return verb.usageError(problem);

    const GenResult result = generateTrace(options, args->positional[1]);
    if (!result.ok) {
        std::cerr << "zlv gen: " << result.error << "\n";
        return kExitUnusable;
    }
    std::cout << "processes: " << result.processes << "\ncalls: " << result.calls
              << "\nbytes: " << result.bytes << "\n";
    return kExitOk;
}
