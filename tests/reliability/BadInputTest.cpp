// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever is dropped on the tool: files that are not patches, patches with
// odd bytes, odd file names and broken map files. Nothing may hang, crash or
// change a file it cannot rewrite.

#include "tests/support/PassThroughFileSystem.h"
#include "tests/support/Process.h"
#include "tests/support/SerialDropBatch.h"
#include "tests/support/TempFolder.h"

#include "drop/DropBatch.h"
#include "fileio/FileSystem.h"
#include "map/MapFile.h"
#include "patch/PatchRewriter.h"
#include "patch/ProcessPatch.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::CrLfLines;
using test::ReadFile;
using test::RunDropBatch;
using test::TempFolder;
using test::WriteFile;

// The real file system, noting every file opened for reading or created.
class RecordingFileSystem final : public test::PassThroughFileSystem {
public:
    std::vector<std::string> opened;
    std::vector<std::string> created;

    Result<std::unique_ptr<InputFile>> OpenRead(const std::string& path) override {
        opened.push_back(path);
        return real_.OpenRead(path);
    }
    Result<std::unique_ptr<OutputFile>> CreateFresh(const std::string& path,
                                                    std::uint32_t permissions) override {
        created.push_back(path);
        return real_.CreateFresh(path, permissions);
    }
};

// A test that would hang on a FIFO fails loudly instead.
class HangGuard {
public:
    explicit HangGuard(unsigned seconds) {
        std::signal(SIGALRM, [](int) {
            static const char message[] = "hung on a file that is not a regular file\n";
            (void)!::write(STDERR_FILENO, message, sizeof message - 1);
            std::_Exit(3);
        });
        ::alarm(seconds);
    }
    ~HangGuard() { ::alarm(0); }
};

std::string Mode(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    return std::to_string(st.st_mode) + "/" + std::to_string(st.st_size);
}

std::string CliPath() { return PEMBERLOCK_CLI_PATH; }

std::string BatchLog(const std::vector<std::string>& paths, const KnobControllerMap& map,
                     FileSystem& fs) {
    TextStatusLog log;
    RunDropBatch(paths, log,
                 [&](const std::string& path) { return RewritePatchFile(path, map, fs); });
    return log.Text();
}

// ---------------------------------------------------------------------------
// Things that are not regular files, named like patches.

struct SpecialFile {
    const char* name;
    // Makes it at path; false when this machine cannot (then it is skipped).
    std::function<bool(const std::string& path, const TempFolder& folder)> make;
};

bool MakeSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof address.sun_path) return false;
    path.copy(address.sun_path, path.size());
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);  // the socket file stays
    return bound;
}

const SpecialFile kSpecialFiles[] = {
    {"folder", [](const std::string& p, const TempFolder&) { return fs::create_directory(p); }},
    {"fifo",
     [](const std::string& p, const TempFolder&) { return ::mkfifo(p.c_str(), 0644) == 0; }},
    {"socket", [](const std::string& p, const TempFolder&) { return MakeSocket(p); }},
    {"character device",
     [](const std::string& p, const TempFolder&) {
         return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;  // like /dev/null
     }},
    {"link to the null device",
     [](const std::string& p, const TempFolder&) {
         return ::symlink("/dev/null", p.c_str()) == 0;
     }},
    {"link to a fifo",
     [](const std::string& p, const TempFolder& folder) {
         return ::mkfifo(folder.Path("real-fifo").c_str(), 0644) == 0 &&
                ::symlink(folder.Path("real-fifo").c_str(), p.c_str()) == 0;
     }},
    {"link to a folder",
     [](const std::string& p, const TempFolder& folder) {
         return fs::create_directory(folder.Path("real-folder")) &&
                ::symlink(folder.Path("real-folder").c_str(), p.c_str()) == 0;
     }},
    {"dangling link",
     [](const std::string& p, const TempFolder& folder) {
         return ::symlink(folder.Path("nothing-here").c_str(), p.c_str()) == 0;
     }},
    {"missing", [](const std::string&, const TempFolder&) { return true; }},
};

