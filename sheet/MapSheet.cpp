// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/MapSheet.h"

#include "map/MapWarnings.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace pemberlock {
namespace {

constexpr double kMargin = 36;
constexpr double kGridTop = 108;
constexpr double kGridBottom = 522;
constexpr double kRowGap = 10;
constexpr double kColumnGap = 8;
// The window parts its knobs with a line after the 2nd, 4th and 5th column;
// the sheet keeps those groups apart too.
constexpr double kGroupGap = 24;
constexpr bool kGroupAfter[] = {false, true, false, true, true};
constexpr int kRows = 3;
constexpr int kColumns = KnobControllerMap::kKnobCount / kRows;

constexpr double kPad = 7;
constexpr double kBandHeight = 50;
constexpr double kLineSize = 8.5;
constexpr double kLineStep = 11;

constexpr std::string_view kEllipsis = "\u2026";
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The next character of text from at, advancing at; a malformed sequence
// (overlong, a surrogate, cut short) counts as one replacement character
// for its first byte.
char32_t NextCharacter(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    int length = 0;
    char32_t c = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        ++at;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, least = 0x10000;
    } else {
        ++at;
        return kReplacement;
    }
    if (at + static_cast<std::size_t>(length) > text.size()) {
        ++at;
        return kReplacement;
    }
    for (int i = 1; i < length; ++i) {
        const std::uint8_t next = byte(at + static_cast<std::size_t>(i));
        if ((next & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += static_cast<std::size_t>(length);
    return c;
}

// Widths in em, a little over those of the wider common sans-serif faces
// (DejaVu Sans, Verdana) as they come out hinted at small sizes.
double CharacterWidth(char32_t c) {
    if (c >= 0x80) return c == 0x2026 ? 1.0 : 0.85;
    static constexpr std::string_view kNarrow = "ilj.,:;'|!`";
    static constexpr std::string_view kSemi = " frtI()[]{}-/\"";
    static constexpr std::string_view kWide = "mwMW@%";
    const char ascii = static_cast<char>(c);
    if (kNarrow.find(ascii) != std::string_view::npos) return 0.32;
    if (kSemi.find(ascii) != std::string_view::npos) return 0.45;
    if (kWide.find(ascii) != std::string_view::npos) return 1.0;
    if (ascii >= 'A' && ascii <= 'Z') return 0.78;
    return 0.66;
}

struct Cell {
    double x, y, width, height;
};

Cell KnobCell(int knob) {
    double gaps = 0;
    for (const bool group : kGroupAfter) gaps += group ? kGroupGap : kColumnGap;
    const double width = (kSheetWidth - 2 * kMargin - gaps) / kColumns;
    const double height = (kGridBottom - kGridTop - kRowGap * (kRows - 1)) / kRows;
    // As in the window: knobs 1 to 3 fill the first column from top to bottom.
    const int column = knob / kRows;
    const int row = knob % kRows;
    double x = kMargin;
    for (int c = 0; c < column; ++c) {
        x += width + (kGroupAfter[c] ? kGroupGap : kColumnGap);
    }
    return {x, kGridTop + row * (height + kRowGap), width, height};
}

class Builder {
public:
    explicit Builder(MapSheetLayout& layout) : layout_(layout) {}

    void Box(double x, double y, double width, double height, bool filled, SheetInk ink,
             double lineWidth = 0.75) {
        layout_.boxes.push_back({x, y, width, height, filled, ink, lineWidth});
    }
    SheetText& Text(SheetRole role, double x, double baseline, double size, bool bold,
                    std::string_view text, double maxWidth = 0) {
        SheetText item;
        item.role = role;
        item.x = x;
        item.baseline = baseline;
        item.size = size;
        item.bold = bold;
        item.text = maxWidth > 0 ? FitText(text, maxWidth, size, bold) : CleanText(text);
        item.maxWidth = maxWidth;
        layout_.texts.push_back(std::move(item));
        return layout_.texts.back();
    }

private:
    MapSheetLayout& layout_;
};

// The window's warnings about each knob, short enough for a line under it:
// the controller the synthesizer reserves for bank select, the one standard
// MIDI uses for All Sound Off, one other knobs have too.
std::array<std::vector<std::string>, KnobControllerMap::kKnobCount> WarningLines(
    const KnobControllerMap& map) {
    std::array<std::vector<std::string>, KnobControllerMap::kKnobCount> lines;
    for (const MapWarning& warning : FindMapWarnings(map)) {
        for (const int knob : warning.knobs) {
            std::string line = "! ";
            switch (warning.kind) {
                case MapWarning::Kind::BankSelect: line += "Bank select"; break;
                case MapWarning::Kind::AllSoundOff: line += "All Sound Off"; break;
                case MapWarning::Kind::Shared:
                    // The knobs whose controller this one shares.
                    line += warning.knobs.size() == 2 ? "Also knob " : "Also knobs ";
                    for (const int other : warning.knobs) {
                        if (other == knob) continue;
                        if (line.back() != ' ') line += ", ";
                        line += std::to_string(other + 1);
                    }
                    break;
            }
            lines[static_cast<std::size_t>(knob)].push_back(std::move(line));
        }
    }
    return lines;
}

// Under the knob: first the warnings, in bold, then what it controls.
void LayOutKnob(Builder& sheet, int knob, const KnobControllerMap& map,
                const std::vector<std::string>& warnings,
                const std::vector<std::string>& controls) {
    std::vector<std::string> lines = warnings;
    lines.insert(lines.end(), controls.begin(), controls.end());
    const Cell cell = KnobCell(knob);
    const double right = cell.x + cell.width - kPad;
    sheet.Box(cell.x, cell.y, cell.width, kBandHeight, true, SheetInk::Light);
    sheet.Box(cell.x, cell.y, cell.width, cell.height, false, SheetInk::Black, 1);

    // Each text is finished before the next is added, which may move it.
    SheetText* text = &sheet.Text(SheetRole::Caption, cell.x + kPad, cell.y + 14, 8, false, "Knob");
    text->ink = SheetInk::Grey;
    text->knob = knob;
    text = &sheet.Text(SheetRole::Caption, right, cell.y + 14, 8, false, "Controller");
    text->ink = SheetInk::Grey;
    text->align = SheetAlign::Right;
    text->knob = knob;
    const std::string number = std::to_string(knob + 1);
    sheet.Text(SheetRole::KnobNumber, cell.x + kPad, cell.y + 41, 20, true, number).knob = knob;
    const double room = cell.width - 3 * kPad - EstimateTextWidth(number, 20, true);
    text =
        &sheet.Text(SheetRole::Controller, right, cell.y + 41, 26, true, map.EntryText(knob), room);
    text->align = SheetAlign::Right;
    text->knob = knob;

    const double first = cell.y + kBandHeight + 14;
    const double last = cell.y + cell.height - 6;
    const auto fit = static_cast<std::size_t>(std::floor((last - first) / kLineStep)) + 1;
    const double width = cell.width - 2 * kPad;
    // A long line is wrapped rather than cut: its end ("› frequency") is
    // what a player looks for. Lines are shown whole or not at all.
    std::vector<std::vector<std::string>> wrapped;
    std::size_t rows = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        wrapped.push_back(WrapText(lines[i], width, kLineSize, i < warnings.size()));
        rows += wrapped.back().size();
    }
    const std::size_t rowsShown = rows <= fit ? fit : fit - 1;  // one for "+ N more"
    std::size_t row = 0;
    std::size_t shown = 0;
    for (; shown < lines.size() && row + wrapped[shown].size() <= rowsShown; ++shown) {
        const bool warning = shown < warnings.size();
        for (const std::string& part : wrapped[shown]) {
            sheet
                .Text(warning ? SheetRole::Warning : SheetRole::KnobLine, cell.x + kPad,
                      first + static_cast<double>(row++) * kLineStep, kLineSize, warning, part,
                      width)
                .knob = knob;
        }
    }
    if (shown < lines.size()) {
        SheetText& more = sheet.Text(SheetRole::KnobLine, cell.x + kPad,
                                     first + static_cast<double>(row) * kLineStep, kLineSize, false,
                                     "+ " + std::to_string(lines.size() - shown) + " more", width);
        more.knob = knob;
        more.ink = SheetInk::Grey;
    }
}

}  // namespace

void AddPatchToSheet(MapSheetContent& content, const PatchKnobs& knobs,
                     std::string_view patchName) {
    for (int knob = 0; knob < KnobControllerMap::kKnobCount; ++knob) {
        content.knobLines[static_cast<std::size_t>(knob)] = knobs.ThingsOnKnob(knob);
    }
    content.mapName += " \u2014 ";
    content.mapName += patchName;
}

std::string CleanText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        char32_t c = NextCharacter(text, at);
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        } else if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) {
            c = kReplacement;  // no XML may hold them
        }
        AppendUtf8(out, c);
    }
    return out;
}

