#include "model/trace_writer.h"

#include "format/zlv_records.h"
#include "model/trace_model.h"

#include <cstring>
#include <fstream>
#include <utility>

namespace {

constexpr size_t kStreamBufferSize = size_t{1} << 20;

} // namespace

TraceWriter::~TraceWriter() {
    close();
}

TraceWriter::TraceWriter(TraceWriter&& other) noexcept {
    *this = std::move(other);
}

TraceWriter& TraceWriter::operator=(TraceWriter&& other) noexcept {
    if (this != &other) {
        close();
        bytes_ = std::move(other.bytes_);
        file_ = std::exchange(other.file_, nullptr);
        buffer_ = std::move(other.buffer_);
        buffered_ = std::exchange(other.buffered_, 0);
        written_ = std::exchange(other.written_, 0);
        failed_ = std::exchange(other.failed_, false);
    }
    return *this;
}

bool TraceWriter::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) return false;
    buffer_.resize(kStreamBufferSize);
    buffered_ = 0;
    failed_ = false;
    if (!bytes_.empty()) {
        const std::string held = std::move(bytes_);
        bytes_.clear();
        written_ -= held.size();
        put(held.data(), held.size());
    }
    return true;
}

bool TraceWriter::close() {
    if (!file_) return !failed_;
    flushBuffer();
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    buffer_ = {};
    return !failed_;
}

void TraceWriter::flushBuffer() {
    if (buffered_ == 0) return;
    if (std::fwrite(buffer_.data(), 1, buffered_, file_) != buffered_) failed_ = true;
    buffered_ = 0;
}

void TraceWriter::put(const void* data, size_t n) {
    written_ += n;
    if (!file_) {
        bytes_.append(static_cast<const char*>(data), n);
        return;
    }
    if (buffered_ + n > buffer_.size()) {
        flushBuffer();
        if (n > buffer_.size()) { // larger than the whole buffer: write it directly
            if (std::fwrite(data, 1, n, file_) != n) failed_ = true;
            return;
        }
    }
    std::memcpy(buffer_.data() + buffered_, data, n);
    buffered_ += n;
}

void TraceWriter::clear() {
    if (!file_) {
        bytes_.clear();
        written_ = 0;
    }
}

void TraceWriter::word(uint32_t value) {
    unsigned char bytes[4];
    putLE32(bytes, value);
    put(bytes, sizeof bytes);
}

void TraceWriter::declareProcess(uint32_t rank, uint32_t nodeId) {
    // The node's address is the low word of the end; the rest of it is 0.
    callRecord(false, CallRecord{rank, kDeclarationFunc, 0, int64_t{nodeId}});
}

void TraceWriter::shortCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end) {
    callRecord(false, CallRecord{location, funcId, start, end});
}

void TraceWriter::longCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                           uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    callRecord(true, CallRecord{location, funcId, start, end, size, msgTag, peer, comm});
}

void TraceWriter::callRecord(bool isLong, const CallRecord& r) {
    unsigned char bytes[kLongCallRecordSize];
    writeCallRecord(bytes, isLong, r);
    put(bytes, isLong ? kLongCallRecordSize : kShortCallRecordSize);
}

void TraceWriter::commCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                           uint32_t comm, std::span<const uint32_t> members) {
    longCall(location, funcId, start, end, static_cast<uint32_t>(members.size()), 0, 0, comm);
    for (uint32_t m : members) word(m);
}

void TraceWriter::sectionMarker(uint32_t section, int64_t at) {
    shortCall(section, kFuncSection, at, at);
}

void TraceWriter::counter(uint32_t times, uint32_t location) {
    unsigned char bytes[kCounterRecordSize];
    putLE32(bytes, kTagCounter);
    putLE32(bytes + kCounterTimesAt, times);
    putLE32(bytes + kCounterLocationAt, location);
    put(bytes, sizeof bytes);
}

void TraceWriter::skipRecord66() {
    unsigned char bytes[kSkip20RecordSize] = {};
    putLE32(bytes, kTagSkip20);
    put(bytes, sizeof bytes);
}

void TraceWriter::skipRecord68() {
    word(kTagSkip4);
}

void TraceWriter::raw(std::span<const unsigned char> bytes) {
    put(bytes.data(), bytes.size());
}

void TraceWriter::raw(const std::string& bytes) {
    put(bytes.data(), bytes.size());
}

bool TraceWriter::save(const std::string& path) const {
    return saveText(path, bytes_);
}

std::string fdbText(const FdbContents& contents) {
    std::string text = "[sections]\n";
    for (const auto& [id, name] : contents.sections) text += std::to_string(id) + ":" + name + "\n";
    text += "[files]\n";
    for (const auto& [id, name] : contents.files) text += std::to_string(id) + ":" + name + "\n";
    return text;
}

bool saveText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}
