// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalStore.h"

#include "fileio/Utf8Path.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>

namespace pemberlock {
namespace {

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
        // In the order they were kept, which is about the order in which the
        // old files were made, rather than a listing's (often hashed) order.
        std::vector<std::pair<std::uint64_t, std::string>> names;
        for (FolderEntry& file : *files) {
            names.emplace_back(NumberNamed(file.name).value_or(0), std::move(file.name));
        }
        std::sort(names.begin(), names.end());
        for (const auto& [order, name] : names) (void)fs_.Remove(Join(folder, name));
    }
    (void)fs_.RemoveFolder(folder);
}

void JournalStore::Prune(std::size_t keep) {
    const Result<std::vector<std::uint64_t>> drops = Drops();
    for (std::size_t i = keep; drops && i < drops->size(); ++i) RemoveDrop((*drops)[i]);
}

Result<> JournalStore::Make() {
    if (Result<> made = MakeFolders(folder_); !made) {
        return made.error().As("the journal folder " + folder_ + " cannot be made");
    }
    return {};
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

Result<Manifest> JournalStore::ReadManifest(std::uint64_t number) {
    const Result<std::string> text = ReadWholeFile(fs_, InDrop(number, kManifest));
    if (!text) return text.error().As("its manifest cannot be read");
    Result<Manifest> manifest = ParseManifest(*text);
    if (!manifest) return manifest.error().As("its manifest " + manifest.error().what);
    return manifest;
}

bool JournalStore::Undone(std::uint64_t number) {
    return fs_.Status(InDrop(number, kUndone)).kind != FileKind::Missing;
}

Result<> JournalStore::MarkUndone(std::uint64_t number, std::int64_t when) {
    const std::string path = InDrop(number, kUndone);
    Result<std::unique_ptr<OutputFile>> file = fs_.CreateFresh(path, 0600);
    if (!file) return file.error().As("the drop cannot be marked as undone");
    const std::string text = "undone " + std::to_string(when) + "\n";
    Result<> done = (*file)->Write(text.data(), text.size());
    if (done) done = (*file)->Close();
    if (!done) return done.error().As("the drop cannot be marked as undone");
    return {};
}

Result<std::string> ReadWholeFile(FileSystem& fs, const std::string& path) {
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(path);
    if (!in) return in.error();
    std::string text;
    char buffer[64 * 1024];
    for (;;) {
        const Result<std::size_t> got = (*in)->Read(buffer, sizeof buffer);
        if (!got) return got.error();
        if (*got == 0) return text;
        text.append(buffer, *got);
    }
}

std::int64_t SecondsNow() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

}  // namespace pemberlock
