// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PatchGenerator.h"

#include "patch/PatchRewriter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace pemberlock {
namespace {

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325ULL) {
    for (const unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ULL;
    return hash;
}

// Figures of the benchmark are compared across versions only if a seed
// still makes the same library: a change to the generator shows here.
TEST(PatchGenerator, ASeedMakesTheSameBytesAsBefore) {
    struct Case {
        std::uint64_t seed;
        std::size_t index;
        std::size_t size;
        std::uint64_t hash;
    };
    for (const Case& c :
         {Case{1, 0, 6867, 0x0937511282a850d0ULL}, Case{1, 9999, 8758, 0x451e99fc02c718d4ULL},
          Case{20240607, 3, 8931, 0xe417a2b17b7a52a2ULL}}) {
        const std::string patch = test::GenerateLibraryPatch(c.seed, c.index);
        EXPECT_EQ(patch.size(), c.size) << c.seed << " " << c.index;
        EXPECT_EQ(Fnv1a(patch), c.hash) << c.seed << " " << c.index;
    }
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    std::size_t size = 0;
    test::GenerateHugePatch(1, 3'000'000, [&](std::string_view piece) {
        hash = Fnv1a(piece, hash);
        size += piece.size();
    });
    EXPECT_EQ(size, 3'000'020u);
    EXPECT_EQ(hash, 0xab7a26b3bb60400dULL);
}

TEST(PatchGenerator, LibraryPatchesAreRewritableAndSized2To10Kb) {
    const KnobControllerMap map;
    for (std::size_t index = 0; index < 300; ++index) {
        const std::string patch = test::GenerateLibraryPatch(5, index);
        SCOPED_TRACE(index);
        EXPECT_GE(patch.size(), 2048u);
        EXPECT_LE(patch.size(), 10240u);
        EXPECT_TRUE(patch.ends_with("[/Notes]\r\n"));
        const Result<RewrittenPatch> rewrite = RewritePatchText(patch, map);
        EXPECT_TRUE(rewrite) << rewrite.error().Text();
    }
}

// The memory measure streams the huge patch through the rewriter.
TEST(PatchGenerator, AHugePatchComesInPiecesTheRewriterTakes) {
    const KnobControllerMap map;
    class CountingSink final : public ByteSink {
    public:
        void Write(std::string_view bytes) override { size += bytes.size(); }
        std::size_t size = 0;
    } out;
    PatchRewriter rewriter(map, out);
    std::size_t largest = 0;
    test::GenerateHugePatch(3, 4'000'000, [&](std::string_view piece) {
        largest = std::max(largest, piece.size());
        EXPECT_TRUE(rewriter.Feed(piece));
    });
    EXPECT_TRUE(rewriter.Finish());
    EXPECT_LT(largest, 512u * 1024) << "a piece must not hold a large part of the patch";
    EXPECT_GT(out.size, 4'000'000u);
}

TEST(PatchGenerator, LfLineEndsReplaceOnlyCrLfPairs) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\rb\n", "a\rb\n"},
        {"a\r", "a\r"},
        {"\r\r\n", "\r\n"},
        {"", ""},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(test::WithLfLineEnds(in), out) << in;
}

}  // namespace
}  // namespace pemberlock
