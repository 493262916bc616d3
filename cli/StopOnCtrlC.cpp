// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StopOnCtrlC.h"

#include <csignal>

namespace pemberlock::cli {
namespace {

std::atomic<bool> stopRequested = false;
std::atomic<bool> hurryRequested = false;
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnCtrlC(int) {
    if (!stopRequested.exchange(true)) {
        std::signal(SIGINT, OnCtrlC);  // some systems reset the handler on each signal
        return;
    }
    hurryRequested = true;
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

CtrlCFlags StopOnCtrlC() {
    std::signal(SIGINT, OnCtrlC);
    return {&stopRequested, &hurryRequested};
}

}  // namespace pemberlock::cli
