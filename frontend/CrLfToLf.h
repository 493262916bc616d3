// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace pemberlock {

// Turns the status log's CR LF line ends into plain LF, for front ends whose
// lines end in LF (a terminal, a text box). Text may arrive in pieces: a CR
// that ends one piece is held until the next shows whether an LF follows.
// A CR without an LF stays as it is.
class CrLfToLf {
public:
    // Appends text, converted, to out.
    void Convert(std::string_view text, std::string& out);
    // Appends a CR still held back to out.
    void Finish(std::string& out);

private:
    bool pendingCr_ = false;
};

}  // namespace pemberlock
