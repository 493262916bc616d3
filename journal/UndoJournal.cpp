// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/UndoJournal.h"

#include "fileio/Utf8Path.h"

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace pemberlock {
namespace {
// Often enough that a waiting program goes on soon after the other ends.
constexpr auto kLockPoll = std::chrono::milliseconds(100);
}  // namespace

UndoJournal::UndoJournal(FileSystem& fs, JournalPlace place)
    : fs_(fs), place_(std::move(place)), store_(fs, place_.folder) {}

Result<std::unique_ptr<HeldLock>> UndoJournal::Hold(const std::function<void()>& waiting,
                                                    const std::atomic<bool>* stop, bool make) {
    if (place_.folder.empty()) return std::unique_ptr<HeldLock>();
    if (!make && fs_.Status(place_.folder).kind == FileKind::Missing) {
        return std::unique_ptr<HeldLock>();
    }
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
    if (place_.problem) return std::make_unique<DropRecorder>(*place_.problem);
    return nullptr;
}

Error UndoJournal::NoJournal() const {
    return place_.problem ? *place_.problem : Error{"no journal is kept"};
}

namespace {

// Why a drop's record cannot be trusted to undo it; empty when it can.
std::string Unsound(const DropRecord& record) {
    if (!record.damage.empty()) return "its record is damaged (" + record.damage + ")";
    if (record.partlyRecorded) return "it was only partly recorded";
    return {};
}

std::string DropName(std::uint64_t number) { return "drop " + std::to_string(number); }

}  // namespace

Result<std::vector<RecordedDrop>> UndoJournal::History() {
    if (place_.folder.empty()) return NoJournal();
    Result<std::vector<std::uint64_t>> drops = store_.Drops();
    if (!drops) return drops.error();
    std::vector<RecordedDrop> history;
    for (const std::uint64_t number : *drops) {
        RecordedDrop drop;
        drop.number = number;
        // A digest of the manifest costs a small part of reading it, and
        // tells that it is still what the summary was made of.
        std::optional<DropSummary> summary = store_.Summary(number);
        if (summary && summary->manifest != store_.StampOf(number)) summary.reset();
        if (summary) {
            if (summary->Empty()) continue;
            drop.started = summary->started;
            drop.patches = summary->patches;
            drop.damage = summary->damage;
            drop.partlyRecorded = summary->state == DropSummary::State::PartlyRecorded;
        } else {
            const DropRecord record = store_.Read(number);
            if (record.Empty()) continue;
            drop.started = record.started;
            drop.patches = record.Replaced();
            drop.damage = record.damage;
            drop.partlyRecorded = record.partlyRecorded;
        }
        drop.undone = store_.Undone(number);
        if (!drop.undone) drop.notRestored = store_.NotRestored(number);
        if (!drop.undone && !drop.notRestored) drop.notRedone = store_.NotRedone(number);
        drop.held = store_.Held(number);
        DropOrigin origin = store_.Origin(number);
        drop.program = std::move(origin.program);
        drop.folder = std::move(origin.folder);
        history.push_back(std::move(drop));
    }
    return history;
}

JournalLimit UndoJournal::Limit() { return store_.Limit(); }

Result<std::size_t> UndoJournal::SetLimit(std::optional<std::uint64_t> bytes) {
    if (place_.folder.empty()) return NoJournal();
    if (Result<> made = store_.Make(); !made) return made.error();
    if (Result<> stored = store_.StoreLimit(bytes); !stored) {
        return stored.error().As("the limit cannot be stored in " + place_.folder);
    }
    std::vector<HeldDrop> drops = store_.Holdings();
    const std::size_t before = drops.size();
    store_.Trim(drops, kKeptDrops, store_.Limit().bytes);
    return before - drops.size();
}

Result<UndoJournal::Choice> UndoJournal::Choose(const UndoChoice& which) {
    if (place_.folder.empty()) return Error{"there is nothing to undo: " + NoJournal().Text()};
    Result<std::vector<std::uint64_t>> drops = store_.Drops();
    if (!drops) return drops.error().As("there is nothing to undo: " + drops.error().what);
    if (which.drop) return ChooseNamed(*which.drop, *drops, which.skipDamaged);
    for (const std::uint64_t number : *drops) {
        if (store_.Undone(number)) continue;
        DropRecord record = store_.Read(number);
        if (record.Empty()) continue;
        // Passing over a drop that cannot be undone would undo an older one
        // under it and leave its own patches as it wrote them, unsaid.
        if (const std::string why = Unsound(record); !why.empty()) {
            if (which.skipDamaged) continue;
            return Choice{number, {}, Error{DropName(number) + " cannot be undone: " + why}};
        }
        return Choice{number, std::move(record), std::nullopt};
    }
    return Error{"there is nothing to undo"};
}

// A drop named from the history: refused while a newer drop not undone has
// changed one of its patches since, whose undo must come first.
Result<UndoJournal::Choice> UndoJournal::ChooseNamed(std::uint64_t number,
                                                     const std::vector<std::uint64_t>& drops,
                                                     bool skipDamaged) {
    const std::string name = DropName(number);
    if (std::find(drops.begin(), drops.end(), number) == drops.end()) {
        return Error{"there is no " + name};
    }
    if (store_.Undone(number)) return Error{name + " is undone already"};
    DropRecord record = store_.Read(number);
    if (record.Empty()) return Error{name + " replaced nothing"};
    if (const std::string why = Unsound(record); !why.empty()) {
        return Choice{number, {}, Error{name + " cannot be undone: " + why}};
    }
    std::set<std::string> paths;
    for (const ManifestEntry& entry : record.manifest.entries) {
        if (entry.replaced) paths.insert(entry.path);
    }
    for (const std::uint64_t newer : drops) {
        if (newer <= number || store_.Undone(newer)) continue;
        const DropRecord later = store_.Read(newer);
        const std::string before = name + " cannot be undone before " + DropName(newer);
        if (!Unsound(later).empty()) {
            if (skipDamaged) continue;
            const std::string how = later.damage.empty()
                                        ? "was only partly recorded"
                                        : "has a damaged record (" + later.damage + ")";
            return Choice{number,
                          {},
                          Error{before + ", which is not undone and " + how +
                                ", so that what it changed is unknown"}};
        }
        for (const ManifestEntry& entry : later.manifest.entries) {
            if (entry.replaced && paths.count(entry.path)) {
                return Choice{number,
                              {},
                              Error{before + ", which changed " + entry.path +
                                    " after it and is not undone"}};
            }
        }
    }
    return Choice{number, std::move(record), std::nullopt};
}

// As Choose({}) would find a drop, from each drop's mark and summary, and
// its manifest only where it has no summary to trust (a journal of an
// earlier release, a drop still being recorded or killed).
bool UndoJournal::CanUndo() {
    return AnyDropThat([this](std::uint64_t number) { return !store_.Undone(number); });
}

bool UndoJournal::AnyDropThat(const std::function<bool(std::uint64_t)>& wanted) {
    if (place_.folder.empty()) return false;
    const Result<std::vector<std::uint64_t>> drops = store_.Drops();
    if (!drops) return false;
    for (const std::uint64_t number : *drops) {
        if (!wanted(number)) continue;
        const std::optional<DropSummary> summary = store_.Summary(number);
        if (summary ? summary->Empty() : store_.Read(number).Empty()) continue;
        return true;
    }
    return false;
}

Result<UndoSummary> UndoJournal::Undo(const UndoChoice& which, StatusLog& log,
                                      const UndoOptions& options) {
    Result<Choice> choice = Choose(which);
    if (!choice) return choice.error();
    const std::uint64_t number = choice->number;
    if (choice->refused) {
        UndoSummary refused;
        refused.drop = number;
        refused.refused = choice->refused;
        return refused;
    }
    // Newest first: a patch dropped twice in one drop goes back step by step.
    const std::vector<ManifestEntry>& entries = choice->record.manifest.entries;
    std::vector<RestoreItem> items;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->replaced) items.push_back({&*entry, store_.InDrop(number, entry->kept)});
    }
    UndoSummary summary = RestorePatches(fs_, items, log, options);
    summary.drop = number;
    if (summary.stopped) {
        // Partly undone, as far as a redo can tell: it takes back the
        // patches restored so far. The next undo takes it all the same.
        if (summary.restored > 0) {
            (void)store_.MarkNotRestored(number, 0);
            store_.Summarize(number, choice->record);
        }
        return summary;
    }
    if (!summary.failures.empty()) {
        // Not undone: the next undo takes this drop again and retries them.
        (void)store_.MarkNotRestored(number, summary.failures.size());
    } else if (Result<> marked = store_.MarkUndone(number, SecondsNow()); !marked) {
        summary.notMarked = marked.error();
    }
    store_.Summarize(number, choice->record);
    return summary;
}

