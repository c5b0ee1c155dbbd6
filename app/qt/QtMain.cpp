#include "app/qt/QtMain.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "app/qt/Icons.h"
#include "app/qt/MainWindow.h"
#include "app/qt/QtHost.h"
#include "platform/desktop/Desktop.h"
#include "platform/instance/Instance.h"

namespace sonvex {

// A display named but not there (a stale DISPLAY in a terminal) would abort the toolkit: the
// local X socket or the Wayland socket must exist; a remote display is trusted.
bool HaveDisplay() {
    struct stat st {};
    if (const char* w = std::getenv("WAYLAND_DISPLAY"); w && *w) {
        std::string path = w;
        if (path[0] != '/') {
            const char* run = std::getenv("XDG_RUNTIME_DIR");
            path = std::string(run ? run : "") + "/" + path;
        }
        if (stat(path.c_str(), &st) == 0) return true;
    }
    const char* d = std::getenv("DISPLAY");
    if (!d || !*d) return false;
    if (d[0] != ':') return true;
    const std::string number = std::string(d + 1).substr(0, std::string(d + 1).find('.'));
    return stat(("/tmp/.X11-unix/X" + number).c_str(), &st) == 0;
}

int RunWindowedProgram(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    const std::string runtime = RuntimeFolder();
    LSystemLockMutex lock(StartLockPath(runtime));
    const bool bLocked = !runtime.empty() && lock.Lock();
    if (bLocked) {
        // A running window takes the command line; this start ends with the verbs' status
        // and keeps the lock until then, so the next start waits its turn.
        char cwd[4096];
        const std::string here = getcwd(cwd, sizeof cwd) ? cwd : "";
        const int status =
            ForwardToRunningInstance(InstanceSocketPath(runtime), ForwardedArguments(args, here));
        if (status >= 0) return status;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName("Sonvex");
    QGuiApplication::setDesktopFileName("sonvex");
    QApplication::setWindowIcon(AppIcon());
    LQtHost host;
    MainWindow window(host);
    LInstanceServer server;
    if (bLocked && server.Listen(InstanceSocketPath(runtime))) window.WatchInstanceSocket(&server);
    lock.Unlock();
    window.InitDialog(args);
    const int status = window.Logic().ExitStatus();
    app.exec();
    server.Close();
    return status;
}

int RunCorruptInstallMessage(int argc, char** argv) {
    QApplication app(argc, argv);
    LQtHost host;
    host.MessageBox(kCorruptInstallText, kCorruptInstallCaption, MsgButtons::Ok, MsgIcon::Warning);
    return 2;
}

}  // namespace sonvex
