#include "model/trace_writer.h"

#include "model/trace_format.h"
#include "model/trace_model.h"

#include <cstring>
#include <fstream>
#include <utility>

namespace {

constexpr size_t kStreamBufferSize = size_t{1} << 20;

// Little-endian encoding into a record under construction.
struct RecordBytes {
    unsigned char data[kLongCallRecordSize];
    size_t n = 0;

    void word(uint32_t v) {
        data[n++] = static_cast<unsigned char>(v & 0xFF);
        data[n++] = static_cast<unsigned char>((v >> 8) & 0xFF);
        data[n++] = static_cast<unsigned char>((v >> 16) & 0xFF);
        data[n++] = static_cast<unsigned char>((v >> 24) & 0xFF);
    }
    void word64(int64_t v) {
        const auto u = static_cast<uint64_t>(v);
        word(static_cast<uint32_t>(u & 0xFFFFFFFF)); // low half first
        word(static_cast<uint32_t>(u >> 32));
    }
};

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
    RecordBytes r;
    r.word(value);
    put(r.data, r.n);
}

void TraceWriter::declareProcess(uint32_t rank, uint32_t nodeId) {
    RecordBytes r;
    r.word(kTagShortCall);
    r.word(rank);
    r.word(kDeclarationFunc);
    r.word64(0);
    r.word(nodeId);
    r.word(0);
    put(r.data, r.n);
}

void TraceWriter::shortCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end) {
    RecordBytes r;
    r.word(kTagShortCall);
    r.word(location);
    r.word(funcId);
    r.word64(start);
    r.word64(end);
    put(r.data, r.n);
}

void TraceWriter::longCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                           uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    RecordBytes r;
    r.word(kTagLongCall);
    r.word(location);
    r.word(funcId);
    r.word64(start);
    r.word64(end);
    r.word(size);
    r.word(msgTag);
    r.word(static_cast<uint32_t>(peer));
    r.word(comm);
    put(r.data, r.n);
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
    RecordBytes r;
    r.word(kTagCounter);
    r.word(times);
    r.word(location);
    put(r.data, r.n);
}

void TraceWriter::skipRecord66() {
    RecordBytes r;
    r.word(kTagSkip20);
    for (int i = 0; i < 4; ++i) r.word(0);
    put(r.data, r.n);
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
