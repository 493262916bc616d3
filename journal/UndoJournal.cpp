#include "journal/UndoJournal.h"

#include "fileio/Utf8Path.h"
#include "journal/RestorePatch.h"

#include <map>

namespace pemberlock {

UndoJournal::UndoJournal(FileSystem& fs, JournalPlace place)
    : fs_(fs), place_(std::move(place)), store_(fs, place_.folder) {}

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

Result<UndoSummary> UndoJournal::UndoLast(StatusLog& log) {
    auto last = LastToUndo();
    if (!last) return last.error().As("there is nothing to undo: " + last.error().what);
    if (!last->has_value()) return Error{"there is nothing to undo"};
    const auto& [number, manifest] = **last;
    UndoSummary summary;
    std::map<std::string, std::string> folders;  // folder -> a file restored in it
    // Newest first: a patch dropped twice in one drop goes back step by step.
    for (auto entry = manifest.entries.rbegin(); entry != manifest.entries.rend(); ++entry) {
        log.Append("Restoring " + entry->path + "  ....  ");
        const Result<> restored = RestorePatch(fs_, *entry, store_.InDrop(number, entry->kept));
        log.Append(restored ? "Done.\r\n" : "Error!\r\n");
        ++summary.total;
        if (restored) {
            ++summary.restored;
            folders.try_emplace(Utf8FromPath(PathFromUtf8(entry->path).parent_path()), entry->path);
        } else {
            summary.failures.push_back({entry->path, restored.error()});
        }
    }
    for (const auto& [folder, file] : folders) fs_.SyncFolderOf(file);
    if (Result<> marked = store_.MarkUndone(number, SecondsNow()); !marked) {
        summary.notMarked = marked.error();
    }
    log.Append(std::to_string(summary.restored) + " of " + std::to_string(summary.total) +
               " files restored.\r\n");
    return summary;
}

}  // namespace pemberlock
