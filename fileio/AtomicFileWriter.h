#pragma once

#include "fileio/ByteSink.h"
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
// written through); Write() buffers; Commit() writes out the buffer, flushes
// to stable storage, closes and renames the temporary file over the target.
// After any failure the target is untouched.
class AtomicFileWriter final : public ByteSink {
public:
    AtomicFileWriter(FileSystem& fs, std::string targetPath, std::string tempPath);
    ~AtomicFileWriter() override;

    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // The new file gets these permission bits and, where the process may,
    // the owner and group of owner.
    Result<> Open(std::uint32_t permissions, const FileStatus* owner = nullptr);
    void Write(std::string_view bytes) override;
    const Error* Failure() const override { return failure_ ? &*failure_ : nullptr; }
    Result<> Commit();
    // Closes the temporary file without renaming it, leaving it on disk.
    void Abandon();

    const std::string& TempPath() const { return tempPath_; }

private:
    void Fail(const Error& cause, const char* what);
    bool WriteOut();

    FileSystem& fs_;
    std::string targetPath_;
    std::string tempPath_;
    std::unique_ptr<OutputFile> file_;
    std::vector<char> buffer_;
    std::size_t used_ = 0;
    std::optional<Error> failure_;
};

}  // namespace pemberlock
