// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/PatchDrop.h"

#include "fileio/Utf8Path.h"
#include "patch/ProcessPatch.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace pemberlock {
namespace {

constexpr unsigned kMostWorkers = 4;

// Patches are rewritten into their temporary files by worker threads, a few
// ahead of the caller's thread, which makes each group durable and then puts
// its patches in place one by one, in the order of the paths. The caller's
// thread rewrites a patch itself when no worker has taken it yet.
class DropRun {
public:
    DropRun(const std::vector<DropPath>& paths, StatusLog& log, const KnobControllerMap& map,
            FileSystem& fs, const DropOptions& options)
        : paths_(paths), log_(log), map_(map), fs_(fs), options_(options) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (IsPatch(paths[i])) patches_.push_back(i);
        }
        slots_.resize(paths.size());
        // A file dropped twice (or by two names) must be rewritten the second
        // time after the first is in place: both would share one temporary
        // file. Such a drop goes one patch after the other.
        oneByOne_ = options.workers == 1 && options.groupSize <= 1;
        workPaths_.resize(paths.size());
        if (FindFilesNamedTwice()) oneByOne_ = true;
        grouped_ = !oneByOne_ && options.groupSize > 1 && fs.CanSyncWholeFileSystem();
        groupSize_ = grouped_ ? options.groupSize : 1;
    }

    BatchSummary Run();

private:
    struct Slot {
        bool taken = false;
        bool ready = false;
        std::optional<Result<PreparedPatch>> prepared;
        std::shared_ptr<RewriteReport> report;
    };

    static bool IsPatch(const DropPath& path) { return !path.unreadable && IsPatchPath(path.path); }
    bool Stopping() const { return (options_.stop && options_.stop->load()) || Hurrying(); }
    bool Hurrying() const { return options_.hurry && options_.hurry->load(); }
    bool FindFilesNamedTwice();
    // The path a patch is read and replaced through: as given, unless it
    // names a patch named before by another spelling.
    const std::string& WorkPath(std::size_t index) const {
        return workPaths_[index].empty() ? paths_[index].path : workPaths_[index];
    }
    unsigned WorkerCount() const;

    // Worker side.
    void Work();
    void Prepare(std::size_t index, RewriteBuffers& buffers);
    // Caller side.
    std::size_t GatherGroup(std::size_t from);
    void SyncGroup(std::size_t from, std::size_t to);
    void Commit(std::size_t index);
    void Log(std::size_t index, DropPathResult::Kind kind, const std::optional<Error>& error);

    const std::vector<DropPath>& paths_;
    StatusLog& log_;
    const KnobControllerMap& map_;
    FileSystem& fs_;
    const DropOptions& options_;
    const DropWording words_;
    bool oneByOne_ = false;
    bool grouped_ = false;
    std::size_t groupSize_ = 1;

    std::vector<std::size_t> patches_;    // indices of the paths that are patches
    std::vector<std::string> workPaths_;  // see WorkPath
    std::vector<Slot> slots_;             // one per path
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextPatch_ = 0;  // the next entry of patches_ to take
    std::size_t committed_ = 0;  // paths handled so far
    bool finished_ = false;
    RewriteBuffers callerBuffers_;

    BatchSummary summary_;
    std::map<std::string, std::string> folders_;  // folder -> a file replaced in it
};

