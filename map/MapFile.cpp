#include "map/MapFile.h"

#include "fileio/AtomicFileWriter.h"
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

bool SetError(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return false;
}

bool ApplyItems(const ItemReader& items, KnobControllerMap& map, std::string* error) {
    if (items.NotText()) {
        return SetError(error, "not a map file (item " + std::to_string(items.Count() + 1) +
                                   " holds a NUL byte or is too long)");
    }
    if (!items.Complete()) {
        return SetError(error, "ends after " + std::to_string(items.Count()) + " of " +
                                   std::to_string(kItemCount) + " items");
    }
    const std::string& optionText = items.Item(KnobControllerMap::kKnobCount);
    const std::optional<std::int16_t> option = TextToWholeNumber(optionText);
    if (!option) return SetError(error, "option \"" + optionText + "\" is not a whole number");
    if (*option < 0 || *option > 2) {
        return SetError(error, "option " + std::to_string(*option) + " is not 0, 1 or 2");
    }
    // Build the result aside, so that a failure leaves the map untouched.
    KnobControllerMap loaded = map;
    for (int i = 0; i < KnobControllerMap::kKnobCount; ++i) loaded.SetEntryText(i, items.Item(i));
    loaded.SetPrecedence(*option);
    map = loaded;
    return true;
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

bool ParseMapFile(std::string_view text, KnobControllerMap& map, std::string* error) {
    ItemReader items;
    items.Feed(text, true);
    return ApplyItems(items, map, error);
}

bool SaveMap(const KnobControllerMap& map, const std::string& path, FileSystem& fs) {
    // Save through a link into the file it names, keeping the link.
    std::string target = fs.ResolveLinks(path);
    if (target.empty()) target = path;
    AtomicFileWriter writer(fs, target, target + ".pemberlock-tmp");
    const FileStatus old = fs.Status(target);
    // A map file its owner has protected stays as it is.
    if (old.kind != FileKind::Missing && !old.ownerWritable) return false;
    const std::uint32_t permissions = old.kind == FileKind::Regular ? old.permissions : 0644;
    bool ok = writer.Open(permissions);
    if (ok) {
        writer.Write(FormatMapFile(map));
        ok = writer.Commit();
        if (ok) fs.SyncFolderOf(target);
    }
    if (!ok) {
        writer.Abandon();
        fs.Remove(writer.TempPath());
    }
    return ok;
}

bool LoadMap(KnobControllerMap& map, const std::string& path, FileSystem& fs, std::string* error) {
    std::unique_ptr<InputFile> file = fs.OpenRead(path);
    if (!file) return SetError(error, "cannot be opened");
    ItemReader items;
    char buffer[kReadChunk];
    for (;;) {
        const std::ptrdiff_t got = file->Read(buffer, sizeof buffer);
        if (got < 0) return SetError(error, "cannot be read");
        const bool atEnd = got == 0;
        if (items.Feed(std::string_view(buffer, static_cast<std::size_t>(got)), atEnd) ||
            items.NotText() || atEnd) {
            break;
        }
    }
    return ApplyItems(items, map, error);
}

}  // namespace pemberlock
