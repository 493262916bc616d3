// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "patch/ModuleNames.h"

#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// What a rewrite puts into one controller section it writes, and why, for
// people to read. Knobs are slots 0..17 here; people see them as 1..18.
struct SectionReport {
    // An assignment that stood in the patch's old section, as read.
    struct OldRecord {
        std::string key;         // the parameter
        std::string controller;  // the controller field
    };
    // A line the section gets from a knob record.
    struct KnobLine {
        int knob;
        std::string key;
        double controller;
    };
    // A knob record that got no line, with the option on.
    struct NotAdded {
        enum class Why { ParameterTaken, ControllerTaken };
        int knob;
        std::string key;
        double controller;
        Why why;
        OldRecord by;  // the old assignment that took it
    };
    // A record on knob slot 18..22: pedal, aftertouch, on/off switch or none.
    struct NoPanelKnob {
        int slot;
        std::string key;
    };

    bool added = false;  // the patch had no section; this one is new
    std::vector<OldRecord> kept;
    std::vector<OldRecord> dropped;  // the map now uses their controller
    std::vector<KnobLine> written;
    std::vector<NotAdded> notAdded;
    std::vector<NoPanelKnob> noController;
};

// What one key of the sections controls.
struct KeyName {
    std::string key;
    ParameterName name;
};

// One per section written, in the order they stand in the patch.
struct RewriteReport {
    std::vector<SectionReport> sections;
    // What each key in the sections controls, once the whole patch has been
    // read; none when the rewrite was not asked for a report.
    std::vector<KeyName> names;

    // Null when the key was not named.
    const ParameterName* NameOf(std::string_view key) const;
};

// The keys on the knob (slot 0..22) in the sections written, each once, in
// the order they first stand there.
std::vector<std::string_view> KeysOnKnob(const RewriteReport& report, int slot);

// What the knob (slot 0..22) controls in the sections written, each
// parameter as KnobEntryText has it (or its key, when not named), joined by
// "; ": "Bass LP (FilterE) › frequency; Morph 2". Empty when it controls nothing.
std::string WhatKnobControls(const RewriteReport& report, int slot);

// The report as indented lines, each ending in lineEnd, e.g.
//   "  knob 1, controller 101: parameter 1 3 1 (Bass LP (FilterE) › frequency)"
//   "  dropped: parameter 1 4 0 (Morph 1) with controller 103, which the map uses"
// A key without a name is shown alone.
std::string FormatRewriteReport(const RewriteReport& report, std::string_view lineEnd = "\n");

}  // namespace pemberlock
