// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/FileJobs.h"

#include "fileio/ChunkedReader.h"
#include "tests/support/FaultyFileSystem.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <numeric>

namespace pemberlock {
namespace {

using test::Fault;
using test::FaultyFileSystem;
using test::ReadFile;
using test::TempFolder;
using test::WriteFile;

// The least a kind of job can be: each file gets "+" appended. Enough to see
// the engine's own rules, which every kind (rewrite, preview, restore) has.
class MarkJobs final : public FileJobs {
public:
    MarkJobs(FileSystem& fs, std::vector<std::string> paths, std::atomic<bool>& stop,
             std::size_t stopAfter)
        : fs_(fs), paths_(std::move(paths)), stop_(stop), stopAfter_(stopAfter) {}

    std::size_t Count() const override { return paths_.size(); }
    bool NeedsWork(std::size_t) const override { return true; }
    bool NamesAFileTwice() override { return false; }
    Result<std::unique_ptr<PreparedFile>> Prepare(std::size_t i, RewriteBuffers& buffers,
                                                  bool flush, const std::atomic<bool>*) override {
        const Result<std::string> text = ReadWholeFile(fs_, paths_[i]);
        if (!text) return text.error();
        auto prepared = std::make_unique<PreparedFile>();
        prepared->target = paths_[i];
        prepared->writer =
            std::make_unique<AtomicFileWriter>(fs_, paths_[i], paths_[i] + "tmp", &buffers.write);
        if (Result<> opened = prepared->writer->Open(0644); !opened) return opened.error();
        prepared->writer->Write(*text + "+");
        if (Result<> closed = prepared->writer->Close(flush); !closed) return closed.error();
        prepared->device = prepared->writer->Written().device;
        return prepared;
    }
    void Finish(std::size_t i, Result<std::unique_ptr<PreparedFile>>* prepared) override {
        finished.push_back(i);
        const bool done = prepared && *prepared && (**prepared)->writer->Rename();
        if (!done) ++failed;
        if (finished.size() == stopAfter_) stop_ = true;
    }

    std::vector<std::size_t> finished;
    std::size_t failed = 0;

private:
    FileSystem& fs_;
    std::vector<std::string> paths_;
    std::atomic<bool>& stop_;
    std::size_t stopAfter_;
};

TEST(FileJobs, FinishesInOrderStopsAfterWhatIsInHandAndPutsNoFileInPlaceUnsynced) {
    const struct {
        const char* name;
        unsigned workers;
        std::size_t groupSize;
        std::size_t stopAfter;  // 0: never stopped
        Fault fault;
    } cases[] = {
        {"one thread", 1, 64, 0, Fault::None},
        {"four threads, groups of 3", 4, 3, 0, Fault::None},
        {"stopped", 4, 3, 5, Fault::None},
        {"a group's sync fails", 4, 3, 0, Fault::SyncWhole},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        std::vector<std::string> paths;
        for (int i = 0; i < 20; ++i) {
            paths.push_back(folder.Path(std::to_string(100 + i)));
            WriteFile(paths.back(), std::to_string(i));
        }
        FaultyFileSystem fs(c.fault);
        if (c.fault == Fault::SyncWhole && !fs.CanSyncWholeFileSystem()) continue;
        std::atomic<bool> stop = false;
        MarkJobs jobs(fs, paths, stop, c.stopAfter);
        const std::size_t finished =
            RunFileJobs(jobs, fs, {&stop, nullptr, c.workers, c.groupSize});

        // Finished one after the other in their order, a prefix when stopped.
        std::vector<std::size_t> inOrder(finished);
        std::iota(inOrder.begin(), inOrder.end(), 0);
        EXPECT_EQ(jobs.finished, inOrder);
        if (c.stopAfter) {
            EXPECT_GE(finished, c.stopAfter);
            EXPECT_LT(finished, paths.size());
        } else {
            EXPECT_EQ(finished, paths.size());
        }
        // Every file old or completely new, and no temporary file left.
        const bool renamed = c.fault == Fault::None;
        EXPECT_EQ(jobs.failed, renamed ? 0 : finished);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const bool isNew = renamed && i < finished;
            EXPECT_EQ(ReadFile(paths[i]), std::to_string(i) + (isNew ? "+" : "")) << paths[i];
            EXPECT_FALSE(std::filesystem::exists(paths[i] + "tmp")) << paths[i];
        }
    }
}

}  // namespace
}  // namespace pemberlock
