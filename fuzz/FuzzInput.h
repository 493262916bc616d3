// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "map/KnobControllerMap.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace pemberlock::fuzz {

// A property that does not hold is a finding: say which and stop, so that
// libFuzzer saves the input that shows it.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                         \
        }                                                                                         \
    } while (0)

// Every fuzzer input that carries a map starts with this many bytes: the
// option, one spare byte for the target's own use, and one byte per knob.
inline constexpr std::size_t kMapPrefixSize = 2 + KnobControllerMap::kKnobCount;

// The map a prefix describes. A prefix of zero bytes gives the default map
// (knob i gets 101 + i, option 0), so readable seeds need no arithmetic.
inline KnobControllerMap MapFromPrefix(const std::uint8_t* prefix) {
    KnobControllerMap map;
    // 0, 1, 2 as a map file may hold them, and now and then a value no map
    // file can hold, which must still count as off.
    const int options[] = {0, 1, 2, 0, 1, 2, 7, -1};
    map.SetPrecedence(options[prefix[0] % 8]);
    for (int i = 0; i < KnobControllerMap::kKnobCount; ++i) {
        const int value = (101 + i + prefix[2 + i]) % 121;
        map.SetEntryText(i, std::to_string(value));
    }
    return map;
}

// The lines of text as a reader of CR LF, LF and lone CR line ends sees
// them; the last line counts when it is not empty, whatever follows it.
inline std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

}  // namespace pemberlock::fuzz
