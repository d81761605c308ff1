#pragma once
// A small command-line parser for zlv's verbs: positionals, "--name value"
// options (repeatable) and "--flag" switches.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> options;
    std::set<std::string> flags;
    bool help = false;

    std::optional<std::string> option(const std::string& name) const;
    bool flag(const std::string& name) const { return flags.count(name) != 0; }
};

struct ArgSpec {
    std::set<std::string> valueOptions; // "--size" style names, dashes included
    std::set<std::string> flagOptions;
};

// Parses argv[first..argc); on failure returns nullopt and sets error.
std::optional<Args> parseArgs(int argc, char** argv, int first, const ArgSpec& spec,
                              std::string& error);

// Parses a whole decimal number (optionally signed) into out; false when not one.
bool parseInt64(const std::string& text, long long& out);
