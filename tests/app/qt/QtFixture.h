// One QApplication for the view tests (offscreen unless a platform is named), a fresh home per
// test and the windowed host installed.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/qt/QtHost.h"
#include "common/TestUtil.h"

namespace sonvex::test {

// A short 16-bit mono WAV file.
inline void WriteWav(const std::string& path, int frames = 800) {
    std::vector<uint8_t> v;
    PutTag(v, "RIFF");
    PutLE32(v, 36 + 2 * frames);
    PutTag(v, "WAVE");
    PutTag(v, "fmt ");
    PutLE32(v, 16);
    PutLE16(v, 1);
    PutLE16(v, 1);
    PutLE32(v, 8000);
    PutLE32(v, 16000);
    PutLE16(v, 2);
    PutLE16(v, 16);
    PutTag(v, "data");
    PutLE32(v, 2 * frames);
    for (int16_t s : Sine16(frames, 1, 440, 8000, 0.5)) PutLE16(v, static_cast<uint16_t>(s));
    WriteBytes(path, v);
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
