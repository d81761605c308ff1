#pragma once
// Runs the built zlv tool (ZLV_BINARY) with arguments; stdout and exit status.

#include <cstdio>
#include <string>
#include <sys/wait.h>

struct ToolRun {
    std::string out;
    int status = -1;
};

inline ToolRun zlv(const std::string& arguments) {
    ToolRun run;
    FILE* pipe = popen((std::string(ZLV_BINARY) + " " + arguments + " 2>/dev/null").c_str(), "r");
    if (!pipe) return run;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) run.out.append(buf, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}
