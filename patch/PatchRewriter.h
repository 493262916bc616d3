// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/ByteSink.h"
#include "map/KnobControllerMap.h"
#include "patch/HeldBytes.h"
#include "patch/LineSplitter.h"
#include "patch/ModuleNames.h"
#include "patch/RewriteReport.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// Rewrites the bytes of one patch in a single streaming pass: every line is
// copied with a CR LF line end, except the controller section, which is
// rebuilt from the knob section and the map. Lines may end in CR LF, LF or
// a lone CR; the last line needs no line end. Memory use is bounded by the
// longest line, whatever the size of the patch.
//
// The section rules. A tag is a whole line, exactly "[KnobMapDump]",
// "[/KnobMapDump]", "[CtrlMapDump]" or "[/CtrlMapDump]"; "[Notes]" matters
// too. The rewriter is outside any section, in the knob section or in the
// controller section:
//
//   line             outside                  knob section    controller section
//   [/KnobMapDump]   copied                   copied, leave   copied, leave (the
//                                                             records stay)
//   [/CtrlMapDump]   new section written in its place, from all controller
//                    records so far and all knob records so far; then outside
//   [KnobMapDump]    copied, enter            a record (a malformed one, so the
//   [CtrlMapDump]    not copied, enter        rewrite fails)
//   [Notes]          copied (see below)
//   any other line   copied                   knob record,    controller record,
//                                             copied          not copied
//
// A record is four fields cut at the first three blanks; the first three are
// the parameter key, the fourth (the rest of the line) the knob or controller.
// The new section holds the controller records kept (all with the option
// on; otherwise those whose controller the map does not use), then one line
// per knob record on a panel knob (slots 0 to 17) with the knob's controller
// (with the option on, not where the key or the controller is already
// taken). Knob slots 18 to 22 are pedal, aftertouch and the on/off switch:
// they get no controller.
//
// A patch that never wrote a section gets one holding only the knob lines:
// at its end, or, when it has notes, just before its first "[Notes]" line
// outside the sections, because readers take the notes to run to the end of
// the file. Whether a section will be needed is known only at the end, so
// everything from that line on is held back until then (in memory up to
// kHeldInMemory bytes, beyond that in a scratch file).
class PatchRewriter {
public:
    static constexpr std::size_t kMaxKnobRecords = 23;  // knob slots 0..22
    static constexpr std::size_t kMaxControllerRecords = 121;
    static constexpr int kFirstNonPanelKnob = 18;
    static constexpr int kLastKnobSlot = 22;
    static constexpr std::size_t kHeldInMemory = 64 * 1024;

    // out receives the whole new patch; sectionOut, when given, receives
    // only the controller sections written (for previews). openScratch gives
    // the file that held-back notes spill into; without it they stay in memory.
    PatchRewriter(const KnobControllerMap& map, ByteSink& out, ByteSink* sectionOut = nullptr,
                  ScratchOpener openScratch = {}, std::size_t heldInMemory = kHeldInMemory);
    // The map is read while the rewrite runs, so it must outlive the rewriter.
    PatchRewriter(KnobControllerMap&&, ByteSink&, ByteSink* = nullptr, ScratchOpener = {},
                  std::size_t = kHeldInMemory) = delete;

    // Fills report, from now on, with what each section written holds and
    // why, and, at the end, what each of its keys controls (read from the
    // patch's module lists and names as they pass); report must outlive the
    // rewrite. Without one nothing is recorded, and nothing named.
    void ReportTo(RewriteReport* report);

    // Feeds the next bytes of the patch. Once it has failed, further input
    // is ignored and every call returns the first failure.
    Result<> Feed(std::string_view bytes);
    // Ends the patch.
    Result<> Finish();

private:
    enum class Mode { Outside, KnobSection, ControllerSection };
    enum class Tag { None, KnobOpen, KnobClose, ControllerOpen, ControllerClose, Notes };

    struct KnobAssignment {
        std::string key;
        std::string knob;
        std::uint64_t line;  // where it stood, for error messages
    };
    struct ControllerAssignment {
        std::string line;       // key, blank, controller field, as read
        std::size_t keyLength;  // line[0, keyLength) is the key
        double controller;      // the field under the leading-number rule
    };

    Result<> Status() const;
    void HandleLine(std::string_view line);
    void HandleOutside(Tag tag, std::string_view line);
    void AddKnobRecord(std::string_view line);
    void AddControllerRecord(std::string_view line);
    void HoldBackFromHere();
    void ReleaseHeld();
    // The new section: rebuilt in place (with the records kept) or added.
    void WriteControllerSection(bool inPlace);
    void WriteKeptRecords(std::string& section);
    void WriteKnobLines(std::string& section, bool checkConflicts);
    bool TakenByController(const KnobAssignment& knob, double controller) const;
    void ReportNotAdded(const KnobAssignment& knob, int slot, double controller);
    // Records the first failure; line 0 means the line being read.
    void Fail(std::string what, std::uint64_t line = 0);
    void FailFrom(const Error& error);
    void Emit(std::string_view line);
    void NameReportedKeys();

    const KnobControllerMap& map_;
    ByteSink& out_;
    ByteSink* sectionOut_;
    Mode mode_ = Mode::Outside;
    std::vector<KnobAssignment> knobs_;
    std::vector<ControllerAssignment> controllers_;
    bool controllerSectionWritten_ = false;
    HeldBytes held_;
    // out_, or held_ from a "[Notes]" line that came before any section was written.
    ByteSink* emitTo_;
    // Instead, when out_ holds everything in memory: where that line stands in it.
    std::optional<std::size_t> notesAt_;
    std::optional<Error> failure_;
    bool finished_ = false;
    LineSplitter lines_;
    std::uint64_t lineNumber_ = 0;
    std::string sectionBuffer_;
    RewriteReport* report_ = nullptr;
    SectionReport* sectionReport_ = nullptr;  // the one being written, when reporting
    std::unique_ptr<ModuleNames> names_;      // only when reporting
};

// The whole rewrite in memory.
struct RewrittenPatch {
    std::string text;      // the new patch
    std::string sections;  // the controller sections in it that were written, when asked for
};
enum class Sections { Leave, Keep };
// With report, also what the sections hold and why.
Result<RewrittenPatch> RewritePatchText(std::string_view patch, const KnobControllerMap& map,
                                        Sections sections = Sections::Leave,
                                        RewriteReport* report = nullptr);

}  // namespace pemberlock
