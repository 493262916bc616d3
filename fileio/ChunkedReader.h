// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "fileio/FileSystem.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace pemberlock {

// Large enough that reading costs one system call per many lines.
inline constexpr std::size_t kReadChunkSize = 256 * 1024;

// Reads in (an InputFile, a ScratchFile: anything with Read(char*, size)) to
// its end in pieces of buffer's size (kReadChunkSize when empty), handing
// each piece to take. take may return void; a bool, false to stop reading
// there (a success); or a Result<>, whose failure ends the reading and is
// returned as it is; a failed read returns the
// system's reason, under readFailure's words when given. buffer is the
// caller's, so that a batch reuses one.
template <typename Source, typename Take>
Result<> ReadChunks(Source& in, std::vector<char>& buffer, const char* readFailure, Take&& take) {
    if (buffer.empty()) buffer.resize(kReadChunkSize);
    for (;;) {
        const Result<std::size_t> got = in.Read(buffer.data(), buffer.size());
        if (!got) return readFailure ? got.error().As(readFailure) : got.error();
        if (*got == 0) return {};
        const std::string_view piece(buffer.data(), *got);
        using Taken = decltype(take(piece));
        if constexpr (std::is_void_v<Taken>) {
            take(piece);
        } else if constexpr (std::is_same_v<Taken, bool>) {
            if (!take(piece)) return {};
        } else if (Result<> taken = take(piece); !taken) {
            return taken;
        }
    }
}

// Reads the whole file at path.
Result<std::string> ReadWholeFile(FileSystem& fs, const std::string& path);

}  // namespace pemberlock
