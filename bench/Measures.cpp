// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/Measures.h"

#include "drop/DropBatch.h"
#include "drop/DropReport.h"
#include "drop/PatchDrop.h"
#include "drop/StatusLog.h"
#include "journal/UndoJournal.h"
#include "map/MapFile.h"
#include "patch/PatchRewriter.h"
#include "tests/support/Process.h"
#include "tests/support/SerialDropBatch.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace pemberlock::bench {
namespace {

// Read the file, write the same bytes to a temporary file beside it, push
// that to stable storage, close it and rename it over the original.
bool CopyInPlace(const std::string& path, std::vector<char>& buffer, bool syncFolder,
                 const std::string& folder) {
    const std::string temp = path + "tmp";
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        for (ssize_t done = 0; done < got;) {
            const ssize_t put =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(got - done));
            if (put <= 0) {
                ok = false;
                break;
            }
            done += put;
        }
        if (!ok) break;
    }
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (ok && syncFolder) {
        const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = dir >= 0 && ::fsync(dir) == 0;
        if (dir >= 0) ::close(dir);
    }
    return ok;
}

// Reads path and writes its bytes to path + "tmp", unflushed and closed.
bool CopyToTemporary(const std::string& path, std::vector<char>& buffer) {
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open((path + "tmp").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = out >= 0;
    while (ok) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        ok = ::write(out, buffer.data(), static_cast<std::size_t>(got)) == got;
    }
    ::close(in);
    return out >= 0 && ::close(out) == 0 && ok;
}

// Runs work(part) on threads, each on an equal part of paths.
template <typename Work>
double OnParts(const std::vector<std::string>& paths, unsigned threads, Work work) {
    std::vector<std::vector<std::string>> parts(threads);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        parts[i * threads / paths.size()].push_back(paths[i]);
    }
    std::atomic<bool> failed = false;
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> running;
    for (const auto& part : parts) {
        running.emplace_back([&] {
            if (!work(part)) failed = true;
        });
    }
    for (std::thread& thread : running) thread.join();
    const double seconds = SecondsSince(start);
    if (failed) throw std::runtime_error("limit in parallel: a copy failed");
    return seconds;
}

// Keeps its buffer between patches, to see the rewriter alone.
class ReusedSink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { text_.append(bytes); }
    void Clear() { text_.clear(); }
    std::size_t Size() const { return text_.size(); }

private:
    std::string text_;
};

}  // namespace

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string SelfPath() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) throw std::runtime_error("cannot find the benchmark's own path");
    return self.string();
}

namespace {

// A drop of paths as pemberlock-cli makes it, recorded in journal when there
// is one.
double TimeDrop(const std::vector<std::string>& paths, const KnobControllerMap& map,
                UndoJournal* journal, bool report = false) {
    const Clock::time_point start = Clock::now();
    TextStatusLog log;
    const std::unique_ptr<DropRecorder> recorder = journal ? journal->Record() : nullptr;
    DropReportCollector collector;
    DropOptions options;
    options.journal = recorder.get();
    if (report) {
        options.observer = &collector;
        options.reportRewrites = true;
    }
    const BatchSummary summary = RunPatchDrop(paths, log, map, RealFileSystem(), options);
    if (recorder) recorder->Finish();
    const DropReportRows rows = collector.TakeRows();
    const double seconds = SecondsSince(start);
    if (report && rows.Count() != paths.size()) throw std::runtime_error("report: rows missing");
    if (recorder && (recorder->Failure() || recorder->Recorded() != paths.size())) {
        throw std::runtime_error("journal: " + (recorder->Failure() ? recorder->Failure()->Text()
                                                                    : std::string("not recorded")));
    }
    if (summary.errors != 0 || summary.succeeded() != paths.size()) {
        throw std::runtime_error("core batch: " + std::to_string(summary.errors) + " errors");
    }
    const std::string count = std::to_string(paths.size());
    const std::string tail = count + " of " + count +
                             " files processed successfully.\r\n0 files skipped.\r\n0 errors.\r\n";
    const std::string& text = log.Text();
    if (text.size() < tail.size() ||
        text.compare(text.size() - tail.size(), tail.size(), tail) != 0) {
        throw std::runtime_error("core batch: unexpected log ending");
    }
    return seconds;
}

}  // namespace

