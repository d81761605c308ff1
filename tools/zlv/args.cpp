#include "tools/zlv/args.h"

#include <cerrno>
#include <cstdlib>

std::optional<std::string> Args::option(const std::string& name) const {
    auto it = options.find(name);
    if (it == options.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

std::optional<Args> parseArgs(int argc, char** argv, int first, const ArgSpec& spec,
                              std::string& error) {
    Args args;
    for (int i = first; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            args.help = true;
        } else if (spec.valueOptions.count(a)) {
            if (i + 1 >= argc) {
                error = "option " + a + " needs a value";
                return std::nullopt;
            }
            args.options[a].push_back(argv[++i]);
        } else if (spec.flagOptions.count(a)) {
            args.flags.insert(a);
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            error = "unknown option " + a;
            return std::nullopt;
        } else {
            args.positional.push_back(a);
        }
    }
    return args;
}

bool parseInt64(const std::string& text, long long& out) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    out = v;
    return true;
}
