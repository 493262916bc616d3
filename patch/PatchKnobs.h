// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"
#include "patch/LineSplitter.h"
#include "patch/ModuleNames.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// One thing a knob controls, in words that stay the same from patch to
// patch: the module's type rather than the name the patch gives it, so that
// "OscA › freq coarse" in one patch counts with the same in another.
struct KnobTarget {
    std::string typeName;   // "OscA"; empty for a morph or a key not named
    std::string parameter;  // "freq coarse", "Morph 1"; a key not named: "1 9 0 (unknown: …)"

    // "OscA › freq coarse", "Morph 1", or the key not named as it stands.
    std::string Text() const;
};

// What key (named name, or null when it was not named) stands for.
KnobTarget TargetOf(std::string_view key, const ParameterName* name);

// How a knob's key reads in the patch's own words: "Bass LP (FilterE) ›
// frequency", "Morph 2", or one not named by its key with the reason:
// "1 9 0 (unknown: the voice area has no module 9)".
std::string KnobEntryText(std::string_view key, const ParameterName& name);

// A knob or controller record of a patch, with what its key controls.
struct NamedRecord {
    std::string key;    // "1 3 1"
    std::string value;  // the knob slot or the controller, as read, blanks after it dropped
    ParameterName name;
};

// A patch's knob and controller records, named: what each knob controls and
// what each controller assignment reaches. Reading it changes nothing.
struct PatchKnobs {
    // Of each kind; more than the synthesizer takes, so that a patch
    // never holds more than a few kilobytes of them here.
    static constexpr std::size_t kMostRecords = 256;

    std::vector<NamedRecord> knobs;        // [KnobMapDump], in patch order
    std::vector<NamedRecord> controllers;  // [CtrlMapDump], in patch order
    // Records left out: beyond kMostRecords, or not four fields.
    std::uint64_t leftOut = 0;

    // What knob slot (0..22) controls: "Bass LP (FilterE) › frequency;
    // Morph 2"; empty when nothing.
    std::string WhatKnobControls(int slot) const;
    // The same, a line for each thing (KnobEntryText), in patch order.
    std::vector<std::string> ThingsOnKnob(int slot) const;
};

// Reads a patch piece by piece, in bounded memory (its longest line, the
// records and the module names), and names its records at the end.
class PatchKnobsReader {
public:
    void Feed(std::string_view bytes);
    PatchKnobs Finish();

private:
    enum class Mode { Outside, Knobs, Controllers };
    void HandleLine(std::string_view line);
    void AddRecord(std::string_view line, std::vector<NamedRecord>& to);

    ModuleNames names_;
    PatchKnobs knobs_;
    Mode mode_ = Mode::Outside;
    LineSplitter lines_;
};

// The patch at path, read through once.
Result<PatchKnobs> ReadPatchKnobs(const std::string& path, FileSystem& fs = RealFileSystem());

// What a patch's knobs and controllers control, as indented lines, each
// ending in lineEnd, knobs in slot order, then controllers as they stand:
//   "  knob 3: parameters 1 3 1 (Bass LP (FilterE) › frequency), 2 1 1 (Morph 2)"
//   "  knob slot 19 (pedal): parameter 1 5 5 (OscA1 (OscA) › freq fine)"
//   "  controller 7: parameter 1 9 0 (unknown: the voice area has no module 9)"
std::string ExplainPatchKnobs(const PatchKnobs& knobs, std::string_view lineEnd = "\n");

}  // namespace pemberlock
