// SPDX-License-Identifier: GPL-3.0-or-later
#include "sheet/MapSheetSvg.h"

#include "fileio/TargetFile.h"

#include <charconv>
#include <string_view>

namespace pemberlock {
namespace {

constexpr double kMillimetresPerPoint = 25.4 / 72;

// Locale-free, at most two decimals, no trailing zeros: "36", "113.65".
std::string Number(double value) {
    char buffer[32];
    const auto end =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2).ptr;
    std::string text(buffer, end);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

// For text and attribute values alike.
std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

const char* Colour(SheetInk ink) {
    switch (ink) {
        case SheetInk::Black: return "#000000";
        case SheetInk::Grey: return "#808080";
        case SheetInk::Light: return "#e6e6e6";
    }
    return "#000000";
}

const char* Anchor(SheetAlign align) {
    switch (align) {
        case SheetAlign::Left: return "start";
        case SheetAlign::Centre: return "middle";
        case SheetAlign::Right: return "end";
    }
    return "start";
}

}  // namespace

std::string MapSheetSvg(const MapSheetLayout& layout) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
           Number(layout.width * kMillimetresPerPoint) + "mm\" height=\"" +
           Number(layout.height * kMillimetresPerPoint) + "mm\" viewBox=\"0 0 " +
           Number(layout.width) + " " + Number(layout.height) + "\">\n";
    svg += "<rect width=\"" + Number(layout.width) + "\" height=\"" + Number(layout.height) +
           "\" fill=\"#ffffff\"/>\n";
    for (const SheetBox& box : layout.boxes) {
        svg += "<rect x=\"" + Number(box.x) + "\" y=\"" + Number(box.y) + "\" width=\"" +
               Number(box.width) + "\" height=\"" + Number(box.height) + "\" ";
        if (box.filled) {
            svg += "fill=\"" + std::string(Colour(box.ink)) + "\"/>\n";
        } else {
            svg += "fill=\"none\" stroke=\"" + std::string(Colour(box.ink)) + "\" stroke-width=\"" +
                   Number(box.lineWidth) + "\"/>\n";
        }
    }
    // Faces whose widths the layout allowed for, widest first.
    svg +=
        "<g font-family=\"DejaVu Sans, Verdana, Arial, Helvetica, sans-serif\" "
        "xml:space=\"preserve\">\n";
    for (const SheetText& text : layout.texts) {
        svg += "<text x=\"" + Number(text.x) + "\" y=\"" + Number(text.baseline) +
               "\" font-size=\"" + Number(text.size) + "\"";
        if (text.bold) svg += " font-weight=\"bold\"";
        if (text.align != SheetAlign::Left)
            svg += " text-anchor=\"" + std::string(Anchor(text.align)) + "\"";
        if (text.ink != SheetInk::Black) svg += " fill=\"" + std::string(Colour(text.ink)) + "\"";
        svg += ">" + Escaped(text.text) + "</text>\n";
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

Result<> SaveMapSheetSvg(const MapSheetLayout& layout, const std::string& path, FileSystem& fs) {
    return ReplaceWholeFile(fs, path, MapSheetSvg(layout));
}

}  // namespace pemberlock
