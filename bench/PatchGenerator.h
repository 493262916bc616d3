#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pemberlock::bench {

// A small generator whose output is the same on every platform and library
// (std::uniform_int_distribution is not), so a seed always means the same
// library of patches.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform in [low, high].
    int Between(int low, int high);

private:
    std::uint64_t state_;
};

// Patches shaped like the ones the synthesizer's editor writes: the same
// bracketed sections in the same order, CR LF line ends, record lines ending
// in a blank, a knob section of 0..18 records, a controller section of 0..30
// records (sometimes absent) and a free-text notes section.

// One patch of about targetBytes (2..10 KB in the library).
std::string GeneratePatch(std::uint64_t seed, std::size_t targetBytes);

// The patch of library entry index: its size is drawn from 2..10 KB.
std::string GenerateLibraryPatch(std::uint64_t seed, std::size_t index);

// A patch of about totalBytes, handed out in pieces of a few hundred KB so
// that a huge one never has to be held whole: many module, cable and
// parameter records and a long notes section (about half of the bytes).
void GenerateHugePatch(std::uint64_t seed, std::uint64_t totalBytes,
                       const std::function<void(std::string_view)>& write);

}  // namespace pemberlock::bench
