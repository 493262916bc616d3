// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fileio/ByteSink.h"
#include "fileio/FileSystem.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pemberlock {

// Opens the scratch file that held bytes spill into; empty means "keep
// everything in memory", for rewrites whose input is in memory anyway.
using ScratchOpener = std::function<Result<std::unique_ptr<ScratchFile>>()>;

// Bytes set aside to be written later: in memory up to a limit, then in a
// scratch file, so that holding back a tail of any size costs bounded memory.
class HeldBytes final : public ByteSink {
public:
    HeldBytes(std::size_t memoryLimit, ScratchOpener openScratch);

    void Write(std::string_view bytes) override;
    const Error* Failure() const override { return failure_ ? &*failure_ : nullptr; }

    // Writes everything held to out, in the order it came, and empties this.
    // Fails when the scratch file did (out may then hold part of it).
    Result<> MoveTo(ByteSink& out);

private:
    void Fail(const Error& cause);
    void ReplayScratch(ByteSink& out);

    std::size_t memoryLimit_;
    ScratchOpener openScratch_;
    std::string memory_;
    std::unique_ptr<ScratchFile> scratch_;
    std::optional<Error> failure_;
};

}  // namespace pemberlock
