// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the in-memory patch rewrite with any bytes, any map and any option.
//
// Input: a 20-byte map prefix (see FuzzInput.h; its spare byte chooses the
// chunk size for the streaming check), then the patch bytes.
//
// Properties checked on every input:
// - Feeding the patch in small chunks gives exactly what feeding it whole
//   gives (a CR LF or a line may be cut anywhere by the file reader).
// - A successful result is CR LF lines only, with no lone CR or LF.
// - Outside the controller sections nothing changes: the input's lines with
//   its controller sections taken out equal the output's lines with its
//   [CtrlMapDump] .. [/CtrlMapDump] blocks taken out. In the input a
//   controller section runs from a "[CtrlMapDump]" line to the next
//   "[/CtrlMapDump]" (replaced by the new block, which ends with it), or to
//   the next "[/KnobMapDump]" (which leaves the controller section and is
//   copied), or to the end of the patch (then dropped). A "[/CtrlMapDump]"
//   outside a section still closes one: it becomes a block of its own.
// - There is one block per "[/CtrlMapDump]" line of the input, in its place;
//   a patch without any gets exactly one, just before its first "[Notes]"
//   line, or at the end when it has none. (A "[Notes]" line inside a
//   section is a malformed record, so in a patch that succeeded every one
//   stands outside the sections.)
// - Holding the notes back through a scratch file of any memory limit gives
//   the same bytes as putting the section in front of them in memory.
// - The section preview receives exactly the blocks of the output.
// - A patch without NUL bytes and without any of the four tag lines never
//   fails (it is copied and gets an empty section).
// - The report agrees with the blocks: one section per block, each block
//   exactly its kept records then its knob lines, every knob line with its
//   knob's controller; nothing is dropped with the option on, nothing left
//   out for a taken parameter or number with it off, and only a patch
//   without closing tags gets an added section.
// - Idempotence: when the input holds at most one "[/CtrlMapDump]" line, no
//   knob section follows the output's block, and the rewrite of the output
//   succeeds too, it gives the output again. With
//   the option off the map's numbers written into the block are dropped and
//   written again, and the records kept are kept again; with it on every
//   record stays and each knob record now conflicts with its own line. With
//   two or more closing tags it does not hold: records accumulate over
//   sections, so a record kept in the first block is kept twice in the
//   second one next time.

#include "FuzzInput.h"
#include "tests/support/MemoryScratchFile.h"

#include "fileio/ByteSink.h"
#include "map/NumberRules.h"
#include "patch/PatchRewriter.h"
#include "patch/RewriteReport.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace pemberlock;
using namespace pemberlock::fuzz;

constexpr std::string_view kKnobOpen = "[KnobMapDump]";
constexpr std::string_view kKnobClose = "[/KnobMapDump]";
constexpr std::string_view kCtrlOpen = "[CtrlMapDump]";
constexpr std::string_view kCtrlClose = "[/CtrlMapDump]";

bool IsTag(std::string_view line) {
    return line == kKnobOpen || line == kKnobClose || line == kCtrlOpen || line == kCtrlClose;
}

// The input's lines outside its controller sections.
std::vector<std::string_view> LinesOutsideInputSections(
    const std::vector<std::string_view>& lines) {
    std::vector<std::string_view> kept;
    bool inSection = false;
    for (std::string_view line : lines) {
        if (line == kCtrlOpen) {
            inSection = true;
        } else if (line == kCtrlClose) {
            inSection = false;
        } else if (inSection && line == kKnobClose) {
            inSection = false;
            kept.push_back(line);
        } else if (!inSection) {
            kept.push_back(line);
        }
    }
    return kept;
}

struct OutputParts {
    std::vector<std::string_view> outside;  // lines outside the blocks
    std::vector<std::string_view> blocks;   // each block, its CR LFs included
    std::size_t firstBlockAt = 0;           // how many outside lines precede the first block
    bool wellFormed = true;                 // every block closed, records in it
};

OutputParts SplitOutput(std::string_view out) {
    OutputParts parts;
    std::size_t pos = 0;
    std::size_t blockStart = std::string_view::npos;
    while (pos < out.size()) {
        const std::size_t end = out.find("\r\n", pos);
        FUZZ_CHECK(end != std::string_view::npos);
        const std::string_view line = out.substr(pos, end - pos);
        const std::size_t next = end + 2;
        if (blockStart == std::string_view::npos) {
            if (line == kCtrlOpen) {
                if (parts.blocks.empty()) parts.firstBlockAt = parts.outside.size();
                blockStart = pos;
            } else {
                parts.outside.push_back(line);
            }
        } else if (line == kCtrlClose) {
            parts.blocks.push_back(out.substr(blockStart, next - blockStart));
            blockStart = std::string_view::npos;
        } else if (std::count(line.begin(), line.end(), ' ') < 3) {
            parts.wellFormed = false;  // not a record line
        }
        pos = next;
    }
    if (blockStart != std::string_view::npos) parts.wellFormed = false;
    return parts;
}

struct Rewritten {
    bool ok = false;
    std::string text;
    std::string section;
};

