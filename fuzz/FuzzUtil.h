// Shared by the reader fuzz targets: the input as a file, bounded reading of a source, and a
// silent user-interface host.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/SoundSource.h"
#include "support/Dialog.h"
#include "support/UiHost.h"

namespace sonvex::fuzz {

inline std::string InputPath(const char* ext) {
    static std::string path = "/tmp/sonvex_fuzz_" + std::to_string(getpid()) + std::string(ext);
    return path;
}

inline std::string WriteInput(const uint8_t* data, size_t size, const char* ext) {
    std::string path = InputPath(ext);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

// Reads a few blocks, seeks about, reads again; the values are checked to be delivered.
inline void Exercise(LSoundSourceRef& src, int maxBlocks = 8) {
    std::vector<int32_t> buf(static_cast<size_t>(kBlockFrames) * src->nChans);
    volatile int64_t sum = 0;
    for (int i = 0; i < maxBlocks && src->GetPosition() < src->GetLength(); ++i) {
        src->Read(buf.data(), i & 1 ? kBlockFrames : 1000 + i);
        sum = sum + buf[0] + buf[buf.size() - 1];
    }
    const int64_t len = src->GetLength();
    for (int64_t p :
         {int64_t{-37}, int64_t{0}, int64_t{1}, int64_t{161}, len / 2, len - 1, len, len + 5}) {
        src->Seek(static_cast<int32_t>(std::min<int64_t>(p, INT32_MAX)));
        src->Read(buf.data(), 333);
        sum = sum + buf[0];
    }
}

class QuietWindow : public LProgressWindow {
public:
    void SetStatusText(int, const std::string&) override {}
    void SetProgress(int) override {}
    bool Pump() override { return false; }
};

class QuietHost : public LUiHost {
public:
    QuietHost() { SetUiHost(this); }
    ~QuietHost() override { SetUiHost(nullptr); }
    std::unique_ptr<LProgressWindow> CreateProgressWindow(const std::string&) override {
        return std::make_unique<QuietWindow>();
    }
    int MessageBox(const std::string&, const std::string&, MsgButtons, MsgIcon, int) override {
        return IDOK;
    }
    int RunDialog(LDialog& d) override {
        d.InitDialog();
        return d.CmOk() ? IDOK : IDCANCEL;
    }
};

}  // namespace sonvex::fuzz
