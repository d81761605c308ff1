#pragma once
// Times typed by people: "1500", "1500 us", "1.5 ms", "2s". Plain numbers are
// microseconds; "µs", "us" and "mks" also mean microseconds.

#include <cstdint>
#include <optional>
#include <string>

// The time in whole microseconds (rounded to the nearest), or nullopt when
// the text is no time or lies beyond the 64-bit range.
std::optional<int64_t> parseTimeText(const std::string& text);
