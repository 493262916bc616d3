// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/ModuleNames.h"

#include "patch/ModuleTable.h"

#include <array>
#include <charconv>

namespace pemberlock {
namespace {

constexpr std::string_view kModuleOpen = "[ModuleDump]";
constexpr std::string_view kNameOpen = "[NameDump]";
constexpr int kMorphModule = 1;
constexpr int kMorphCount = 4;
constexpr std::array<std::string_view, 2> kAreaNames = {"common area", "voice area"};

// A whole number 0..99999 at the front of text, which then loses it; the
// blanks after it go too when skipBlanks.
bool TakeNumber(std::string_view& text, int& value, bool skipBlanks = true) {
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
    if (digits == 0 || digits > 5) return false;
    std::from_chars(text.data(), text.data() + digits, value);
    text.remove_prefix(digits);
    if (skipBlanks) {
        while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    }
    return true;
}

// The area line: its number alone, perhaps with blanks after it.
int AreaOf(std::string_view line) {
    int area = -1;
    if (!TakeNumber(line, area) || !line.empty()) return -1;
    return area == kCommonArea || area == kVoiceArea ? area : -1;
}

// A name cut to at most bytes, not inside a UTF-8 sequence.
std::string_view Cut(std::string_view name, std::size_t bytes) {
    if (name.size() <= bytes) return name;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

ParameterName Named(ParameterName::Kind kind, int area, int index, int parameter) {
    ParameterName name;
    name.kind = kind;
    name.area = area;
    name.moduleIndex = index;
    name.parameter = parameter;
    return name;
}

std::string AreaName(int area) {
    return std::string(kAreaNames[static_cast<std::size_t>(area == kCommonArea ? 0 : 1)]);
}

}  // namespace

std::string ParameterName::Text() const {
    using K = Kind;
    const std::string index = std::to_string(moduleIndex);
    const std::string number = std::to_string(parameter);
    const std::string_view typeName = ModuleTypeName(type);
    switch (kind) {
        case K::Module: {
            const ModuleParameter* row = FindModuleParameter(type, parameter);
            std::string text = module.empty() ? "module " + index : module;
            text += " (";
            text += row ? row->typeName : "?";
            text += ") \u203A ";
            text += row ? row->name : "?";
            return text;
        }
        case K::Morph: return "Morph " + std::to_string(parameter + 1);
        case K::NotAKey: return "unknown: \"" + module + "\" is not three whole numbers";
        case K::NoSection: return "unknown: there is no section " + std::to_string(area);
        case K::NoMorphModule: return "unknown: the morph section has no module " + index;
        case K::NoMorphParameter: return "unknown: the morph section has no parameter " + number;
        case K::NoModule: {
            std::string text = "unknown: the " + AreaName(area) + " has no module " + index;
            if (malformedLine) {
                text += " (line " + std::to_string(malformedLine) +
                        " of the patch, in its [ModuleDump], is malformed)";
            }
            return text;
        }
        case K::UnknownType:
            return "unknown: module " + index + " of the " + AreaName(area) + " has type " +
                   std::to_string(type) + ", which is not a known module type";
        case K::NoParameter:
            return "unknown: " + std::string(typeName) + " has no parameter " + number;
    }
    return "unknown";
}

bool SplitKey(std::string_view key, int& area, int& moduleIndex, int& parameter) {
    const auto field = [&key](int& value, bool last) {
        if (!TakeNumber(key, value, false)) return false;
        if (last) return key.empty();
        if (key.empty() || key.front() != ' ') return false;
        key.remove_prefix(1);
        return true;
    };
    return field(area, false) && field(moduleIndex, false) && field(parameter, true);
}

std::string_view KnobSlotName(int slot) {
    switch (slot) {
        case 19: return "pedal";
        case 20: return "aftertouch";
        case 22: return "on/off switch";
        default: break;
    }
    return slot >= 18 ? "not a panel knob" : "";
}

void ModuleNames::Line(std::string_view line) {
    ++lineNumber_;
    if (!line.empty() && line.front() == '[') {
        // Any tag ends a list; only these two begin one that matters.
        mode_ = line == kModuleOpen ? Mode::ModuleArea
                : line == kNameOpen ? Mode::NameArea
                                    : Mode::Outside;
        return;
    }
    switch (mode_) {
        case Mode::ModuleArea:
        case Mode::NameArea:
            area_ = AreaOf(line);
            // Another area (or none) has nothing a key could name.
            if (area_ < 0) {
                mode_ = Mode::Ignored;
            } else {
                mode_ = mode_ == Mode::ModuleArea ? Mode::Modules : Mode::Names;
            }
            return;
        case Mode::Modules: return ModuleLine(line);
        case Mode::Names: return NameLine(line);
        case Mode::Outside:
        case Mode::Ignored: return;
    }
}

ModuleNames::Module* ModuleNames::At(int index) {
    if (index > kMaxModuleIndex) return nullptr;
    std::vector<Module>& modules = areas_[area_].modules;
    if (modules.size() <= static_cast<std::size_t>(index)) {
        modules.resize(static_cast<std::size_t>(index) + 1);
    }
    return &modules[static_cast<std::size_t>(index)];
}

void ModuleNames::Malformed() {
    std::uint64_t& first = areas_[area_].malformedLine;
    if (first == 0) first = lineNumber_;
}

void ModuleNames::ModuleLine(std::string_view line) {
    int index = 0;
    int type = 0;
    Module* module = nullptr;
    if (!TakeNumber(line, index) || !TakeNumber(line, type) || !(module = At(index))) {
        return Malformed();
    }
    module->type = type;
}

void ModuleNames::NameLine(std::string_view line) {
    int index = 0;
    Module* module = nullptr;
    // A name line that cannot be read leaves its module unnamed, no more.
    if (!TakeNumber(line, index, false) || (!line.empty() && line.front() != ' ') ||
        !(module = At(index))) {
        return;
    }
    if (!line.empty()) line.remove_prefix(1);
    module->named = true;
    module->name.assign(Cut(line, kMaxNameBytes));
}

ParameterName ModuleNames::Resolve(std::string_view key) const {
    using K = ParameterName::Kind;
    int area = 0;
    int index = 0;
    int parameter = 0;
    if (!SplitKey(key, area, index, parameter)) {
        ParameterName name;
        name.module = key;
        return name;
    }
    if (area == kMorphSection) {
        if (index != kMorphModule) return Named(K::NoMorphModule, area, index, parameter);
        if (parameter >= kMorphCount) return Named(K::NoMorphParameter, area, index, parameter);
        return Named(K::Morph, area, index, parameter);
    }
    if (area != kCommonArea && area != kVoiceArea) {
        return Named(K::NoSection, area, index, parameter);
    }
    const Area& where = areas_[area];
    if (static_cast<std::size_t>(index) >= where.modules.size() ||
        where.modules[static_cast<std::size_t>(index)].type < 0) {
        ParameterName name = Named(K::NoModule, area, index, parameter);
        name.malformedLine = where.malformedLine;
        return name;
    }
    const Module& module = where.modules[static_cast<std::size_t>(index)];
    const bool knownType = !ModuleTypeName(module.type).empty();
    ParameterName name = Named(!knownType                                     ? K::UnknownType
                               : !FindModuleParameter(module.type, parameter) ? K::NoParameter
                                                                              : K::Module,
                               area, index, parameter);
    name.type = module.type;
    if (name.kind == K::Module) name.module = module.name;
    return name;
}

}  // namespace pemberlock
