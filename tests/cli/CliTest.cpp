#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Every file below root with its bytes, so a run that must touch nothing
// can be checked for new, lost and changed files at once.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files[entry.path().string()] = entry.is_regular_file() ? ReadFile(entry.path()) : "<other>";
    }
    return files;
}

std::string Crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

std::string Lf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

const std::string kPatch = Lf({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]",
                               "[CtrlMapDump]", "1 9 0 7", "1 4 0 103", "[/CtrlMapDump]", "z"});
const std::vector<std::string> kDefaultSection = {"[CtrlMapDump]", "1 9 0 7", "1 3 1 101",
                                                  "0 7 2 106", "[/CtrlMapDump]"};
const std::string kRewritten =
    Crlf({"x=1, y=2", "[KnobMapDump]", "1 3 1 0", "0 7 2 5", "[/KnobMapDump]", "[CtrlMapDump]",
          "1 9 0 7", "1 3 1 101", "0 7 2 106", "[/CtrlMapDump]", "z"});
// Knob 99 does not exist, so this patch cannot be rewritten.
const std::string kBadPatch = Lf({"[KnobMapDump]", "1 3 1 99", "[/KnobMapDump]"});

class CliTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pemberlock-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string P(const std::string& name) const { return (dir_ / name).string(); }

    // Runs the command in dir_ with the arguments passed as they are: no shell.
    CliResult RunCli(const std::vector<std::string>& args) const {
        const fs::path outPath = dir_.string() + ".out";
        const fs::path errPath = dir_.string() + ".err";
        std::vector<char*> argv;
        std::string program = PEMBERLOCK_CLI_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (auto& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0 ||
                chdir(dir_.c_str()) != 0) {
                _exit(127);
            }
            execv(argv[0], argv.data());
            _exit(127);
        }
        CliResult run;
        int wstatus = 0;
        if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
            run.status = WEXITSTATUS(wstatus);
        }
        run.out = ReadFile(outPath);
        run.err = ReadFile(errPath);
        fs::remove(outPath);
        fs::remove(errPath);
        return run;
    }

    fs::path dir_;
};

TEST_F(CliTest, BatchPrintsTheLogLinesAndRewritesOnlyGoodPatches) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("notes.txt"), kPatch);
    WriteFile(P("b.pch"), kBadPatch);

    const CliResult run = RunCli({P("a.pch"), P("notes.txt"), P("b.pch")});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              Lf({"Processing " + P("a.pch") + "  ....  Done.",
                  P("notes.txt") + " is not a 'pch' file.. skipping.",
                  "Processing " + P("b.pch") + "  ....  Error!",
                  "1 of 3 files processed successfully.", "1 files skipped.", "1 errors."}));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(P("a.pch")), kRewritten);
    EXPECT_EQ(ReadFile(P("notes.txt")), kPatch);
    EXPECT_EQ(ReadFile(P("b.pch")), kBadPatch);
}

TEST_F(CliTest, ExitStatus) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("notes.txt"), "n");
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const Row rows[] = {
        {"only skipped", {"notes.txt", "missing.txt"}, 0},
        {"missing patch", {"missing.pch"}, 1},
        {"no path", {}, 2},
        {"unknown option", {"--fast", "a.pch"}, 2},
        {"precedence out of range", {"--precedence", "3", "a.pch"}, 2},
        {"precedence not whole", {"--precedence", "1.5", "a.pch"}, 2},
        {"map without file", {"a.pch", "--map"}, 2},
        {"help", {"--help"}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunCli(row.args).status, row.status);
    }
}

TEST_F(CliTest, MapFileAndPrecedenceOption) {
    // Knob 0 gets controller 7, which the patch already uses.
    std::vector<std::string> entries;
    for (int i = 0; i < 18; ++i) entries.push_back(i == 0 ? "7" : std::to_string(101 + i));
    std::vector<std::string> optionOn = entries;
    optionOn.push_back(" 1 ");
    entries.push_back(" 0 ");
    WriteFile(P("off.mpn"), Crlf(entries));
    WriteFile(P("on.mpn"), Crlf(optionOn));
    const std::vector<std::string> replaced = {"1 3 1 7", "0 7 2 106"};
    const std::vector<std::string> kept = {"1 9 0 7", "1 4 0 103", "0 7 2 106"};
    struct Row {
        const char* name;
        std::vector<std::string> options;
        std::vector<std::string> section;
    };
    const Row rows[] = {
        {"map option off", {"--map", "off.mpn"}, replaced},
        {"map option on", {"--map", "on.mpn"}, kept},
        {"option turned on", {"--map", "off.mpn", "--precedence", "1"}, kept},
        {"option turned off", {"--map=on.mpn", "--precedence=0"}, replaced},
        {"option 2 counts as off", {"--precedence", "2", "--map", "on.mpn"}, replaced},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(P("a.pch"), kPatch);
        std::vector<std::string> args = row.options;
        args.push_back("a.pch");
        EXPECT_EQ(RunCli(args).status, 0);
        std::vector<std::string> lines = {"x=1, y=2", "[KnobMapDump]",  "1 3 1 0",
                                          "0 7 2 5",  "[/KnobMapDump]", "[CtrlMapDump]"};
        lines.insert(lines.end(), row.section.begin(), row.section.end());
        lines.insert(lines.end(), {"[/CtrlMapDump]", "z"});
        EXPECT_EQ(ReadFile(P("a.pch")), Crlf(lines));
    }
}

