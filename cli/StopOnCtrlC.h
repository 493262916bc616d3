// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>

namespace pemberlock::cli {

// From now on the first Ctrl+C sets the flag returned, so that a batch
// stops after the patches in hand instead of leaving temporary files behind;
// a second one ends the program at once, as usual.
const std::atomic<bool>& StopOnCtrlC();

}  // namespace pemberlock::cli
