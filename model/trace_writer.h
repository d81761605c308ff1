#pragma once
// Writes the ".zlv" byte layout and the ".fdb" text: used by the generator
// and by tests to build traces record by record.
//
// Two modes: in memory (the default; bytes() holds the trace) and streaming
// (open(path); records go to the file through a fixed buffer, so traces of
// any size can be written without holding them).

#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <vector>

struct CallRecord;

class TraceWriter {
  public:
    TraceWriter() = default;
    ~TraceWriter();
    TraceWriter(const TraceWriter&) = delete;
    TraceWriter& operator=(const TraceWriter&) = delete;
    TraceWriter(TraceWriter&& other) noexcept;
    TraceWriter& operator=(TraceWriter&& other) noexcept;

    // Switches to streaming into a new file at path (truncated); false when
    // it cannot be created. Bytes already held in memory are written first.
    bool open(const std::string& path);
    // Writes out what is buffered and closes the file; false when any write
    // failed. In memory mode it only reports success.
    bool close();
    bool streaming() const { return file_ != nullptr; }

    // nodeId: the IPv4 address with the first octet in the lowest byte.
    void declareProcess(uint32_t rank, uint32_t nodeId);
    void shortCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end);
    void longCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end, uint32_t size,
                  uint32_t msgTag, int32_t peer, uint32_t comm);
    // A long record with its member list (funcId should have bit 0x20); size = members.size().
    void commCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end, uint32_t comm,
                  std::span<const uint32_t> members);
    void sectionMarker(uint32_t section, int64_t at);
    void counter(uint32_t times, uint32_t location);
    void skipRecord66();
    void skipRecord68();
    void raw(std::span<const unsigned char> bytes);
    void raw(const std::string& bytes);
    void word(uint32_t value);

    // Memory mode: the trace so far. Empty while streaming.
    const std::string& bytes() const { return bytes_; }
    // Bytes written so far in either mode.
    uint64_t size() const { return written_; }
    // Memory mode: forgets the bytes but keeps the capacity for reuse.
    void clear();
    bool save(const std::string& path) const;

  private:
    void put(const void* data, size_t n);
    void callRecord(bool isLong, const CallRecord& r);
    void flushBuffer();

    std::string bytes_;
    std::FILE* file_ = nullptr;
    std::vector<unsigned char> buffer_;
    size_t buffered_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
};

// Node identifier from the four numbers of a dotted address.
constexpr uint32_t nodeIdFromOctets(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return uint32_t{a} | uint32_t{b} << 8 | uint32_t{c} << 16 | uint32_t{d} << 24;
}

constexpr uint32_t makeLocation(uint32_t file, uint32_t line) {
    return (file & 0xFFFF) << 16 | (line & 0xFFFF);
}

struct FdbContents {
    std::map<uint32_t, std::string> sections;
    std::map<uint32_t, std::string> files;
};

std::string fdbText(const FdbContents& contents);
bool saveText(const std::string& path, const std::string& text);
