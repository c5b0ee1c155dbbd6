#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace sonvex {

bool DebugEnabled() {
    static const bool bEnabled = [] {
        const char* v = std::getenv("SONVEX_DEBUG");
        return v && std::strcmp(v, "0") != 0 && *v;
    }();
    return bEnabled;
}

void DebugLog(const char* fmt, ...) {
    if (!DebugEnabled()) return;
    // One write per line, so lines of threads logging at once do not interleave.
    va_list ap, again;
    va_start(ap, fmt);
    va_copy(again, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string line = "sonvex: ";
    if (n > 0) {
        const size_t at = line.size();
        line.resize(at + static_cast<size_t>(n) + 1);
        std::vsnprintf(line.data() + at, static_cast<size_t>(n) + 1, fmt, again);
        line.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

}  // namespace sonvex
