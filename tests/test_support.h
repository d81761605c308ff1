#pragma once
// Helpers for core tests: temporary trace files and documents loaded from
// TraceWriter bytes with their message streams captured.

#include "model/trace_document.h"
#include "model/trace_writer.h"

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <unistd.h>

// A file under the test's temporary folder, removed when it goes out of scope.
class TempFile {
  public:
    explicit TempFile(const std::string& name, const std::string& contents = {});
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

struct LoadedTrace {
    std::unique_ptr<TTrace> trace;
    std::string errors;     // the loader's stream
    std::string dbMessages; // the document's database stream
};

// Writes the bytes as NAME.zlv (and an optional .fdb beside it) and loads it.
LoadedTrace loadBytes(const std::string& bytes, const std::string* fdb = nullptr);

// Node identifiers used by tests: 10.0.0.N.
constexpr uint32_t testNode(uint8_t n) {
    return nodeIdFromOctets(10, 0, 0, n);
}
