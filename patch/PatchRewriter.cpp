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

// First CR or LF in [begin, end), or end.
const char* FindLineEnd(const char* begin, const char* end) {
    const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
    const char* limit = lf ? static_cast<const char*>(lf) : end;
    const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(limit - begin));
    return cr ? static_cast<const char*>(cr) : limit;
}

}  // namespace

PatchRewriter::PatchRewriter(const KnobControllerMap& map, ByteSink& out, ByteSink* sectionOut,
                             ScratchOpener openScratch, std::size_t heldInMemory)
    : map_(map),
      out_(out),
      sectionOut_(sectionOut),
      held_(heldInMemory, std::move(openScratch)),
      emitTo_(&out_) {}

void PatchRewriter::Fail(std::string message, std::uint64_t line) {
    if (failed_) return;
    failed_ = true;
    error_ = "line " + std::to_string(line ? line : lineNumber_) + ": " + std::move(message);
}

void PatchRewriter::Emit(std::string_view line) {
    emitTo_->Write(line);
    emitTo_->Write(kCrLf);
}

bool PatchRewriter::ReleaseHeld() {
    if (emitTo_ == &out_) return true;
    emitTo_ = &out_;
    if (!held_.MoveTo(out_)) {
        Fail("the notes held back cannot be kept in a scratch file");
        return false;
    }
    return true;
}

bool PatchRewriter::Feed(std::string_view bytes) {
    if (failed_ || finished_) return !failed_;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    if (pendingCr_ && p < end) {
        pendingCr_ = false;
        if (*p == '\n') ++p;  // the LF of a CR LF split between two chunks
    }
    if (std::memchr(p, '\0', static_cast<std::size_t>(end - p))) {
        failed_ = true;
        error_ = "holds a NUL byte: not a text patch";
        return false;
    }
    while (p < end) {
        const char* lineEnd = FindLineEnd(p, end);
        if (lineEnd == end) {
            partial_.append(p, end);
            break;
        }
        if (partial_.empty()) {
            HandleLine(std::string_view(p, static_cast<std::size_t>(lineEnd - p)));
        } else {
            partial_.append(p, lineEnd);
            HandleLine(partial_);
            partial_.clear();
        }
        if (failed_) return false;
        p = lineEnd + 1;
        if (*lineEnd == '\r') {
            if (p == end) {
                pendingCr_ = true;
            } else if (*p == '\n') {
                ++p;
            }
        }
    }
    return true;
}

bool PatchRewriter::Finish() {
    if (failed_ || finished_) return !failed_;
    if (!partial_.empty()) {
        HandleLine(partial_);  // the last line needs no line end
        partial_.clear();
    }
    if (!failed_ && !controllerSectionWritten_) WriteControllerSection(true);
    if (!failed_) ReleaseHeld();
    finished_ = true;
    return !failed_;
}

void PatchRewriter::HandleLine(std::string_view line) {
    ++lineNumber_;
    const bool maybeTag = !line.empty() && line.front() == '[';
    if (maybeTag && line == kKnobClose) mode_ = SectionMode::Normal;
    if (maybeTag && line == kCtrlClose) {
        mode_ = SectionMode::Normal;
        if (!ReleaseHeld() || !WriteControllerSection(false)) return;
        controllerSectionWritten_ = true;
    }
    if (mode_ == SectionMode::KnobMap) {
        const std::optional<Record> record = SplitRecord(line);
        if (!record) return Fail("a knob record needs four fields separated by blanks");
        if (knobs_.size() == kMaxKnobRecords) return Fail("more than 23 knob records");
        knobs_.push_back({std::string(record->key), std::string(record->value), lineNumber_});
    } else if (mode_ == SectionMode::CtrlMap) {
        const std::optional<Record> record = SplitRecord(line);
        if (!record) return Fail("a controller record needs four fields separated by blanks");
        if (controllers_.size() == kMaxControllerRecords) return Fail("more than 121 controller records");
        controllers_.push_back({std::string(line), record->key.size(), ReadLeadingNumber(record->value)});
    }
    if (maybeTag && line == kKnobOpen) mode_ = SectionMode::KnobMap;
    if (maybeTag && line == kCtrlOpen) mode_ = SectionMode::CtrlMap;
    if (maybeTag && mode_ == SectionMode::Normal && line == kNotes && !controllerSectionWritten_) {
        emitTo_ = &held_;
    }
    if (mode_ != SectionMode::CtrlMap) Emit(line);
    if (emitTo_ == &held_ && held_.Failed()) Fail("the notes held back cannot be kept in a scratch file");
}

bool PatchRewriter::WriteControllerSection(bool appended) {
    std::string& section = sectionBuffer_;
    section.assign(kCtrlOpen);
    section += kCrLf;
    const bool precedence = map_.PrecedenceOn();

    // Old records stay unless the map now uses their controller; when old
    // assignments take precedence they all stay. An appended section has none.
    for (const ControllerAssignment& record : controllers_) {
        if (appended) break;
        bool keep = precedence;
        if (!keep) {
            const std::optional<std::int16_t> controller = ToWholeNumber(record.controller);
            if (!controller) {
                Fail("controller \"" + record.line.substr(record.keyLength + 1) +
                     "\" is outside -32768..32767");
                return false;
            }
            keep = !map_.IsControllerMapped(*controller);
        }
        if (keep) {
            section += record.line;
            section += kCrLf;
        }
    }

    for (const KnobAssignment& knob : knobs_) {
        const std::optional<std::int16_t> k = TextToWholeNumber(knob.knob);
        if (!k) {
            Fail("knob \"" + knob.knob + "\" is not a number", knob.line);
            return false;
        }
        if (*k < 0 || *k > kLastKnobSlot) {
            Fail("knob " + std::to_string(*k) + " is not a knob", knob.line);
            return false;
        }
        // Pedal, aftertouch and on/off switch: no panel knob, no controller.
        if (*k >= kFirstNonPanelKnob) continue;
        const double controller = map_.EntryValue(*k);
        if (precedence && !appended) {
            bool conflict = false;
            for (const ControllerAssignment& record : controllers_) {
                if (record.controller == controller ||
                    std::string_view(record.line).substr(0, record.keyLength) == knob.key) {
                    conflict = true;
                    break;
                }
            }
            if (conflict) continue;
        }
        section += knob.key;
        section += ' ';
        section += NumberToText(controller);
        section += kCrLf;
    }

    if (appended) {
        section += kCtrlClose;
        section += kCrLf;
    }
    out_.Write(section);
    if (sectionOut_) {
        sectionOut_->Write(section);
        if (!appended) {
            sectionOut_->Write(kCtrlClose);
            sectionOut_->Write(kCrLf);
        }
    }
    return true;
}

std::optional<std::string> RewritePatchText(std::string_view patch, const KnobControllerMap& map,
                                            std::string* error, std::string* section) {
    StringSink out;
    StringSink sectionSink;
    PatchRewriter rewriter(map, out, section ? &sectionSink : nullptr);
    if (!rewriter.Feed(patch) || !rewriter.Finish()) {
        if (error) *error = rewriter.Error();
        return std::nullopt;
    }
    if (section) *section = sectionSink.TakeText();
    return out.TakeText();
}

}  // namespace pemberlock
