#include "engine/HelperDecoders.h"

#include <algorithm>

#include "encoders/Components.h"
#include "platform/Debug.h"
#include "support/File.h"

namespace sonvex {

int ProcessRunCommandLineProcess(LProgressDialog& pd, const LCommandLine& commandLine,
                                 int budgetMs) {
    DebugLog("ProcessRunCommandLineProcess %s", commandLine.Text().c_str());
    LChildProcess child;
    LChildProcess::Options o;
    o.stdinMode = LChildProcess::Stdio::Null;
    o.stdoutMode = LChildProcess::Stdio::Null;
    o.stderrMode = DebugEnabled() ? LChildProcess::Stdio::Inherit : LChildProcess::Stdio::Null;
    o.bPrivateFiles = true;  // the decoded copy of the user's audio
    if (!child.Start(commandLine.Args(), o)) return LPROCESS_FAILED;

    double f = 0.97;
    int remaining = budgetMs;
    for (;;) {
        int slice = std::min(500, remaining);
        int w = WaitForChild(pd, child, slice);
        if (w == 0) {
            if (child.ExitCode() == 0) return LPROCESS_OK;
            DebugLog("ProcessRunCommandLineProcess exit status %d", child.ExitCode());
            return LPROCESS_FAILED;
        }
        if (w == 1) {
            child.Terminate(1000);
            return LPROCESS_STOPPED;
        }
        pd.SetProgress(1 - f);
        f *= 0.99;
        if (slice == remaining) break;
        remaining -= slice;
    }
    DebugLog("ProcessRunCommandLineProcess time-out");
    child.Terminate(1000);
    return LPROCESS_FAILED;
}

int LHelperDecodeBase::Work() {
    SetStatusText(0, pszStatus);
    SetStatusText(1, LFile::_GetFileFromPath(szInputPath));
    std::string component;
    int r = ProcessGetComponentPath(*this, pszComponent, component, installOptions);
    if (r != LPROCESS_OK) return r;
    r = ProcessRunCommandLineProcess(*this, BuildCommandLine(component), iTimeBudgetMs);
    if (r == LPROCESS_FAILED)
        ReportError("Cannot open the file \"" + szInputPath + "\": the decoder \"" +
                    std::string(pszComponent) + "\" failed to decode it.");
    return r;
}

LCommandLine LAACDecode::CommandLine(const std::string& component, const std::string& wav,
                                     const std::string& input) {
    LCommandLine c;
    c.Quoted(component).Options(" -d  -o ").Quoted(wav).Options(" ").Quoted(input);
    return c;
}

LCommandLine LOggDecode::CommandLine(const std::string& component, const std::string& wav,
                                     const std::string& input) {
    LCommandLine c;
    c.Quoted(component).Options(" -o ").Quoted(wav).Options(" ").Quoted(input);
    return c;
}

LCommandLine LFLACDecode::CommandLine(const std::string& component, const std::string& wav,
                                      const std::string& input) {
    LCommandLine c;
    c.Quoted(component).Options(" -d -o ").Quoted(wav).Options(" ").Quoted(input);
    return c;
}

}  // namespace sonvex
