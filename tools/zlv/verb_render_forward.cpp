// zlv render: hands its arguments to zlv-render, the program beside zlv that
// links the window. The exit status and output are that program's own.

#include "tools/zlv/verbs.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The folder of the running program, from /proc: argv[0] may be a bare name.
std::string ownFolder() {
    std::vector<char> path(4096);
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    const std::string self(path.data(), static_cast<size_t>(n));
    const size_t slash = self.rfind('/');
    return slash == std::string::npos ? std::string{} : self.substr(0, slash + 1);
}

} // namespace

int runRender(int argc, char** argv) {
    const std::string program = ownFolder() + "zlv-render";
    std::vector<char*> args(argv, argv + argc);
    args[0] = const_cast<char*>("zlv-render");
    args.push_back(nullptr);
    std::cout.flush();
    execv(program.c_str(), args.data());
    // Only reached when the program could not be started.
    std::cerr << "zlv render: cannot run " << program << ": " << std::strerror(errno) << "\n";
    return kExitUnusable;
}
