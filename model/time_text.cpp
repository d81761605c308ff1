#include "model/time_text.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

std::string trimmed(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    const size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

std::optional<double> unitScale(const std::string& unit) {
    if (unit.empty() || unit == "us" || unit == "µs" || unit == "mks") return 1.0;
    if (unit == "ms") return 1e3;
    if (unit == "s") return 1e6;
    return std::nullopt;
}

} // namespace

std::optional<int64_t> parseTimeText(const std::string& text) {
    const std::string s = trimmed(text);
    if (s.empty()) return std::nullopt;
    // The number by hand: strtod would also take "inf", "nan" and hex.
    size_t i = 0;
    if (s[i] == '-' || s[i] == '+') ++i;
    const size_t digitsFrom = i;
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, digits = true;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, digits = true;
    }
    if (!digits || i == digitsFrom) return std::nullopt;
    const double number = std::strtod(s.substr(0, i).c_str(), nullptr);
    const std::optional<double> scale = unitScale(trimmed(s.substr(i)));
    if (!scale) return std::nullopt;
    const double us = std::round(number * *scale);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    if (!(us > -9223372036854775808.0 && us < 9223372036854775808.0)) return std::nullopt;
    return static_cast<int64_t>(us);
}
