#pragma once
// Joins the part files of a traced run into one trace (".zlv") and its
// application database (".fdb"). Each part holds one process; parts are
// appended in rank order, so processes are declared in ascending rank order.
// File and section names that each process numbered on its own get one
// numbering for the whole run, and the records are rewritten to match.

#include "part_format.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace zlvt {

// A stream of bytes; read() returns fewer bytes than asked only at its end.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual size_t read(void* dst, size_t n) = 0;
};

class FileSource : public ByteSource {
  public:
    explicit FileSource(std::FILE* f) : f_(f) {}
    size_t read(void* dst, size_t n) override { return std::fread(dst, 1, n, f_); }

  private:
    std::FILE* f_;
};

// Reads and checks a part header; false when the stream does not begin with one.
bool readPartHeader(ByteSource& src, PartHeader& header);

struct PartReport {
    uint64_t records = 0; // trace records copied (name records not counted)
    bool complete = true; // false: the part ended inside a record or held an unknown record
    std::string problem;  // why it is not complete
};

// Name of file identifier 0: calls located by their return address only.
constexpr const char* kAddressFileName = "(return-address)";

class TraceMerger {
  public:
    explicit TraceMerger(std::FILE* out) : out_(out) {}

    // Copies the records of one part (its header already read) to the output.
    PartReport appendPart(ByteSource& src);
    // A process whose part is lost: declared on node 0.0.0.0, without calls.
    void declareWithoutRecords(uint32_t rank);

    // The ".fdb" text naming every file and section the parts used.
    std::string databaseText() const;
    bool writeFailed() const { return writeFailed_; }
    uint64_t recordCount() const { return records_; }

  private:
    uint32_t globalId(uint32_t table, const std::string& name);
    void emit(const unsigned char* bytes, size_t n);

    std::FILE* out_;
    bool writeFailed_ = false;
    uint64_t records_ = 0;
    std::vector<std::string> fileNames_{kAddressFileName};
    std::vector<std::string> sectionNames_{""};
    std::unordered_map<std::string, uint32_t> fileIds_;
    std::unordered_map<std::string, uint32_t> sectionIds_;
};

// Names and files of a trace with base name `base` (".zlv" stripped if given).
struct TraceFileNames {
    std::string trace;    // base + ".zlv"
    std::string database; // base + ".fdb"
    std::string partsDir; // base + ".zlvparts"
};
TraceFileNames traceFileNames(std::string base);
std::string partFileName(const std::string& partsDir, uint32_t rank);

struct DirectoryMergeResult {
    bool written = false;              // both output files written
    uint32_t processes = 0;            // processes declared in the trace
    uint32_t missing = 0;              // ranks without a usable part
    uint32_t damaged = 0;              // parts that ended early
    uint64_t records = 0;              // trace records written
    std::vector<std::string> messages; // one line per problem
};

// Merges every part of the run found in the parts directory. The run is the
// one of rank 0's part (or of most parts when rank 0's is missing); parts of
// other runs left in the directory are ignored.
DirectoryMergeResult mergePartDirectory(const TraceFileNames& names);

} // namespace zlvt
