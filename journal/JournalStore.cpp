// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalStore.h"

#include "fileio/Utf8Path.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <tuple>

namespace pemberlock {
namespace {

// The line that says when a mark was written, in ns since 1970: which of
// two drops was undone last, to be redone first.
std::string Stamp() {
    return std::to_string(std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count()) +
           "\n";
}

// A name that is a number: a drop's folder in the journal, or a kept file in a drop's.
std::optional<std::uint64_t> NumberNamed(const std::string& name) {
    std::uint64_t number = 0;
    const char* end = name.data() + name.size();
    const auto [at, error] = std::from_chars(name.data(), end, number);
    if (name.empty() || error != std::errc() || at != end) return std::nullopt;
    return number;
}

std::string Join(const std::string& folder, const std::string& name) {
    return Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));
}

// Enough tries to get past other programs claiming numbers at the same moment.
constexpr int kClaimTries = 100;

}  // namespace

std::string JournalStore::DropFolder(std::uint64_t number) const {
    // Zero-padded, so that a file manager lists the drops in order.
    char name[24];
    std::snprintf(name, sizeof name, "%08llu", static_cast<unsigned long long>(number));
    return Join(folder_, name);
}

std::string JournalStore::InDrop(std::uint64_t number, const std::string& name) const {
    return Join(DropFolder(number), name);
}

Result<std::vector<std::uint64_t>> JournalStore::Drops() {
    if (fs_.Status(folder_).kind == FileKind::Missing) return std::vector<std::uint64_t>{};
    if (Result<> mine = CheckOwner(); !mine) return mine.error();
    Result<std::vector<FolderEntry>> entries = fs_.ListFolder(folder_);
    if (!entries) return entries.error().As("the journal folder " + folder_ + " cannot be read");
    std::vector<std::uint64_t> numbers;
    for (const FolderEntry& entry : *entries) {
        const std::optional<std::uint64_t> number = NumberNamed(entry.name);
        if (entry.kind == FolderEntry::Kind::Folder && number) {
            numbers.push_back(*number);
        }
    }
    std::sort(numbers.rbegin(), numbers.rend());
    return numbers;
}

// As a version control system refuses a repository that another user owns:
// another user's manifests could name any file for an undo to overwrite.
Result<> JournalStore::CheckOwner() {
    const std::optional<std::uint32_t> me = fs_.CurrentUser();
    if (!me) return {};
    const FileStatus status = fs_.Status(folder_);
    if (status.kind == FileKind::Missing || status.owner == *me) return {};
    return Error{"the journal folder " + folder_ + " belongs to another user (user id " +
                 std::to_string(status.owner) + ")"};
}

// A parent that cannot be made is named in the cause, so that the user
// knows where to look.
Result<> JournalStore::MakeFolders(const std::string& folder) {
    const FileStatus status = fs_.Status(folder);
    if (status.kind == FileKind::Directory) return {};
    const std::string parent = Utf8FromPath(PathFromUtf8(folder).parent_path());
    if (status.kind == FileKind::Missing && !parent.empty() && parent != folder) {
        if (Result<> made = MakeFolders(parent); !made) return made;
    }
    const std::string where = folder == folder_ ? "" : folder + ": ";
    const Result<bool> made = fs_.MakeFolder(folder);
    if (!made) return Error{{}, 0, where + made.error().cause};
    if (!*made && fs_.Status(folder).kind != FileKind::Directory) {
        return Error{{}, 0, where + "something other than a folder is in its place"};
    }
    return {};
}

