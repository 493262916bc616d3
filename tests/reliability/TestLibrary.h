// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tests/support/PatchGenerator.h"
#include "tests/support/TempFolder.h"

#include "map/KnobControllerMap.h"
#include "patch/PatchRewriter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace pemberlock::test {

// A library of generated patches, each of which a rewrite with the default
// map changes, kept once and copied afresh for each run of the program.
// Check() tells, after a run however it ended, whether every patch is byte
// for byte its original or its complete rewrite.
class TestLibrary {
public:
    struct Outcome {
        int rewritten = 0;
        int original = 0;
        int leftovers = 0;  // NAMEtmp files beside the patches
    };

    // count patches; every other one has LF line ends, as hand-edited ones have.
    explicit TestLibrary(int count, std::uint64_t seed = 20240607) {
        const KnobControllerMap map;
        std::filesystem::create_directory(master_.Path("lib"));
        for (std::size_t index = 0; originals_.size() < static_cast<std::size_t>(count); ++index) {
            std::string patch = GenerateLibraryPatch(seed, index);
            if (index % 2 == 1) patch = WithLfLineEnds(patch);
            Result<RewrittenPatch> rewrite = RewritePatchText(patch, map);
            // A patch that rewrites to itself could not show whether its
            // rewrite was done.
            if (!rewrite || rewrite->text == patch) continue;
            WriteFile(master_.Path("lib/" + Name(static_cast<int>(originals_.size()))), patch);
            originals_.push_back(std::move(patch));
            rewritten_.push_back(std::move(rewrite->text));
        }
    }

    static std::string Name(int i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%04d.pch", i);
        return name;
    }
    int Count() const { return static_cast<int>(originals_.size()); }
    const std::string& Rewritten(int i) const { return rewritten_[static_cast<std::size_t>(i)]; }

    // A fresh copy of the library at root/lib.
    void FreshCopy(const std::string& root) const {
        std::filesystem::create_directories(root);
        std::filesystem::copy(master_.Path("lib"), root + "/lib");
    }

    Outcome Check(const std::string& root) const {
        Outcome outcome;
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(root + "/lib"))
            names.insert(entry.path().filename().string());
        for (int i = 0; i < Count(); ++i) {
            const std::string name = Name(i);
            if (names.erase(name) == 0) {
                ADD_FAILURE() << name << " is missing";
                continue;
            }
            const std::string bytes = ReadFile(root + "/lib/" + name);
            if (bytes == rewritten_[static_cast<std::size_t>(i)]) {
                ++outcome.rewritten;
            } else if (bytes == originals_[static_cast<std::size_t>(i)]) {
                ++outcome.original;
            } else {
                ADD_FAILURE() << name << " is neither its original nor its rewrite ("
                              << bytes.size() << " bytes)";
            }
            outcome.leftovers += names.erase(name + "tmp") ? 1 : 0;
        }
        for (const std::string& name : names) ADD_FAILURE() << "unexpected file " << name;
        return outcome;
    }

private:
    TempFolder master_;
    std::vector<std::string> originals_;
    std::vector<std::string> rewritten_;
};

}  // namespace pemberlock::test
