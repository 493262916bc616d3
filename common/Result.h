// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace pemberlock {

// Why something failed, for people: what went wrong, where (the line of the
// file, when there is one) and the system's own reason, when there is one.
// Text() gives "line 12: knob 23 is not a knob" or
// "the temporary file cannot be written: No space left on device".
struct Error {
    Error() = default;
    explicit Error(std::string what_, std::uint64_t line_ = 0, std::string cause_ = {})
        : what(std::move(what_)), line(line_), cause(std::move(cause_)) {}

    std::string what;
    std::uint64_t line = 0;  // 0: not tied to a line
    std::string cause;       // the system's reason; empty when the fault is the input's

    // The same cause under a name that says what the caller was doing.
    Error As(std::string newWhat) const& { return Error{std::move(newWhat), line, cause}; }

    std::string Text() const {
        std::string text = line ? "line " + std::to_string(line) + ": " + what : what;
        if (!cause.empty()) text += (text.empty() ? "" : ": ") + cause;
        return text;
    }
};

// A value or the Error that stopped it. Converts to true on success.
template <typename T = void>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Error error) : state_(std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& operator*() & { return std::get<0>(state_); }
    const T& operator*() const& { return std::get<0>(state_); }
    T&& operator*() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }

    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// Success (the default) or the Error that stopped it.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

}  // namespace pemberlock
