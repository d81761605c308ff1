// How every zlv verb begins: --help, wrong arguments and the opening of a
// trace give the same messages, streams and exit statuses whatever the verb.

#include "tests/test_support.h"
#include "tools/zlv/verb_call.h"
#include "tools/zlv/verbs.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <vector>

namespace {

constexpr const char* kUsage = "usage: zlv probe TRACE [--depth N] [--deep]\n";

// Standard output and error written while it lives.
class Captured {
  public:
    Captured() : out_(std::cout.rdbuf(outText_.rdbuf())), err_(std::cerr.rdbuf(errText_.rdbuf())) {}
    ~Captured() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
    }
    std::string out() const { return outText_.str(); }
    std::string err() const { return errText_.str(); }

  private:
    std::ostringstream outText_, errText_;
    std::streambuf* out_;
    std::streambuf* err_;
};

struct Outcome {
    bool parsed = false;
    int exit = -1;
    std::string out, err;
    std::vector<std::string> positional;
};

// The probe verb's start with these arguments (after the verb's name).
Outcome start(std::vector<std::string> words, size_t positionals = 1) {
    words.insert(words.begin(), "probe");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    Outcome o;
    Captured captured;
    VerbCall verb("probe", kUsage);
    const Args* args = verb.parse(static_cast<int>(argv.size()), argv.data(),
                                  {{"--depth"}, {"--deep"}}, positionals, "one trace expected");
    o.parsed = args != nullptr;
    if (args) o.positional = args->positional;
    o.exit = verb.exit();
    o.out = captured.out();
    o.err = captured.err();
    return o;
}

std::string usageError(const std::string& message) {
    return "zlv probe: " + message + "\n" + kUsage;
}

// Rank 0 from MPI_Init to MPI_Finalize; with `noInit`, rank 1 on a node
// of its own that lacks MPI_Init: its clock cannot be aligned, the trace
// loads only in part.
TraceWriter twoRanks(bool noInit) {
    TraceWriter w;
    w.declareProcess(0, testNode(1));
    w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.shortCall(makeLocation(1, 2), kFuncFinalize, 10, 20);
    w.declareProcess(1, testNode(2));
    if (!noInit) w.shortCall(makeLocation(1, 1), kFuncInit, 0, 0);
    w.shortCall(makeLocation(1, 2), kFuncFinalize, 10, 20);
    return w;
}

} // namespace

TEST(VerbCall, HelpAndWrongArguments) {
    // --help: the usage on stdout, and nothing else, whatever follows it.
    for (const auto& words : {std::vector<std::string>{"--help"}, {"a", "b", "-h"}}) {
        const Outcome help = start(words);
        EXPECT_FALSE(help.parsed);
        EXPECT_EQ(help.exit, kExitOk);
        EXPECT_EQ(help.out, kUsage);
        EXPECT_EQ(help.err, "");
    }
    // Errors: one line naming the verb, the usage, on stderr; status 2.
    const std::pair<std::vector<std::string>, std::string> wrong[] = {
        {{}, "one trace expected"},
        {{"a", "b"}, "one trace expected"},
        {{"a", "--bogus"}, "unknown option --bogus"},
        {{"a", "--depth"}, "option --depth needs a value"},
        {{"--bogus", "--help"}, "unknown option --bogus"}, // parsed before --help is seen
    };
    for (const auto& [words, message] : wrong) {
        const Outcome o = start(words);
        EXPECT_FALSE(o.parsed) << message;
        EXPECT_EQ(o.exit, kExitUnusable) << message;
        EXPECT_EQ(o.out, "") << message;
        EXPECT_EQ(o.err, usageError(message));
    }
    const Outcome ok = start({"x.zlv", "--depth", "3", "--deep", "y"}, 2);
    EXPECT_TRUE(ok.parsed);
    EXPECT_EQ(ok.exit, kExitOk);
    EXPECT_EQ(ok.positional, (std::vector<std::string>{"x.zlv", "y"}));
    EXPECT_EQ(ok.out + ok.err, "");

    Captured captured;
    EXPECT_EQ(VerbCall("probe", kUsage).usageError("--depth takes a number"), kExitUnusable);
    EXPECT_EQ(captured.err(), usageError("--depth takes a number"));
}

TEST(VerbCall, OpensTheTraceWithItsStatus) {
    TempFile whole("verb_call_whole.zlv", twoRanks(false).bytes());
    TempFile part("verb_call_part.zlv", twoRanks(true).bytes());
    // Every message of the load goes to stderr (here: no database beside
    // the trace), so that stdout holds the verb's output alone.
    for (const auto& [path, status] :
         {std::pair{whole.path(), kExitOk}, {part.path(), kExitLoadFailed}}) {
        Captured captured;
        VerbCall verb("probe", kUsage);
        const TTrace* trace = verb.openTrace(path);
        ASSERT_TRUE(trace) << path; // what was read is kept
        EXPECT_EQ(trace->processCount(), 2u);
        EXPECT_EQ(verb.exit(), status) << path;
        EXPECT_NE(captured.err(), "") << path;
        EXPECT_EQ(captured.out(), "") << path;
    }
    Captured captured;
    VerbCall verb("probe", kUsage);
    EXPECT_EQ(verb.openTrace(whole.path() + ".missing"), nullptr);
    EXPECT_EQ(verb.exit(), kExitUnusable);
    EXPECT_NE(captured.err().find(whole.path() + ".missing"), std::string::npos);
}
