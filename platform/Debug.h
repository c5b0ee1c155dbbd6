// The diagnostic trace: off by default, on with SONVEX_DEBUG=1 (written to standard error).
#pragma once

namespace sonvex {

bool DebugEnabled();
void DebugLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sonvex
