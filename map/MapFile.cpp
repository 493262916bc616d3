// SPDX-License-Identifier: GPL-3.0-or-later
#include "map/MapFile.h"

#include "fileio/ChunkedReader.h"

#include "fileio/TargetFile.h"
#include "map/NumberRules.h"

#include <array>
#include <string>

namespace pemberlock {
namespace {

constexpr int kItemCount = KnobControllerMap::kKnobCount + 1;
constexpr std::size_t kReadChunk = 4096;
// No entry needs more; a longer item means this is not a map file.
constexpr std::size_t kMaxItemLength = 64 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Splits map file text into items: an item ends at a comma or a line end
// (CR LF, LF or a lone CR). Stops after the 19 items the file holds, so
// that whatever follows them, however large, is never looked at.
class ItemReader {
public:
    // Adds text; true once all items are in.
    bool Feed(std::string_view text, bool atEnd) {
        for (char c : text) {
            if (Complete()) return true;
            if (afterCr_) {
                afterCr_ = false;
                if (c == '\n') continue;
            }
            if (c == ',' || c == '\n' || c == '\r') {
                afterCr_ = c == '\r';
                Push();
            } else if (c == '\0' || current_.size() == kMaxItemLength) {
                notText_ = true;
                return true;
            } else {
                current_.push_back(c);
            }
        }
        if (atEnd && !current_.empty() && !Complete()) Push();
        return Complete();
    }
    bool Complete() const { return count_ == kItemCount; }
    bool NotText() const { return notText_; }
    int Count() const { return count_; }
    const std::string& Item(int i) const { return items_[static_cast<std::size_t>(i)]; }

private:
    void Push() {
        items_[static_cast<std::size_t>(count_++)] = std::string(TrimBlanks(current_));
        current_.clear();
    }

    std::array<std::string, kItemCount> items_;
    std::string current_;
    int count_ = 0;
    bool afterCr_ = false;
    bool notText_ = false;
};

Result<> ApplyItems(const ItemReader& items, KnobControllerMap& map) {
    if (items.NotText()) {
        return Error{"not a map file (item " + std::to_string(items.Count() + 1) +
                     " holds a NUL byte or is too long)"};
    }
    if (!items.Complete()) {
        return Error{"ends after " + std::to_string(items.Count()) + " of " +
                     std::to_string(kItemCount) + " items"};
    }
    const std::string& optionText = items.Item(KnobControllerMap::kKnobCount);
    const std::optional<std::int16_t> option = TextToWholeNumber(optionText);
    if (!option) return Error{"option \"" + optionText + "\" is not a whole number"};
    if (*option < 0 || *option > 2) {
        return Error{"option " + std::to_string(*option) + " is not 0, 1 or 2"};
    }
    // Build the result aside, so that a failure leaves the map untouched.
    KnobControllerMap loaded = map;
    for (int i = 0; i < KnobControllerMap::kKnobCount; ++i) loaded.SetEntryText(i, items.Item(i));
    loaded.SetPrecedence(*option);
    map = loaded;
    return {};
}

}  // namespace

std::string FormatMapFile(const KnobControllerMap& map) {
    std::string text;
    for (int i = 0; i < KnobControllerMap::kKnobCount; ++i) {
        text += map.EntryText(i);
        text += "\r\n";
    }
    text += ' ';
    text += std::to_string(map.Precedence());
    text += " \r\n";
    return text;
}

Result<> ParseMapFile(std::string_view text, KnobControllerMap& map) {
    ItemReader items;
    items.Feed(text, true);
    return ApplyItems(items, map);
}

Result<> SaveMap(const KnobControllerMap& map, const std::string& path, FileSystem& fs) {
    return ReplaceWholeFile(fs, path, FormatMapFile(map));
}

Result<> LoadMap(KnobControllerMap& map, const std::string& path, FileSystem& fs) {
    // Only a regular file is opened: opening a FIFO or a device may set off
    // whatever waits on it.
    const FileKind kind = fs.Status(path).kind;
    if (kind == FileKind::Directory) return Error{"is a folder"};
    if (kind == FileKind::Other) return Error{"is not a regular file"};
    Result<std::unique_ptr<InputFile>> file = fs.OpenRead(path);
    if (!file) return file.error().As("cannot be opened");
    if ((*file)->Status().kind != FileKind::Regular) return Error{"is not a regular file"};
    ItemReader items;
    std::vector<char> buffer(kReadChunk);
    // Reading stops once the map's items are complete or it shows it is no text.
    bool complete = false;
    const Result<> read = ReadChunks(**file, buffer, "cannot be read", [&](std::string_view piece) {
        complete = items.Feed(piece, false) || items.NotText();
        return !complete;
    });
    if (!read) return read;
    if (!complete) items.Feed({}, true);
    return ApplyItems(items, map);
}

}  // namespace pemberlock