void JournalStore::RemoveDrop(std::uint64_t number) {
    // Best effort: a drop that cannot be removed now is tried again next time.
    const std::string folder = DropFolder(number);
    if (Result<std::vector<FolderEntry>> files = fs_.ListFolder(folder)) {
        // The summary first, so that what is left is read from the files
        // themselves; then the kept files, in the order they were kept,
        // which is about the order in which the old files were made, rather
        // than a listing's (often hashed) order; then the manifest, then the
        // marks. A removal cut short then leaves a drop that reads as
        // undone, or one that records nothing, never one whose record looks
        // damaged.
        std::vector<std::tuple<int, std::uint64_t, std::string>> names;
        for (FolderEntry& file : *files) {
            const std::optional<std::uint64_t> kept = NumberNamed(file.name);
            const int rank = file.name == kSummary ? 0 : kept ? 1 : file.name == kManifest ? 2 : 3;
            names.emplace_back(rank, kept.value_or(0), std::move(file.name));
        }
        std::sort(names.begin(), names.end());
        for (const auto& [rank, order, name] : names) (void)fs_.Remove(Join(folder, name));
    }
    (void)fs_.RemoveFolder(folder);
}

std::vector<HeldDrop> JournalStore::Holdings(std::optional<std::uint64_t> recording) {
    std::vector<HeldDrop> drops;
    if (Result<std::vector<std::uint64_t>> numbers = Drops()) {
        for (const std::uint64_t number : *numbers) {
            drops.push_back({number, number == recording ? 0 : Held(number)});
        }
    }
    return drops;
}

void JournalStore::Trim(std::vector<HeldDrop>& drops, std::size_t keep, std::uint64_t limit) {
    std::vector<std::uint64_t> held;
    for (const HeldDrop& drop : drops) held.push_back(drop.held);
    const std::size_t kept = DropsKept(held, keep, limit);
    for (std::size_t i = kept; i < drops.size(); ++i) RemoveDrop(drops[i].number);
    drops.resize(kept);
}

std::optional<std::uint64_t> JournalStore::StoredLimit() {
    const std::string path = Join(folder_, kLimit);
    if (fs_.LinkStatus(path).kind != FileKind::Regular) return std::nullopt;
    const Result<std::string> text = ReadWholeFile(fs_, path);
    return text ? ParseLimitLine(*text) : std::nullopt;
}

JournalLimit JournalStore::Limit() {
    if (const std::optional<std::uint64_t> stored = StoredLimit()) return {*stored, true};
    // Before the journal's folder is made, the nearest folder above it is
    // on the same disk, as like as not.
    std::filesystem::path folder = PathFromUtf8(folder_);
    while (fs_.Status(Utf8FromPath(folder)).kind == FileKind::Missing &&
           folder.has_relative_path()) {
        folder = folder.parent_path();
    }
    const Result<std::uint64_t> free = fs_.FreeSpace(Utf8FromPath(folder));
    return {DefaultLimit(free ? std::optional(*free) : std::nullopt), false};
}

Result<> JournalStore::StoreLimit(std::optional<std::uint64_t> bytes) {
    const std::string path = Join(folder_, kLimit);
    if (bytes) return WriteWhole(path, LimitLine(*bytes));
    if (fs_.LinkStatus(path).kind == FileKind::Missing) return {};
    return fs_.Remove(path);
}

Result<> JournalStore::Make() {
    if (Result<> made = MakeFolders(folder_); !made) {
        return made.error().As("the journal folder " + folder_ + " cannot be made");
    }
    return CheckOwner();
}

Result<std::uint64_t> JournalStore::NewDrop() {
    if (Result<> made = Make(); !made) return made.error();
    Result<std::vector<std::uint64_t>> drops = Drops();
    if (!drops) return drops.error();
    std::uint64_t number = drops->empty() ? 1 : drops->front() + 1;
    for (int tries = 0; tries < kClaimTries; ++tries, ++number) {
        const Result<bool> made = fs_.MakeFolder(DropFolder(number));
        if (!made) return made.error().As("the drop's folder cannot be made in " + folder_);
        if (*made) return number;
    }
    return Error{"no new drop folder could be claimed in " + folder_};
}

