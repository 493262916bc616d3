// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/ByteSink.h"
#include "fileio/ContentHash.h"
#include "fileio/FileSystem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pemberlock {

// Writes a new version of a file beside it and puts it in place in one
// atomic step, so that the file is at every moment either its old content or
// its complete new content.
//
// Open() creates the temporary file afresh (a leftover one is removed, never
// written through; one another program holds is left to it, and Open()
// fails); Write() buffers; Commit() writes out the buffer, flushes to stable
// storage, closes and renames the temporary file over the target. Close()
// and Rename() are Commit() in two steps, for callers that make many files
// durable at once between them. The temporary file is this process's own
// from Open() until it is renamed; a writer destroyed or failed before that
// removes it. After any failure the target is untouched.
class AtomicFileWriter final : public ByteSink {
public:
    // buffer, when given, is used for writing and kept for the next writer,
    // so that a batch does not allocate one per file.
    AtomicFileWriter(FileSystem& fs, std::string targetPath, std::string tempPath,
                     std::vector<char>* buffer = nullptr);
    ~AtomicFileWriter() override;

    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The new file gets these permission bits and, where the process may,
    // the owner and group of owner.
    Result<> Open(std::uint32_t permissions, const FileStatus* owner = nullptr);
    // Instead of Open() and writing: the finished file existing, on the
    // target's file system, is what Rename() moves over the target, bytes,
    // permission bits, times and all; nothing may be written to it, and
    // giving up leaves it where it is. Fails where the system cannot (see
    // FileSystem::HoldToMove), with this writer still unopened.
    Result<> OpenToMove(const std::string& existing);
    void Write(std::string_view bytes) override;
    const Error* Failure() const override { return failure_ ? &*failure_ : nullptr; }
    Result<> Commit();
    // Writes out the buffer and closes the temporary file; with flush, its
    // content is on stable storage first.
    Result<> Close(bool flush);
    // Renames the closed temporary file over the target.
    Result<> Rename();
    // The modification time the written file gets as it is closed (ns since
    // 1970), rather than the time of its writing; best effort. A moved file
    // keeps its own.
    void KeepModified(std::int64_t modified) { modified_ = modified; }
    // Gives up: the temporary file, unless renamed already, is removed.
    void Abandon();

    const std::string& TempPath() const { return tempPath_; }
    bool Renamed() const { return renamed_; }
    // The temporary file (its device and inode), once open.
    const FileStatus& Written() const { return written_; }
    // Everything written so far: its digest and its size.
    ContentDigest Digest() const { return hasher_.Digest(); }
    std::uint64_t Size() const { return hasher_.Size(); }

private:
    void Fail(const Error& cause, const char* what);
    bool WriteOut();

    FileSystem& fs_;
    std::string targetPath_;
    std::string tempPath_;
    std::unique_ptr<OutputFile> file_;
    std::vector<char> ownBuffer_;
    std::vector<char>& buffer_;
    std::size_t used_ = 0;
    ContentHasher hasher_;
    std::optional<Error> failure_;
    FileStatus written_;
    std::optional<std::int64_t> modified_;
    bool moved_ = false;
    bool closed_ = false;
    bool renamed_ = false;
};

}  // namespace pemberlock
