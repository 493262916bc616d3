// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace pemberlock::bench {

// Drops files on the real window, offscreen, the way the platform does: a
// drag-enter and a drop event carrying file URLs, sent to the drop area.
// Kept behind this interface so that the rest of the benchmark builds and
// runs without the window toolkit.
class WindowDropBench {
public:
    virtual ~WindowDropBench() = default;
    // Seconds from the drop to the status box being shown with every line;
    // negative on failure, with why set.
    virtual double Drop(const std::vector<std::string>& paths, std::string& why) = 0;
    // When on, every patch the window's drops take fails at once, before any
    // file is looked at, so that what the window itself adds can be timed
    // apart from the disk.
    virtual void SetLogOnly(bool on) = 0;
    // The longest the window's event loop could not turn during the last
    // drop: how long the window may have looked frozen.
    virtual double LongestBlockedSeconds() const = 0;
    // Seconds from choosing Last Drop Report until its dialog is shown and
    // its rows painted, rows set to how many it holds; negative on failure,
    // with why set.
    virtual double OpenReport(std::size_t& rows, std::string& why) = 0;
    // What the window keeps of the last drop's report, in bytes.
    virtual std::size_t ReportBytes() const = 0;
    // Seconds from choosing Preview Folder… on folder until the preview is
    // about to be shown; rows set to how many it holds and bytes to what
    // its rows and summary take. LongestBlockedSeconds then covers it.
    // Negative on failure, with why set.
    virtual double PreviewFolder(const std::string& folder, std::size_t& rows, std::size_t& bytes,
                                 std::string& why) = 0;
};

// nullptr, with why set, when the window was not built or cannot be shown.
std::unique_ptr<WindowDropBench> CreateWindowDropBench(std::string& why);

// True when the window was built, so that its start-up can be measured.
bool WindowBuilt();

}  // namespace pemberlock::bench
