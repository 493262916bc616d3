#include "fileio/AtomicFileWriter.h"

#include <cstring>
#include <utility>

namespace pemberlock {
namespace {
// Large enough that writes cost one system call per many lines.
constexpr std::size_t kBufferSize = 256 * 1024;
}  // namespace

AtomicFileWriter::AtomicFileWriter(FileSystem& fs, std::string targetPath, std::string tempPath)
    : fs_(fs), targetPath_(std::move(targetPath)), tempPath_(std::move(tempPath)) {}

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
    if (owner) file_->CopyOwner(*owner);
    buffer_.resize(kBufferSize);
    return {};
}

void AtomicFileWriter::Write(std::string_view bytes) {
    if (failure_ || !file_) return;
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

Result<> AtomicFileWriter::Commit() {
    if (!file_ && !failure_) failure_ = Error{"the temporary file was never opened"};
    if (failure_ || !WriteOut()) return *failure_;
    // The new content must be on stable storage before its name replaces the
    // old file; otherwise a crash could leave an empty file under the name.
    const Result<> flushed = file_->Flush();
    const Result<> closed = file_->Close();
    file_.reset();
    if (!flushed) {
        Fail(flushed.error(), "the temporary file cannot be flushed to disk");
    } else if (!closed) {
        Fail(closed.error(), "the temporary file cannot be closed");
    } else if (Result<> renamed = fs_.RenameOver(tempPath_, targetPath_); !renamed) {
        Fail(renamed.error(), "the temporary file cannot be put in place of the original");
    }
    if (failure_) return *failure_;
    return {};
}

void AtomicFileWriter::Abandon() {
    if (file_) {
        WriteOut();
        (void)file_->Close();
        file_.reset();
    }
}

}  // namespace pemberlock
