// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <string>
#include <string_view>

namespace pemberlock {

// Where rewritten bytes go. A sink that fails keeps failing: writers check
// Failure() at their own pace instead of after every write.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(std::string_view bytes) = 0;
    // The first failure, or nullptr while all is well.
    virtual const Error* Failure() const { return nullptr; }
    // A sink that keeps everything in memory can take bytes in front of what
    // it holds: Position() says where the next byte goes, InsertAt() puts
    // bytes at such a place.
    virtual bool InsertsInPlace() const { return false; }
    virtual std::size_t Position() const { return 0; }
    virtual void InsertAt(std::size_t, std::string_view) {}
};

// Collects everything in memory.
class StringSink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { text_.append(bytes); }
    void Reserve(std::size_t bytes) { text_.reserve(bytes); }
    bool InsertsInPlace() const override { return true; }
    std::size_t Position() const override { return text_.size(); }
    void InsertAt(std::size_t at, std::string_view bytes) override { text_.insert(at, bytes); }
    const std::string& Text() const { return text_; }
    std::string TakeText() { return std::move(text_); }

private:
    std::string text_;
};

// Drops everything.
class NullSink final : public ByteSink {
public:
    void Write(std::string_view) override {}
};

}  // namespace pemberlock
