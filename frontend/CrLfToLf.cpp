// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontend/CrLfToLf.h"

namespace pemberlock {

void CrLfToLf::Convert(std::string_view text, std::string& out) {
    if (text.empty()) return;
    if (pendingCr_) {
        pendingCr_ = false;
        if (text.front() != '\n') out += '\r';
    }
    if (text.back() == '\r') {
        pendingCr_ = true;
        text.remove_suffix(1);
    }
    // Copy the runs between CR LF pairs, keeping each LF.
    std::size_t start = 0;
    for (std::size_t cr = text.find("\r\n"); cr != std::string_view::npos;
         cr = text.find("\r\n", start)) {
        out.append(text, start, cr - start);
        start = cr + 1;
    }
    out.append(text, start);
}

void CrLfToLf::Finish(std::string& out) {
    if (pendingCr_) out += '\r';
    pendingCr_ = false;
}

}  // namespace pemberlock
