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
};

// Collects everything in memory.
class StringSink final : public ByteSink {
public:
    void Write(std::string_view bytes) override { text_.append(bytes); }
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
