// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

namespace pemberlock {
namespace {

TEST(RunProcess, SetsTheGivenVariablesForTheChildAlone) {
    ::setenv("PEMBERLOCK_TEST_KEPT", "kept", 1);
    ::setenv("PEMBERLOCK_TEST_SET", "old", 1);
    const std::string script = R"(printf '%s %s %s ' "$PEMBERLOCK_TEST_KEPT" )"
                               R"("$PEMBERLOCK_TEST_SET" "$PEMBERLOCK_TEST_NEW";)"
                               R"(env | grep -c '^PEMBERLOCK_TEST_SET=')";
    const test::ProcessResult run =
        test::RunProcess({"/bin/sh", "-c", script}, "", std::chrono::seconds(20),
                         {"PEMBERLOCK_TEST_SET=new", "PEMBERLOCK_TEST_NEW=added"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "kept new added 1\n") << "a variable given replaces, never doubles, one";
    EXPECT_STREQ(std::getenv("PEMBERLOCK_TEST_SET"), "old");
}

// The benchmark times a start-up to the line that says the window is up,
// not to the end of the program.
TEST(RunProcess, TimesTheFirstLineApartFromTheEnd) {
    const auto start = std::chrono::steady_clock::now();
    const test::ProcessResult run =
        test::RunProcess({"/bin/sh", "-c", "echo ready; sleep 1; echo done"}, "");
    const auto whole = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.out, "ready\ndone\n");
    EXPECT_GT(run.untilFirstLine.count(), 0);
    EXPECT_LT(run.untilFirstLine, whole - std::chrono::milliseconds(500));

    const test::ProcessResult silent = test::RunProcess({"/bin/sh", "-c", "printf half"}, "");
    EXPECT_EQ(silent.untilFirstLine.count(), 0) << "no whole line came";
}

}  // namespace
}  // namespace pemberlock
