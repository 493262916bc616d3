#include "patch/HeldBytes.h"

#include <utility>

namespace pemberlock {
namespace {
constexpr std::size_t kReadChunk = 64 * 1024;
}  // namespace

HeldBytes::HeldBytes(std::size_t memoryLimit, ScratchOpener openScratch)
    : memoryLimit_(memoryLimit), openScratch_(std::move(openScratch)) {}

void HeldBytes::Write(std::string_view bytes) {
    if (failed_) return;
    if (!openScratch_ || memory_.size() + bytes.size() <= memoryLimit_) {
        memory_.append(bytes);
        return;
    }
    if (!scratch_) {
        scratch_ = openScratch_();
        if (!scratch_) {
            failed_ = true;
            return;
        }
    }
    // What is in memory goes first, so the scratch file keeps the order.
    failed_ = !scratch_->Write(memory_.data(), memory_.size()) ||
              !scratch_->Write(bytes.data(), bytes.size());
    memory_.clear();
}

bool HeldBytes::MoveTo(ByteSink& out) {
    if (scratch_ && !failed_) {
        failed_ = !scratch_->Rewind();
        std::string chunk(kReadChunk, '\0');
        while (!failed_) {
            const std::ptrdiff_t got = scratch_->Read(chunk.data(), chunk.size());
            failed_ = got < 0;
            if (got <= 0) break;
            out.Write(std::string_view(chunk.data(), static_cast<std::size_t>(got)));
        }
        scratch_.reset();
    }
    if (failed_) return false;
    out.Write(memory_);
    memory_.clear();
    memory_.shrink_to_fit();
    return true;
}

}  // namespace pemberlock