// Whether two patches of the drop name one file, as far as can be told
// before opening it: by the file's identity where the system gives one, and
// by its absolute path, with names that differ only in case taken as one.
// A file system that folds case may give each such name an identity of its
// own, and keep what it knows of each apart: there the later name is
// replaced, for the work, by the one the folder lists, so that the patch is
// read and replaced through one name.
bool DropRun::FindFilesNamedTwice() {
    std::set<std::pair<std::uint64_t, std::uint64_t>> files;
    std::map<std::string, std::size_t> names;  // case-folded absolute path -> first patch
    bool twice = false;
    for (const std::size_t index : patches_) {
        const std::string& path = paths_[index].path;
        const FileStatus status = fs_.Status(path);
        if (status.inode != 0 && !files.insert({status.device, status.inode}).second) twice = true;
        std::error_code ignored;
        const std::filesystem::path absolute =
            std::filesystem::absolute(PathFromUtf8(path), ignored).lexically_normal();
        std::string key = Utf8FromPath(absolute);
        std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) {
            return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        });
        const auto [first, fresh] = names.try_emplace(std::move(key), index);
        if (fresh) continue;
        twice = true;
        const std::string name = Utf8FromPath(absolute.filename());
        const Result<std::vector<FolderEntry>> listed =
            fs_.ListFolder(Utf8FromPath(absolute.parent_path()));
        if (!listed) continue;
        const bool own = std::any_of(listed->begin(), listed->end(),
                                     [&](const FolderEntry& entry) { return entry.name == name; });
        if (!own) workPaths_[index] = WorkPath(first->second);
    }
    return twice;
}

unsigned DropRun::WorkerCount() const {
    if (oneByOne_) return 1;
    unsigned workers = options_.workers;
    if (workers == 0) workers = std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
    return static_cast<unsigned>(std::min<std::size_t>(workers, patches_.size()));
}

void DropRun::Prepare(std::size_t index, RewriteBuffers& buffers) {
    auto report = options_.reportRewrites ? std::make_shared<RewriteReport>() : nullptr;
    Result<PreparedPatch> prepared =
        PreparePatch(WorkPath(index), map_, fs_, !grouped_, &buffers, report.get(), options_.hurry);
    const std::lock_guard lock(mutex_);
    slots_[index].prepared.emplace(std::move(prepared));
    slots_[index].report = std::move(report);
    slots_[index].ready = true;
    changed_.notify_all();
}

void DropRun::Work() {
    RewriteBuffers buffers;
    // Far enough ahead to keep the next group's rewrites going while one
    // group is synced and renamed, not so far that many temporary files wait.
    const std::size_t ahead = 2 * groupSize_ + 2 * kMostWorkers;
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return finished_ || Stopping() || nextPatch_ == patches_.size() ||
                   patches_[nextPatch_] < committed_ + ahead;
        });
        if (finished_ || Stopping() || nextPatch_ == patches_.size()) return;
        const std::size_t index = patches_[nextPatch_++];
        slots_[index].taken = true;
        lock.unlock();
        Prepare(index, buffers);
    }
}

// The paths from `from` up to and including the groupSize_-th patch, all
// prepared. A stopping drop gathers only up to the last patch taken in hand.
std::size_t DropRun::GatherGroup(std::size_t from) {
    std::size_t to = from;
    std::size_t patches = 0;
    while (to < paths_.size() && patches < groupSize_) {
        std::unique_lock lock(mutex_);
        if (Hurrying()) break;
        if (Stopping() && (nextPatch_ == 0 || to > patches_[nextPatch_ - 1])) break;
        if (!IsPatch(paths_[to])) {
            ++to;
            continue;
        }
        if (!slots_[to].taken) {
            // No worker has it yet: the caller rewrites it itself.
            slots_[to].taken = true;
            ++nextPatch_;
            lock.unlock();
            Prepare(to, callerBuffers_);
            lock.lock();
        }
        changed_.wait(lock, [&] { return slots_[to].ready; });
        ++to;
        ++patches;
    }
    return to;
}

void DropRun::SyncGroup(std::size_t from, std::size_t to) {
    if (!grouped_) return;
    std::map<std::uint64_t, Result<>> synced;  // one sync per file system
    for (std::size_t i = from; i < to; ++i) {
        auto& prepared = slots_[i].prepared;
        if (!prepared || !*prepared) continue;
        auto [at, first] = synced.try_emplace((*prepared)->old.device);
        if (first) at->second = fs_.SyncWholeFileSystemOf((*prepared)->target);
        if (!at->second) {
            prepared.emplace(at->second.error().As("the temporary file cannot be flushed to disk"));
        }
    }
}