std::size_t DropRecord::Replaced() const {
    return static_cast<std::size_t>(
        std::count_if(manifest.entries.begin(), manifest.entries.end(),
                      [](const ManifestEntry& entry) { return entry.replaced; }));
}

std::uint64_t JournalStore::LastKept(std::uint64_t number) {
    std::uint64_t last = 0;
    if (Result<std::vector<FolderEntry>> files = fs_.ListFolder(DropFolder(number))) {
        for (const FolderEntry& file : *files) {
            last = std::max(last, NumberNamed(file.name).value_or(0));
        }
    }
    return last;
}

DropRecord JournalStore::Read(std::uint64_t number) {
    DropRecord record;
    record.started = fs_.Status(DropFolder(number)).modified / 1'000'000'000;
    record.partlyRecorded = fs_.Status(InDrop(number, kIncomplete)).kind != FileKind::Missing;
    const std::string path = InDrop(number, kManifest);
    const FileStatus status = fs_.LinkStatus(path);
    if (status.kind == FileKind::Missing) {
        // A drop that kept nothing recorded nothing; one that kept old bytes
        // had a manifest, removed when recording failed and could not say so.
        if (LastKept(number) > 0) record.damage = "no manifest";
        return record;
    }
    if (status.kind != FileKind::Regular) {
        record.damage = "the manifest is not a regular file";
        return record;
    }
    const Result<std::string> text = ReadWholeFile(fs_, path);
    if (!text) {
        record.damage = text.error().As("the manifest cannot be read").Text();
        return record;
    }
    Result<Manifest> manifest = ParseManifest(*text);
    // A drop killed before its first line was written kept nothing either.
    if (!manifest && LastKept(number) == 0) return record;
    if (!manifest) {
        const Error& error = manifest.error();
        record.damage = error.line ? "line " + std::to_string(error.line) : error.what;
        return record;
    }
    record.manifest = std::move(*manifest);
    record.started = record.manifest.started;
    record.partlyRecorded = record.partlyRecorded || record.manifest.incomplete;
    // A drop that did not end (it was killed) may have kept the old bytes of
    // no more patches than its manifest lists: version 1 wrote each entry
    // after keeping its old bytes, version 2 before. More kept files mean
    // lines were lost from the end.
    if (!record.manifest.ended) {
        const std::size_t listed = record.manifest.entries.size();
        if (LastKept(number) > listed + (record.manifest.version == 1 ? 1 : 0)) {
            record.damage = "cut short after line " + std::to_string(record.manifest.lines);
        }
    }
    return record;
}

bool JournalStore::Undone(std::uint64_t number) { return Marked(number, kUndone); }

Result<> JournalStore::WriteMark(const std::string& path, const std::string& text) {
    Result<std::unique_ptr<OutputFile>> file = fs_.CreateFresh(path, 0600);
    if (!file) return file.error();
    if (Result<> written = (*file)->Write(text.data(), text.size()); !written) return written;
    return (*file)->Close();
}

Result<> JournalStore::WriteWhole(const std::string& path, const std::string& text) {
    Result<std::unique_ptr<OutputFile>> file = fs_.CreateFresh(path + ".tmp", 0600);
    if (!file) return file.error();
    Result<> written = (*file)->Write(text.data(), text.size());
    if (written) written = (*file)->Close();
    if (written) written = (*file)->Replace(path);
    if (!written) (*file)->Discard();
    return written;
}

bool JournalStore::Marked(std::uint64_t number, const char* mark) {
    return fs_.Status(InDrop(number, mark)).kind != FileKind::Missing;
}

Result<> JournalStore::MarkUndone(std::uint64_t number, std::int64_t when) {
    if (Result<> marked =
            WriteMark(InDrop(number, kUndone), "undone " + std::to_string(when) + "\n" + Stamp());
        !marked) {
        return marked.error().As("the drop cannot be marked as undone");
    }
    (void)fs_.Remove(InDrop(number, kNotRestored));
    (void)fs_.Remove(InDrop(number, kNotRedone));
    return {};
}

