#include "app/Startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>

#include "platform/FileSystem.h"

namespace sonvex {

uint32_t ReadTrailerMagic(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    uint8_t b[4];
    const off_t end = lseek(fd, 0, SEEK_END);
    const bool ok = end >= 4 && pread(fd, b, 4, end - 4) == 4;
    close(fd);
    return ok ? uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24
              : 0;
}

bool HasSetupName(const std::string& argv0) {
    const size_t slash = argv0.find_last_of("/\\");
    std::string name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name.find("SETUP") != std::string::npos;
}

std::vector<std::string> ForwardedArguments(const std::vector<std::string>& args,
                                            const std::string& cwd) {
    std::vector<std::string> out = args;
    auto absolute = [&](std::string& a) {
        if (!a.empty() && a[0] != '/' && !cwd.empty()) a = cwd + (cwd.back() == '/' ? "" : "/") + a;
    };
    for (size_t i = 1; i < out.size(); ++i) {
        std::string& a = out[i];
        if (CaseInsensitiveEqual(a, "-outfolder") || CaseInsensitiveEqual(a, "-format")) {
            if (i + 1 < out.size() && CaseInsensitiveEqual(a, "-outfolder")) absolute(out[i + 1]);
            ++i;
        } else if (!a.empty() && a[0] != '-') {
            absolute(a);
        }
    }
    return out;
}

}  // namespace sonvex
