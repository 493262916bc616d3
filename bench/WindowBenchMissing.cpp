// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/WindowBench.h"

namespace pemberlock::bench {

// Built instead of WindowBench.cpp when the window is not part of the build.
std::unique_ptr<WindowDropBench> CreateWindowDropBench(std::string& why) {
    why = "the window was not built (no pemberlock_ui target)";
    return nullptr;
}

bool WindowBuilt() { return false; }

}  // namespace pemberlock::bench
