// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/ContentHash.h"
#include "fileio/FileSystem.h"

#include <cstdint>
#include <string>

namespace pemberlock {

// A patch a drop is about to replace.
struct ReplacedPatch {
    std::string target;       // the file replaced (a link's target)
    FileStatus old;           // what it was when it was read
    ContentDigest oldDigest;  // of the bytes read (old.size of them)
    std::uint64_t newSize = 0;
    ContentDigest newDigest;
    FileStatus written;  // the file put in its place (its device and inode)
};

// Keeps what a drop replaces, so that the drop can be taken back. A drop
// calls it around each rename, from the thread that runs the drop.
class DropJournal {
public:
    virtual ~DropJournal() = default;
    // patch.target is about to be replaced: keep its old bytes and record
    // the replacement before returning. A journal that fails keeps failing
    // and says so itself; the drop goes on without it.
    virtual void BeforeReplace(const ReplacedPatch& patch) = 0;
    // Whether the replacement just announced took place; one that did not
    // must not count as done.
    virtual void AfterReplace(bool done) = 0;
};

}  // namespace pemberlock
