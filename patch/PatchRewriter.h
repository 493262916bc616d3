#pragma once

#include "fileio/ByteSink.h"
#include "map/KnobControllerMap.h"
#include "patch/HeldBytes.h"

#include <cstdint>
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
// A patch that has no controller section gets one: at its end, or, when it
// has notes, just before its "[Notes]" line, because readers take the notes
// to run to the end of the file. Whether a section will be needed is known
// only at the end, so everything from "[Notes]" on is held back until then
// (in memory up to kHeldInMemory bytes, beyond that in a scratch file).
class PatchRewriter {
public:
    static constexpr std::size_t kMaxKnobRecords = 23;        // knob slots 0..22
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

    // Feeds the next bytes of the patch. False once the patch has failed;
    // then further input is ignored and Error() says why.
    bool Feed(std::string_view bytes);
    // Ends the patch. False when it failed.
    bool Finish();

    const std::string& Error() const { return error_; }

private:
    enum class SectionMode { Normal, KnobMap, CtrlMap };

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

    void HandleLine(std::string_view line);
    bool WriteControllerSection(bool appended);
    // Records the first failure; line 0 means the line being read.
    void Fail(std::string message, std::uint64_t line = 0);
    void Emit(std::string_view line);
    // Writes out what was held back since "[Notes]".
    bool ReleaseHeld();

    const KnobControllerMap& map_;
    ByteSink& out_;
    ByteSink* sectionOut_;
    SectionMode mode_ = SectionMode::Normal;
    std::vector<KnobAssignment> knobs_;
    std::vector<ControllerAssignment> controllers_;
    bool controllerSectionWritten_ = false;
    HeldBytes held_;
    // out_, or held_ from a "[Notes]" line that came before any section was written.
    ByteSink* emitTo_;
    bool failed_ = false;
    bool finished_ = false;
    bool pendingCr_ = false;    // the last chunk ended in CR; an LF may follow
    std::string partial_;       // a line cut by the end of the last chunk
    std::uint64_t lineNumber_ = 0;
    std::string error_;
    std::string sectionBuffer_;
};

// The whole rewrite in memory: the new patch bytes, or nullopt (and error).
std::optional<std::string> RewritePatchText(std::string_view patch, const KnobControllerMap& map,
                                            std::string* error = nullptr,
                                            std::string* section = nullptr);

}  // namespace pemberlock
