// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pemberlock {

// A 128-bit digest of a file's bytes (XXH3), to tell later whether a file
// still holds exactly what was written to it.
struct ContentDigest {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    // 32 lowercase hexadecimal digits.
    std::string Hex() const;
    static std::optional<ContentDigest> FromHex(std::string_view text);
    friend bool operator==(const ContentDigest&, const ContentDigest&) = default;
};

// Digests bytes as they pass, in pieces of any size.
class ContentHasher {
public:
    ContentHasher();
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    void Update(std::string_view bytes);
    // The digest of everything so far, and how many bytes that was.
    ContentDigest Digest() const;
    std::uint64_t Size() const { return size_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    std::uint64_t size_ = 0;
};

ContentDigest DigestOf(std::string_view bytes);

}  // namespace pemberlock
