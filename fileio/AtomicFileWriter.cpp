// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/AtomicFileWriter.h"

#include <cstring>
#include <utility>

namespace pemberlock {
namespace {
// Large enough that writes cost one system call per many lines.
constexpr std::size_t kBufferSize = 256 * 1024;
}  // namespace

AtomicFileWriter::AtomicFileWriter(FileSystem& fs, std::string targetPath, std::string tempPath,
                                   std::vector<char>* buffer)
    : fs_(fs),
      targetPath_(std::move(targetPath)),
      tempPath_(std::move(tempPath)),
      buffer_(buffer ? *buffer : ownBuffer_) {}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

void AtomicFileWriter::Fail(const Error& cause, const char* what) {
    if (!failure_) failure_ = cause.As(what);
}

Result<> AtomicFileWriter::Open(std::uint32_t permissions, const FileStatus* owner) {
    Result<std::unique_ptr<OutputFile>> file = fs_.CreateFresh(tempPath_, permissions);
    if (!file) {
        Fail(file.error(), "the temporary file cannot be created");
        return *failure_;
    }
    file_ = std::move(*file);
    written_ = file_->Status();
    if (owner) file_->CopyOwner(*owner);
    if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
    return {};
}

Result<> AtomicFileWriter::OpenToMove(const std::string& existing) {
    Result<std::unique_ptr<OutputFile>> file = fs_.HoldToMove(existing);
    if (!file) return file.error().As("the file to put in place cannot be held");
    file_ = std::move(*file);
    written_ = file_->Status();
    tempPath_ = existing;
    moved_ = true;
    return {};
}

void AtomicFileWriter::Write(std::string_view bytes) {
    if (moved_ && !bytes.empty()) {
        Fail(Error{"it is a finished file"}, "the temporary file cannot be written");
    }
    if (failure_ || !file_) return;
    hasher_.Update(bytes);
    if (bytes.size() > buffer_.size() - used_) {
        if (!WriteOut()) return;
        if (bytes.size() >= buffer_.size()) {
            if (Result<> written = file_->Write(bytes.data(), bytes.size()); !written) {
                Fail(written.error(), "the temporary file cannot be written");
            }
            return;
        }
    }
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

bool AtomicFileWriter::WriteOut() {
    if (!failure_ && used_ > 0) {
        if (Result<> written = file_->Write(buffer_.data(), used_); !written) {
            Fail(written.error(), "the temporary file cannot be written");
        }
    }
    used_ = 0;
    return !failure_;
}

Result<> AtomicFileWriter::Close(bool flush) {
    if (!file_ && !failure_) failure_ = Error{"the temporary file was never opened"};
    if (failure_ || !WriteOut()) return *failure_;
    // Before the flush, so that the time is as durable as the bytes.
    if (modified_ && !moved_) (void)file_->SetModified(*modified_);
    // The new content must be on stable storage before its name replaces the
    // old file; otherwise a crash could leave an empty file under the name.
    const Result<> flushed = flush ? file_->Flush() : Result<>();
    // Still held after this, until renamed or abandoned.
    const Result<> closed = file_->Close();
    if (!flushed) {
        Fail(flushed.error(), "the temporary file cannot be flushed to disk");
    } else if (!closed) {
        Fail(closed.error(), "the temporary file cannot be closed");
    }
    if (failure_) return *failure_;
    closed_ = true;
    return {};
}

Result<> AtomicFileWriter::Rename() {
    if (!closed_ && !failure_) failure_ = Error{"the temporary file was not closed"};
    if (failure_) return *failure_;
    if (Result<> renamed = file_->Replace(targetPath_); !renamed) {
        Fail(renamed.error(), "the temporary file cannot be put in place of the original");
        Abandon();
        return *failure_;
    }
    renamed_ = true;
    file_.reset();
    return {};
}

Result<> AtomicFileWriter::Commit() {
    if (Result<> closed = Close(true); !closed) return closed;
    return Rename();
}

void AtomicFileWriter::Abandon() {
    if (!file_ || renamed_) return;
    file_->Discard();
    file_.reset();
}

}  // namespace pemberlock
