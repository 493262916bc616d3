// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/BenchOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace pemberlock::bench {
namespace {

Options Defaults() {
    Options options;
    const char* tmp = std::getenv("TMPDIR");
    options.folder = tmp && *tmp ? tmp : "/tmp";
    return options;
}

TEST(BenchOptions, ReadsWhatIsGivenAndKeepsTheRestAtItsDefault) {
    struct Case {
        std::vector<std::string> args;
        std::function<void(Options&)> change;
    };
    const Case cases[] = {
        {{}, [](Options&) {}},
        {{"--files", "300", "--seed", "7", "--startups", "0", "--dir", "/data"},
         [](Options& o) { o.files = 300, o.seed = 7, o.startups = 0, o.folder = "/data"; }},
        // Counts that would make no measure at all are raised to one.
        {{"--runs", "0", "--big-mb", "0", "--compare-files", "0"},
         [](Options& o) { o.runs = 1, o.bigMegabytes = 1, o.compareFiles = 1; }},
        {{"--seed", "010"}, [](Options& o) { o.seed = 10; }},
        {{"--files", "1", "--files", "2"}, [](Options& o) { o.files = 2; }},
        {{"--only", "5,startup,10"},
         [](Options& o) {
             o.only = {"5", "startup", "10"};
         }},
        {{"--only", "1", "--only", "3"}, [](Options& o) { o.only = {"3"}; }},
        {{"--no-window"}, [](Options& o) { o.window = false; }},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        std::ostringstream err;
        int status = -1;
        const std::optional<Options> options = ParseOptions(c.args, out, err, status);
        SCOPED_TRACE(testing::PrintToString(c.args));
        ASSERT_TRUE(options) << err.str();
        Options expected = Defaults();
        c.change(expected);
        EXPECT_TRUE(*options == expected);
    }
}

TEST(BenchOptions, AUsageErrorEndsWithStatus2AndTheUsage) {
    const std::vector<std::vector<std::string>> cases = {
        {"--runs", "-1"},  {"--seed", "1e3"},  {"--files", "0x10"}, {"--files"},
        {"--only", "1,8"}, {"--only", "1,,2"}, {"--bogus"},         {"library"},
    };
    for (const std::vector<std::string>& args : cases) {
        std::ostringstream out;
        std::ostringstream err;
        int status = -1;
        EXPECT_FALSE(ParseOptions(args, out, err, status)) << testing::PrintToString(args);
        EXPECT_EQ(status, 2);
        EXPECT_NE(err.str().find("usage: pemberlock-bench"), std::string::npos) << err.str();
    }
}

TEST(BenchOptions, HelpEndsWithStatus0) {
    std::ostringstream out;
    std::ostringstream err;
    int status = -1;
    EXPECT_FALSE(ParseOptions({"--help"}, out, err, status));
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.str().find("--compare-files"), std::string::npos);
}

}  // namespace
}  // namespace pemberlock::bench