// The drops whose patches an undo restored, the one marked last first (of
// one moment, the older first: an undo goes from newer to older drops).
Result<UndoJournal::Choice> UndoJournal::ChooseRedo(const RedoChoice& which) {
    if (place_.folder.empty()) return Error{"there is nothing to redo: " + NoJournal().Text()};
    Result<std::vector<std::uint64_t>> drops = store_.Drops();
    if (!drops) return drops.error().As("there is nothing to redo: " + drops.error().what);
    std::vector<std::pair<std::int64_t, std::uint64_t>> undone;
    for (const std::uint64_t number : *drops) {
        if (which.drop && number != *which.drop) continue;
        if (const std::optional<std::int64_t> when = store_.UndoneAt(number)) {
            undone.emplace_back(*when, number);
        }
    }
    if (which.drop && std::find(drops->begin(), drops->end(), *which.drop) == drops->end()) {
        return Error{"there is no " + DropName(*which.drop)};
    }
    if (which.drop && undone.empty()) return Error{DropName(*which.drop) + " is not undone"};
    std::sort(undone.begin(), undone.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    for (const auto& [when, number] : undone) {
        DropRecord record = store_.Read(number);
        if (record.Empty()) continue;
        if (const std::string why = Unsound(record); !why.empty()) {
            if (which.skipDamaged && !which.drop) continue;
            return Choice{number, {}, Error{DropName(number) + " cannot be redone: " + why}};
        }
        return Choice{number, std::move(record), std::nullopt};
    }
    if (which.drop) return Error{DropName(*which.drop) + " replaced nothing"};
    return Error{"there is nothing to redo"};
}

bool UndoJournal::CanRedo() {
    return AnyDropThat(
        [this](std::uint64_t number) { return store_.UndoneAt(number).has_value(); });
}

Result<UndoSummary> UndoJournal::Redo(const RedoChoice& which, StatusLog& log,
                                      const UndoOptions& options) {
    Result<Choice> choice = ChooseRedo(which);
    if (!choice) return choice.error();
    const std::uint64_t number = choice->number;
    UndoSummary summary;
    summary.drop = number;
    if (choice->refused) {
        summary.refused = choice->refused;
        return summary;
    }
    // Partly undone from here on, so that an undo takes the drop again
    // should this redo not finish.
    const bool wasUndone = store_.Undone(number);
    if (Result<> marked = store_.MarkNotRedone(number, 0); !marked) {
        summary.refused = marked.error();
        return summary;
    }
    // Oldest first: a patch dropped twice in one drop goes forward step by step.
    std::vector<RestoreItem> items;
    for (const ManifestEntry& entry : choice->record.manifest.entries) {
        if (entry.replaced) items.push_back({&entry, store_.InDrop(number, entry.kept)});
    }
    summary = RedoPatches(fs_, items, log, options);
    summary.drop = number;
    if (summary.stopped) {
        // Stopped before it changed anything: as undone as before.
        if (wasUndone && summary.restored == 0) (void)store_.MarkUndone(number, SecondsNow());
    } else {
        if (!summary.failures.empty()) {
            (void)store_.MarkNotRedone(number, summary.failures.size());
        } else if (Result<> marked = store_.MarkRedone(number); !marked) {
            summary.notMarked = marked.error();
        }
    }
    store_.Summarize(number, choice->record);
    return summary;
}

}  // namespace pemberlock
