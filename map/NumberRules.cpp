// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/NumberRules.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace pemberlock {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct NumberSpan {
    std::size_t end = 0;     // one past the number; 0 when there is none
    std::size_t signAt = 0;  // where the sign or first digit stands
    bool negative = false;
};

NumberSpan ScanNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    NumberSpan span;
    span.signAt = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        span.negative = text[i] == '-';
        ++i;
    }
    bool digits = false;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (IsDigit(text[i])) {
            digits = true;
        } else if (text[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits) span.end = i;
    return span;
}

}  // namespace

std::size_t LeadingNumberLength(std::string_view text) { return ScanNumber(text).end; }

double ReadLeadingNumber(std::string_view text) {
    const NumberSpan span = ScanNumber(text);
    if (span.end == 0) return 0.0;
    std::size_t first = span.signAt;
    if (text[first] == '+' || text[first] == '-') ++first;
    const char* begin = text.data() + first;
    const char* end = text.data() + span.end;
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Too many digits for a double: huge when the whole part is not zero,
        // otherwise vanishingly small.
        const std::string_view digits(begin, static_cast<std::size_t>(end - begin));
        const std::string_view wholePart = digits.substr(0, digits.find('.'));
        const bool huge = wholePart.find_first_not_of('0') != std::string_view::npos;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
    }
    (void)ptr;
    return span.negative ? -value : value;
}

std::optional<std::int16_t> ToWholeNumber(double value) {
    if (std::isnan(value)) return std::nullopt;
    double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
    if (whole < std::numeric_limits<std::int16_t>::min() ||
        whole > std::numeric_limits<std::int16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int16_t>(whole);
}

std::optional<std::int16_t> TextToWholeNumber(std::string_view text) {
    const NumberSpan span = ScanNumber(text);
    if (span.end == 0) return std::nullopt;
    for (std::size_t i = span.end; i < text.size(); ++i) {
        if (!IsBlank(text[i])) return std::nullopt;
    }
    return ToWholeNumber(ReadLeadingNumber(text.substr(0, span.end)));
}

std::string NumberToText(double value) {
    if (value == 0.0) return "0";  // no "-0"
    char buffer[400];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc()) return std::to_string(value);
    return std::string(buffer, ptr);
}

}  // namespace pemberlock
