// SPDX-License-Identifier: GPL-3.0-or-later
#include "journal/JournalPlace.h"

#include <gtest/gtest.h>

#include <map>

namespace pemberlock {
namespace {

TEST(JournalPlace, FollowsTheBaseDirectoryRules) {
    using Environment = std::map<std::string, std::string>;
    const struct {
        Environment environment;
        std::string folder;
    } cases[] = {
        {{{"XDG_STATE_HOME", "/s"}, {"HOME", "/h"}}, "/s/pemberlock/journal"},
        // Empty or relative: not set, by the rules.
        {{{"XDG_STATE_HOME", ""}, {"HOME", "/h"}}, "/h/.local/state/pemberlock/journal"},
        {{{"XDG_STATE_HOME", "s"}, {"HOME", "/h"}}, "/h/.local/state/pemberlock/journal"},
        {{{"HOME", "h"}}, ""},
        {{}, ""},
    };
    for (const auto& c : cases) {
        const JournalPlace place = JournalPlaceFrom([&](const char* name) {
            const auto found = c.environment.find(name);
            return found == c.environment.end() ? std::nullopt : std::optional(found->second);
        });
        EXPECT_EQ(place.folder, c.folder);
        EXPECT_EQ(!place.problem, !c.folder.empty());
    }
}

}  // namespace
}  // namespace pemberlock
