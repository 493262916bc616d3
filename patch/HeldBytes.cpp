// SPDX-License-Identifier: GPL-3.0-or-later
#include "patch/HeldBytes.h"

#include "fileio/ChunkedReader.h"

#include <utility>

namespace pemberlock {
namespace {
constexpr std::size_t kReadChunk = 64 * 1024;
}  // namespace

HeldBytes::HeldBytes(std::size_t memoryLimit, ScratchOpener openScratch)
    : memoryLimit_(memoryLimit), openScratch_(std::move(openScratch)) {}

void HeldBytes::Fail(const Error& cause) {
    if (!failure_) failure_ = cause.As("the notes cannot be held in a scratch file");
}

void HeldBytes::Write(std::string_view bytes) {
    if (failure_) return;
    if (!openScratch_ || memory_.size() + bytes.size() <= memoryLimit_) {
        memory_.append(bytes);
        return;
    }
    if (!scratch_) {
        Result<std::unique_ptr<ScratchFile>> opened = openScratch_();
        if (!opened) return Fail(opened.error());
        scratch_ = std::move(*opened);
    }
    // What is in memory goes first, so the scratch file keeps the order.
    Result<> written = scratch_->Write(memory_.data(), memory_.size());
    if (written) written = scratch_->Write(bytes.data(), bytes.size());
    if (!written) Fail(written.error());
    memory_.clear();
}

void HeldBytes::ReplayScratch(ByteSink& out) {
    if (Result<> rewound = scratch_->Rewind(); !rewound) return Fail(rewound.error());
    std::vector<char> buffer(kReadChunk);
    if (Result<> replayed = ReadChunks(*scratch_, buffer, nullptr,
                                       [&](std::string_view piece) { out.Write(piece); });
        !replayed) {
        Fail(replayed.error());
    }
}

Result<> HeldBytes::MoveTo(ByteSink& out) {
    if (scratch_ && !failure_) ReplayScratch(out);
    scratch_.reset();
    if (failure_) return *failure_;
    out.Write(memory_);
    memory_.clear();
    memory_.shrink_to_fit();
    return {};
}

}  // namespace pemberlock
