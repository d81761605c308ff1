#include "part_merge.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>

namespace zlvt {

namespace {

// Larger member lists than this are taken as damage, not as a communicator.
constexpr uint32_t kMaxMembers = 1u << 24;
constexpr uint32_t kMaxNameLength = 1u << 16;
// Names longer than this would not fit the database reader's line.
constexpr size_t kMaxStoredName = 1000;

bool readExactly(ByteSource& src, unsigned char* dst, size_t n) {
    return src.read(dst, n) == n;
}

// Database names end at white space, so white space inside becomes '_'.
std::string databaseSafeName(const std::string& name) {
    if (name.empty()) return std::string(1, '_');
    std::string out = name.substr(0, kMaxStoredName);
    for (char& c : out)
        if (std::isspace(static_cast<unsigned char>(c)) || c == '\0') c = '_';
    return out;
}

uint32_t mapped(const std::vector<uint32_t>& table, uint32_t local) {
    return local < table.size() ? table[local] : 0;
}

} // namespace

bool readPartHeader(ByteSource& src, PartHeader& header) {
    unsigned char raw[kPartHeaderSize];
    return readExactly(src, raw, sizeof raw) && decodePartHeader(raw, header);
}

uint32_t TraceMerger::globalId(uint32_t table, const std::string& name) {
    auto& ids = table == kNameTableFiles ? fileIds_ : sectionIds_;
    auto& names = table == kNameTableFiles ? fileNames_ : sectionNames_;
    auto it = ids.find(name);
    if (it != ids.end()) return it->second;
    // File identifiers share 16 bits with the line; beyond that the name is lost.
    if (table == kNameTableFiles && names.size() > 0xFFFF) return 0;
    const auto id = static_cast<uint32_t>(names.size());
    names.push_back(name);
    ids.emplace(name, id);
    return id;
}

void TraceMerger::emit(const unsigned char* bytes, size_t n) {
    if (std::fwrite(bytes, 1, n, out_) != n) writeFailed_ = true;
}

PartReport TraceMerger::appendPart(ByteSource& src) {
    PartReport report;
    std::vector<uint32_t> files{0};    // local file id -> global id
    std::vector<uint32_t> sections{0}; // local section id -> global id
    std::vector<unsigned char> members;
    unsigned char rec[kLongCallRecordSize];

    auto stop = [&](const std::string& why) {
        report.complete = false;
        report.problem = why;
        return report;
    };

    for (;;) {
        const size_t got = src.read(rec, 4);
        if (got == 0) return report;
        if (got < 4) return stop("part ends inside a record");
        const uint32_t tag = readLE32(rec);
        // A zero word ends the data of a part whose process did not close it.
        if (tag == 0) return report;
        // Padding between the writer's windows.
        if (tag == kTagSkip4) continue;

        if (tag == kTagName) {
            if (!readExactly(src, rec + 4, kNameRecordHead - 4))
                return stop("part ends inside a record");
            const uint32_t table = readLE32(rec + 4);
            const uint32_t localId = readLE32(rec + 8);
            const uint32_t length = readLE32(rec + 12);
            if (length > kMaxNameLength || localId > 0xFFFFFF ||
                (table != kNameTableFiles && table != kNameTableSections))
                return stop("damaged name record");
            std::string name((length + 3) & ~3u, '\0'); // padded to whole words
            if (!readExactly(src, reinterpret_cast<unsigned char*>(name.data()), name.size()))
                return stop("part ends inside a record");
            name.resize(length);
            auto& map = table == kNameTableFiles ? files : sections;
            if (map.size() <= localId) map.resize(localId + 1, 0);
            map[localId] = globalId(table, databaseSafeName(name));
            continue;
        }

        const size_t length = recordSizeForTag(tag);
        if (length == 0) return stop("unknown record tag " + std::to_string(tag));
        if (!readExactly(src, rec + 4, length - 4)) return stop("part ends inside a record");

        members.clear();
        if (tag == kTagCounter) {
            const uint32_t loc = readLE32(rec + kCounterLocationAt);
            putLE32(rec + kCounterLocationAt, mapped(files, loc >> 16) << 16 | (loc & 0xFFFF));
        } else if (tag == kTagShortCall || tag == kTagLongCall) {
            const uint32_t loc = readLE32(rec + kCallLocationAt);
            const uint32_t func = readLE32(rec + kCallFunctionAt);
            const bool declaration = tag == kTagShortCall && func == kDeclarationFunc;
            if (func == kFuncSection)
                putLE32(rec + kCallLocationAt, mapped(sections, loc));
            else if (!declaration)
                putLE32(rec + kCallLocationAt, mapped(files, loc >> 16) << 16 | (loc & 0xFFFF));
            if (tag == kTagLongCall && (func & kFuncMembersBit)) {
                const uint32_t count = readLE32(rec + kCallSizeAt);
                if (count > kMaxMembers) return stop("damaged member list");
                members.resize(size_t{count} * kMemberWordSize);
                if (!readExactly(src, members.data(), members.size()))
                    return stop("part ends inside a record");
            }
        }
        emit(rec, length);
        if (!members.empty()) emit(members.data(), members.size());
        ++report.records;
        ++records_;
    }
}

void TraceMerger::declareWithoutRecords(uint32_t rank) {
    unsigned char rec[kShortCallRecordSize];
    writeCallRecord(rec, false, CallRecord{rank, kDeclarationFunc, 0, 0});
    emit(rec, sizeof rec);
}

std::string TraceMerger::databaseText() const {
    std::string text = "[sections]\n";
    for (size_t i = 1; i < sectionNames_.size(); ++i)
        text += std::to_string(i) + ":" + sectionNames_[i] + "\n";
    text += "[files]\n";
    for (size_t i = 0; i < fileNames_.size(); ++i)
        text += std::to_string(i) + ":" + fileNames_[i] + "\n";
    return text;
}

TraceFileNames traceFileNames(std::string base) {
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".zlv") == 0)
        base.resize(base.size() - 4);
    else if (base.size() > 9 && base.compare(base.size() - 9, 9, ".zlvparts") == 0)
        base.resize(base.size() - 9);
    return {base + ".zlv", base + ".fdb", base + ".zlvparts"};
}

