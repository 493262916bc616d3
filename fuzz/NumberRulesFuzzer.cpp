// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the number rules with any text.
//
// Properties checked on every input:
// - The leading number is the longest prefix of the form blanks, optional
//   sign, digits with at most one point (at least one digit): what
//   LeadingNumberLength reports has that form and cannot be extended.
// - ReadLeadingNumber never fails: never NaN, 0 without a leading number,
//   and it reads only that prefix, with the value the C library gives it.
// - TextToWholeNumber(t) is defined exactly when t is a leading number with
//   nothing but blanks after it and its value rounds into -32768..32767, and
//   then it equals ToWholeNumber(ReadLeadingNumber(t)).
// - ToWholeNumber rounds to the nearest, halves to even.
// - NumberToText writes what reads back as the same number, whole numbers
//   without a point.
// - The entry rule always gives a whole number 0..120 and is idempotent.

#include "FuzzInput.h"

#include "map/KnobControllerMap.h"
#include "map/NumberRules.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace pemberlock;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Checks the shape of text[0, length) and that text[length] cannot extend it.
void CheckLeadingNumberShape(std::string_view text, std::size_t length) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    std::size_t points = 0;
    std::size_t j = i;
    for (; j < text.size() && (IsDigit(text[j]) || (text[j] == '.' && points == 0)); ++j) {
        (IsDigit(text[j]) ? digits : points) += 1;
    }
    // The greedy run is the longest candidate; it is a number when it holds
    // a digit, and then no shorter prefix can be the longest.
    FUZZ_CHECK(length == (digits > 0 ? j : 0));
}

void CheckToWholeNumber(double x) {
    const std::optional<std::int16_t> whole = ToWholeNumber(x);
    if (std::isnan(x)) {
        FUZZ_CHECK(!whole);
        return;
    }
    const double nearest = std::nearbyint(x);  // default mode: halves to even
    const bool inRange = nearest >= -32768.0 && nearest <= 32767.0;
    FUZZ_CHECK(whole.has_value() == inRange);
    if (whole) FUZZ_CHECK(static_cast<double>(*whole) == nearest);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::size_t length = LeadingNumberLength(text);
    FUZZ_CHECK(length <= text.size());
    CheckLeadingNumberShape(text, length);

    const double value = ReadLeadingNumber(text);
    FUZZ_CHECK(!std::isnan(value));
    if (length == 0) FUZZ_CHECK(value == 0.0);
    FUZZ_CHECK(ReadLeadingNumber(text.substr(0, length)) == value);
    if (length > 0) {
        // The prefix holds no exponent or radix prefix, so the C library
        // reads it alike; it may differ only below the normal range, which
        // the rules read as 0 or as the library does.
        const std::string prefix(text.substr(0, length));
        errno = 0;
        const double library = std::strtod(prefix.c_str(), nullptr);
        if (std::fabs(library) >= DBL_MIN || library == 0.0) {
            FUZZ_CHECK(value == library || (library == 0.0 && value == 0.0));
        } else {
            FUZZ_CHECK(value == library || value == 0.0);
        }
    }

    bool onlyBlanksAfter = true;
    for (std::size_t i = length; i < text.size(); ++i)
        onlyBlanksAfter = onlyBlanksAfter && IsBlank(text[i]);
    const std::optional<std::int16_t> whole = TextToWholeNumber(text);
    if (whole) {
        FUZZ_CHECK(length > 0 && onlyBlanksAfter);
        FUZZ_CHECK(ToWholeNumber(value) == whole);
    } else if (length > 0 && onlyBlanksAfter) {
        FUZZ_CHECK(!ToWholeNumber(value));
    }

    CheckToWholeNumber(value);
    if (size >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        CheckToWholeNumber(raw);
    }

    if (std::isfinite(value)) {
        const std::string written = NumberToText(value);
        FUZZ_CHECK(LeadingNumberLength(written) == written.size());
        FUZZ_CHECK(ReadLeadingNumber(written) == value);
        if (value == std::floor(value)) FUZZ_CHECK(written.find('.') == std::string::npos);
    }

    const std::string entry = ApplyEntryRule(text);
    const std::optional<std::int16_t> entryValue = TextToWholeNumber(entry);
    FUZZ_CHECK(entryValue && *entryValue >= 0 && *entryValue <= KnobControllerMap::kMaxController);
    FUZZ_CHECK(NumberToText(*entryValue) == entry);
    FUZZ_CHECK(ApplyEntryRule(entry) == entry);
    return 0;
}
