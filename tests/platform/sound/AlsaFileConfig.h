// An ALSA configuration of its own for one test: the default output, and one listed output
// described "Sonvex test output", write their raw samples into files of a temporary folder.
#pragma once

#include <cstdlib>
#include <fstream>
#include <string>

#include "common/TestUtil.h"

namespace sonvex::test {

class ScopedAlsaFileConfig {
public:
    // With bNoDevice the default output is a sound card that does not exist.
    explicit ScopedAlsaFileConfig(bool bNoDevice = false) {
        const char* old = std::getenv("ALSA_CONFIG_PATH");
        bHadOld_ = old != nullptr;
        if (old) szOld_ = old;
        std::ofstream conf(dir_.file("asound.conf"));
        if (bNoDevice)
            conf << "pcm.!default { type hw card 99 }\n";
        else
            conf << "pcm.!default { type file slave.pcm \"sonvexnull\" file \"" << DefaultFile()
                 << "\" format \"raw\" }\n";
        conf << "pcm.sonvexnull { type null }\n"
             << "pcm.sonvextest { type file slave.pcm \"sonvexnull\" file \"" << ListedFile()
             << "\" format \"raw\" hint { show on description \"Sonvex test output\" } }\n";
        conf.close();
        setenv("ALSA_CONFIG_PATH", dir_.file("asound.conf").c_str(), 1);
    }
    ~ScopedAlsaFileConfig() {
        if (bHadOld_)
            setenv("ALSA_CONFIG_PATH", szOld_.c_str(), 1);
        else
            unsetenv("ALSA_CONFIG_PATH");
    }
    ScopedAlsaFileConfig(const ScopedAlsaFileConfig&) = delete;
    ScopedAlsaFileConfig& operator=(const ScopedAlsaFileConfig&) = delete;

    std::string DefaultFile() const { return dir_.file("default.raw"); }
    std::string ListedFile() const { return dir_.file("listed.raw"); }

private:
    TempDir dir_;
    bool bHadOld_ = false;
    std::string szOld_;
};

}  // namespace sonvex::test