double RunCoreBatch(const std::vector<std::string>& paths, const KnobControllerMap& map) {
    return TimeDrop(paths, map, nullptr);
}

double RunCoreBatchReported(const std::vector<std::string>& paths, const KnobControllerMap& map) {
    return TimeDrop(paths, map, nullptr, true);
}

double RunCoreBatchWithJournal(const std::vector<std::string>& paths, const KnobControllerMap& map,
                               const std::string& journalFolder) {
    UndoJournal journal(RealFileSystem(), {journalFolder, {}});
    return TimeDrop(paths, map, &journal);
}

double RunLogOnlyCoreBatch(const std::vector<std::string>& paths) {
    const Clock::time_point start = Clock::now();
    TextStatusLog log;
    test::RunDropBatch(paths, log,
                       [](const std::string&) { return Result<std::string>(std::string()); });
    return SecondsSince(start);
}

double RunLimit(const std::vector<std::string>& paths, const std::string& folder, bool syncFolder) {
    std::vector<char> buffer(256 * 1024);
    const Clock::time_point start = Clock::now();
    for (const std::string& path : paths) {
        if (!CopyInPlace(path, buffer, syncFolder, folder)) {
            throw std::runtime_error("limit: cannot copy " + path);
        }
    }
    return SecondsSince(start);
}

double RunUnsafeFloor(const std::vector<std::string>& paths) {
    std::vector<char> buffer(256 * 1024);
    const Clock::time_point start = Clock::now();
    for (const std::string& path : paths) {
        if (!CopyToTemporary(path, buffer) || ::rename((path + "tmp").c_str(), path.c_str()) != 0) {
            throw std::runtime_error("unsafe floor: cannot copy " + path);
        }
    }
    return SecondsSince(start);
}

double RunLimitParallel(const std::vector<std::string>& paths, unsigned threads) {
    return OnParts(paths, threads, [](const std::vector<std::string>& part) {
        std::vector<char> buffer(256 * 1024);
        for (const std::string& path : part) {
            if (!CopyInPlace(path, buffer, false, "")) return false;
        }
        return true;
    });
}

double RunLimitGrouped(const std::vector<std::string>& paths, unsigned threads, std::size_t group) {
    return OnParts(paths, threads, [group](const std::vector<std::string>& part) {
        std::vector<char> buffer(256 * 1024);
        for (std::size_t from = 0; from < part.size(); from += group) {
            const std::size_t to = std::min(part.size(), from + group);
            for (std::size_t i = from; i < to; ++i) {
                if (!CopyToTemporary(part[i], buffer)) return false;
            }
            const int folder = ::open(part[from].c_str(), O_RDONLY | O_CLOEXEC);
            const bool synced = folder >= 0 && ::syncfs(folder) == 0;
            if (folder >= 0) ::close(folder);
            if (!synced) return false;
            for (std::size_t i = from; i < to; ++i) {
                if (::rename((part[i] + "tmp").c_str(), part[i].c_str()) != 0) return false;
            }
        }
        return true;
    });
}

double RunCoreBatchSerial(const std::vector<std::string>& paths, const KnobControllerMap& map) {
    DropOptions serial;
    serial.workers = 1;
    serial.groupSize = 1;
    const Clock::time_point start = Clock::now();
    TextStatusLog log;
    const BatchSummary summary = RunPatchDrop(paths, log, map, RealFileSystem(), serial);
    const double seconds = SecondsSince(start);
    if (summary.succeeded() != paths.size()) throw std::runtime_error("serial core batch failed");
    return seconds;
}

