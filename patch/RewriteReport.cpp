// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/RewriteReport.h"

#include "map/KnobControllerMap.h"
#include "map/NumberRules.h"
#include "patch/PatchKnobs.h"

#include <algorithm>

namespace pemberlock {
namespace {

std::string KnobName(int knob) { return "knob " + std::to_string(knob + 1); }

class SectionText {
public:
    SectionText(std::string& out, std::string_view lineEnd, const RewriteReport& report)
        : out_(out), lineEnd_(lineEnd), report_(report) {}

    // "1 3 1 (Bass LP (FilterE) › frequency)", or the key alone.
    std::string Key(std::string_view key) const {
        std::string text(key);
        if (const ParameterName* name = report_.NameOf(key)) {
            text += " (";
            text += name->Text();
            text += ')';
        }
        return text;
    }

    // "parameter 1 3 1 (…)" or "parameters 1 3 1 (…), 0 7 2 (…)".
    std::string Parameters(const std::vector<std::string_view>& keys) const {
        std::string text = keys.size() == 1 ? "parameter " : "parameters ";
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (i > 0) text += ", ";
            text += Key(keys[i]);
        }
        return text;
    }

    void Line(const std::string& text) {
        out_ += "  ";
        out_ += text;
        out_ += lineEnd_;
    }

    // One line per knob, in knob order, with every parameter it gets.
    void KnobLines(const SectionReport& section) {
        for (int knob = 0; knob < KnobControllerMap::kKnobCount; ++knob) {
            std::vector<std::string_view> keys;
            double controller = 0;
            for (const SectionReport::KnobLine& line : section.written) {
                if (line.knob != knob) continue;
                keys.push_back(line.key);
                controller = line.controller;
            }
            if (keys.empty()) continue;
            Line(KnobName(knob) + ", controller " + NumberToText(controller) + ": " +
                 Parameters(keys));
        }
    }

    void NotAdded(const SectionReport& section) {
        for (const SectionReport::NotAdded& skipped : section.notAdded) {
            const std::string number = NumberToText(skipped.controller);
            const std::string why =
                skipped.why == SectionReport::NotAdded::Why::ParameterTaken
                    ? "the parameter already has controller " + skipped.by.controller
                    : "controller " + number + " is taken by parameter " + Key(skipped.by.key);
            Line(KnobName(skipped.knob) + ", controller " + number + ", not added to parameter " +
                 Key(skipped.key) + ": " + why);
        }
    }

    void Rest(const SectionReport& section) {
        for (const SectionReport::NoPanelKnob& record : section.noController) {
            Line("knob slot " + std::to_string(record.slot) + " (" +
                 std::string(KnobSlotName(record.slot)) + "): parameter " + Key(record.key) +
                 " gets no controller");
        }
        for (const SectionReport::OldRecord& record : section.dropped) {
            Line("dropped: parameter " + Key(record.key) + " with controller " + record.controller +
                 ", which the map uses");
        }
        for (const SectionReport::OldRecord& record : section.kept) {
            Line("kept: parameter " + Key(record.key) + " with controller " + record.controller);
        }
    }

private:
    std::string& out_;
    std::string_view lineEnd_;
    const RewriteReport& report_;
};

}  // namespace

const ParameterName* RewriteReport::NameOf(std::string_view key) const {
    for (const KeyName& named : names) {
        if (named.key == key) return &named.name;
    }
    return nullptr;
}

std::vector<std::string_view> KeysOnKnob(const RewriteReport& report, int slot) {
    // A patch whose knob section is rebuilt twice lists its knobs twice.
    std::vector<std::string_view> keys;
    const auto add = [&](std::string_view key) {
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
    };
    for (const SectionReport& section : report.sections) {
        for (const auto& line : section.written) {
            if (line.knob == slot) add(line.key);
        }
        for (const auto& skipped : section.notAdded) {
            if (skipped.knob == slot) add(skipped.key);
        }
        for (const auto& record : section.noController) {
            if (record.slot == slot) add(record.key);
        }
    }
    return keys;
}

std::string WhatKnobControls(const RewriteReport& report, int slot) {
    std::string text;
    for (const std::string_view key : KeysOnKnob(report, slot)) {
        if (!text.empty()) text += "; ";
        const ParameterName* name = report.NameOf(key);
        text += name ? KnobEntryText(key, *name) : std::string(key);
    }
    return text;
}

std::string FormatRewriteReport(const RewriteReport& report, std::string_view lineEnd) {
    std::string out;
    SectionText text(out, lineEnd, report);
    const std::size_t count = report.sections.size();
    for (std::size_t i = 0; i < count; ++i) {
        const SectionReport& section = report.sections[i];
        // Each closing tag writes a section of its own; say which one follows.
        if (count > 1) {
            text.Line("section " + std::to_string(i + 1) + " of " + std::to_string(count) + ":");
        }
        if (section.added) text.Line("new controller section (the patch had none)");
        if (section.written.empty() && section.notAdded.empty() && section.noController.empty()) {
            text.Line("no parameter is on a knob");
        }
        text.KnobLines(section);
        text.NotAdded(section);
        text.Rest(section);
    }
    return out;
}

}  // namespace pemberlock
