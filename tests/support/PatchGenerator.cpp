// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/PatchGenerator.h"

#include <algorithm>
#include <array>

namespace pemberlock::test {

namespace {

// A small generator whose output is the same on every platform and library
// (std::uniform_int_distribution is not).
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {
        // splitmix64: tiny, fast, and the same sequence on every platform.
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }

    // Uniform in [low, high].
    int Between(int low, int high) {
        const auto span = static_cast<std::uint64_t>(high - low) + 1;
        return low + static_cast<int>(Next() % span);
    }

private:
    std::uint64_t state_;
};

constexpr std::string_view kEnd = "\r\n";

constexpr std::array<std::string_view, 40> kWords = {
    "slow",  "attack",   "filter",    "sweep",    "use",  "the",     "mod",      "wheel",
    "for",   "vibrato",  "pad",       "bright",   "dark", "and",     "with",     "knob",
    "opens", "cutoff",   "resonance", "LFO",      "rate", "delay",   "feedback", "try",
    "low",   "notes",    "velocity",  "sounds",   "best", "through", "reverb",   "(keyb)",
    "morph", "envelope", "decay",     "\"warm\"", "2.93", "[live]",  "osc,",     "sync."};

constexpr std::array<std::string_view, 12> kModuleNames = {
    "OscA",     "OscB", "FilterE", "FilterB",   "Mixer",    "Amp Env",
    "ADSR-Env", "LFOA", "Delay",   "Overdrive", "KeyQuant", "Noise"};

void Number(std::string& out, int value) { out += std::to_string(value); }

// A record line as the editor writes it: numbers each followed by a blank.
template <typename... Values>
void Record(std::string& out, Values... values) {
    ((Number(out, values), out += ' '), ...);
    out += kEnd;
}

void Line(std::string& out, std::string_view text) {
    out += text;
    out += kEnd;
}

// An empty section, present in real patches for the common voice area.
void EmptySection(std::string& out, std::string_view name) {
    out += '[';
    out += name;
    out += ']';
    out += kEnd;
    Line(out, "0 ");
    out += "[/";
    out += name;
    out += ']';
    out += kEnd;
}

void Header(std::string& out, Random& random) {
    Line(out, "[Header]");
    Line(out, "Version=Nord Modular patch 3.0");
    Record(out, 0, 127, 0, 127, random.Between(0, 2), 0, 0, 1, 4000, 2, 1, 0, 1, 1, 1, 1, 1, 1, 0,
           0, 1, 1, 1);
    Line(out, "[/Header]");
}

void ModuleRecord(std::string& out, Random& random, int module) {
    Record(out, module, random.Between(1, 120), random.Between(0, 6), random.Between(0, 40));
}

void CableRecord(std::string& out, Random& random, int modules) {
    Record(out, random.Between(0, 5), random.Between(1, modules), random.Between(0, 3),
           random.Between(0, 1), random.Between(1, modules), random.Between(0, 3), 0);
}

void ParameterRecord(std::string& out, Random& random, int module) {
    const int count = random.Between(1, 16);
    Number(out, module);
    out += ' ';
    Number(out, random.Between(1, 120));
    out += ' ';
    Number(out, count);
    out += ' ';
    for (int i = 0; i < count; ++i) {
        Number(out, random.Between(0, 127));
        out += ' ';
    }
    out += kEnd;
}

// Up to 18 records on distinct knob slots: mostly the panel knobs 0..17,
// now and then the pedal (19), aftertouch (20) or on/off switch (22).
void KnobSection(std::string& out, Random& random, int modules, int count) {
    std::array<int, 21> slots{};
    for (int i = 0; i < 18; ++i) slots[static_cast<std::size_t>(i)] = i;
    slots[18] = 19;
    slots[19] = 20;
    slots[20] = 22;
    const int pool = random.Between(0, 3) == 0 ? 21 : 18;
    Line(out, "[KnobMapDump]");
    for (int i = 0; i < count; ++i) {
        const int pick = random.Between(i, pool - 1);
        std::swap(slots[static_cast<std::size_t>(i)], slots[static_cast<std::size_t>(pick)]);
        Record(out, random.Between(0, 4) == 0 ? 0 : 1, random.Between(1, modules),
               random.Between(0, 12), slots[static_cast<std::size_t>(i)]);
    }
    Line(out, "[/KnobMapDump]");
}

void ControllerSection(std::string& out, Random& random, int modules, int count) {
    Line(out, "[CtrlMapDump]");
    for (int i = 0; i < count; ++i) {
        Record(out, random.Between(0, 2), random.Between(1, modules), random.Between(0, 12),
               random.Between(0, 127));
    }
    Line(out, "[/CtrlMapDump]");
}

void NameRecord(std::string& out, Random& random, int module) {
    Number(out, module);
    out += ' ';
    out += kModuleNames[static_cast<std::size_t>(random.Between(0, kModuleNames.size() - 1))];
    Number(out, random.Between(1, 3));
    out += kEnd;
}

// One line of notes, free text without a trailing blank.
void NoteLine(std::string& out, Random& random) {
    const int words = random.Between(3, 18);
    for (int i = 0; i < words; ++i) {
        if (i > 0) out += ' ';
        out += kWords[static_cast<std::size_t>(random.Between(0, kWords.size() - 1))];
    }
    out += kEnd;
}

std::string Structure(Random& random, int modules) {
    std::string out;
    Header(out, random);
    Line(out, "[ModuleDump]");
    Line(out, "1 ");
    for (int m = 1; m <= modules; ++m) ModuleRecord(out, random, m);
    Line(out, "[/ModuleDump]");
    EmptySection(out, "ModuleDump");
    Line(out, "[CurrentNoteDump]");
    Record(out, 64, 0, 0, 64, 0, 0);
    Line(out, "[/CurrentNoteDump]");
    Line(out, "[CableDump]");
    Line(out, "1 ");
    const int cables = modules + random.Between(0, modules);
    for (int c = 0; c < cables; ++c) CableRecord(out, random, modules);
    Line(out, "[/CableDump]");
    EmptySection(out, "CableDump");
    Line(out, "[ParameterDump]");
    Line(out, "1 ");
    for (int m = 1; m <= modules; ++m) ParameterRecord(out, random, m);
    Line(out, "[/ParameterDump]");
    EmptySection(out, "ParameterDump");
    if (random.Between(0, 2) > 0) {
        Line(out, "[MorphMapDump]");
        Record(out, random.Between(0, 127), random.Between(0, 127), 0, 0);
        Line(out, "[/MorphMapDump]");
    }
    KnobSection(out, random, modules, random.Between(0, 18));
    // Most real patches have no controller section; the rewrite appends one.
    if (random.Between(0, 3) > 0) ControllerSection(out, random, modules, random.Between(0, 30));
    Line(out, "[CustomDump]");
    Line(out, "1 ");
    for (int m = 1; m <= modules; m += 2) Record(out, m, 1, random.Between(0, 1));
    Line(out, "[/CustomDump]");
    EmptySection(out, "CustomDump");
    Line(out, "[NameDump]");
    Line(out, "1 ");
    for (int m = 1; m <= modules; ++m) NameRecord(out, random, m);
    Line(out, "[/NameDump]");
    EmptySection(out, "NameDump");
    return out;
}

}  // namespace

