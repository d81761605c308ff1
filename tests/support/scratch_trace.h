// Scratch trace files and cancelled loads for the reading and linking tests.
#pragma once

#include "model/trace_document.h"
#include "model/trace_loader.h"
#include "model/trace_writer.h"
#include "tools/gen/trace_generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

// A trace file (the bytes given, or a generated program's trace), removed
// with its database when done.
class TempTrace {
  public:
    explicit TempTrace(const std::string& bytes) { EXPECT_TRUE(saveText(path_, bytes)); }
    explicit TempTrace(const GenOptions& options) {
        const GenResult written = generateTrace(options, path_);
        EXPECT_TRUE(written.ok) << written.error;
    }
    TempTrace(const TempTrace&) = delete;
    TempTrace& operator=(const TempTrace&) = delete;
    ~TempTrace() {
        std::filesystem::remove(path_);
        std::filesystem::remove(path_.substr(0, path_.size() - 4) + ".fdb");
    }
    const std::string& path() const { return path_; }

  private:
    inline static int serial_ = 0;
    std::string path_ = testing::TempDir() + "scratch_" + std::to_string(::getpid()) + "_" +
                        std::to_string(serial_++) + ".zlv";
};

// Loads the file, cancelling at the first report of `stopAt` or more: the
// load fails silently, keeps nothing and reports nothing after the cancel.
// Returns the last report (UINT32_MAX if none).
inline uint32_t expectCancelledLoad(const std::string& path, uint32_t stopAt) {
    LoadCancel cancel{false};
    std::vector<uint32_t> reported;
    TTrace stopped;
    std::ostringstream errors;
    EXPECT_FALSE(loadTrace(
        stopped, path, errors,
        [&](uint32_t permille) {
            reported.push_back(permille);
            if (permille >= stopAt) cancel = true;
        },
        &cancel));
    EXPECT_TRUE(stopped.isEmpty() && stopped.nodeClocks.empty());
    EXPECT_TRUE(stopped.counterList.empty() && stopped.nodes.empty());
    EXPECT_EQ(errors.str(), "");
    // The cancel came at the report that reached `stopAt`, the last one.
    EXPECT_GE(reported.size(), 2u);
    if (reported.size() >= 2) {
        EXPECT_GE(reported.back(), stopAt);
        EXPECT_LT(reported[reported.size() - 2], stopAt);
    }
    return reported.empty() ? UINT32_MAX : reported.back();
}
