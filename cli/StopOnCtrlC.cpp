// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StopOnCtrlC.h"

#include <csignal>

namespace pemberlock::cli {
namespace {

std::atomic<bool> stopRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnCtrlC(int) {
    stopRequested = true;
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

const std::atomic<bool>& StopOnCtrlC() {
    std::signal(SIGINT, OnCtrlC);
    return stopRequested;
}

}  // namespace pemberlock::cli
