#pragma once
// How every verb begins: its arguments parsed, --help answered with its
// usage, the count of positionals checked, and for the verbs that read a
// trace, the trace opened. The messages and exit statuses are the same for
// every verb; only the name, the usage and what is expected differ.

#include "tools/zlv/args.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

class TTrace;

class VerbCall {
  public:
    // Both texts must outlive the call.
    VerbCall(const char* name, const char* usage);
    ~VerbCall();

    // The arguments, or null when the verb ends here with exit(): a parse
    // error or other than `positionals` positionals prints the message
    // (`expected` for the count) and the usage on stderr (kExitUnusable);
    // --help prints the usage on stdout (kExitOk).
    const Args* parse(int argc, char** argv, const ArgSpec& spec, size_t positionals,
                      const std::string& expected);

    // "zlv NAME: message" and the usage on stderr; returns kExitUnusable.
    int usageError(const std::string& message) const;

    // The trace at `path`, load messages on stderr; it lives as long as this
    // call. Null when the file cannot be opened: exit() is kExitUnusable.
    // Else exit() is kExitOk when it loaded, kExitLoadFailed when only a
    // part did. `withLinks` as for openTraceForVerb.
    TTrace* openTrace(const std::string& path, bool withLinks = true);

    int exit() const { return exit_; }

  private:
    const char* name_;
    const char* usage_;
    std::optional<Args> args_;
    std::unique_ptr<TTrace> trace_;
    int exit_ = 0;
};
