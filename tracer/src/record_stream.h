#pragma once
// The buffered writer of one process's part file. Records are encoded into a
// fixed buffer that is written out when full, at the end of the run, and from
// a signal handler when the process dies: the flush uses only write(2).

#include "part_format.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zlvt {

class RecordStream {
  public:
    static constexpr size_t kCapacity = size_t{1} << 20;

    // Creates (truncates) the part file and writes its header.
    bool open(const std::string& path, const PartHeader& header);
    bool isOpen() const { return fd_ >= 0; }
    bool failed() const { return failed_; }
    void close();

    void declaration(uint32_t rank, const unsigned char nodeAddress[4]);
    void shortCall(uint32_t location, uint32_t func, int64_t start, int64_t end);
    void longCall(uint32_t location, uint32_t func, int64_t start, int64_t end, uint32_t size,
                  uint32_t msgTag, int32_t peer, uint32_t comm);
    void memberList(const uint32_t* members, size_t count);
    void counter(uint32_t times, uint32_t location);
    void name(uint32_t table, uint32_t id, const std::string& name);

    void flush();
    // The same as flush, safe inside a signal handler.
    void flushFromSignal() { flush(); }

  private:
    void append(const unsigned char* bytes, size_t n);

    unsigned char buffer_[kCapacity];
    volatile size_t used_ = 0;    // bytes in the buffer
    volatile size_t written_ = 0; // of those, bytes already in the file
    int fd_ = -1;
    bool failed_ = false;
};

} // namespace zlvt