std::optional<std::uint64_t> JournalStore::CountIn(std::uint64_t number, const char* mark) {
    const std::string path = InDrop(number, mark);
    if (fs_.LinkStatus(path).kind != FileKind::Regular) return std::nullopt;
    // A mark that cannot be read still says that some were left: 0, how
    // many unknown.
    const Result<std::string> text = ReadWholeFile(fs_, path);
    if (!text) return 0;
    return NumberNamed(text->substr(0, text->find('\n'))).value_or(0);
}

std::optional<std::uint64_t> JournalStore::NotRestored(std::uint64_t number) {
    return CountIn(number, kNotRestored);
}

Result<> JournalStore::MarkNotRestored(std::uint64_t number, std::uint64_t count) {
    Result<> marked =
        WriteMark(InDrop(number, kNotRestored), std::to_string(count) + "\n" + Stamp());
    if (marked) (void)fs_.Remove(InDrop(number, kNotRedone));
    return marked;
}

std::optional<std::uint64_t> JournalStore::NotRedone(std::uint64_t number) {
    return CountIn(number, kNotRedone);
}

// Written before the others go, so that a redo killed part-way leaves a
// drop that both an undo and a redo take.
Result<> JournalStore::MarkNotRedone(std::uint64_t number, std::uint64_t count) {
    if (Result<> marked =
            WriteMark(InDrop(number, kNotRedone), std::to_string(count) + "\n" + Stamp());
        !marked) {
        return marked.error().As("the drop cannot be marked as partly redone");
    }
    for (const char* mark : {kUndone, kNotRestored}) {
        if (Marked(number, mark)) {
            if (Result<> removed = fs_.Remove(InDrop(number, mark)); !removed) {
                return removed.error().As("the drop cannot be marked as partly redone");
            }
        }
    }
    return {};
}

// The mark that lets an undo pass over the drop goes first.
Result<> JournalStore::MarkRedone(std::uint64_t number) {
    for (const char* mark : {kUndone, kNotRestored, kNotRedone}) {
        if (Marked(number, mark)) {
            if (Result<> removed = fs_.Remove(InDrop(number, mark)); !removed) {
                return removed.error().As("the drop cannot be marked as redone");
            }
        }
    }
    return {};
}

std::optional<std::int64_t> JournalStore::UndoneAt(std::uint64_t number) {
    std::optional<std::int64_t> when;
    for (const char* mark : {kUndone, kNotRestored, kNotRedone}) {
        const std::string path = InDrop(number, mark);
        const FileStatus status = fs_.LinkStatus(path);
        if (status.kind == FileKind::Missing) continue;
        // The mark's second line; a file's time (marks of earlier releases
        // have no such line) may be as coarse as a few milliseconds.
        std::int64_t at = status.modified;
        if (const Result<std::string> text = ReadWholeFile(fs_, path)) {
            const std::size_t second = text->find('\n') + 1;
            const std::size_t end = text->find('\n', second);
            if (second > 0 && end != std::string::npos) {
                (void)ReadNumber(std::string_view(*text).substr(second, end - second), at);
            }
        }
        when = std::max(when.value_or(at), at);
    }
    return when;
}

Result<> JournalStore::WriteOrigin(std::uint64_t number, const DropOrigin& origin) {
    return WriteWhole(InDrop(number, kOrigin), origin.program + "\n" + origin.folder + "\n");
}

DropOrigin JournalStore::Origin(std::uint64_t number) {
    // Two short lines; anything longer than a path may be is not one.
    constexpr std::uint64_t kMostBytes = 8192;
    const std::string path = InDrop(number, kOrigin);
    const FileStatus status = fs_.LinkStatus(path);
    if (status.kind != FileKind::Regular || status.size > kMostBytes) return {};
    const Result<std::string> text = ReadWholeFile(fs_, path);
    if (!text) return {};
    const std::size_t first = text->find('\n');
    const std::size_t second = first == std::string::npos ? first : text->find('\n', first + 1);
    if (second == std::string::npos) return {};
    return {text->substr(0, first), text->substr(first + 1, second - first - 1)};
}

