#include "otf2/library_errors.h"

#include <cstdarg>
#include <cstdio>

namespace otf2lib {

std::string& message() {
    thread_local std::string text;
    return text;
}

OTF2_ErrorCode onError(void*, const char*, uint64_t, const char*, OTF2_ErrorCode code,
                       const char* format, va_list va) {
    std::string& held = message();
    if (held.empty()) {
        char text[256] = {};
        if (format) std::vsnprintf(text, sizeof text, format, va);
        held = std::string(OTF2_Error_GetName(code)) + (text[0] ? ": " : "") + text;
    }
    return code;
}

} // namespace otf2lib
