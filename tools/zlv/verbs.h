#pragma once
// The verbs of the zlv command-line tool. Each returns the process exit status.

#include <string>
#include <vector>

// Exit statuses shared by the verbs that read a trace.
constexpr int kExitOk = 0;
constexpr int kExitLoadFailed = 1;
constexpr int kExitUnusable = 2; // file cannot be opened, or wrong arguments

struct Verb {
    const char* name;
    const char* summary;
    int (*run)(int argc, char** argv); // argv[0] is the verb's name
};

const std::vector<Verb>& verbTable();

int runInfo(int argc, char** argv);
int runLinks(int argc, char** argv);
int runDump(int argc, char** argv);
int runGen(int argc, char** argv);
int runRender(int argc, char** argv); // runs zlv-render, only in builds with Qt
int runCheck(int argc, char** argv);
int runStats(int argc, char** argv);
int runSections(int argc, char** argv);
int runConvert(int argc, char** argv);
int runExport(int argc, char** argv);
int runProfile(int argc, char** argv);
int runWaits(int argc, char** argv);
int runClocks(int argc, char** argv);

// Shared helpers for verbs.
int usageError(const std::string& verb, const std::string& message, const char* usage);
bool fileReadable(const std::string& path);

class TTrace;
#include <memory>

// Opens a trace for a verb, messages on stderr. status: kExitOk when it
// loaded, kExitLoadFailed when only a part loaded, kExitUnusable when the file
// cannot be opened (then the result is null). `withLinks` false: for verbs
// that show neither links nor corrected times, a .zlv trace is opened
// without them (LoadDepth::WithoutLinks), with the same output.
std::unique_ptr<TTrace> openTraceForVerb(const std::string& path, int& status,
                                         bool withLinks = true);
