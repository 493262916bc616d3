// SPDX-License-Identifier: GPL-3.0-or-later
#include "drop/FileJobs.h"

#include "fileio/Utf8Path.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace pemberlock {
namespace {

constexpr unsigned kMostWorkers = 4;

using Prepared = Result<std::unique_ptr<PreparedFile>>;

class JobRun {
public:
    JobRun(FileJobs& jobs, FileSystem& fs, const JobOptions& options)
        : jobs_(jobs), fs_(fs), options_(options), slots_(jobs.Count()) {
        for (std::size_t i = 0; i < jobs.Count(); ++i) {
            if (jobs.NeedsWork(i)) work_.push_back(i);
        }
        oneByOne_ = (options.workers == 1 && options.groupSize <= 1) || jobs.NamesAFileTwice();
        grouped_ = !oneByOne_ && options.groupSize > 1 && fs.CanSyncWholeFileSystem();
        groupSize_ = grouped_ ? options.groupSize : 1;
    }

    std::size_t Run();

private:
    struct Slot {
        bool taken = false;
        bool ready = false;
        std::optional<Prepared> prepared;
    };

    bool Stopping() const { return (options_.stop && options_.stop->load()) || Hurrying(); }
    bool Hurrying() const { return options_.hurry && options_.hurry->load(); }
    unsigned WorkerCount() const;

    // Worker side.
    void Work();
    void Prepare(std::size_t index, RewriteBuffers& buffers);
    // Caller side.
    std::size_t GatherGroup(std::size_t from);
    void SyncGroup(std::size_t from, std::size_t to);
    void Finish(std::size_t index);

    FileJobs& jobs_;
    FileSystem& fs_;
    const JobOptions& options_;
    bool oneByOne_ = false;
    bool grouped_ = false;
    std::size_t groupSize_ = 1;

    std::vector<std::size_t> work_;  // the items that need work
    std::vector<Slot> slots_;        // one per item
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t nextWork_ = 0;  // the next entry of work_ to take
    std::size_t finished_ = 0;  // items finished so far
    bool ending_ = false;
    RewriteBuffers callerBuffers_;
    std::map<std::string, std::string> folders_;  // folder -> a file replaced in it
};

unsigned JobRun::WorkerCount() const {
    if (oneByOne_) return 1;
    unsigned workers = options_.workers;
    if (workers == 0) workers = std::clamp(std::thread::hardware_concurrency(), 1u, kMostWorkers);
    return static_cast<unsigned>(std::min<std::size_t>(workers, work_.size()));
}

void JobRun::Prepare(std::size_t index, RewriteBuffers& buffers) {
    Prepared prepared = jobs_.Prepare(index, buffers, !grouped_, options_.hurry);
    const std::lock_guard lock(mutex_);
    slots_[index].prepared.emplace(std::move(prepared));
    slots_[index].ready = true;
    changed_.notify_all();
}

void JobRun::Work() {
    RewriteBuffers buffers;
    // Far enough ahead to keep the next group's work going while one group
    // is synced and renamed, not so far that many temporary files wait.
    const std::size_t ahead = 2 * groupSize_ + 2 * kMostWorkers;
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return ending_ || Stopping() || nextWork_ == work_.size() ||
                   work_[nextWork_] < finished_ + ahead;
        });
        if (ending_ || Stopping() || nextWork_ == work_.size()) return;
        const std::size_t index = work_[nextWork_++];
        slots_[index].taken = true;
        lock.unlock();
        Prepare(index, buffers);
    }
}

// The items from `from` up to and including the groupSize_-th one that
// needs work, all prepared. A stopping run gathers only up to the last item
// taken in hand; a hurried one nothing more.
std::size_t JobRun::GatherGroup(std::size_t from) {
    std::size_t to = from;
    std::size_t worked = 0;
    while (to < slots_.size() && worked < groupSize_) {
        std::unique_lock lock(mutex_);
        if (Hurrying()) break;
        if (Stopping() && (nextWork_ == 0 || to > work_[nextWork_ - 1])) break;
        if (!jobs_.NeedsWork(to)) {
            ++to;
            continue;
        }
        if (!slots_[to].taken) {
            // No worker has it yet: the caller prepares it itself.
            slots_[to].taken = true;
            ++nextWork_;
            lock.unlock();
            Prepare(to, callerBuffers_);
            lock.lock();
        }
        changed_.wait(lock, [&] { return slots_[to].ready; });
        ++to;
        ++worked;
    }
    return to;
}

void JobRun::SyncGroup(std::size_t from, std::size_t to) {
    if (!grouped_) return;
    std::map<std::uint64_t, Result<>> synced;  // one sync per file system
    for (std::size_t i = from; i < to; ++i) {
        std::optional<Prepared>& prepared = slots_[i].prepared;
        if (!prepared || !*prepared || !(**prepared)->writer) continue;
        auto [at, first] = synced.try_emplace((**prepared)->device);
        if (first) at->second = fs_.SyncWholeFileSystemOf((**prepared)->target);
        if (!at->second) {
            prepared.emplace(at->second.error().As("the temporary file cannot be flushed to disk"));
        }
    }
}

void JobRun::Finish(std::size_t index) {
    std::optional<Prepared>& prepared = slots_[index].prepared;
    jobs_.Finish(index, prepared ? &*prepared : nullptr);
    if (prepared && *prepared && (**prepared)->writer && (**prepared)->writer->Renamed()) {
        const std::string& target = (**prepared)->target;
        folders_.try_emplace(Utf8FromPath(PathFromUtf8(target).parent_path()), target);
    }
    // The writer of a file not put in place removes its temporary file.
    prepared.reset();
}

std::size_t JobRun::Run() {
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < WorkerCount(); ++i) workers.emplace_back([this] { Work(); });
    std::size_t at = 0;
    while (at < slots_.size()) {
        const std::size_t to = GatherGroup(at);
        if (to == at) break;  // stopped before the next item
        SyncGroup(at, to);
        std::size_t i = at;
        // In a hurry, the items not yet in place are given up (their
        // writers remove their temporary files); those in place are finished.
        for (; i < to && !Hurrying(); ++i) Finish(i);
        at = i;
        const std::lock_guard lock(mutex_);
        finished_ = at;
        changed_.notify_all();
        if (at < to) break;
    }
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
        changed_.notify_all();
    }
    for (std::thread& worker : workers) worker.join();
    slots_.clear();
    for (const auto& [folder, file] : folders_) fs_.SyncFolderOf(file);
    return at;
}

}  // namespace

std::size_t RunFileJobs(FileJobs& jobs, FileSystem& fs, const JobOptions& options) {
    return JobRun(jobs, fs, options).Run();
}

}  // namespace pemberlock