TEST(BadInput, NotRegularFilesAreErrorsAndNeverOpened) {
    const HangGuard guard(30);
    TempFolder folder;
    std::vector<std::string> paths;
    std::vector<std::string> modes;
    for (const SpecialFile& special : kSpecialFiles) {
        const std::string path = folder.Path(std::string(special.name) + ".pch");
        if (!special.make(path, folder)) {
            std::printf("cannot make a %s here; not tried\n", special.name);
            continue;
        }
        paths.push_back(path);
        modes.push_back(Mode(path));
    }
    ASSERT_GE(paths.size(), 5u);

    RecordingFileSystem recording;
    std::string expected;
    for (const std::string& path : paths) expected += "Processing " + path + "  ....  Error!\r\n";
    expected += "0 of " + std::to_string(paths.size()) +
                " files processed successfully.\r\n0 files skipped.\r\n" +
                std::to_string(paths.size()) + " errors.\r\n";
    EXPECT_EQ(BatchLog(paths, KnobControllerMap(), recording), expected);
    EXPECT_EQ(recording.opened, std::vector<std::string>{});
    EXPECT_EQ(recording.created, std::vector<std::string>{});
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        EXPECT_EQ(Mode(paths[i]), modes[i]);
        EXPECT_EQ(Mode(paths[i] + "tmp"), "missing");
    }

    // End to end, through the command line, on all of them at once; a FIFO
    // opened for reading would block it until the timeout.
    std::vector<std::string> args = {CliPath(), "--"};
    args.insert(args.end(), paths.begin(), paths.end());
    const test::ProcessResult run =
        test::RunProcess(args, folder.Root().string(), std::chrono::seconds(20));
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 1);
    std::string lines = expected;
    std::erase(lines, '\r');
    EXPECT_EQ(run.out, lines);
    for (std::size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(Mode(paths[i]), modes[i]) << paths[i];
}

// ---------------------------------------------------------------------------
// Odd bytes in files named like patches.

const std::string kSection = CrLfLines({"[CtrlMapDump]", "[/CtrlMapDump]"});
const std::string kKnobs = "[KnobMapDump]\n1 3 1 0\n[/KnobMapDump]\n";
const std::string kKnobsOut = CrLfLines({"[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]"});
const std::string kKnobSection = CrLfLines({"[CtrlMapDump]", "1 3 1 101", "[/CtrlMapDump]"});

