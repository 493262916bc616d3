// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchRewriter.h"

#include "map/NumberRules.h"

#include <cstring>

namespace pemberlock {
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kKnobOpen = "[KnobMapDump]";
constexpr std::string_view kKnobClose = "[/KnobMapDump]";
constexpr std::string_view kCtrlOpen = "[CtrlMapDump]";
constexpr std::string_view kCtrlClose = "[/CtrlMapDump]";
constexpr std::string_view kNotes = "[Notes]";

// A record line cut at its first three blanks: the key is the first three
// fields with their blanks, the value the whole rest of the line.
struct Record {
    std::string_view key;
    std::string_view value;
};

std::optional<Record> SplitRecord(std::string_view line) {
    std::size_t blank = std::string_view::npos;
    for (int field = 0; field < 3; ++field) {
        blank = line.find(' ', blank + 1);
        if (blank == std::string_view::npos) return std::nullopt;
    }
    return Record{line.substr(0, blank), line.substr(blank + 1)};
}

// An old controller record as the report shows it.
template <typename Assignment>
SectionReport::OldRecord OldRecordOf(const Assignment& record) {
    return {record.line.substr(0, record.keyLength), record.line.substr(record.keyLength + 1)};
}

}  // namespace

PatchRewriter::PatchRewriter(const KnobControllerMap& map, ByteSink& out, ByteSink* sectionOut,
                             ScratchOpener openScratch, std::size_t heldInMemory)
    : map_(map),
      out_(out),
      sectionOut_(sectionOut),
      held_(heldInMemory, std::move(openScratch)),
      emitTo_(&out_) {}

void PatchRewriter::ReportTo(RewriteReport* report) {
    report_ = report;
    names_ = report ? std::make_unique<ModuleNames>() : nullptr;
}

Result<> PatchRewriter::Status() const {
    if (failure_) return *failure_;
    return {};
}

void PatchRewriter::Fail(std::string what, std::uint64_t line) {
    if (!failure_) failure_ = Error{std::move(what), line ? line : lineNumber_, {}};
}

void PatchRewriter::FailFrom(const Error& error) {
    if (!failure_) failure_ = error;
}

void PatchRewriter::Emit(std::string_view line) {
    emitTo_->Write(line);
    emitTo_->Write(kCrLf);
}

Result<> PatchRewriter::Feed(std::string_view bytes) {
    if (failure_ || finished_) return Status();
    if (std::memchr(bytes.data(), '\0', bytes.size())) {
        failure_ = Error{"holds a NUL byte: not a text patch"};
    } else {
        lines_.Feed(bytes, [this](std::string_view line) {
            HandleLine(line);
            return !failure_;
        });
    }
    return Status();
}

Result<> PatchRewriter::Finish() {
    if (failure_ || finished_) return Status();
    finished_ = true;
    lines_.Finish([this](std::string_view line) { HandleLine(line); });  // needs no line end
    if (!failure_ && !controllerSectionWritten_) WriteControllerSection(false);
    if (!failure_) ReleaseHeld();
    if (!failure_ && names_) NameReportedKeys();
    return Status();
}

void PatchRewriter::NameReportedKeys() {
    std::vector<KeyName>& names = report_->names;
    const auto name = [&](const std::string& key) {
        for (const KeyName& named : names) {
            if (named.key == key) return;
        }
        names.push_back({key, names_->Resolve(key)});
    };
    for (const SectionReport& section : report_->sections) {
        for (const auto& record : section.kept) name(record.key);
        for (const auto& record : section.dropped) name(record.key);
        for (const auto& line : section.written) name(line.key);
        for (const auto& skipped : section.notAdded) {
            name(skipped.key);
            name(skipped.by.key);
        }
        for (const auto& record : section.noController) name(record.key);
    }
}

