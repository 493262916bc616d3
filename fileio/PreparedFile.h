// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/AtomicFileWriter.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pemberlock {

// Buffers one thread reuses from file to file, so that a batch does not
// allocate them for every file.
struct RewriteBuffers {
    std::vector<char> read;
    std::vector<char> write;
};

// One file's new bytes, written and closed beside it, not yet in place. A
// kind of job adds what it needs to finish the file.
struct PreparedFile {
    PreparedFile() = default;
    PreparedFile(PreparedFile&&) = default;
    PreparedFile& operator=(PreparedFile&&) = default;
    virtual ~PreparedFile() = default;
    std::string target;                        // the file it replaces
    std::unique_ptr<AtomicFileWriter> writer;  // none: nothing to put in place
    std::uint64_t device = 0;                  // the file system that holds target
};

}  // namespace pemberlock
