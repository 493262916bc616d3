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

// Appends name="value", the value escaped.
void Attribute(std::string& element, std::string_view name, std::string_view value) {
    element += ' ';
    element += name;
    element += "=\"";
    element += Escaped(value);
    element += '"';
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
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg";
    Attribute(svg, "xmlns", "http://www.w3.org/2000/svg");
    Attribute(svg, "width", Number(layout.width * kMillimetresPerPoint) + "mm");
    Attribute(svg, "height", Number(layout.height * kMillimetresPerPoint) + "mm");
    Attribute(svg, "viewBox", "0 0 " + Number(layout.width) + " " + Number(layout.height));
    svg += ">\n<rect";
    Attribute(svg, "width", Number(layout.width));
    Attribute(svg, "height", Number(layout.height));
    Attribute(svg, "fill", "#ffffff");
    svg += "/>\n";
    for (const SheetBox& box : layout.boxes) {
        svg += "<rect";
        Attribute(svg, "x", Number(box.x));
        Attribute(svg, "y", Number(box.y));
        Attribute(svg, "width", Number(box.width));
        Attribute(svg, "height", Number(box.height));
        if (box.filled) {
            Attribute(svg, "fill", Colour(box.ink));
        } else {
            Attribute(svg, "fill", "none");
            Attribute(svg, "stroke", Colour(box.ink));
            Attribute(svg, "stroke-width", Number(box.lineWidth));
        }
        svg += "/>\n";
    }
    // Faces whose widths the layout allowed for, widest first.
    svg += "<g";
    Attribute(svg, "font-family", "DejaVu Sans, Verdana, Arial, Helvetica, sans-serif");
    Attribute(svg, "xml:space", "preserve");
    svg += ">\n";
    for (const SheetText& text : layout.texts) {
        svg += "<text";
        Attribute(svg, "x", Number(text.x));
        Attribute(svg, "y", Number(text.baseline));
        Attribute(svg, "font-size", Number(text.size));
        if (text.bold) Attribute(svg, "font-weight", "bold");
        if (text.align != SheetAlign::Left) Attribute(svg, "text-anchor", Anchor(text.align));
        if (text.ink != SheetInk::Black) Attribute(svg, "fill", Colour(text.ink));
        svg += '>';
        svg += Escaped(text.text);
        svg += "</text>\n";
    }
    svg += "</g>\n</svg>\n";
    return svg;
}

Result<> SaveMapSheetSvg(const MapSheetLayout& layout, const std::string& path, FileSystem& fs) {
    return ReplaceWholeFile(fs, path, MapSheetSvg(layout));
}

}  // namespace pemberlock