void CheckReport(const RewriteReport& report, const OutputParts& parts,
                 const KnobControllerMap& map, std::size_t closings) {
    FUZZ_CHECK(report.sections.size() == parts.blocks.size());
    for (std::size_t i = 0; i < report.sections.size(); ++i) {
        const SectionReport& section = report.sections[i];
        std::string block = std::string(kCtrlOpen) + "\r\n";
        for (const SectionReport::OldRecord& kept : section.kept) {
            block += kept.key + " " + kept.controller + "\r\n";
        }
        for (const SectionReport::KnobLine& line : section.written) {
            FUZZ_CHECK(line.knob >= 0 && line.knob < KnobControllerMap::kKnobCount);
            FUZZ_CHECK(line.controller == map.EntryValue(line.knob));
            block += line.key + " " + NumberToText(line.controller) + "\r\n";
        }
        block += std::string(kCtrlClose) + "\r\n";
        FUZZ_CHECK(block == parts.blocks[i]);
        FUZZ_CHECK(section.added == (closings == 0));
        if (map.PrecedenceOn()) FUZZ_CHECK(section.dropped.empty());
        if (!map.PrecedenceOn() || section.added) FUZZ_CHECK(section.notAdded.empty());
        for (const SectionReport::NoPanelKnob& record : section.noController) {
            FUZZ_CHECK(record.slot >= PatchRewriter::kFirstNonPanelKnob &&
                       record.slot <= PatchRewriter::kLastKnobSlot);
        }
    }
}

Rewritten RewriteInChunks(std::string_view patch, const KnobControllerMap& map, std::size_t chunk,
                          std::size_t heldInMemory) {
    // Written only at its end, as a file is: notes are held back, while the
    // whole rewrite in memory puts a section in front of them instead.
    test::AppendOnlySink out;
    StringSink section;
    int scratchFiles = 0;
    PatchRewriter rewriter(map, out, &section, test::MemoryScratchFile::Opener(scratchFiles),
                           heldInMemory);
    bool ok = true;
    for (std::size_t pos = 0; ok && pos < patch.size(); pos += chunk) {
        ok = rewriter.Feed(patch.substr(pos, chunk)).ok();
    }
    ok = ok && rewriter.Finish().ok();
    return Rewritten{ok, out.TakeText(), section.TakeText()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kMapPrefixSize) return 0;
    const KnobControllerMap map = MapFromPrefix(data);
    const std::size_t chunk = 1 + data[1] % 64;
    const std::size_t heldInMemory = static_cast<std::size_t>(data[1] / 64) * 7;
    const std::string_view patch(reinterpret_cast<const char*>(data) + kMapPrefixSize,
                                 size - kMapPrefixSize);

    RewriteReport report;
    const Result<RewrittenPatch> whole = RewritePatchText(patch, map, Sections::Keep, &report);
    const Rewritten chunked = RewriteInChunks(patch, map, chunk, heldInMemory);
    FUZZ_CHECK(chunked.ok == whole.ok());

    const std::vector<std::string_view> lines = SplitLines(patch);
    const bool hasNul = patch.find('\0') != std::string_view::npos;
    if (!hasNul && std::none_of(lines.begin(), lines.end(), IsTag)) FUZZ_CHECK(whole.ok());
    if (!whole) return 0;
    const std::string& out = whole->text;
    const std::string& section = whole->sections;
    FUZZ_CHECK(chunked.text == out);
    FUZZ_CHECK(chunked.section == section);
    FUZZ_CHECK(!hasNul);

    // CR LF lines only.
    FUZZ_CHECK(out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0);
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\r') FUZZ_CHECK(i + 1 < out.size() && out[i + 1] == '\n');
        if (out[i] == '\n') FUZZ_CHECK(i > 0 && out[i - 1] == '\r');
    }

    const OutputParts parts = SplitOutput(out);
    FUZZ_CHECK(parts.wellFormed);
    FUZZ_CHECK(parts.outside == LinesOutsideInputSections(lines));

    const std::size_t closings =
        static_cast<std::size_t>(std::count(lines.begin(), lines.end(), kCtrlClose));
    FUZZ_CHECK(parts.blocks.size() == std::max<std::size_t>(closings, 1));
    if (closings == 0) {
        const auto notes = std::find(parts.outside.begin(), parts.outside.end(), "[Notes]");
        FUZZ_CHECK(parts.firstBlockAt == static_cast<std::size_t>(notes - parts.outside.begin()));
    }
    std::string blocks;
    for (std::string_view block : parts.blocks) blocks += block;
    FUZZ_CHECK(blocks == section);
    CheckReport(report, parts, map, closings);

    // A knob section after the block is read before it next time: its records
    // are not there yet when the block is rebuilt (the notes case, where the
    // new block goes before a knob section that follows the notes).
    const bool knobsAfterBlock =
        std::find(parts.outside.begin() + static_cast<std::ptrdiff_t>(parts.firstBlockAt),
                  parts.outside.end(), kKnobOpen) != parts.outside.end();
    if (closings <= 1 && !knobsAfterBlock) {
        const Result<RewrittenPatch> again = RewritePatchText(out, map);
        if (again) FUZZ_CHECK(again->text == out);
    }
    return 0;
}
