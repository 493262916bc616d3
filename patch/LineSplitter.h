// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace pemberlock {

// Cuts text that arrives in pieces into lines ended by CR LF, LF or a lone
// CR, and hands each line, without its end, to a handler. A line cut by the
// end of a piece is kept until the rest arrives, so memory is bounded by the
// longest line.
class LineSplitter {
public:
    // Hands each line that bytes completes to onLine (bool(std::string_view));
    // when it returns false, the rest of bytes is left unread.
    template <typename OnLine>
    void Feed(std::string_view bytes, OnLine&& onLine) {
        const char* p = bytes.data();
        const char* const end = p + bytes.size();
        if (pendingCr_ && p < end) {
            pendingCr_ = false;
            if (*p == '\n') ++p;  // the LF of a CR LF split between two pieces
        }
        const char* nextLf = nullptr;
        while (p < end) {
            const char* lineEnd = FindLineEnd(p, end, nextLf);
            if (lineEnd == end) {
                partial_.append(p, end);
                return;
            }
            bool more = true;
            if (partial_.empty()) {
                more = onLine(std::string_view(p, static_cast<std::size_t>(lineEnd - p)));
            } else {
                partial_.append(p, lineEnd);
                more = onLine(std::string_view(partial_));
                partial_.clear();
            }
            p = lineEnd + 1;
            if (*lineEnd == '\r') {
                if (p == end) {
                    pendingCr_ = true;
                } else if (*p == '\n') {
                    ++p;
                }
            }
            if (!more) return;
        }
    }

    // Hands on the last line, when the text did not end with a line end.
    template <typename OnLine>
    void Finish(OnLine&& onLine) {
        if (partial_.empty()) return;
        onLine(std::string_view(partial_));
        partial_.clear();
    }

private:
    // First CR or LF in [begin, end), or end. nextLf remembers the first LF
    // at or after begin (end when none; null before the first call) from
    // call to call, so that lines ended by a lone CR do not search the rest
    // of the piece for an LF each time.
    static const char* FindLineEnd(const char* begin, const char* end, const char*& nextLf) {
        if (!nextLf || nextLf < begin) {
            const void* lf = std::memchr(begin, '\n', static_cast<std::size_t>(end - begin));
            nextLf = lf ? static_cast<const char*>(lf) : end;
        }
        const void* cr = std::memchr(begin, '\r', static_cast<std::size_t>(nextLf - begin));
        return cr ? static_cast<const char*>(cr) : nextLf;
    }

    bool pendingCr_ = false;  // the last piece ended in CR; an LF may follow
    std::string partial_;     // a line cut by the end of the last piece
};

}  // namespace pemberlock
