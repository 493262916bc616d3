#include "cli/StreamStatusLog.h"

namespace pemberlock::cli {

void StreamStatusLog::Append(std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (pendingCr_) {
        pendingCr_ = false;
        if (text.front() == '\n') {
            text.remove_prefix(1);
            std::fputc('\n', out_);
        } else {
            std::fputc('\r', out_);
        }
    }
    // Copy runs between CR LF pairs; a lone CR stays as it is.
    std::size_t start = 0;
    for (std::size_t cr = text.find('\r'); cr != std::string_view::npos;
         cr = text.find('\r', cr + 1)) {
        if (cr + 1 == text.size()) {
            std::fwrite(text.data() + start, 1, cr - start, out_);
            pendingCr_ = true;
            start = text.size();
            break;
        }
        if (text[cr + 1] == '\n') {
            std::fwrite(text.data() + start, 1, cr - start, out_);
            start = cr + 1;  // keep the LF, drop the CR
        }
    }
    std::fwrite(text.data() + start, 1, text.size() - start, out_);
    std::fflush(out_);
}

bool StreamStatusLog::Finish() {
    if (pendingCr_) {
        pendingCr_ = false;
        std::fputc('\r', out_);
    }
    std::fflush(out_);
    return std::ferror(out_) == 0;
}

}  // namespace pemberlock::cli
