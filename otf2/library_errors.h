#pragma once
// The OTF2 library reports errors through one process-wide callback. Reader
// and writer both register this one; its first message since the last clear
// is the detail of their one error line.

#include <otf2/otf2.h>

#include <string>

namespace otf2lib {

// This thread's first library message since it was last cleared.
std::string& message();
OTF2_ErrorCode onError(void*, const char*, uint64_t, const char*, OTF2_ErrorCode code,
                       const char* format, va_list va);

} // namespace otf2lib