TEST_F(CliTest, MapThatCannotBeLoadedTouchesNoPatch) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("short.mpn"), Crlf({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    const auto before = Snapshot(dir_);
    for (const char* map : {"short.mpn", "missing.mpn"}) {
        SCOPED_TRACE(map);
        const CliResult run = RunCli({"--map", map, "a.pch"});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(std::string("\"") + map + "\""), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(Snapshot(dir_), before);
    }
}

TEST_F(CliTest, PathsAreUsedAndPrintedAsGiven) {
    const std::vector<std::string> names = {"-x.pch", "my patch.pch", "it's \"q\".pch",
                                            "\xc3\x9cn\xc3\xaf \xe2\x98\x83.pch", " .pch"};
    std::vector<std::string> args = {"--"};
    std::string expected;
    for (const auto& name : names) {
        WriteFile(P(name), kPatch);
        args.push_back(name);
        expected += "Processing " + name + "  ....  Done.\n";
    }
    expected += "5 of 5 files processed successfully.\n0 files skipped.\n0 errors.\n";

    EXPECT_EQ(RunCli({"-x.pch"}).status, 2);  // without -- it is an option
    EXPECT_EQ(ReadFile(P("-x.pch")), kPatch);

    const CliResult run = RunCli(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected);
    for (const auto& name : names) EXPECT_EQ(ReadFile(P(name)), kRewritten) << name;
}

TEST_F(CliTest, DryRunShowsTheNewSectionAndTouchesNothing) {
    WriteFile(P("a.pch"), kPatch);
    WriteFile(P("b.pch"), kBadPatch);
    WriteFile(P("n.txt"), kPatch);
    fs::create_directory(P("d.pch"));
    const auto before = Snapshot(dir_);

    const CliResult run = RunCli({"--dry-run", "a.pch", "n.txt", "b.pch", "d.pch"});

    EXPECT_EQ(Snapshot(dir_), before);
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> lines = {"Would rewrite a.pch:"};
    lines.insert(lines.end(), kDefaultSection.begin(), kDefaultSection.end());
    lines.push_back("n.txt is not a 'pch' file.. skipping.");
    const std::string head = Lf(lines) + "b.pch would fail: ";
    ASSERT_EQ(run.out.substr(0, head.size()), head) << run.out;
    EXPECT_NE(run.out.find("\nd.pch would fail: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\n1 of 4 files would be rewritten.\n1 files skipped.\n2 would fail.\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find('\r'), std::string::npos);

    EXPECT_EQ(RunCli({"--dry-run", "a.pch"}).status, 0);
    EXPECT_EQ(Snapshot(dir_), before);
}

TEST_F(CliTest, FoldersAreExpandedOnlyWithRecursive) {
    fs::create_directories(P("top/sub/deeper"));
    for (const char* name : {"top/b.pch", "top/a.pch", "top/a b.pch", "top/sub/a.pch",
                             "top/sub/deeper/c.pch", "top/z.txt", "top/B.pch"}) {
        WriteFile(P(name), kPatch);
    }
    fs::create_directory_symlink("..", P("top/sub/loop"));
    WriteFile(P("last.pch"), kPatch);

    const CliResult run = RunCli({"--recursive", "top/", "last.pch"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(
        run.out,
        Lf({"Processing top/B.pch  ....  Done.", "Processing top/a b.pch  ....  Done.",
            "Processing top/a.pch  ....  Done.", "Processing top/b.pch  ....  Done.",
            "Processing top/sub/a.pch  ....  Done.", "Processing top/sub/deeper/c.pch  ....  Done.",
            "top/z.txt is not a 'pch' file.. skipping.", "Processing last.pch  ....  Done.",
            "7 of 8 files processed successfully.", "1 files skipped.", "0 errors."}));
    EXPECT_EQ(ReadFile(P("top/sub/deeper/c.pch")), kRewritten);

    fs::create_directory(P("folder.pch"));
    const CliResult plain = RunCli({"top", "folder.pch"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.out,
              Lf({"top is not a 'pch' file.. skipping.", "Processing folder.pch  ....  Error!",
                  "0 of 2 files processed successfully.", "1 files skipped.", "1 errors."}));
}

}  // namespace
