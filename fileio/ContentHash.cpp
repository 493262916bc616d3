// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileio/ContentHash.h"

#define XXH_INLINE_ALL  // the header alone; no library to link on any system
#include <xxhash.h>

#include <cstdio>

namespace pemberlock {

struct ContentHasher::State {
    XXH3_state_t xxh;
};

ContentHasher::ContentHasher() : state_(std::make_unique<State>()) {
    XXH3_128bits_reset(&state_->xxh);
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::Update(std::string_view bytes) {
    XXH3_128bits_update(&state_->xxh, bytes.data(), bytes.size());
    size_ += bytes.size();
}

ContentDigest ContentHasher::Digest() const {
    const XXH128_hash_t hash = XXH3_128bits_digest(&state_->xxh);
    return ContentDigest{hash.high64, hash.low64};
}

ContentDigest DigestOf(std::string_view bytes) {
    ContentHasher hasher;
    hasher.Update(bytes);
    return hasher.Digest();
}

std::string ContentDigest::Hex() const {
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(high),
                  static_cast<unsigned long long>(low));
    return text;
}

std::optional<ContentDigest> ContentDigest::FromHex(std::string_view text) {
    if (text.size() != 32) return std::nullopt;
    ContentDigest digest;
    for (std::size_t i = 0; i < 32; ++i) {
        const char c = text[i];
        unsigned value = 0;
        if (c >= '0' && c <= '9') {
            value = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = static_cast<unsigned>(c - 'a' + 10);
        } else {
            return std::nullopt;
        }
        std::uint64_t& half = i < 16 ? digest.high : digest.low;
        half = (half << 4) | value;
    }
    return digest;
}

}  // namespace pemberlock
