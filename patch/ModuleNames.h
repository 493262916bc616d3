// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// The first number of a key: where its module stands.
inline constexpr int kCommonArea = 0;
inline constexpr int kVoiceArea = 1;
inline constexpr int kMorphSection = 2;

// What one parameter key ("1 3 1") controls, in the patch's own words, or
// why it names nothing known. Whatever the key itself says is kept as
// numbers, so that a report of thousands of patches stays small.
struct ParameterName {
    enum class Kind : std::uint8_t {
        Module,            // a module's parameter in the common or voice area
        Morph,             // one of the four morphs
        NotAKey,           // not three whole numbers
        NoSection,         // a first number other than 0, 1 or 2
        NoMorphModule,     // a morph key whose module is not 1
        NoMorphParameter,  // a morph past the fourth
        NoModule,          // not in the area's [ModuleDump]
        UnknownType,       // a type not in the module list
        NoParameter,       // a parameter its type does not have
    };
    Kind kind = Kind::NotAKey;
    std::string module;  // Module: the patch's name for it, empty when unnamed; NotAKey: the key
    int area = 0;
    int moduleIndex = 0;
    int parameter = 0;
    int type = 0;                     // Module, UnknownType, NoParameter
    std::uint64_t malformedLine = 0;  // NoModule: the first malformed line of the area's list

    bool Resolved() const { return kind == Kind::Module || kind == Kind::Morph; }
    // "Bass LP (FilterE) › frequency", "module 3 (FilterE) › frequency"
    // (unnamed), "Morph 2", or "unknown: the voice area has no module 40".
    std::string Text() const;
    bool operator==(const ParameterName&) const = default;
};

// A key's three numbers (0..99999 each, one blank between them), or false.
bool SplitKey(std::string_view key, int& area, int& moduleIndex, int& parameter);

// What a knob slot beyond the 18 panel knobs is: "pedal" (19), "aftertouch"
// (20), "on/off switch" (22), "not a panel knob" (18, 21); empty for 0..17.
std::string_view KnobSlotName(int slot);

// Reads a patch's module lists ([ModuleDump]: the area, then "INDEX TYPE X
// Y" lines) and module names ([NameDump]: the area, then "INDEX NAME" lines,
// the name running to the line end) from its lines as they pass, and names
// keys by them. The editor writes the names after the knob and controller
// sections, so keys are named once the whole patch has passed. Memory stays
// bounded: module indexes above kMaxModuleIndex are left out, and names are
// cut to kMaxNameBytes.
class ModuleNames {
public:
    static constexpr int kMaxModuleIndex = 1023;
    static constexpr std::size_t kMaxNameBytes = 64;

    // The next line of the patch, without its line end.
    void Line(std::string_view line);
    // key: the first three fields of a knob or controller record.
    ParameterName Resolve(std::string_view key) const;

private:
    enum class Mode : std::uint8_t { Outside, ModuleArea, Modules, NameArea, Names, Ignored };
    struct Module {
        int type = -1;  // -1: not in [ModuleDump]
        bool named = false;
        std::string name;
    };
    struct Area {
        std::vector<Module> modules;  // by index
        std::uint64_t malformedLine = 0;
    };

    void ModuleLine(std::string_view line);
    void NameLine(std::string_view line);
    Module* At(int index);
    void Malformed();

    Area areas_[2];  // the common and the voice area
    Mode mode_ = Mode::Outside;
    int area_ = 0;
    std::uint64_t lineNumber_ = 0;
};

}  // namespace pemberlock
