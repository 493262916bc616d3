// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pemberlock::test {

// Patches shaped like the ones the synthesizer's editor writes: the same
// bracketed sections in the same order, CR LF line ends, record lines ending
// in a blank, a knob section of 0..18 records, a controller section of 0..30
// records (sometimes absent) and a free-text notes section. A seed means the
// same bytes on every platform and library, so a benchmark library can be
// made again and figures compared.

// One patch of about targetBytes (2..10 KB in the library).
std::string GeneratePatch(std::uint64_t seed, std::size_t targetBytes);

// The patch of library entry index: its size is drawn from 2..10 KB.
std::string GenerateLibraryPatch(std::uint64_t seed, std::size_t index);

// A patch of about totalBytes, handed out in pieces of a few hundred KB so
// that a huge one never has to be held whole: many module, cable and
// parameter records and a long notes section (about half of the bytes).
void GenerateHugePatch(std::uint64_t seed, std::uint64_t totalBytes,
                       const std::function<void(std::string_view)>& write);

// The same patch with LF line ends, as a text editor may save it.
std::string WithLfLineEnds(std::string_view patch);

}  // namespace pemberlock::test
