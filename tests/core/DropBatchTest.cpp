// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/DropBatch.h"

#include "tests/support/SerialDropBatch.h"

#include <gtest/gtest.h>

#include <set>

namespace pemberlock {
namespace {

using test::RunDropBatch;

// Runs a batch whose processor fails exactly the paths in failing.
std::string BatchLog(const std::vector<std::string>& paths, const std::set<std::string>& failing,
                     std::vector<std::string>* processed = nullptr) {
    TextStatusLog log;
    RunDropBatch(paths, log, [&](const std::string& path) -> Result<std::string> {
        if (processed) processed->push_back(path);
        if (failing.count(path)) return Error{"fails"};
        return std::string();
    });
    return log.Text();
}

TEST(DropBatch, LogOfAMixedDrop) {
    EXPECT_EQ(BatchLog({"a.pch", "notes.txt", "b.pch"}, {"b.pch"}),
              "Processing a.pch  ....  Done.\r\n"
              "notes.txt is not a 'pch' file.. skipping.\r\n"
              "Processing b.pch  ....  Error!\r\n"
              "1 of 3 files processed successfully.\r\n"
              "1 files skipped.\r\n"
              "1 errors.\r\n");
}

TEST(DropBatch, SummaryListsEachFailureWithItsReason) {
    TextStatusLog log;
    const BatchSummary summary = RunDropBatch({"a.pch", "b.pch", "c.pch"}, log,
                                              [](const std::string& path) -> Result<std::string> {
                                                  if (path == "a.pch") return std::string();
                                                  return Error{"cannot be opened", 0, path};
                                              });
    ASSERT_EQ(summary.failures.size(), 2u);
    EXPECT_EQ(summary.errors, 2u);
    EXPECT_EQ(summary.failures[1].path, "c.pch");
    EXPECT_EQ(summary.failures[1].error.Text(), "cannot be opened: c.pch");
}

TEST(DropBatch, OnlySkippedFiles) {
    EXPECT_EQ(BatchLog({"/music/song.PCH", "pc"}, {}),
              "/music/song.PCH is not a 'pch' file.. skipping.\r\n"
              "pc is not a 'pch' file.. skipping.\r\n"
              "0 of 2 files processed successfully.\r\n"
              "2 files skipped.\r\n"
              "0 errors.\r\n");
}

TEST(DropBatch, OnlyTheLastThreeCharactersCount) {
    const std::pair<const char*, bool> cases[] = {
        {"a.pch", true}, {"xpch", true}, {"pch", true},     {"a.PCH", false},
        {"ch", false},   {"", false},    {"a.pch ", false}, {"a.pch.bak", false},
    };
    for (const auto& [path, patch] : cases) EXPECT_EQ(IsPatchPath(path), patch) << path;
}

TEST(DropBatch, ProcessesInOrderAndNeverOpensSkippedPaths) {
    std::vector<std::string> processed;
    BatchLog({"z.pch", "a.txt", "m.pch", "a.pch"}, {}, &processed);
    EXPECT_EQ(processed, (std::vector<std::string>{"z.pch", "m.pch", "a.pch"}));
}

TEST(DropBatch, CountersDoNotWrapPast32767) {
    std::vector<std::string> paths(40000, "x.txt");
    const std::string log = BatchLog(paths, {});
    EXPECT_NE(log.find("0 of 40000 files processed successfully.\r\n40000 files skipped.\r\n"),
              std::string::npos);
}

TEST(DropBatch, EmptyDrop) {
    EXPECT_EQ(BatchLog({}, {}),
              "0 of 0 files processed successfully.\r\n0 files skipped.\r\n0 errors.\r\n");
}

}  // namespace
}  // namespace pemberlock