void PatchRewriter::HandleLine(std::string_view line) {
    ++lineNumber_;
    if (names_) names_->Line(line);
    // Most lines are plain lines outside the sections: copied, nothing more.
    const bool maybeTag = !line.empty() && line.front() == '[';
    if (mode_ == Mode::Outside && !maybeTag && emitTo_ == &out_) return Emit(line);
    Tag tag = Tag::None;
    if (maybeTag) {
        if (line == kKnobOpen) tag = Tag::KnobOpen;
        if (line == kKnobClose) tag = Tag::KnobClose;
        if (line == kCtrlOpen) tag = Tag::ControllerOpen;
        if (line == kCtrlClose) tag = Tag::ControllerClose;
        if (line == kNotes) tag = Tag::Notes;
    }
    // Either closing tag ends whichever section is open.
    if (tag == Tag::KnobClose) {
        mode_ = Mode::Outside;
        return Emit(line);
    }
    if (tag == Tag::ControllerClose) {
        mode_ = Mode::Outside;
        return WriteControllerSection(true);
    }
    switch (mode_) {
        case Mode::KnobSection: return AddKnobRecord(line);
        case Mode::ControllerSection: return AddControllerRecord(line);
        case Mode::Outside: return HandleOutside(tag, line);
    }
}

void PatchRewriter::HandleOutside(Tag tag, std::string_view line) {
    switch (tag) {
        case Tag::KnobOpen: mode_ = Mode::KnobSection; break;
        case Tag::ControllerOpen: mode_ = Mode::ControllerSection; return;  // rewritten at its end
        case Tag::Notes:
            if (!controllerSectionWritten_) HoldBackFromHere();
            break;
        default: break;
    }
    Emit(line);
    if (emitTo_ == &held_ && held_.Failure()) FailFrom(*held_.Failure());
}

void PatchRewriter::AddKnobRecord(std::string_view line) {
    const std::optional<Record> record = SplitRecord(line);
    if (!record) return Fail("a knob record needs four fields separated by blanks");
    if (knobs_.size() == kMaxKnobRecords) return Fail("more than 23 knob records");
    knobs_.push_back({std::string(record->key), std::string(record->value), lineNumber_});
    Emit(line);
}

void PatchRewriter::AddControllerRecord(std::string_view line) {
    const std::optional<Record> record = SplitRecord(line);
    if (!record) return Fail("a controller record needs four fields separated by blanks");
    if (controllers_.size() == kMaxControllerRecords) {
        return Fail("more than 121 controller records");
    }
    controllers_.push_back(
        {std::string(line), record->key.size(), ReadLeadingNumber(record->value)});
}

void PatchRewriter::HoldBackFromHere() {
    // In memory the notes need not wait anywhere: a section is put in front
    // of them afterwards, if need be.
    if (out_.InsertsInPlace()) {
        if (!notesAt_) notesAt_ = out_.Position();  // the first such line counts
    } else {
        emitTo_ = &held_;
    }
}

void PatchRewriter::ReleaseHeld() {
    if (emitTo_ == &out_) return;
    emitTo_ = &out_;
    if (Result<> moved = held_.MoveTo(out_); !moved) FailFrom(moved.error());
}

void PatchRewriter::WriteControllerSection(bool inPlace) {
    // Held-back notes stand before a section that comes after them, and
    // after one added in front of them (Finish releases them then).
    if (inPlace) ReleaseHeld();
    std::string& section = sectionBuffer_;
    section.assign(kCtrlOpen);
    section += kCrLf;
    if (report_) {
        sectionReport_ = &report_->sections.emplace_back();
        sectionReport_->added = !inPlace;
    }
    // An added section has no records of its own to keep, and nothing that
    // its knob lines could conflict with.
    if (inPlace) WriteKeptRecords(section);
    WriteKnobLines(section, inPlace && map_.PrecedenceOn());
    if (failure_) {
        // A section that is never written has nothing to report.
        if (report_) report_->sections.pop_back();
        sectionReport_ = nullptr;
        return;
    }
    section += kCtrlClose;
    section += kCrLf;
    if (!inPlace && notesAt_) {
        out_.InsertAt(*notesAt_, section);
    } else {
        out_.Write(section);
    }
    if (sectionOut_) sectionOut_->Write(section);
    controllerSectionWritten_ = true;
}

