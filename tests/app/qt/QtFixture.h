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
#include "formats/FormatTestUtil.h"

namespace sonvex::test {

// A 16-bit WAV file of a sine (channel n at n times the frequency); returns its samples.
inline std::vector<int16_t> WriteWav(const std::string& path, int frames = 800, int channels = 1,
                                     int rate = 8000, double amplitude = 0.5) {
    const std::vector<int16_t> samples = Sine16(frames, channels, 440, rate, amplitude);
    WriteBytes(path, Wav16(static_cast<uint32_t>(rate), static_cast<uint16_t>(channels), samples));
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
