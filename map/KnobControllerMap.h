// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace pemberlock {

// The user's table: one MIDI controller number per panel knob, and the
// option that decides whether controller assignments already in a patch win.
class KnobControllerMap {
public:
    static constexpr int kKnobCount = 18;
    static constexpr int kMaxController = 120;
    static constexpr int kPrecedenceOn = 1;

    // Knob i gets controller 101 + i; the option is off.
    KnobControllerMap();

    // Knob index i must be 0..17.
    const std::string& EntryText(int i) const;
    // Stores the entry rule's result for text and returns it.
    const std::string& SetEntryText(int i, std::string_view text);
    // The entry read with the leading-number rule.
    double EntryValue(int i) const;

    // 0 off, 1 on; 2 may come from a map file and counts as off.
    int Precedence() const { return precedence_; }
    void SetPrecedence(int value) { precedence_ = value; }
    bool PrecedenceOn() const { return precedence_ == kPrecedenceOn; }

    // True when any of the 18 entries reads as n.
    bool IsControllerMapped(int n) const;

    friend bool operator==(const KnobControllerMap&, const KnobControllerMap&) = default;

private:
    std::array<std::string, kKnobCount> entries_;
    std::array<double, kKnobCount> values_{};  // entries_ read as numbers, for fast queries
    int precedence_ = 0;
};

// The entry rule: "" gives "0"; otherwise the leading number, clamped to
// 0..120 and rounded half to even, as text.
std::string ApplyEntryRule(std::string_view text);

}  // namespace pemberlock
