// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/KnobControllerMap.h"

#include "map/NumberRules.h"

#include <string>

namespace pemberlock {

std::string ApplyEntryRule(std::string_view text) {
    if (text.empty()) return "0";
    const double x = ReadLeadingNumber(text);
    // Clamp before rounding, so that 120.4 and 120.6 both give "120".
    if (x < 0.0) return "0";
    if (x > KnobControllerMap::kMaxController)
        return std::to_string(KnobControllerMap::kMaxController);
    return std::to_string(*ToWholeNumber(x));
}

KnobControllerMap::KnobControllerMap() {
    for (int i = 0; i < kKnobCount; ++i) SetEntryText(i, std::to_string(101 + i));
}

const std::string& KnobControllerMap::EntryText(int i) const {
    return entries_.at(static_cast<std::size_t>(i));
}

const std::string& KnobControllerMap::SetEntryText(int i, std::string_view text) {
    std::string& entry = entries_.at(static_cast<std::size_t>(i));
    entry = ApplyEntryRule(text);
    values_[static_cast<std::size_t>(i)] = ReadLeadingNumber(entry);
    return entry;
}

double KnobControllerMap::EntryValue(int i) const {
    return values_.at(static_cast<std::size_t>(i));
}

bool KnobControllerMap::IsControllerMapped(int n) const {
    for (const double value : values_) {
        if (value == n) return true;
    }
    return false;
}

}  // namespace pemberlock
