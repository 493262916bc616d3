// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pemberlock {

// How every part of the tool reads and writes numbers. A number is optional
// blanks (spaces or tabs), an optional sign, then digits with at most one
// decimal point and at least one digit (".5", "5." and "-.5" are numbers;
// "." and "-" are not). No exponents, radix prefixes or inner blanks.
// Locale never matters.

// Length of the number at the start of text, leading blanks included;
// 0 when text does not start with a number.
std::size_t LeadingNumberLength(std::string_view text);

// The longest leading number of text; 0 when there is none. Never fails.
// Values too large for a double read as +-infinity.
double ReadLeadingNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour; nullopt
// when the result lies outside -32768..32767.
std::optional<std::int16_t> ToWholeNumber(double value);

// The whole text, blanks around it ignored, must be a number; that number
// then goes through ToWholeNumber. nullopt for "", "3x", " - " and overflow.
std::optional<std::int16_t> TextToWholeNumber(std::string_view text);

// Shortest decimal text, no decimal point for whole numbers ("101", "7.5").
std::string NumberToText(double value);

}  // namespace pemberlock