double RunCliProgram(const std::string& folder, std::size_t patches, const std::string& stateFolder,
                     const std::string& mapFile) {
    std::vector<std::string> args{PEMBERLOCK_CLI_PATH, "--recursive"};
    if (!mapFile.empty()) args.insert(args.end(), {"--map", mapFile});
    args.insert(args.end(), {"--", folder});
    const Clock::time_point start = Clock::now();
    // Its journal goes with the bench's files, never into the user's own.
    const test::ProcessResult run =
        test::RunProcess(args, folder, std::chrono::minutes(30), {"XDG_STATE_HOME=" + stateFolder});
    const double seconds = SecondsSince(start);
    const std::string done = std::to_string(patches) + " of " + std::to_string(patches) +
                             " files processed successfully.\n";
    if (run.status != 0 || run.out.find(done) == std::string::npos) {
        throw std::runtime_error("pemberlock-cli: exit " + std::to_string(run.status) + ": " +
                                 run.err);
    }
    return seconds;
}

std::string WriteOtherMap(const std::string& folder) {
    KnobControllerMap map;
    for (int i = 0; i < 18; ++i) map.SetEntryText(i, std::to_string(1 + i));
    const std::string path = folder + "-other.mpn";
    if (Result<> saved = SaveMap(map, path); !saved) {
        throw std::runtime_error(path + ": " + saved.error().Text());
    }
    return path;
}

double RunCliUndo(const std::string& folder, std::size_t patches, const std::string& stateFolder) {
    const Clock::time_point start = Clock::now();
    const test::ProcessResult run =
        test::RunProcess({PEMBERLOCK_CLI_PATH, "--undo"}, folder, std::chrono::minutes(30),
                         {"XDG_STATE_HOME=" + stateFolder});
    const double seconds = SecondsSince(start);
    const std::string done =
        std::to_string(patches) + " of " + std::to_string(patches) + " files restored.\n";
    if (run.status != 0 || run.out.find(done) == std::string::npos) {
        throw std::runtime_error("pemberlock-cli --undo: exit " + std::to_string(run.status) +
                                 ": " + run.err);
    }
    return seconds;
}

double RunInMemory(const std::vector<std::string>& patches, const KnobControllerMap& map,
                   bool report) {
    std::size_t outBytes = 0;
    const Clock::time_point start = Clock::now();
    for (const std::string& patch : patches) {
        RewriteReport kept;
        const Result<RewrittenPatch> out =
            RewritePatchText(patch, map, Sections::Leave, report ? &kept : nullptr);
        if (!out) throw std::runtime_error("in memory: a generated patch was refused");
        outBytes += out->text.size();
    }
    const double seconds = SecondsSince(start);
    if (outBytes == 0) throw std::runtime_error("in memory: nothing written");
    return seconds;
}

double RunStreamingInMemory(const std::vector<std::string>& patches, const KnobControllerMap& map) {
    ReusedSink sink;
    std::size_t outBytes = 0;
    const Clock::time_point start = Clock::now();
    for (const std::string& patch : patches) {
        sink.Clear();
        PatchRewriter rewriter(map, sink);
        if (!rewriter.Feed(patch) || !rewriter.Finish()) {
            throw std::runtime_error("in memory: refused");
        }
        outBytes += sink.Size();
    }
    const double seconds = SecondsSince(start);
    if (outBytes == 0) throw std::runtime_error("in memory: nothing written");
    return seconds;
}

double RunStartup(const std::string& probe) {
    const test::ProcessResult run =
        test::RunProcess({probe}, "", std::chrono::seconds(60), {"QT_QPA_PLATFORM=offscreen"});
    if (run.status != 0 || run.untilFirstLine.count() == 0) {
        throw std::runtime_error(probe + " failed: " + run.out + run.err);
    }
    return std::chrono::duration<double>(run.untilFirstLine).count();
}

}  // namespace pemberlock::bench
