// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/CrLfToLf.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace pemberlock {
namespace {

// Converts the pieces one after the other and finishes.
std::string Converted(const std::vector<std::string_view>& pieces) {
    CrLfToLf converter;
    std::string out;
    for (std::string_view piece : pieces) converter.Convert(piece, out);
    converter.Finish(out);
    // The stream log finishes once more when it goes away: nothing is left to give.
    converter.Finish(out);
    return out;
}

// However the text is cut into pieces, even with an empty piece at the cut,
// the result is the same.
TEST(CrLfToLf, ResultDoesNotDependOnWhereTheTextIsCut) {
    const struct {
        const char* name;
        std::string_view text;
        std::string_view expected;
    } rows[] = {
        {"CR LF becomes LF", "a\r\nb\r\n", "a\nb\n"},
        {"lone CR kept", "a\rb", "a\rb"},
        {"CR at the very end given by Finish", "a\r", "a\r"},
        {"CR before CR LF kept", "a\r\r\nb", "a\r\nb"},
        {"LF CR is no pair", "a\n\rb", "a\n\rb"},
        {"LF alone kept", "a\nb", "a\nb"},
        {"empty", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (std::size_t cut = 0; cut <= row.text.size(); ++cut) {
            EXPECT_EQ(Converted({row.text.substr(0, cut), "", row.text.substr(cut)}), row.expected)
                << "cut at " << cut;
        }
        std::vector<std::string_view> bytes;
        for (std::size_t i = 0; i < row.text.size(); ++i) bytes.push_back(row.text.substr(i, 1));
        EXPECT_EQ(Converted(bytes), row.expected) << "byte by byte";
    }
}

// Text is given on as it comes, so that a watched log keeps up; only a CR
// ending a piece waits for the next.
TEST(CrLfToLf, OnlyACrEndingAPieceIsHeld) {
    CrLfToLf converter;
    std::string out;
    converter.Convert("a\r", out);
    EXPECT_EQ(out, "a");
    converter.Convert("\nb", out);
    EXPECT_EQ(out, "a\nb");
}

}  // namespace
}  // namespace pemberlock