void PatchRewriter::WriteKeptRecords(std::string& section) {
    // Old records stay unless the map now uses their controller; when old
    // assignments take precedence they all stay.
    const bool keepAll = map_.PrecedenceOn();
    for (const ControllerAssignment& record : controllers_) {
        if (!keepAll) {
            const std::optional<std::int16_t> controller = ToWholeNumber(record.controller);
            if (!controller) {
                return Fail("controller \"" + record.line.substr(record.keyLength + 1) +
                            "\" is outside -32768..32767");
            }
            if (map_.IsControllerMapped(*controller)) {
                if (sectionReport_) sectionReport_->dropped.push_back(OldRecordOf(record));
                continue;
            }
        }
        section += record.line;
        section += kCrLf;
        if (sectionReport_) sectionReport_->kept.push_back(OldRecordOf(record));
    }
}

void PatchRewriter::WriteKnobLines(std::string& section, bool checkConflicts) {
    for (const KnobAssignment& knob : knobs_) {
        const std::optional<std::int16_t> k = TextToWholeNumber(knob.knob);
        if (!k) return Fail("knob \"" + knob.knob + "\" is not a number", knob.line);
        if (*k < 0 || *k > kLastKnobSlot) {
            return Fail("knob " + std::to_string(*k) + " is not a knob", knob.line);
        }
        // Pedal, aftertouch and on/off switch: no panel knob, no controller.
        if (*k >= kFirstNonPanelKnob) {
            if (sectionReport_) sectionReport_->noController.push_back({*k, knob.key});
            continue;
        }
        const double controller = map_.EntryValue(*k);
        if (checkConflicts && TakenByController(knob, controller)) {
            if (sectionReport_) ReportNotAdded(knob, *k, controller);
            continue;
        }
        section += knob.key;
        section += ' ';
        section += NumberToText(controller);
        section += kCrLf;
        if (sectionReport_) sectionReport_->written.push_back({*k, knob.key, controller});
    }
}

bool PatchRewriter::TakenByController(const KnobAssignment& knob, double controller) const {
    for (const ControllerAssignment& record : controllers_) {
        if (record.controller == controller ||
            std::string_view(record.line).substr(0, record.keyLength) == knob.key) {
            return true;
        }
    }
    return false;
}

void PatchRewriter::ReportNotAdded(const KnobAssignment& knob, int slot, double controller) {
    // A parameter that already has a controller says more than a number
    // taken by some other parameter.
    using Why = SectionReport::NotAdded::Why;
    const ControllerAssignment* byKey = nullptr;
    const ControllerAssignment* byNumber = nullptr;
    for (const ControllerAssignment& record : controllers_) {
        if (!byKey && std::string_view(record.line).substr(0, record.keyLength) == knob.key) {
            byKey = &record;
        }
        if (!byNumber && record.controller == controller) byNumber = &record;
    }
    const ControllerAssignment& by = byKey ? *byKey : *byNumber;
    sectionReport_->notAdded.push_back({slot, knob.key, controller,
                                        byKey ? Why::ParameterTaken : Why::ControllerTaken,
                                        OldRecordOf(by)});
}

Result<RewrittenPatch> RewritePatchText(std::string_view patch, const KnobControllerMap& map,
                                        Sections keep, RewriteReport* report) {
    StringSink out;
    // A rewrite is about as long as the patch: CR LF for lone line ends, and
    // perhaps a new section. One allocation instead of a doubling series.
    out.Reserve(patch.size() + patch.size() / 16 + 1024);
    StringSink sections;
    PatchRewriter rewriter(map, out, keep == Sections::Keep ? &sections : nullptr);
    rewriter.ReportTo(report);
    Result<> done = rewriter.Feed(patch);
    if (done) done = rewriter.Finish();
    if (!done) return done.error();
    return RewrittenPatch{out.TakeText(), sections.TakeText()};
}

}  // namespace pemberlock
