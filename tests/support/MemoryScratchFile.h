// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/ByteSink.h"
#include "fileio/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace pemberlock::test {

// A scratch file kept in a string, for rewrites held back in tests.
class MemoryScratchFile final : public ScratchFile {
public:
    Result<> Write(const char* data, std::size_t size) override {
        bytes_.append(data, size);
        return {};
    }
    Result<> Rewind() override {
        at_ = 0;
        return {};
    }
    Result<std::size_t> Read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min(size, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }

    // An opener that counts the scratch files it made.
    static auto Opener(int& opened) {
        return [&opened]() -> Result<std::unique_ptr<ScratchFile>> {
            ++opened;
            return std::unique_ptr<ScratchFile>(std::make_unique<MemoryScratchFile>());
        };
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

// Collects bytes in memory but, like a file being written, only at its end:
// a rewriter writing to it holds notes back as it does for a file.
class AppendOnlySink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { text_.append(bytes); }
    const std::string& Text() const { return text_; }
    std::string TakeText() { return std::move(text_); }

private:
    std::string text_;
};

}  // namespace pemberlock::test
