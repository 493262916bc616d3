#pragma once

#include "fileio/FileSystem.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace pemberlock::test {

// A scratch file kept in a string, for rewrites held back in tests.
class MemoryScratchFile final : public ScratchFile {
public:
    bool Write(const char* data, std::size_t size) override {
        bytes_.append(data, size);
        return true;
    }
    bool Rewind() override {
        at_ = 0;
        return true;
    }
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min(size, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }

    // An opener that counts the scratch files it made.
    static auto Opener(int& opened) {
        return [&opened]() -> std::unique_ptr<ScratchFile> {
            ++opened;
            return std::make_unique<MemoryScratchFile>();
        };
    }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

}  // namespace pemberlock::test
