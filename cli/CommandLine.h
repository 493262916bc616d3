#pragma once

#include "fileio/FileSystem.h"

#include <ostream>
#include <string>
#include <vector>

namespace pemberlock::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitPatchFailed = 1;
inline constexpr int kExitUsage = 2;

// The command-line tool: args are its arguments without the program name,
// in UTF-8. The batch log goes to out; messages for people to err. Returns
// the exit status.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   FileSystem& fs = RealFileSystem());

}  // namespace pemberlock::cli
