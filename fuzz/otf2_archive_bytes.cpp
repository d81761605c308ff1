#include "fuzz/otf2_archive_bytes.h"

#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Locations an input may hold; more parts are ignored.
constexpr size_t kMaxLocations = 8;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

std::string packArchive(const std::string& dir, const std::string& name) {
    const fs::path base = fs::path(dir) / name;
    std::string out = readFile(base.string() + ".otf2") + kArchivePartSeparator +
                      readFile(base.string() + ".def");
    for (size_t k = 0; fs::exists(base / (std::to_string(k) + ".evt")); ++k)
        out += kArchivePartSeparator + readFile(base / (std::to_string(k) + ".def")) +
               kArchivePartSeparator + readFile(base / (std::to_string(k) + ".evt"));
    return out;
}

std::string unpackArchive(const uint8_t* data, size_t size, const std::string& dir) {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    fs::create_directories(fs::path(dir) / "traces", ignored);
    const std::string_view bytes(reinterpret_cast<const char*>(data), data ? size : 0);
    const std::string_view separator = kArchivePartSeparator;
    std::vector<std::string_view> parts;
    for (size_t at = 0;;) {
        const size_t next = bytes.find(separator, at);
        parts.push_back(
            bytes.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
        if (next == std::string_view::npos) break;
        at = next + separator.size();
    }
    const fs::path base = fs::path(dir) / "traces";
    writeFile(base.string() + ".otf2", parts[0]);
    if (parts.size() > 1) writeFile(base.string() + ".def", parts[1]);
    for (size_t k = 0; k < kMaxLocations && 2 + 2 * k < parts.size(); ++k) {
        writeFile(base / (std::to_string(k) + ".def"), parts[2 + 2 * k]);
        if (3 + 2 * k < parts.size())
            writeFile(base / (std::to_string(k) + ".evt"), parts[3 + 2 * k]);
    }
    return base.string() + ".otf2";
}
