// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "map/KnobControllerMap.h"

#include <chrono>
#include <string>
#include <vector>

namespace pemberlock::bench {

// Each measure does its work once and returns the seconds it took. Where
// it can, it checks that the work was done: a fast wrong answer must fail.

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start);

// The benchmark's own executable, beside which its helper programs are.
std::string SelfPath();

// 1: the drop batch through the core, every rewrite with its log.
double RunCoreBatch(const std::vector<std::string>& paths, const KnobControllerMap& map);

// 10: the same batch keeping its report as the window does (what each knob
// controls, named), rows and all.
double RunCoreBatchReported(const std::vector<std::string>& paths, const KnobControllerMap& map);

// 6: the same batch with the undo journal on, as pemberlock-cli drops: the
// journal in journalFolder, on the library's file system.
double RunCoreBatchWithJournal(const std::vector<std::string>& paths, const KnobControllerMap& map,
                               const std::string& journalFolder);

// The same batch with the file work left out: the batch and its log alone.
double RunLogOnlyCoreBatch(const std::vector<std::string>& paths);

// 2: the limit: what any safe in-place rewrite must do, and nothing more.
// syncFolder adds what makes the rename itself durable, to show its cost.
double RunLimit(const std::vector<std::string>& paths, const std::string& folder, bool syncFolder);

// Below any safe rewrite: read, write a temporary file, rename, one patch
// after the other, and nothing made durable.
double RunUnsafeFloor(const std::vector<std::string>& paths);

// The limit with more than one patch at a time: threads take equal parts of
// the files, each rewriting its part as the limit does.
double RunLimitParallel(const std::vector<std::string>& paths, unsigned threads);

// The same, but each thread writes the temporary files of group patches,
// makes them durable with one sync of the file system, then renames them.
double RunLimitGrouped(const std::vector<std::string>& paths, unsigned threads, std::size_t group);

// 1 the old way: one patch after the other, each flushed on its own.
double RunCoreBatchSerial(const std::vector<std::string>& paths, const KnobControllerMap& map);

// pemberlock-cli itself, started on the folder, its output into a pipe, its
// journal below stateFolder; with mapFile, that map rather than the default.
double RunCliProgram(const std::string& folder, std::size_t patches, const std::string& stateFolder,
                     const std::string& mapFile = {});

// A map file in folder whose knobs get other controllers than the default
// map's, so that a drop with it changes every patch the default map wrote.
std::string WriteOtherMap(const std::string& folder);

// 3: the rewrite in memory, as the front ends call it.
// 8: pemberlock-cli --undo of the drop RunCliProgram just made in folder,
// journalled in stateFolder; every patch must be restored.
double RunCliUndo(const std::string& folder, std::size_t patches, const std::string& stateFolder);

double RunInMemory(const std::vector<std::string>& patches, const KnobControllerMap& map,
                   bool report = false);

// The streaming rewriter alone, into a buffer kept between patches.
double RunStreamingInMemory(const std::vector<std::string>& patches, const KnobControllerMap& map);

// A fresh start of the window, offscreen, until its first frame: probe
// prints a line then.
double RunStartup(const std::string& probe);

}  // namespace pemberlock::bench