double EstimateTextWidth(std::string_view text, double size, bool bold) {
    double ems = 0;
    for (std::size_t at = 0; at < text.size();) ems += CharacterWidth(NextCharacter(text, at));
    return ems * size * (bold ? 1.1 : 1.0);
}

std::string FitText(std::string_view text, double width, double size, bool bold) {
    std::string clean = CleanText(text);
    if (EstimateTextWidth(clean, size, bold) <= width) return clean;
    const double room = width - EstimateTextWidth(kEllipsis, size, bold);
    // Where each character starts, to cut at one.
    std::size_t cut = 0;
    double used = 0;
    for (std::size_t at = 0; at < clean.size();) {
        used += CharacterWidth(NextCharacter(clean, at)) * size * (bold ? 1.1 : 1.0);
        if (used > room) break;
        cut = at;
    }
    clean.resize(cut);
    while (!clean.empty() && clean.back() == ' ') clean.pop_back();
    return clean + std::string(kEllipsis);
}

std::vector<std::string> WrapText(std::string_view text, double width, double size, bool bold) {
    static constexpr std::string_view kIndent = "  ";
    const std::string clean = CleanText(text);
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t at = 0; at <= clean.size();) {
        std::size_t end = clean.find(' ', at);
        if (end == std::string::npos) end = clean.size();
        const std::string_view word(clean.data() + at, end - at);
        at = end + 1;
        if (word.empty()) continue;
        std::string longer = line.empty() ? std::string(lines.empty() ? "" : kIndent) : line + ' ';
        longer += word;
        if (line.empty() || EstimateTextWidth(longer, size, bold) <= width) {
            line = std::move(longer);
            continue;
        }
        lines.push_back(FitText(line, width, size, bold));
        line = std::string(kIndent) + std::string(word);
    }
    if (!line.empty()) lines.push_back(FitText(line, width, size, bold));
    return lines;
}