std::string partFileName(const std::string& partsDir, uint32_t rank) {
    return partsDir + "/" + std::to_string(rank) + ".part";
}

namespace {

struct FoundPart {
    std::string path;
    PartHeader header;
};

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::vector<FoundPart> scanParts(const std::string& dir, std::vector<std::string>& messages) {
    std::vector<FoundPart> parts;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.path().extension() != ".part") continue;
        FilePtr f(std::fopen(entry.path().c_str(), "rb"));
        if (!f) {
            messages.push_back("cannot read " + entry.path().string());
            continue;
        }
        FileSource src(f.get());
        FoundPart part{entry.path().string(), {}};
        if (!readPartHeader(src, part.header)) {
            messages.push_back("not a part file: " + part.path);
            continue;
        }
        parts.push_back(part);
    }
    if (ec) messages.push_back("cannot read directory " + dir);
    return parts;
}

uint64_t chooseRun(const std::vector<FoundPart>& parts) {
    std::map<uint64_t, int> votes;
    for (const auto& p : parts) {
        if (p.header.rank == 0) return p.header.runKey;
        ++votes[p.header.runKey];
    }
    uint64_t best = 0;
    int bestVotes = -1;
    for (const auto& [key, n] : votes)
        if (n > bestVotes) best = key, bestVotes = n;
    return best;
}

} // namespace

DirectoryMergeResult mergePartDirectory(const TraceFileNames& names) {
    DirectoryMergeResult result;
    std::vector<FoundPart> parts = scanParts(names.partsDir, result.messages);
    if (parts.empty()) {
        result.messages.push_back("no part files in " + names.partsDir);
        return result;
    }
    const uint64_t run = chooseRun(parts);
    std::map<uint32_t, std::string> byRank;
    uint32_t worldSize = 0;
    for (const auto& p : parts) {
        if (p.header.runKey != run) {
            result.messages.push_back("ignored, from another run: " + p.path);
            continue;
        }
        byRank[p.header.rank] = p.path;
        worldSize = std::max({worldSize, p.header.worldSize, p.header.rank + 1});
    }

    FilePtr out(std::fopen(names.trace.c_str(), "wb"));
    if (!out) {
        result.messages.push_back("cannot write " + names.trace);
        return result;
    }
    TraceMerger merger(out.get());
    for (uint32_t rank = 0; rank < worldSize; ++rank) {
        auto it = byRank.find(rank);
        FilePtr in(it == byRank.end() ? nullptr : std::fopen(it->second.c_str(), "rb"));
        PartHeader header;
        FileSource src(in.get());
        if (!in || !readPartHeader(src, header)) {
            merger.declareWithoutRecords(rank);
            ++result.missing;
            result.messages.push_back("rank " + std::to_string(rank) +
                                      ": no part file, declared without calls");
            continue;
        }
        const PartReport report = merger.appendPart(src);
        if (!report.complete) {
            ++result.damaged;
            result.messages.push_back("rank " + std::to_string(rank) + ": " + report.problem +
                                      "; the records before it are kept");
        }
    }
    result.processes = worldSize;
    result.records = merger.recordCount();
    const bool traceClosed = std::fclose(out.release()) == 0;
    const bool fdbWritten = [&] {
        FilePtr fdb(std::fopen(names.database.c_str(), "w"));
        if (!fdb) return false;
        const std::string text = merger.databaseText();
        const bool ok = std::fwrite(text.data(), 1, text.size(), fdb.get()) == text.size();
        return std::fclose(fdb.release()) == 0 && ok;
    }();
    result.written = traceClosed && !merger.writeFailed() && fdbWritten;
    if (!result.written) result.messages.push_back("writing the trace failed");
    return result;
}

} // namespace zlvt
