#pragma once
// Test helper: saves a TraceWriter's bytes (and optionally an .fdb) into a
// fresh temporary file and opens it as a document, loader messages kept aside.

#include "model/trace_document.h"
#include "model/trace_writer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <sstream>
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

inline std::unique_ptr<TTrace> openWrittenTrace(const TraceWriter& w,
                                                const FdbContents* db = nullptr) {
    std::ostringstream messages;
    return std::make_unique<TTrace>(saveWrittenTrace(w, db), messages, messages);
}
