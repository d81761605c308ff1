#include "appdb/fdb_reader.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>

namespace {

constexpr size_t kLineBuffer = 2048; // a physical line longer than 2047 chars reads as several

bool isBlank(const char* line) {
    for (; *line; ++line)
        if (!std::isspace(static_cast<unsigned char>(*line))) return false;
    return true;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

int loadFdb(TNameTable& sections, TNameTable& files, const std::string& path) {
    sections.append(kMainSectionName);

    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file) return kFdbCantOpen;

    TNameTable* current = nullptr;
    char line[kLineBuffer];
    char word[kLineBuffer];
    while (std::fgets(line, sizeof line, file.get())) {
        // Blank lines match neither pattern; skipping them keeps trailing
        // empty lines of hand-edited files harmless.
        if (isBlank(line)) continue;
        std::memset(word, 0, sizeof word);

        if (std::sscanf(line, "[%2047[a-zA-Z]", word) == 1) {
            if (strcasecmp(word, "files") == 0)
                current = &files;
            else if (strcasecmp(word, "sections") == 0)
                current = &sections;
            else
                return kFdbBadLine;
            continue;
        }

        unsigned id = 0;
        int converted = std::sscanf(line, "%u:%2047s", &id, word);
        if (converted < 1) return kFdbBadLine;
        if (converted == 1 || current == nullptr) return kFdbBadEntry;
        current->set(id, word);
    }
    return kFdbOk;
}

std::string sectName(const TNameTable& sections, uint32_t id) {
    if (sections.covers(id)) return sections.at(id);
    char text[24];
    std::snprintf(text, sizeof text, "Unknown (%u)", id);
    return text;
}

std::string fileName(const TNameTable& files, uint32_t id) {
    if (files.covers(id)) return files.at(id);
    return "Unknown";
}
