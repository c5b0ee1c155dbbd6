// Process entry. With a display the program is the window (or hands its command line to the
// running one); without, the verbs run with the console host and the program ends when they
// are done.
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "app/MainDialog.h"
#include "app/Startup.h"
#include "installer/Installer.h"
#include "platform/desktop/Desktop.h"
#include "support/UiHost.h"
#ifdef SONVEX_HAVE_QT
#include "app/qt/QtMain.h"
#endif

int main(int argc, char** argv) {
    // A dead encoder or reader end must give a failed write, never kill the program.
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args(argv, argv + argc);
    // A program named like an installer must carry an installation package; a package
    // installs itself, the uninstaller removes the installation.
    const uint32_t magic = sonvex::ReadTrailerMagic(sonvex::ProgramFilePath());
    if (sonvex::HasSetupName(args[0]) && magic != sonvex::kTrailerInstallPackage) {
#ifdef SONVEX_HAVE_QT
        if (sonvex::HaveDisplay()) return sonvex::RunCorruptInstallMessage(argc, argv);
#endif
        sonvex::UiHost().MessageBox(sonvex::kCorruptInstallText, sonvex::kCorruptInstallCaption,
                                    sonvex::MsgButtons::Ok, sonvex::MsgIcon::Warning);
        return 2;
    }
    if (magic == sonvex::kTrailerInstallPackage || magic == sonvex::kTrailerUninstaller) {
#ifdef SONVEX_HAVE_QT
        if (sonvex::HaveDisplay()) return sonvex::RunWindowedInstaller(argc, argv, magic);
#endif
        return sonvex::RunInstaller(magic, args, nullptr, sonvex::LStartMode::Wait);
    }
    if (argc == 2 && (args[1] == "--help" || args[1] == "-help")) {
        std::printf(
            "usage: sonvex [file ...] [-format EXT] [-outfolder DIR] [-wavformat F] [-convert] "
            "[-clear] "
            "[-exit]\n"
            "  Adds the files to the list, then runs the verbs in order.\n"
            "  -format EXT     output format: .wav .mp3 .au .aiff .gsm .vox .raw .ogg .flac .aac "
            ".m4a\n"
            "  -outfolder DIR  output folder\n"
            "  -wavformat F[,RATE[,CHANNELS[,BITS]]]  stored WAV output format: pcm float alaw\n"
            "                  mulaw ima-adpcm ms-adpcm gsm mp3 mp2 (BITS: kbit/s for mp3, mp2)\n"
            "  -convert        convert the listed files\n"
            "  -clear          empty the list\n"
            "Exit status: 0 done, 1 stopped before the end, 2 a file failed.\n");
        return 0;
    }
#ifdef SONVEX_HAVE_QT
    if (sonvex::HaveDisplay()) return sonvex::RunWindowedProgram(argc, argv);
#endif
    sonvex::MainDialog dlg(/*bConsole=*/true);
    dlg.InitDialog(args);
    dlg.DestroyDialog();
    return dlg.ExitStatus();
}