std::string Repeat(std::string_view unit, std::size_t times) {
    std::string text;
    text.reserve(unit.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += unit;
    return text;
}

std::string BinaryBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// A CR LF whose two bytes fall into two reads of the file (the rewriter
// reads 256 KiB at a time; a smaller chunk size is still covered, since the
// file also holds one at every other offset near the boundary).
std::string CrLfAcrossReads() {
    std::string text;
    for (std::size_t target : {std::size_t{256 * 1024}, std::size_t{512 * 1024}}) {
        const std::size_t lineLength = target - 1 - text.size();
        text += std::string(lineLength, 'c') + "\r\n";
    }
    return text;
}

struct OddPatch {
    const char* name;
    std::string bytes;
    std::optional<std::string> expected;  // nullopt: must fail, unchanged
};

std::vector<OddPatch> OddPatches() {
    const std::string longLine(5 * 1024 * 1024, 'x');
    const std::string crossing = CrLfAcrossReads();
    return {
        {"binary with NUL bytes", BinaryBytes(64 * 1024), std::nullopt},
        {"one NUL byte in a text patch", kKnobs + "name=a\0b\n"s, std::nullopt},
        {"NUL byte far after the knob section", kKnobs + std::string(300 * 1024, 'y') + '\0',
         std::nullopt},
        {"NUL byte at the end of a CR LF line", "a\r\n\0"s, std::nullopt},
        {"line of 5 MiB", "a\n" + longLine + "\n" + kKnobs,
         CrLfLines({"a", longLine}) + kKnobsOut + kKnobSection},
        {"knob record of 5 MiB", "[KnobMapDump]\n1 3 1 " + longLine + "\n[/KnobMapDump]\n",
         std::nullopt},
        {"knob field of 5 MiB digits",
         "[KnobMapDump]\n1 3 1 " + std::string(5 << 20, '1') + "\n[/KnobMapDump]\n", std::nullopt},
        {"no line end at all", "just one line", CrLfLines({"just one line"}) + kSection},
        {"knob section ending without a line end", "[KnobMapDump]\n1 3 1 0\n[/KnobMapDump]",
         kKnobsOut + kKnobSection},
        {"lone CR line ends", "a\r[KnobMapDump]\r1 3 1 0\r[/KnobMapDump]\rz\r",
         CrLfLines({"a"}) + kKnobsOut + CrLfLines({"z"}) + kKnobSection},
        {"LF CR is two line ends", "a\n\rb", CrLfLines({"a", "", "b"}) + kSection},
        {"CR CR LF is two line ends", "a\r\r\nb", CrLfLines({"a", "", "b"}) + kSection},
        {"CR LF split between reads", crossing, crossing + kSection},
        {"Latin-1 and broken UTF-8", "caf\xe9 \xff\xfe\x80\n\xc3(\n" + kKnobs,
         CrLfLines({"caf\xe9 \xff\xfe\x80", "\xc3("}) + kKnobsOut + kKnobSection},
        {"UTF-8 text", "Name=M\xc3\xbchle \xe2\x80\x93 \xe9\x9f\xb3\n",
         CrLfLines({"Name=M\xc3\xbchle \xe2\x80\x93 \xe9\x9f\xb3"}) + kSection},
        {"UTF-8 byte order mark", "\xef\xbb\xbf[KnobMapDump]\n1 3 1 0\n[/KnobMapDump]\n",
         // The mark makes the first line no tag, so the knob record stays a plain line.
         CrLfLines({"\xef\xbb\xbf[KnobMapDump]", "1 3 1 0", "[/KnobMapDump]"}) + kSection},
        {"control characters", "a\tb\x1a\x0c\x7f\n \t \n",
         CrLfLines({"a\tb\x1a\x0c\x7f", " \t "}) + kSection},
        {"tag with trailing blank is no tag", "[KnobMapDump] \n1 3 1 0\n",
         CrLfLines({"[KnobMapDump] ", "1 3 1 0"}) + kSection},
        {"empty file", "", kSection},
        {"only line ends", "\n\n\r\n", CrLfLines({"", "", ""}) + kSection},
        {"10,000 knob records", "[KnobMapDump]\n" + Repeat("1 3 1 0\n", 10000) + "[/KnobMapDump]\n",
         std::nullopt},
        {"20 MiB of ordinary lines", Repeat("0 127 0 127 1 0 0 1 4000 2 1 0 1 1 1\n", 600000),
         Repeat("0 127 0 127 1 0 0 1 4000 2 1 0 1 1 1\r\n", 600000) + kSection},
    };
}

TEST(BadInput, OddBytesRewriteByTheRulesOrLeaveThePatchAlone) {
    TempFolder folder;
    const KnobControllerMap map;
    int tried = 0;
    for (const OddPatch& odd : OddPatches()) {
        SCOPED_TRACE(odd.name);
        const std::string path = folder.Path("odd.pch");
        WriteFile(path, odd.bytes);
        const bool ok = ProcessPatch(path, map);
        EXPECT_EQ(ok, odd.expected.has_value());
        const std::string after = ReadFile(path);
        if (odd.expected) {
            // Compared without printing megabytes when they differ.
            EXPECT_TRUE(after == *odd.expected)
                << "size " << after.size() << " vs " << odd.expected->size();
            EXPECT_EQ(Mode(path + "tmp"), "missing");
        } else {
            EXPECT_TRUE(after == odd.bytes) << "the patch changed";
        }
        // The file path and the in-memory rewrite agree.
        const Result<RewrittenPatch> inMemory = RewritePatchText(odd.bytes, map);
        EXPECT_EQ(inMemory.ok(), ok);
        if (inMemory && odd.expected) {
            EXPECT_TRUE(inMemory->text == *odd.expected);
        }
        fs::remove(path + "tmp");
        ++tried;
    }
    std::printf("%d patches with odd bytes tried\n", tried);
}

// ---------------------------------------------------------------------------
// Odd file names: used and shown exactly as given.

const std::string kPatch = kKnobs + "[CtrlMapDump]\n1 9 0 7\n[/CtrlMapDump]\n";
const std::string kPatchOut =
    kKnobsOut + CrLfLines({"[CtrlMapDump]", "1 9 0 7", "1 3 1 101", "[/CtrlMapDump]"});

const char* const kOddNames[] = {
    "with spaces .pch",
    "  leading blanks.pch",
    "quote's \"double\".pch",
    "M\xc3\xbcller \xe9\x9f\xb3\xe8\x89\xb2.pch",
    "latin1 caf\xe9.pch",
    "line\nbreak.pch",
    "carriage\rreturn.pch",
    "-x.pch",
    "--help.pch",
    "--map.pch",
    "-",  // not a patch: skipped, even though it looks like standard input
    "tab\there.pch",
    "back\\slash*?[].pch",
    "$HOME `id`.pch",
    "ends in newline.pch\n",  // the last three characters are "ch\n": skipped
    "pch",
    ".pch",
};

TEST(BadInput, OddFileNamesAreHandledAndShownAsGiven) {
    TempFolder folder;
    std::vector<std::string> names(std::begin(kOddNames), std::end(kOddNames));
    std::vector<std::string> fullPaths;
    for (const std::string& name : names) {
        WriteFile(folder.Path(name), kPatch);
        fullPaths.push_back(folder.Path(name));
    }

    auto expectedLog = [](const std::vector<std::string>& paths) {
        std::string log;
        std::size_t skipped = 0;
        for (const std::string& path : paths) {
            if (IsPatchPath(path)) {
                log += "Processing " + path + "  ....  Done.\r\n";
            } else {
                log += path + " is not a 'pch' file.. skipping.\r\n";
                ++skipped;
            }
        }
        return log + std::to_string(paths.size() - skipped) + " of " +
               std::to_string(paths.size()) + " files processed successfully.\r\n" +
               std::to_string(skipped) + " files skipped.\r\n0 errors.\r\n";
    };

    // The drop batch, with full paths as the window gets them.
    RecordingFileSystem recording;
    EXPECT_EQ(BatchLog(fullPaths, KnobControllerMap(), recording), expectedLog(fullPaths));
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFile(folder.Path(name)), IsPatchPath(name) ? kPatchOut : kPatch);
        WriteFile(folder.Path(name), kPatch);
    }

    // The command line, with names relative to its folder: "--" ends the
    // options, so "-x.pch" and "--help.pch" are patches.
    std::vector<std::string> args = {CliPath(), "--"};
    args.insert(args.end(), names.begin(), names.end());
    const test::ProcessResult run = test::RunProcess(args, folder.Root().string());
    std::string lines = expectedLog(names);
    // Only the line ends the log adds become LF; a CR inside a name stays.
    std::string withoutCrLf;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines.compare(i, 2, "\r\n") == 0) {
            withoutCrLf += '\n';
            ++i;
        } else {
            withoutCrLf += lines[i];
        }
    }
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, withoutCrLf);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFile(folder.Path(name)), IsPatchPath(name) ? kPatchOut : kPatch);
    }
    std::printf("%zu odd file names tried\n", names.size());
}

