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

bool AtomicFileWriter::Open(std::uint32_t permissions) {
    file_ = fs_.CreateFresh(tempPath_, permissions);
    failed_ = !file_;
    if (file_) buffer_.resize(kBufferSize);
    return !failed_;
}

void AtomicFileWriter::Write(std::string_view bytes) {
    if (failed_) return;
    if (bytes.size() > buffer_.size() - used_) {
        if (!WriteOut()) return;
        if (bytes.size() >= buffer_.size()) {
            failed_ = !file_->Write(bytes.data(), bytes.size());
            return;
        }
    }
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

bool AtomicFileWriter::WriteOut() {
    if (!failed_ && used_ > 0) failed_ = !file_->Write(buffer_.data(), used_);
    used_ = 0;
    return !failed_;
}

bool AtomicFileWriter::Commit() {
    if (failed_ || !file_ || !WriteOut()) return false;
    // The new content must be on stable storage before its name replaces the
    // old file; otherwise a crash could leave an empty file under the name.
    const bool flushed = file_->Flush();
    const bool closed = file_->Close();
    file_.reset();
    failed_ = !(flushed && closed && fs_.ReplaceFile(tempPath_, targetPath_));
    return !failed_;
}

void AtomicFileWriter::Abandon() {
    if (file_) {
        WriteOut();
        file_->Close();
        file_.reset();
    }
}

}  // namespace pemberlock
