// Build tool: writes an installation package from the payload files.
//   sonvex-pack OUTPUT PROGRAM HELP-ARCHIVE MP3-ENCODER
#include <cstdio>
#include <string>
#include <vector>

#include "installer/Package.h"

int main(int argc, char** argv) {
    if (argc != 2 + static_cast<int>(sonvex::kInstallFileCount)) {
        std::fprintf(stderr, "usage: sonvex-pack OUTPUT PROGRAM HELP-ARCHIVE MP3-ENCODER\n");
        return 2;
    }
    const std::vector<std::string> files(argv + 2, argv + argc);
    std::string err;
    if (!sonvex::WritePackage(argv[1], files, err)) {
        std::fprintf(stderr, "sonvex-pack: %s\n", err.c_str());
        return 1;
    }
    return 0;
}