std::string PrecedenceWords(int precedence) {
    const std::string words = "Existing controller mappings take precedence: ";
    switch (precedence) {
        case KnobControllerMap::kPrecedenceOn: return words + "on";
        case 0: return words + "off";
        default:
            return words + "off (greyed: the map file holds " + std::to_string(precedence) + ")";
    }
}

MapSheetLayout LayOutMapSheet(const MapSheetContent& content) {
    MapSheetLayout layout;
    layout.width = kSheetWidth;
    layout.height = kSheetHeight;
    Builder sheet(layout);
    const double right = kSheetWidth - kMargin;

    sheet.Text(SheetRole::Heading, kMargin, 50, 11, false, "Pemberlock knob controller map").ink =
        SheetInk::Grey;
    SheetText& date = sheet.Text(SheetRole::Date, right, 80, 13, false, content.date, 150);
    date.align = SheetAlign::Right;
    sheet.Text(SheetRole::MapName, kMargin, 80, 22, true, content.mapName, right - kMargin - 170);
    sheet.Box(kMargin, 92, right - kMargin, 1, true, SheetInk::Black);

    const auto warnings = WarningLines(content.map);
    for (int knob = 0; knob < KnobControllerMap::kKnobCount; ++knob) {
        const auto i = static_cast<std::size_t>(knob);
        LayOutKnob(sheet, knob, content.map, warnings[i], content.knobLines[i]);
    }
    // The lines between the window's groups of knobs.
    for (int column = 0; column + 1 < kColumns; ++column) {
        if (!kGroupAfter[column]) continue;
        const Cell left = KnobCell(column * kRows);
        const double x = left.x + left.width + kGroupGap / 2;
        sheet.Box(x - 0.5, kGridTop, 1, kGridBottom - kGridTop, true, SheetInk::Grey);
    }

    // The option as the window's check box shows it: empty, ticked or greyed.
    const double boxTop = 541;
    sheet.Box(kMargin, boxTop, 11, 11, false, SheetInk::Black, 1);
    const int precedence = content.map.Precedence();
    if (precedence != 0) {
        sheet.Box(kMargin + 2.5, boxTop + 2.5, 6, 6, true,
                  content.map.PrecedenceOn() ? SheetInk::Black : SheetInk::Grey);
    }
    SheetText& option = sheet.Text(SheetRole::Precedence, kMargin + 18, boxTop + 10, 12, false,
                                   PrecedenceWords(precedence), right - kMargin - 18);
    if (!content.map.PrecedenceOn() && precedence != 0) option.ink = SheetInk::Grey;
    return layout;
}

}  // namespace pemberlock
