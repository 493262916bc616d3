// SPDX-License-Identifier: GPL-3.0-or-later
// Writes generated patches into a folder, under names that test how a
// program passes file names on (blanks, accents, symbols), for comparing
// two builds of the command line on the same files.
#include "tests/support/PatchGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const char* const names[] = {"bass %d.pch", "K\xc3\xa4se\xe2\x80\x94%d.pch", "lead [%d].pch",
                                 "pad %d \xe2\x98\x83.pch", "%d.pch"};
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, names[i % 5], i);
        std::ofstream out(folder + "/" + name, std::ios::binary);
        out << pemberlock::test::GenerateLibraryPatch(7, static_cast<std::size_t>(i));
        if (!out) return 1;
    }
    return 0;
}
