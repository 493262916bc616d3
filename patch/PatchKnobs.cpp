// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchKnobs.h"

#include "fileio/ChunkedReader.h"
#include "map/NumberRules.h"
#include "patch/ModuleTable.h"

#include <algorithm>
#include <map>

namespace pemberlock {
namespace {

constexpr int kPanelKnobs = 18;
constexpr int kLastKnobSlot = 22;

std::string_view TrimBlanksAfter(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The knob slot a record names, or -1.
int SlotOf(const NamedRecord& record) {
    const std::optional<std::int16_t> slot = TextToWholeNumber(record.value);
    return slot && *slot >= 0 && *slot <= kLastKnobSlot ? *slot : -1;
}

std::string Named(const NamedRecord& record) {
    return record.key + " (" + record.name.Text() + ")";
}

}  // namespace

std::string KnobTarget::Text() const {
    return typeName.empty() ? parameter : typeName + " \u203A " + parameter;
}

KnobTarget TargetOf(std::string_view key, const ParameterName* name) {
    if (!name) return {{}, std::string(key)};
    if (name->kind == ParameterName::Kind::Module) {
        const ModuleParameter* row = FindModuleParameter(name->type, name->parameter);
        return {row ? std::string(row->typeName) : "?", row ? std::string(row->name) : "?"};
    }
    if (name->kind == ParameterName::Kind::Morph) return {{}, name->Text()};
    return {{}, KnobEntryText(key, *name)};
}

std::string KnobEntryText(std::string_view key, const ParameterName& name) {
    // One that cannot be named is shown by its key, with the reason.
    if (name.Resolved()) return name.Text();
    return std::string(key) + " (" + name.Text() + ")";
}

std::string PatchKnobs::WhatKnobControls(int slot) const {
    std::string text;
    for (const std::string& thing : ThingsOnKnob(slot)) {
        if (!text.empty()) text += "; ";
        text += thing;
    }
    return text;
}

std::vector<std::string> PatchKnobs::ThingsOnKnob(int slot) const {
    std::vector<std::string> things;
    for (const NamedRecord& record : knobs) {
        if (SlotOf(record) == slot) things.push_back(KnobEntryText(record.key, record.name));
    }
    return things;
}

void PatchKnobsReader::Feed(std::string_view bytes) {
    lines_.Feed(bytes, [this](std::string_view line) {
        HandleLine(line);
        return true;
    });
}

PatchKnobs PatchKnobsReader::Finish() {
    lines_.Finish([this](std::string_view line) { HandleLine(line); });
    for (auto* records : {&knobs_.knobs, &knobs_.controllers}) {
        for (NamedRecord& record : *records) record.name = names_.Resolve(record.key);
    }
    return std::move(knobs_);
}

void PatchKnobsReader::HandleLine(std::string_view line) {
    names_.Line(line);
    if (!line.empty() && line.front() == '[') {
        mode_ = line == "[KnobMapDump]"   ? Mode::Knobs
                : line == "[CtrlMapDump]" ? Mode::Controllers
                                          : Mode::Outside;
        return;
    }
    if (mode_ == Mode::Knobs) AddRecord(line, knobs_.knobs);
    if (mode_ == Mode::Controllers) AddRecord(line, knobs_.controllers);
}

void PatchKnobsReader::AddRecord(std::string_view line, std::vector<NamedRecord>& to) {
    // As the rewriter cuts it: the key is the first three fields, the value the rest.
    std::size_t blank = std::string_view::npos;
    for (int field = 0; field < 3; ++field) {
        blank = line.find(' ', blank + 1);
        if (blank == std::string_view::npos) {
            ++knobs_.leftOut;
            return;
        }
    }
    if (to.size() == PatchKnobs::kMostRecords) {
        ++knobs_.leftOut;
        return;
    }
    to.push_back({std::string(line.substr(0, blank)),
                  std::string(TrimBlanksAfter(line.substr(blank + 1))),
                  {}});
}

Result<PatchKnobs> ReadPatchKnobs(const std::string& path, FileSystem& fs) {
    const FileStatus status = fs.Status(path);
    if (status.kind == FileKind::Missing) return Error{"does not exist"};
    if (status.kind == FileKind::Directory) return Error{"is a folder"};
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(path);
    if (!in) return in.error();
    PatchKnobsReader reader;
    std::vector<char> buffer(64 * 1024);
    const Result<> read = ReadChunks(**in, buffer, "cannot be read",
                                     [&](std::string_view bytes) { reader.Feed(bytes); });
    if (!read) return read.error();
    return reader.Finish();
}

std::string ExplainPatchKnobs(const PatchKnobs& knobs, std::string_view lineEnd) {
    std::string out;
    const auto line = [&](const std::string& text) {
        out += "  ";
        out += text;
        out += lineEnd;
    };
    // Knobs by slot, those that are no knob after them, in patch order.
    std::map<int, std::vector<const NamedRecord*>> bySlot;
    for (const NamedRecord& record : knobs.knobs) bySlot[SlotOf(record)].push_back(&record);
    for (const auto& [slot, records] : bySlot) {
        if (slot < 0) continue;
        std::string text = slot < kPanelKnobs ? "knob " + std::to_string(slot + 1)
                                              : "knob slot " + std::to_string(slot) + " (" +
                                                    std::string(KnobSlotName(slot)) + ")";
        text += records.size() == 1 ? ": parameter " : ": parameters ";
        for (std::size_t i = 0; i < records.size(); ++i) {
            if (i > 0) text += ", ";
            text += Named(*records[i]);
        }
        line(text);
    }
    if (const auto none = bySlot.find(-1); none != bySlot.end()) {
        for (const NamedRecord* record : none->second) {
            line("knob \"" + record->value + "\" (not a knob): parameter " + Named(*record));
        }
    }
    if (knobs.knobs.empty()) line("no parameter is on a knob");
    for (const NamedRecord& record : knobs.controllers) {
        line("controller " + record.value + ": parameter " + Named(record));
    }
    if (knobs.controllers.empty()) line("no controller assignments");
    if (knobs.leftOut > 0) {
        line(std::to_string(knobs.leftOut) + " more records not shown (too many, or malformed)");
    }
    return out;
}

}  // namespace pemberlock
