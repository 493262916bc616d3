// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace pemberlock::cli {

// What Ctrl+C has asked for so far.
struct CtrlCFlags {
    // The first: stop after the patches in hand.
    const std::atomic<bool>* stop = nullptr;
    // The second: end within a moment, giving up the patches not yet in
    // place (their temporary files removed) but finishing the lines and the
    // record of those that are.
    const std::atomic<bool>* hurry = nullptr;
};

// From now on Ctrl+C sets the flags returned, first stop, then hurry; a
// third one ends the program at once, as usual.
CtrlCFlags StopOnCtrlC();

}  // namespace pemberlock::cli
