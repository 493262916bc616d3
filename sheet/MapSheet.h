// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "map/KnobControllerMap.h"
#include "patch/PatchKnobs.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {

// A printable sheet of a map: one A4 page, landscape, laid out once here as
// boxes and texts in points (1/72 inch, origin at the top left), so that
// every painter (SVG, PDF, PNG) draws the same page.

enum class SheetInk { Black, Grey, Light };
enum class SheetAlign { Left, Centre, Right };

// What a text is; painters ignore it, it lets a text be found again.
enum class SheetRole {
    Heading,
    MapName,
    Date,
    Caption,     // "Knob", "Controller"
    KnobNumber,  // "1" to "18"
    Controller,  // the knob's controller number
    KnobLine,    // what the knob controls, one line
    Warning,     // what the window warns of about the knob, one line
    Precedence,
};

struct SheetBox {
    double x = 0, y = 0, width = 0, height = 0;
    bool filled = false;  // with ink; otherwise only outlined with it
    SheetInk ink = SheetInk::Black;
    double lineWidth = 0.75;
};

struct SheetText {
    double x = 0;
    double baseline = 0;
    double size = 10;  // in points
    bool bold = false;
    SheetAlign align = SheetAlign::Left;  // x is the left end, the middle or the right end
    SheetInk ink = SheetInk::Black;
    SheetRole role = SheetRole::Caption;
    int knob = -1;        // the knob index (0..17) a text belongs to, if any
    std::string text;     // valid UTF-8, already shortened to fit
    double maxWidth = 0;  // the room it was shortened for; 0: not shortened
};

struct MapSheetLayout {
    double width = 0, height = 0;  // the page, in points
    std::vector<SheetBox> boxes;   // drawn first, in order
    std::vector<SheetText> texts;
};

struct MapSheetContent {
    KnobControllerMap map;
    std::string mapName;  // the map file's name, or "Unsaved map"
    std::string date;     // as it is to be printed
    // What each knob controls, a line each; empty for none. They follow
    // the window's warnings about the knob (controller 32 or 120, shared).
    // Lines too wide are wrapped, and those past the room under the knob
    // summed up in a last line.
    std::array<std::vector<std::string>, KnobControllerMap::kKnobCount> knobLines;
};

// A4 landscape.
inline constexpr double kSheetWidth = 841.89;
inline constexpr double kSheetHeight = 595.28;

MapSheetLayout LayOutMapSheet(const MapSheetContent& content);

// Puts under each knob what it controls in a patch, a line for each thing,
// and the patch's file name after the map's.
void AddPatchToSheet(MapSheetContent& content, const PatchKnobs& knobs, std::string_view patchName);

// The words for the precedence option (0, 1 or 2 from a map file), as the
// window's check box shows it: unticked, ticked or greyed.
std::string PrecedenceWords(int precedence);

// How wide text is set in a sans-serif face at size points: generous, so
// that a text measured to fit does in the common faces.
double EstimateTextWidth(std::string_view text, double size, bool bold);

// text as valid UTF-8 that XML allows: malformed bytes and control
// characters become U+FFFD.
std::string CleanText(std::string_view text);

// text cut at a character, with "…", to fit width; as it is when it fits.
std::string FitText(std::string_view text, double width, double size, bool bold);

// text broken at blanks into lines that fit width, those after the first
// indented; a word wider than a line is cut as FitText cuts it.
std::vector<std::string> WrapText(std::string_view text, double width, double size, bool bold);

}  // namespace pemberlock