std::optional<DropSummary> JournalStore::Summary(std::uint64_t number) {
    const std::string path = InDrop(number, kSummary);
    if (fs_.LinkStatus(path).kind != FileKind::Regular) return std::nullopt;
    const Result<std::string> text = ReadWholeFile(fs_, path);
    if (!text) return std::nullopt;
    std::optional<DropSummary> summary = ParseSummary(*text);
    // The marks are what an undo goes by; a summary behind them (an undo by
    // a release that wrote none, or one that could not be written, or a
    // redo under way) is stale.
    using State = DropSummary::State;
    if (summary && ((summary->state == State::Undone) != Undone(number) ||
                    (summary->state == State::PartlyRedone) != Marked(number, kNotRedone))) {
        return std::nullopt;
    }
    return summary;
}

Result<> JournalStore::WriteSummary(std::uint64_t number, const DropSummary& summary) {
    return WriteWhole(InDrop(number, kSummary), SummaryLine(summary));
}

void JournalStore::Summarize(std::uint64_t number, const DropRecord& record) {
    using State = DropSummary::State;
    DropSummary summary;
    summary.patches = record.Replaced();
    summary.started = record.started;
    summary.held = HeldByFiles(number);
    summary.manifest = StampOf(number);
    if (!record.damage.empty()) {
        summary.state = State::Damaged;
        summary.damage = record.damage;
    } else if (record.partlyRecorded) {
        summary.state = State::PartlyRecorded;
    } else if (Undone(number)) {
        summary.state = State::Undone;
    } else if (const std::optional<std::uint64_t> left = NotRestored(number)) {
        summary.state = State::PartlyUndone;
        summary.notRestored = *left;
    } else if (const std::optional<std::uint64_t> notRedone = NotRedone(number)) {
        summary.state = State::PartlyRedone;
        summary.notRestored = *notRedone;
    }
    if (!WriteSummary(number, summary)) (void)fs_.Remove(InDrop(number, kSummary));
}

std::optional<ManifestStamp> JournalStore::StampOf(std::uint64_t number) {
    const std::string path = InDrop(number, kManifest);
    if (fs_.LinkStatus(path).kind != FileKind::Regular) return std::nullopt;
    const Result<std::string> text = ReadWholeFile(fs_, path);
    if (!text) return std::nullopt;
    return ManifestStamp{text->size(), DigestOf(*text)};
}

std::uint64_t JournalStore::Held(std::uint64_t number) {
    // An undo moves the kept files back out and keeps the rewritten ones in
    // their place, a redo the other way round: the files themselves then
    // tell until the drop is done again.
    if (!Marked(number, kUndone) && !Marked(number, kNotRestored) && !Marked(number, kNotRedone)) {
        if (const std::optional<DropSummary> summary = Summary(number)) return summary->held;
    }
    return HeldByFiles(number);
}

std::uint64_t JournalStore::HeldByFiles(std::uint64_t number) {
    std::uint64_t held = 0;
    if (Result<std::vector<FolderEntry>> files = fs_.ListFolder(DropFolder(number))) {
        for (const FolderEntry& file : *files) {
            const std::string_view name = file.name;
            const bool rewritten = name.ends_with(kRewritten);
            const std::string kept(rewritten ? name.substr(0, name.size() - std::strlen(kRewritten))
                                             : name);
            if (!NumberNamed(kept)) continue;
            const FileStatus status = fs_.LinkStatus(InDrop(number, file.name));
            if (status.kind == FileKind::Regular && status.links <= 1) held += status.size;
        }
    }
    return held;
}

std::int64_t SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace pemberlock
