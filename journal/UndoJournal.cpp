// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/UndoJournal.h"

#include "fileio/Utf8Path.h"

#include <chrono>
#include <thread>

namespace pemberlock {
namespace {
// Often enough that a waiting program goes on soon after the other ends.
constexpr auto kLockPoll = std::chrono::milliseconds(100);
}  // namespace

UndoJournal::UndoJournal(FileSystem& fs, JournalPlace place)
    : fs_(fs), place_(std::move(place)), store_(fs, place_.folder) {}

Result<std::unique_ptr<HeldLock>> UndoJournal::Hold(const std::function<void()>& waiting,
                                                    const std::atomic<bool>* stop) {
    if (place_.folder.empty()) return std::unique_ptr<HeldLock>();
    // A journal that cannot be made is no reason to stop a drop: it runs
    // unrecorded and says why.
    if (!store_.Make()) return std::unique_ptr<HeldLock>();
    const std::string lock = Utf8FromPath(PathFromUtf8(place_.folder) / "lock");
    bool told = false;
    for (;;) {
        Result<std::unique_ptr<HeldLock>> held = fs_.TryLock(lock);
        if (!held) return held.error().As("the journal's lock " + lock + " cannot be taken");
        if (*held) return held;
        if (!told && waiting) waiting();
        told = true;
        if (stop && stop->load()) return Error{"stopped while waiting for another drop to finish"};
        std::this_thread::sleep_for(kLockPoll);
    }
}

std::unique_ptr<DropRecorder> UndoJournal::Record() {
    if (!place_.folder.empty()) return std::make_unique<DropRecorder>(fs_, store_, kKeptDrops);
    if (!place_.problem.empty()) return std::make_unique<DropRecorder>(Error{place_.problem});
    return nullptr;
}

Result<std::vector<RecordedDrop>> UndoJournal::History() {
    if (place_.folder.empty())
        return place_.problem.empty() ? Error{"no journal is kept"} : Error{place_.problem};
    Result<std::vector<std::uint64_t>> drops = store_.Drops();
    if (!drops) return drops.error();
    std::vector<RecordedDrop> history;
    for (const std::uint64_t number : *drops) {
        const Result<Manifest> manifest = store_.ReadManifest(number);
        if (!manifest || manifest->entries.empty()) continue;
        history.push_back(
            {number, manifest->started, manifest->entries.size(), store_.Undone(number)});
    }
    return history;
}

Result<std::optional<std::pair<std::uint64_t, Manifest>>> UndoJournal::LastToUndo() {
    if (place_.folder.empty())
        return Error{place_.problem.empty() ? "no journal is kept" : place_.problem};
    Result<std::vector<std::uint64_t>> drops = store_.Drops();
    if (!drops) return drops.error();
    for (const std::uint64_t number : *drops) {
        if (store_.Undone(number)) continue;
        // A drop whose record cannot be read cannot be undone; the ones
        // before it still can, and the digests keep them from touching
        // anything a later drop wrote.
        Result<Manifest> manifest = store_.ReadManifest(number);
        if (!manifest || manifest->entries.empty()) continue;
        return std::optional(std::make_pair(number, std::move(*manifest)));
    }
    return std::optional<std::pair<std::uint64_t, Manifest>>();
}

bool UndoJournal::CanUndo() {
    const auto last = LastToUndo();
    return last && last->has_value();
}

Result<UndoSummary> UndoJournal::UndoLast(StatusLog& log, const UndoOptions& options) {
    auto last = LastToUndo();
    if (!last) return last.error().As("there is nothing to undo: " + last.error().what);
    if (!last->has_value()) return Error{"there is nothing to undo"};
    const auto& [number, manifest] = **last;
    // Newest first: a patch dropped twice in one drop goes back step by step.
    std::vector<RestoreItem> items;
    for (auto entry = manifest.entries.rbegin(); entry != manifest.entries.rend(); ++entry) {
        items.push_back({&*entry, store_.InDrop(number, entry->kept)});
    }
    UndoSummary summary = RestorePatches(fs_, items, log, options);
    if (summary.stopped) return summary;
    if (Result<> marked = store_.MarkUndone(number, SecondsNow()); !marked) {
        summary.notMarked = marked.error();
    }
    return summary;
}

}  // namespace pemberlock
