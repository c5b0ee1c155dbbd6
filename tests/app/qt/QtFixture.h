// One QApplication for the view tests (offscreen unless a platform is named), a fresh home per
// test and the windowed host installed.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/QtHost.h"
#include "common/TestUtil.h"

namespace sonvex::test {

// A 16-bit WAV file of a sine (channel n at n times the frequency); returns its samples.
inline std::vector<int16_t> WriteWav(const std::string& path, int frames = 800, int channels = 1,
                                     int rate = 8000, double amplitude = 0.5) {
    const uint32_t bytes = 2u * static_cast<uint32_t>(frames * channels);
    std::vector<uint8_t> v;
    PutTag(v, "RIFF");
    PutLE32(v, 36 + bytes);
    PutTag(v, "WAVE");
    PutTag(v, "fmt ");
    PutLE32(v, 16);
    PutLE16(v, 1);
    PutLE16(v, static_cast<uint32_t>(channels));
    PutLE32(v, static_cast<uint32_t>(rate));
    PutLE32(v, static_cast<uint32_t>(rate * channels * 2));
    PutLE16(v, static_cast<uint32_t>(channels * 2));
    PutLE16(v, 16);
    PutTag(v, "data");
    PutLE32(v, bytes);
    const std::vector<int16_t> samples = Sine16(frames, channels, 440, rate, amplitude);
    for (int16_t s : samples) PutLE16(v, static_cast<uint16_t>(s));
    WriteBytes(path, v);
    return samples;
}

inline QApplication& TestApp() {
    static int argc = 1;
    static char name[] = "sonvex-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

struct QtViews : ::testing::Test {
    QApplication& app = TestApp();
    ScopedHome home;
    LQtHost host;

    // Runs f from the event loop of the next modal window (a dialog's or a message box's).
    static void WhenModal(std::function<void(QWidget*)> f) {
        auto* t = new QTimer;
        QObject::connect(t, &QTimer::timeout, [t, f] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                t->stop();
                t->deleteLater();
                f(w);
            }
        });
        t->start(10);
    }
};

}  // namespace sonvex::test
