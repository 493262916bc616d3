#pragma once

#include "fileio/ByteSink.h"
#include "fileio/FileSystem.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace pemberlock {

// Opens the scratch file that held bytes spill into; empty means "keep
// everything in memory", for rewrites whose input is in memory anyway.
using ScratchOpener = std::function<std::unique_ptr<ScratchFile>()>;

// Bytes set aside to be written later: in memory up to a limit, then in a
// scratch file, so that holding back a tail of any size costs bounded memory.
class HeldBytes final : public ByteSink {
public:
    HeldBytes(std::size_t memoryLimit, ScratchOpener openScratch);

    void Write(std::string_view bytes) override;
    bool Failed() const override { return failed_; }
    bool Empty() const { return memory_.empty() && !scratch_; }

    // Writes everything held to out, in the order it came, and empties this.
    // False when the scratch file failed (out may then hold part of it).
    bool MoveTo(ByteSink& out);

private:
    std::size_t memoryLimit_;
    ScratchOpener openScratch_;
    std::string memory_;
    std::unique_ptr<ScratchFile> scratch_;
    bool failed_ = false;
};

}  // namespace pemberlock