void DropRun::Log(std::size_t index, DropPathResult::Kind kind, const std::optional<Error>& error) {
    const std::string& path = paths_[index].path;
    if (kind == DropPathResult::Kind::Skipped) {
        log_.Append(words_.Skipped(path));
        ++summary_.skipped;
    } else {
        const Result<std::string> outcome = error ? Result<std::string>(*error) : std::string();
        log_.Append(words_.Starting(path) + words_.Finished(path, outcome));
        if (error) {
            ++summary_.errors;
            summary_.failures.push_back({path, *error});
        }
    }
    ++summary_.total;
    if (options_.observer) {
        std::shared_ptr<const RewriteReport> report;
        if (kind == DropPathResult::Kind::Rewritten) report = slots_[index].report;
        options_.observer->PathDone({path, kind, error, std::move(report)}, summary_.total,
                                    paths_.size());
    }
}

void DropRun::Commit(std::size_t index) {
    const DropPath& path = paths_[index];
    if (path.unreadable) return Log(index, DropPathResult::Kind::Failed, path.unreadable);
    if (!IsPatch(path)) return Log(index, DropPathResult::Kind::Skipped, std::nullopt);
    Result<PreparedPatch>& prepared = *slots_[index].prepared;
    if (!prepared) return Log(index, DropPathResult::Kind::Failed, prepared.error());
    AtomicFileWriter& writer = *prepared->writer;
    // Another program may have saved the patch since it was read: its work
    // is kept, and this rewrite of what it was is given up.
    if (Result<> same = CheckStillAsRead(fs_, *prepared); !same) {
        return Log(index, DropPathResult::Kind::Failed, same.error());
    }
    if (options_.journal) {
        options_.journal->BeforeReplace({prepared->target, prepared->old, prepared->oldDigest,
                                         writer.Size(), writer.Digest(), writer.Written()});
        // The journal's name for the old file changed its change time.
        if (Result<> same = CheckStillAsRead(fs_, *prepared, false); !same) {
            options_.journal->AfterReplace(false);
            return Log(index, DropPathResult::Kind::Failed, same.error());
        }
    }
    const Result<> renamed = writer.Rename();
    if (options_.journal) options_.journal->AfterReplace(renamed.ok());
    if (!renamed) return Log(index, DropPathResult::Kind::Failed, renamed.error());
    folders_.try_emplace(Utf8FromPath(PathFromUtf8(prepared->target).parent_path()),
                         prepared->target);
    Log(index, DropPathResult::Kind::Rewritten, std::nullopt);
}

BatchSummary DropRun::Run() {
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < WorkerCount(); ++i) workers.emplace_back([this] { Work(); });
    std::size_t at = 0;
    while (at < paths_.size()) {
        const std::size_t to = GatherGroup(at);
        if (to == at) break;  // stopped before the next patch
        SyncGroup(at, to);
        std::size_t i = at;
        // In a hurry, the patches not yet in place are given up (their
        // writers remove their temporary files); those in place are logged.
        for (; i < to && !Hurrying(); ++i) {
            Commit(i);
            slots_[i].prepared.reset();
            slots_[i].report.reset();
        }
        at = i;
        const std::lock_guard lock(mutex_);
        committed_ = at;
        changed_.notify_all();
        if (at < to) break;
    }
    {
        const std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }
    for (std::thread& worker : workers) worker.join();
    for (const auto& [folder, file] : folders_) fs_.SyncFolderOf(file);
    if (at < paths_.size()) {
        log_.Append(StoppedLine(paths_.size() - at, paths_.size()));
    }
    log_.Append(words_.Summary(summary_));
    return summary_;
}

}  // namespace

BatchSummary RunPatchDrop(const std::vector<DropPath>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs,
                          const DropOptions& options) {
    return DropRun(paths, log, map, fs, options).Run();
}

BatchSummary RunPatchDrop(const std::vector<std::string>& paths, StatusLog& log,
                          const KnobControllerMap& map, FileSystem& fs,
                          const DropOptions& options) {
    std::vector<DropPath> dropped;
    dropped.reserve(paths.size());
    for (const std::string& path : paths) dropped.push_back({path, {}});
    return RunPatchDrop(dropped, log, map, fs, options);
}

}  // namespace pemberlock
