#include "platform/Debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    va_list ap;
    va_start(ap, fmt);
    std::fputs("sonvex: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
    va_end(ap);
}

}  // namespace sonvex
