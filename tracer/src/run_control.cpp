#include "run_control.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zlvt {

uint64_t recordLimitFrom(const char* text) {
    if (!text || *text < '0' || *text > '9') return 0;
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0') return 0;
    return n;
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string unwritableTraceLine(const std::string& partsDir, const std::string& baseName, int err,
                                const std::string& writable) {
    const std::string dir = directoryOf(partsDir);
    const std::string name = baseName.substr(baseName.find_last_of('/') + 1);
    std::string line = "zlvtrace: no trace is written: ";
    if (err == ENOENT)
        line += "directory " + dir + " does not exist";
    else
        line += "cannot write in " + dir + " (" + std::strerror(err) + ")";
    line += "; set ZLV_TRACE to a name in a writable directory";
    if (!writable.empty())
        line += " (mpirun -x ZLV_TRACE=" + (writable == "/" ? "" : writable) + "/" + name + ")";
    else
        line += " and pass it on with mpirun -x ZLV_TRACE";
    return line + "; the program runs untraced";
}

} // namespace zlvt