std::string GeneratePatch(std::uint64_t seed, std::size_t targetBytes) {
    Random random(seed);
    constexpr std::string_view kNotesClose = "[/Notes]\r\n";
    // About 110 bytes per module plus a fixed part; leave room for notes.
    const int most = std::max(2, static_cast<int>(targetBytes * 3 / 4 / 110));
    int modules = std::max(2, random.Between(2, most));
    std::string out = Structure(random, modules);
    while (out.size() + 64 > targetBytes && modules > 2) {
        modules /= 2;
        out = Structure(random, modules);
    }
    Line(out, "[Notes]");
    while (out.size() + kNotesClose.size() < targetBytes) {
        const std::size_t before = out.size();
        NoteLine(out, random);
        if (out.size() + kNotesClose.size() > targetBytes) {
            // Cut the last line so that the patch ends at its target size.
            const std::size_t keep = targetBytes - kNotesClose.size() - before;
            out.resize(before);
            if (keep > 2) {
                out.append(keep - 2, 'x');
                out += kEnd;
            }
            break;
        }
    }
    out += kNotesClose;
    return out;
}

std::string GenerateLibraryPatch(std::uint64_t seed, std::size_t index) {
    Random sizes(seed * 1000003 + index);
    const auto target = static_cast<std::size_t>(sizes.Between(2048, 10240));
    return GeneratePatch(sizes.Next(), target);
}

void GenerateHugePatch(std::uint64_t seed, std::uint64_t totalBytes,
                       const std::function<void(std::string_view)>& write) {
    constexpr std::size_t kPiece = 256 * 1024;
    Random random(seed);
    std::string out;
    std::uint64_t written = 0;
    const auto flush = [&](bool force) {
        if (out.size() >= kPiece || (force && !out.empty())) {
            write(out);
            written += out.size();
            out.clear();
        }
    };
    const auto upTo = [&](double share) {
        return static_cast<std::uint64_t>(static_cast<double>(totalBytes) * share);
    };

    Header(out, random);
    Line(out, "[ModuleDump]");
    Line(out, "1 ");
    int modules = 0;
    while (written + out.size() < upTo(0.10)) {
        ModuleRecord(out, random, ++modules);
        flush(false);
    }
    Line(out, "[/ModuleDump]");
    Line(out, "[CableDump]");
    Line(out, "1 ");
    while (written + out.size() < upTo(0.25)) {
        CableRecord(out, random, modules);
        flush(false);
    }
    Line(out, "[/CableDump]");
    Line(out, "[ParameterDump]");
    Line(out, "1 ");
    for (int m = 1; written + out.size() < upTo(0.45); m = m % modules + 1) {
        ParameterRecord(out, random, m);
        flush(false);
    }
    Line(out, "[/ParameterDump]");
    KnobSection(out, random, modules, 18);
    ControllerSection(out, random, modules, 30);
    Line(out, "[NameDump]");
    Line(out, "1 ");
    for (int m = 1; m <= std::min(modules, 4096); ++m) {
        NameRecord(out, random, m);
        flush(false);
    }
    Line(out, "[/NameDump]");
    Line(out, "[Notes]");
    while (written + out.size() < totalBytes) {
        NoteLine(out, random);
        flush(false);
    }
    Line(out, "[/Notes]");
    flush(true);
}

std::string WithLfLineEnds(std::string_view patch) {
    std::string out;
    out.reserve(patch.size());
    for (std::size_t i = 0; i < patch.size(); ++i) {
        if (patch[i] != '\r' || i + 1 == patch.size() || patch[i + 1] != '\n') out += patch[i];
    }
    return out;
}

}  // namespace pemberlock::test