// ---------------------------------------------------------------------------
// Broken map files: a failed load changes nothing and says why.

struct BadMap {
    const char* name;
    std::function<void(const std::string& path)> make;
};

std::string Lines(std::initializer_list<const char*> items) {
    std::string text;
    for (const char* item : items) text += std::string(item) + "\r\n";
    return text;
}

std::string EighteenEntries() {
    std::string text;
    for (int i = 0; i < 18; ++i) text += std::to_string(i) + "\r\n";
    return text;
}

void Write(const std::string& path, const std::string& bytes) { WriteFile(path, bytes); }

const BadMap kBadMaps[] = {
    {"empty", [](const std::string& p) { Write(p, ""); }},
    {"binary", [](const std::string& p) { Write(p, BinaryBytes(4096)); }},
    {"UTF-16 text",
     [](const std::string& p) {
         std::string text;
         for (char c : EighteenEntries() + " 0 \r\n") text += std::string{c, '\0'};
         Write(p, "\xff\xfe" + text);
     }},
    {"50 MiB without a separator",
     [](const std::string& p) { Write(p, std::string(50 << 20, '7')); }},
    {"18 entries, then a 50 MiB option",
     [](const std::string& p) { Write(p, EighteenEntries() + std::string(50 << 20, '1')); }},
    {"50 MiB of separators only",
     [](const std::string& p) { Write(p, std::string(50 << 20, ',')); }},
    {"too few items",
     [](const std::string& p) {
         Write(p, Lines({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
     }},
    {"18 items, no option", [](const std::string& p) { Write(p, EighteenEntries()); }},
    {"option 3", [](const std::string& p) { Write(p, EighteenEntries() + " 3 \r\n"); }},
    {"option -1", [](const std::string& p) { Write(p, EighteenEntries() + "-1\r\n"); }},
    {"option 2.6 rounds to 3",
     [](const std::string& p) { Write(p, EighteenEntries() + "2.6\r\n"); }},
    {"option 40000 overflows",
     [](const std::string& p) { Write(p, EighteenEntries() + "40000\r\n"); }},
    {"option not a number", [](const std::string& p) { Write(p, EighteenEntries() + "on\r\n"); }},
    {"option with text after it",
     [](const std::string& p) { Write(p, EighteenEntries() + "1 x\r\n"); }},
    {"option empty", [](const std::string& p) { Write(p, EighteenEntries() + "  \r\n"); }},
    {"option holds a NUL byte",
     [](const std::string& p) { Write(p, EighteenEntries() + "1\0\r\n"s); }},
    {"missing", [](const std::string&) {}},
    {"folder", [](const std::string& p) { fs::create_directory(p); }},
    {"fifo", [](const std::string& p) { ::mkfifo(p.c_str(), 0644); }},
    {"link to /dev/zero", [](const std::string& p) { (void)!::symlink("/dev/zero", p.c_str()); }},
};

TEST(BadInput, BrokenMapFilesChangeNothing) {
    const HangGuard guard(60);
    TempFolder folder;
    KnobControllerMap before;
    for (int i = 0; i < KnobControllerMap::kKnobCount; ++i)
        before.SetEntryText(i, std::to_string(i * 3));
    before.SetPrecedence(1);
    WriteFile(folder.Path("a.pch"), kPatch);
    int tried = 0;
    for (const BadMap& bad : kBadMaps) {
        SCOPED_TRACE(bad.name);
        const std::string path = folder.Path("bad" + std::to_string(tried++) + ".mpn");
        bad.make(path);
        KnobControllerMap map = before;
        const Result<> loaded = LoadMap(map, path);
        ASSERT_FALSE(loaded);
        EXPECT_TRUE(map == before);
        EXPECT_FALSE(loaded.error().Text().empty());

        // The command line says so on one line naming the file, and touches no patch.
        const test::ProcessResult run =
            test::RunProcess({CliPath(), "--map", path, "--", "a.pch"}, folder.Root().string(),
                             std::chrono::seconds(20));
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(ReadFile(folder.Path("a.pch")), kPatch);
    }
    std::printf("%d broken map files tried\n", tried);
}

// What the rules read is 19 items; anything after them is never looked at,
// however large, so a good map followed by junk loads.
TEST(BadInput, MapFileReadsOnlyItsNineteenItems) {
    TempFolder folder;
    const std::string path = folder.Path("long.mpn");
    WriteFile(path, EighteenEntries() + " 1 \r\n" + BinaryBytes(50 << 20));
    KnobControllerMap map;
    ASSERT_TRUE(LoadMap(map, path));
    EXPECT_EQ(map.EntryText(17), "17");
    EXPECT_EQ(map.Precedence(), 1);
}

}  // namespace
}  // namespace pemberlock

namespace pemberlock {
namespace {

// A "<patch>tmp" left over that is a hard link to some other file of the
// user's: emptying it in place would empty that other file and put the
// rewritten patch in it. The leftover name must be replaced, not written
// through.
TEST(BadInput, LeftoverTemporaryFileLinkedToAnotherFileLeavesThatFileAlone) {
    TempFolder folder;
    const std::string other = folder.Path("notes.txt");
    const std::string patch = folder.Path("x.pch");
    WriteFile(other, "precious\n");
    WriteFile(patch, "a\n");
    ASSERT_EQ(::link(other.c_str(), (patch + "tmp").c_str()), 0);
    EXPECT_TRUE(ProcessPatch(patch, KnobControllerMap()));
    EXPECT_EQ(ReadFile(patch), CrLfLines({"a", "[CtrlMapDump]", "[/CtrlMapDump]"}));
    EXPECT_EQ(ReadFile(other), "precious\n");
}

}  // namespace
}  // namespace pemberlock
