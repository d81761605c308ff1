#pragma once
// Test helpers: a TraceWriter's bytes (and optionally an .fdb) as files that
// stay for a tool to read, or as a document with its messages kept aside.

#include "model/trace_document.h"
#include "model/trace_writer.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <unistd.h>

inline std::string writtenTracePath(const std::string& stem) {
    static std::atomic<int> serial{0};
    return testing::TempDir() + "/" + stem + "_" + std::to_string(::getpid()) + "_" +
           std::to_string(serial++) + ".zlv";
}

// Writes w (and db, when given) beside each other; returns the trace's path.
inline std::string saveWrittenTrace(const TraceWriter& w, const FdbContents* db = nullptr,
                                    const std::string& stem = "trace") {
    const std::string path = writtenTracePath(stem);
    EXPECT_TRUE(w.save(path));
    if (db) {
        EXPECT_TRUE(saveText(path.substr(0, path.size() - 4) + ".fdb", fdbText(*db)));
    }
    return path;
}

// Loads w (with db as its database) from files that are removed again.
inline std::unique_ptr<TTrace> openWrittenTrace(const TraceWriter& w,
                                                const FdbContents* db = nullptr) {
    const std::string text = db ? fdbText(*db) : std::string();
    return loadBytes(w.bytes(), db ? &text : nullptr).trace;
}
