#include "model/trace_writer.h"

#include "model/trace_format.h"
#include "model/trace_model.h"

#include <fstream>

void TraceWriter::word(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void TraceWriter::word64(int64_t value) {
    const auto u = static_cast<uint64_t>(value);
    word(static_cast<uint32_t>(u & 0xFFFFFFFF)); // low half first
    word(static_cast<uint32_t>(u >> 32));
}

void TraceWriter::declareProcess(uint32_t rank, uint32_t nodeId) {
    word(kTagShortCall);
    word(rank);
    word(kDeclarationFunc);
    word64(0);
    word(nodeId);
    word(0);
}

void TraceWriter::shortCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end) {
    word(kTagShortCall);
    word(location);
    word(funcId);
    word64(start);
    word64(end);
}

void TraceWriter::longCall(uint32_t location, uint32_t funcId, int64_t start, int64_t end,
                           uint32_t size, uint32_t msgTag, int32_t peer, uint32_t comm) {
    word(kTagLongCall);
    word(location);
    word(funcId);
    word64(start);
    word64(end);
    word(size);
    word(msgTag);
    word(static_cast<uint32_t>(peer));
    word(comm);
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
    word(kTagCounter);
    word(times);
    word(location);
}

void TraceWriter::skipRecord66() {
    word(kTagSkip20);
    for (int i = 0; i < 4; ++i) word(0);
}

void TraceWriter::skipRecord68() {
    word(kTagSkip4);
}

void TraceWriter::raw(std::span<const unsigned char> bytes) {
    bytes_.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
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
