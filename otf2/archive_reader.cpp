#include "otf2/archive_reader.h"

#include "otf2/def_callbacks.h"
#include "otf2/event_callbacks.h"

#include "otf2/library_errors.h"

#include <otf2/otf2.h>

#include <cstdarg>
#include <cstdio>

namespace otf2in {
namespace {

std::string detail(OTF2_ErrorCode code) {
    std::string text = otf2lib::message();
    otf2lib::message().clear();
    if (text.empty()) text = OTF2_Error_GetName(code);
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

bool readable(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

} // namespace

struct ArchiveReader::Library {
    OTF2_Reader* reader = nullptr;
    OTF2_ErrorCallback previous = nullptr;
    bool defFiles = false;
    bool evtFiles = false;
};

ArchiveReader::ArchiveReader() : lib_(std::make_unique<Library>()) {
    lib_->previous = OTF2_Error_RegisterCallback(otf2lib::onError, nullptr);
    otf2lib::message().clear();
}

ArchiveReader::~ArchiveReader() {
    if (lib_->reader) {
        if (lib_->evtFiles) OTF2_Reader_CloseEvtFiles(lib_->reader);
        if (lib_->defFiles) OTF2_Reader_CloseDefFiles(lib_->reader);
        OTF2_Reader_Close(lib_->reader);
    }
    OTF2_Error_RegisterCallback(lib_->previous, nullptr);
    otf2lib::message().clear();
}

bool ArchiveReader::open(const std::string& anchorPath, std::string& error) {
    if (!readable(anchorPath)) {
        error = "Can't open file " + anchorPath;
        return false;
    }
    lib_->reader = OTF2_Reader_Open(anchorPath.c_str());
    if (!lib_->reader) {
        error = "OTF2 archive " + anchorPath + " cannot be read: " + detail(OTF2_ERROR_INVALID);
        return false;
    }
    OTF2_Reader_SetSerialCollectiveCallbacks(lib_->reader);
    uint8_t major = 0, minor = 0, bugfix = 0;
    OTF2_Reader_GetVersion(lib_->reader, &major, &minor, &bugfix);
    version_ = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(bugfix);
    if (major < 1 || major > OTF2_VERSION_MAJOR) {
        error = "OTF2 archive " + anchorPath + " has unknown version " + version_;
        return false;
    }
    uint64_t read = 0, announced = 0;
    const OTF2_ErrorCode status = readGlobalDefinitions(lib_->reader, defs_, read);
    if (status != OTF2_SUCCESS) {
        error =
            "OTF2 archive " + anchorPath + ": global definitions cannot be read: " + detail(status);
        return false;
    }
    // As with events, a file cut short may read without an error: the anchor
    // file tells how many there are.
    if (OTF2_Reader_GetNumberOfGlobalDefinitions(lib_->reader, &announced) == OTF2_SUCCESS &&
        read < announced) {
        error = "OTF2 archive " + anchorPath +
                ": global definitions cut short: " + std::to_string(read) + " of " +
                std::to_string(announced) + " read";
        return false;
    }
    for (const Location& l : defs_.locations) OTF2_Reader_SelectLocation(lib_->reader, l.id);
    // An archive may have no local definitions at all; then nothing is mapped.
    lib_->defFiles = OTF2_Reader_OpenDefFiles(lib_->reader) == OTF2_SUCCESS;
    const OTF2_ErrorCode evt = OTF2_Reader_OpenEvtFiles(lib_->reader);
    lib_->evtFiles = evt == OTF2_SUCCESS;
    otf2lib::message().clear();
    if (!lib_->evtFiles && !defs_.locations.empty()) {
        error = "OTF2 archive " + anchorPath + ": event files cannot be opened: " + detail(evt);
        return false;
    }
    return true;
}

bool ArchiveReader::readLocation(uint64_t location, const EventSink& sink, std::string& error) {
    if (!lib_->reader || !lib_->evtFiles) {
        error = "OTF2 archive not open";
        return false;
    }
    otf2lib::message().clear();
    std::vector<ClockOffset> offsets;
    if (lib_->defFiles) {
        // Mapping tables and clock offsets live here; a location without
        // local definitions is read unmapped.
        if (OTF2_DefReader* defs = OTF2_Reader_GetDefReader(lib_->reader, location)) {
            readLocalDefinitions(lib_->reader, defs, offsets);
            OTF2_Reader_CloseDefReader(lib_->reader, defs);
        }
        otf2lib::message().clear();
    }
    // The library corrects times between two or more offsets and leaves them
    // alone with one: a single measured offset shifts the whole location.
    const uint64_t shift = offsets.size() == 1 ? static_cast<uint64_t>(offsets[0].offset) : 0;
    const EventSink shifted = [&](const Event& e) {
        Event moved = e;
        moved.time += shift; // wraps like the library's own arithmetic
        sink(moved);
    };
    OTF2_EvtReader* events = OTF2_Reader_GetEvtReader(lib_->reader, location);
    if (!events) {
        error = "OTF2 events of location " + std::to_string(location) +
                " cannot be read: " + detail(OTF2_ERROR_INVALID);
        return false;
    }
    uint64_t read = 0;
    const OTF2_ErrorCode status =
        readLocalEvents(lib_->reader, events, shift ? shifted : sink, read);
    OTF2_Reader_CloseEvtReader(lib_->reader, events);
    if (status != OTF2_SUCCESS) {
        error = "OTF2 events of location " + std::to_string(location) +
                " cannot be read: " + detail(status);
        return false;
    }
    // A file cut between two records reads without an error: only the count
    // the definitions announce tells.
    const uint64_t announced = announcedEvents(location);
    if (read < announced) {
        error = "OTF2 events of location " + std::to_string(location) +
                " cut short: " + std::to_string(read) + " of " + std::to_string(announced) +
                " events read";
        return false;
    }
    return true;
}

uint64_t ArchiveReader::announcedEvents(uint64_t location) const {
    for (const Location& l : defs_.locations)
        if (l.id == location) return l.events;
    return 0;
}

bool isAnchorFile(const std::string& path) {
    constexpr std::string_view ext = ".otf2";
    return path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0;
}

} // namespace otf2in
