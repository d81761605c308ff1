#include "traced_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

int runShell(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::string readText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string freshDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zlvtrace-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

} // namespace

std::string whyMpirunUnavailable() {
    if (access(ZLV_MPIEXEC, X_OK) != 0) return std::string("mpirun not found at ") + ZLV_MPIEXEC;
    return {};
}

TracedRun runTraced(const std::string& program, const std::string& mode, bool preload,
                    const std::string& base, int processes, const std::string& env) {
    TracedRun run;
    run.dir = freshDirectory();
    run.base = base;
    // Allowed as root (CI containers), more processes than cores, and no
    // cross-process memory copies, which containers often forbid.
    std::string command = "cd '" + run.dir +
                          "' && env OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
                          "OMPI_MCA_rmaps_base_oversubscribe=1 "
                          "OMPI_MCA_btl_vader_single_copy_mechanism=none ZLV_TRACE=" +
                          base + " " + env + " timeout 120 " + ZLV_MPIEXEC + " -np " +
                          std::to_string(processes) + " -x ZLV_TRACE";
    std::istringstream vars(env);
    for (std::string var; vars >> var;) command += " -x " + var.substr(0, var.find('='));
    if (preload) command += std::string(" -x LD_PRELOAD=") + ZLV_TRACER_LIBRARY;
    command += " '" + program + "' " + mode + " > run.log 2>&1";
    run.exitStatus = runShell(command);
    run.log = readText(run.path("run.log"));
    return run;
}

int mergeParts(const TracedRun& run) {
    return runShell("cd '" + run.dir + "' && '" + ZLV_MERGE_TOOL + "' " + run.base +
                    " >> run.log 2>&1");
}

LoadedTrace loadTrace(const std::string& path) {
    std::ostringstream errors, database;
    LoadedTrace loaded;
    loaded.trace = std::make_unique<TTrace>(path, database, errors);
    loaded.loaderMessages = errors.str();
    loaded.databaseMessages = database.str();
    return loaded;
}

LoadedRun runAndLoad(const std::string& program, const std::string& mode, bool preload,
                     const std::string& base, const std::string& env) {
    LoadedRun r{runTraced(program, mode, preload, base, 4, env), {}};
    r.loaded = loadTrace(r.run.tracePath());
    return r;
}

std::vector<const TFunc*> callsWith(const TProcess& p, uint32_t funcId) {
    std::vector<const TFunc*> out;
    for (const TFunc& f : p.calls)
        if (f.funcId == funcId) out.push_back(&f);
    return out;
}

int32_t globalPeer(const TProcess& p, const TFunc& f) {
    const uint32_t index = static_cast<uint32_t>(&f - p.calls.data());
    const TComm* comm = p.findComm(f.comm, index);
    return comm ? comm->toGlobal(f.peer) : f.peer;
}
