// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/MapFile.h"

#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace pemberlock {
namespace {

using test::CrLfLines;
using test::Fault;
using test::FaultyFileSystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

std::string DefaultLines(int option) {
    std::string text;
    for (int i = 0; i < 18; ++i) text += std::to_string(101 + i) + "\r\n";
    return text + " " + std::to_string(option) + " \r\n";
}

KnobControllerMap SomeMap() {
    KnobControllerMap map;
    for (int i = 0; i < 18; ++i) map.SetEntryText(i, std::to_string(i * 7));
    map.SetPrecedence(1);
    return map;
}

TEST(MapFile, FormatIsNineteenCrLfLines) {
    EXPECT_EQ(FormatMapFile(KnobControllerMap{}), DefaultLines(0));
}

TEST(MapFile, SaveAndLoadRoundTrip) {
    TempFolder folder;
    const std::string path = folder.Path("knobs.mpn");
    const KnobControllerMap saved = SomeMap();
    ASSERT_TRUE(SaveMap(saved, path));
    EXPECT_EQ(ReadFile(path), FormatMapFile(saved));
    KnobControllerMap loaded;
    ASSERT_TRUE(LoadMap(loaded, path));
    EXPECT_EQ(loaded, saved);
    EXPECT_FALSE(std::filesystem::exists(path + ".pemberlock-tmp"));
}

struct ParseCase {
    const char* name;
    std::string text;
    int knob;           // entry to check
    const char* entry;  // its expected text
    int option;
};

TEST(MapFile, ReadingAppliesTheEntryRule) {
    std::string line5 = DefaultLines(0);
    line5.replace(line5.find("105"), 3, "999");
    std::string abc = DefaultLines(2);
    abc.replace(abc.find("110"), 3, "abc");
    const std::string twoItems =
        "1,2\r\n" + DefaultLines(0).substr(10);  // lines 1 and 2 on one line
    const ParseCase cases[] = {
        {"999 becomes 120", line5, 4, "120", 0},
        {"abc becomes 0, option 2 kept", abc, 9, "0", 2},
        {"a comma separates two items", twoItems, 1, "2", 0},
        {"LF line ends and blanks around items",
         "\t5 \n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n17\n18\n"
         "19\n20\n21\n22\n1\n",
         0, "5", 1},
        {"empty items become 0", std::string(18, '\n') + "0", 17, "0", 0},
        {"text after the nineteenth item is ignored", DefaultLines(1) + "junk\r\n", 0, "101", 1},
    };
    for (const ParseCase& c : cases) {
        KnobControllerMap map = SomeMap();
        const Result<> parsed = ParseMapFile(c.text, map);
        ASSERT_TRUE(parsed) << c.name << ": " << parsed.error().Text();
        EXPECT_EQ(map.EntryText(c.knob), c.entry) << c.name;
        EXPECT_EQ(map.Precedence(), c.option) << c.name;
    }
}

TEST(MapFile, FailedReadsChangeNothing) {
    std::string tenLines;
    for (int i = 0; i < 10; ++i) tenLines += "5\r\n";
    const std::string shifted = "101,102\r\n" + DefaultLines(0).substr(5);  // 19th item is "118"
    const std::pair<const char*, std::string> cases[] = {
        {"empty", ""},
        {"ten lines", tenLines},
        {"option 3", DefaultLines(3)},
        {"option -1", DefaultLines(0).substr(0, 72) + "-1\r\n"},
        {"option not a number", DefaultLines(0).substr(0, 72) + "on\r\n"},
        {"option empty", DefaultLines(0).substr(0, 72) + "\r\n"},
        {"a line of two items pushes 118 into the option", shifted},
        {"NUL byte", std::string("1\0", 2) + DefaultLines(0)},
        {"endless item", std::string(100000, '1')},
    };
    for (const auto& [name, text] : cases) {
        KnobControllerMap map = SomeMap();
        const Result<> parsed = ParseMapFile(text, map);
        ASSERT_FALSE(parsed) << name;
        EXPECT_FALSE(parsed.error().Text().empty()) << name;
        EXPECT_EQ(map, SomeMap()) << name;
    }
}

TEST(MapFile, LoadFailuresChangeNothing) {
    TempFolder folder;
    const std::string good = folder.Path("good.mpn");
    WriteFile(good, DefaultLines(0));
    for (const Fault fault : {Fault::OpenRead, Fault::Read}) {
        FaultyFileSystem fs(fault);
        KnobControllerMap map = SomeMap();
        const Result<> loaded = LoadMap(map, good, fs);
        ASSERT_FALSE(loaded) << FaultName(fault);
        EXPECT_EQ(loaded.error().cause, test::kInjectedCause);
        EXPECT_EQ(fs.Hits(), 1) << FaultName(fault);
        EXPECT_EQ(map, SomeMap()) << FaultName(fault);
    }
    KnobControllerMap map = SomeMap();
    EXPECT_FALSE(LoadMap(map, folder.Path("missing.mpn")));
    EXPECT_FALSE(LoadMap(map, folder.Root().string()));
    EXPECT_EQ(map, SomeMap());
}

TEST(MapFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
    TempFolder folder;
    const std::string path = folder.Path("knobs.mpn");
    const std::string old = DefaultLines(0);
    for (const Fault fault :
         {Fault::Create, Fault::Write, Fault::Flush, Fault::Close, Fault::Rename}) {
        WriteFile(path, old);
        FaultyFileSystem fs(fault);
        const Result<> saved = SaveMap(SomeMap(), path, fs);
        ASSERT_FALSE(saved) << FaultName(fault);
        EXPECT_EQ(saved.error().Text().find("the temporary file cannot be "), 0u)
            << saved.error().Text();
        EXPECT_EQ(saved.error().cause, test::kInjectedCause);
        EXPECT_GE(fs.Hits(), 1) << FaultName(fault);
        EXPECT_EQ(ReadFile(path), old) << FaultName(fault);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Root()),
                                std::filesystem::directory_iterator()),
                  1)
            << FaultName(fault);
    }
}

TEST(MapFile, SaveRefusesProtectedFilesAndMissingFolders) {
    TempFolder folder;
    const std::string path = folder.Path("locked.mpn");
    WriteFile(path, "old");
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_FALSE(SaveMap(SomeMap(), path));
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_FALSE(SaveMap(SomeMap(), folder.Path("no/such/folder.mpn")));
}

TEST(MapFile, SaveThroughALinkKeepsTheLink) {
    TempFolder folder;
    const std::string real = folder.Path("real.mpn");
    const std::string link = folder.Path("link.mpn");
    WriteFile(real, "old");
    if (const std::string why = test::CannotLink(real, link); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(SaveMap(SomeMap(), link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(real), FormatMapFile(SomeMap()));
}

}  // namespace
}  // namespace pemberlock
