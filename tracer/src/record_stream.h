#pragma once
// The writer of one process's part file. The file is mapped into memory in
// windows and records are copied straight into the mapping, so every record
// is in the kernel's page cache the moment it is written: a process killed
// outright (SIGKILL included) still leaves all its records on disk. A zero
// word always follows the last record and marks where the data ends.
//
// The call that is running has a tentative record just past the end: written
// with the unfinished flag when the call starts and replaced by the real
// record(s) when it returns, so a process that dies inside a call leaves that
// call behind as unfinished.

#include "part_format.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace zlvt {

class RecordStream {
  public:
    static constexpr size_t kWindow = size_t{8} << 20;

    // Creates (truncates) the part file and writes its header.
    bool open(const std::string& path, const PartHeader& header);
    bool isOpen() const { return fd_ >= 0; }
    bool failed() const { return failed_; }
    // Cuts the file to the data written (dropping a tentative record) and closes it.
    void close();

    void declaration(uint32_t rank, const unsigned char nodeAddress[4]);
    void shortCall(uint32_t location, uint32_t func, int64_t start, int64_t end);
    // Returns the record's offset in the file, for rewriteLong; 0 when it
    // could not be written.
    size_t longCall(uint32_t location, uint32_t func, int64_t start, int64_t end, uint32_t size,
                    uint32_t msgTag, int32_t peer, uint32_t comm);
    // A long record followed by its member list.
    void commCall(uint32_t location, uint32_t func, int64_t start, int64_t end, uint32_t comm,
                  const uint32_t* members, size_t count);
    void counter(uint32_t times, uint32_t location);

    // Rewrites function, size, tag and peer of the long record written at
    // `offset` (location, times and communicator stay): what a call posted is
    // sometimes known only when it completes. The record may lie in a window
    // that is no longer mapped. False, and nothing written, when no long
    // record begins there.
    bool rewriteLong(size_t offset, uint32_t func, uint32_t size, uint32_t msgTag, int32_t peer);
    void name(uint32_t table, uint32_t id, const std::string& name);

    // The record of the call in flight, with the unfinished flag and end = start.
    void tentativeShort(uint32_t location, uint32_t func, int64_t start);
    void tentativeLong(uint32_t location, uint32_t func, int64_t start, uint32_t size,
                       uint32_t msgTag, int32_t peer, uint32_t comm);
    void dropTentative();
    bool hasTentative() const { return tentative_ != 0; }
    // True while a record is being written: a signal handler then leaves the
    // stream alone.
    bool busy() const { return busy_; }
    // From a signal handler: the call in flight ends now, unfinished, and is
    // kept. Only memory writes.
    void keepTentative(int64_t end);

  private:
    // Room for n bytes plus the end marker at the write position.
    unsigned char* reserve(size_t n);
    // Maps the window at `start` (the previous one stays mapped).
    bool mapWindow(size_t start);
    // Returns the file offset the record went to, 0 when it was not written.
    size_t put(const unsigned char* record, size_t n, bool tentative);

    int fd_ = -1;
    bool failed_ = false;
    unsigned char* window_ = nullptr;
    size_t windowStart_ = 0;        // file offset of window_[0]
    size_t pos_ = 0;                // file offset where the next record goes
    volatile size_t tentative_ = 0; // length of the tentative record at pos_, 0 if none
    volatile bool busy_ = false;
};

} // namespace zlvt
