// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/ChunkedReader.h"

namespace pemberlock {

Result<std::string> ReadWholeFile(FileSystem& fs, const std::string& path) {
    Result<std::unique_ptr<InputFile>> in = fs.OpenRead(path);
    if (!in) return in.error();
    std::string text;
    std::vector<char> buffer(64 * 1024);
    if (Result<> read =
            ReadChunks(**in, buffer, nullptr, [&](std::string_view piece) { text.append(piece); });
        !read) {
        return read.error();
    }
    return text;
}

}  // namespace pemberlock
