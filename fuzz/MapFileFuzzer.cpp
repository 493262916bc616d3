// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the map file reader with any bytes, starting from any map.
//
// Input: a 20-byte map prefix (see FuzzInput.h) giving the map before the
// load, then the map file bytes.
//
// Properties checked on every input:
// - The reader agrees with a plain model of the file: items end at a comma,
//   CR LF, LF or lone CR, blanks around them ignored; the first 18 set the
//   entries through the entry rule and the 19th must be a whole number 0..2.
//   A NUL byte or an item over 64 KiB before the 19th item ends makes it no
//   map file. Whatever follows the 19th item is never looked at.
// - All or nothing: a failed load leaves the map exactly as it was and says
//   why; a successful one sets all 18 entries and the option.
// - Every entry loaded is a whole number 0..120 as text.
// - What the writer makes of the loaded map loads back to the same map,
//   from any starting map.

#include "FuzzInput.h"

#include "map/KnobControllerMap.h"
#include "map/MapFile.h"
#include "map/NumberRules.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace pemberlock;
using namespace pemberlock::fuzz;

constexpr int kItems = KnobControllerMap::kKnobCount + 1;
constexpr std::size_t kMaxItemLength = 64 * 1024;

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// The map the model expects, or nullopt when the load must fail.
std::optional<KnobControllerMap> ModelLoad(std::string_view text, const KnobControllerMap& before) {
    std::array<std::string_view, kItems> items;
    int count = 0;
    std::size_t start = 0;
    std::size_t i = 0;
    while (count < kItems && i < text.size()) {
        const char c = text[i];
        if (c == '\0' || i - start >= kMaxItemLength) return std::nullopt;
        if (c == ',' || c == '\n' || c == '\r') {
            items[static_cast<std::size_t>(count++)] = Trim(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (count < kItems && start < text.size()) {
        items[static_cast<std::size_t>(count++)] = Trim(text.substr(start));
    }
    if (count < kItems) return std::nullopt;
    const std::optional<std::int16_t> option = TextToWholeNumber(items[kItems - 1]);
    if (!option || *option < 0 || *option > 2) return std::nullopt;
    KnobControllerMap map = before;
    for (int k = 0; k < KnobControllerMap::kKnobCount; ++k) {
        map.SetEntryText(k, items[static_cast<std::size_t>(k)]);
    }
    map.SetPrecedence(*option);
    return map;
}

bool IsEntryText(const std::string& entry) {
    if (entry.empty() || entry.size() > 3) return false;
    if (entry.size() > 1 && entry[0] == '0') return false;
    for (char c : entry) {
        if (c < '0' || c > '9') return false;
    }
    return std::stoi(entry) <= KnobControllerMap::kMaxController;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kMapPrefixSize) return 0;
    const KnobControllerMap before = MapFromPrefix(data);
    const std::string_view text(reinterpret_cast<const char*>(data) + kMapPrefixSize,
                                size - kMapPrefixSize);

    KnobControllerMap map = before;
    const Result<> parsed = ParseMapFile(text, map);
    const bool ok = parsed.ok();
    const std::optional<KnobControllerMap> expected = ModelLoad(text, before);
    FUZZ_CHECK(ok == expected.has_value());
    if (!ok) {
        FUZZ_CHECK(map == before);
        FUZZ_CHECK(!parsed.error().Text().empty());
        return 0;
    }
    FUZZ_CHECK(map == *expected);
    for (int k = 0; k < KnobControllerMap::kKnobCount; ++k)
        FUZZ_CHECK(IsEntryText(map.EntryText(k)));
    FUZZ_CHECK(map.Precedence() >= 0 && map.Precedence() <= 2);

    KnobControllerMap reloaded;  // defaults, unlike both maps above
    FUZZ_CHECK(ParseMapFile(FormatMapFile(map), reloaded));
    FUZZ_CHECK(reloaded == map);
    return 0;
}
