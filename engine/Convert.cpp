#include "engine/Convert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/ConvertChannels.h"
#include "audio/ConvertRate.h"
#include "audio/PeakLimit.h"
#include "engine/OutputFormats.h"
#include "engine/SourceOpener.h"
#include "engine/UiContext.h"
#include "platform/Debug.h"
#include "platform/tags/Tags.h"
#include "support/File.h"
#include "support/OutputFile.h"
#include "support/Settings.h"
#include "support/Thread.h"
#include "support/WebAddresses.h"
#include "support/WorkerPool.h"

namespace sonvex {

namespace {

enum class Decision { Convert, Skip, Stop };

constexpr int kMaxConvertThreads = 64;

// The stored overwrite policy: the first of the settings that is set (none: overwrite).
enum class Policy { Prompt, Overwrite, Never, CancelAll };

Policy OverwritePolicy() {
    if (SettingsReadFlag("Settings", "AlwaysPrompt", true)) return Policy::Prompt;
    if (SettingsReadFlag("Settings", "AlwaysOverwrite", false)) return Policy::Overwrite;
    if (SettingsReadFlag("Settings", "NeverOverwrite", false)) return Policy::Never;
    if (SettingsReadFlag("Settings", "CancelAll", false)) return Policy::CancelAll;
    return Policy::Overwrite;
}

// The decision for an existing output; the first answer to the question holds for the rest
// of the run.
Decision OverwriteDecision(const std::string& outPath, bool& bAsked, Decision& remembered) {
    switch (OverwritePolicy()) {
        case Policy::Prompt:
            if (!bAsked) {
                bAsked = true;
                int a = UiHost().MessageBox(
                    FormatMessage(
                        "The output file \"%s\" already exists. Do you want to overwrite it?",
                        outPath),
                    "Sonvex", MsgButtons::YesNoCancel, MsgIcon::Question, IDNO);
                remembered = a == IDYES  ? Decision::Convert
                             : a == IDNO ? Decision::Skip
                                         : Decision::Stop;
            }
            return remembered;
        case Policy::Overwrite:
            return Decision::Convert;
        case Policy::Never:
            return Decision::Skip;
        case Policy::CancelAll:
            return Decision::Stop;
    }
    return Decision::Convert;
}

// True when the policy converts over an existing output without asking, skipping or stopping.
bool OverwriteIsSilent(bool bAsked, Decision remembered) {
    const Policy p = OverwritePolicy();
    return p == Policy::Overwrite ||
           (p == Policy::Prompt && bAsked && remembered == Decision::Convert);
}

// Copies the input's tags into the finished temporary output; a failure is only logged.
void CopyTags(const std::string& input, const std::string& output) {
    if (!CanWriteTags(SourceExtension(output))) return;
    LTags tags;
    std::string why;
    if (!ReadTags(input, tags, &why)) {
        DebugLog("ProcessConvert %s: tags not read: %s", input.c_str(), why.c_str());
        return;
    }
    if (!tags.Empty() && !WriteTags(output, tags, &why))
        DebugLog("ProcessConvert %s: tags not written: %s", output.c_str(), why.c_str());
}

// The pump's surroundings under a progress dialog.
class LDialogPumpControl : public LPumpControl {
public:
    explicit LDialogPumpControl(LProgressDialog& dlg) : dlg_(dlg) {}
    bool Cancelled() override { return dlg_.PumpMessages(); }
    void Progress(double fraction) override { dlg_.SetProgress(fraction); }

private:
    LProgressDialog& dlg_;
};

// One row from its preparation to the moment it is put in place (or given up).
struct LRowWork {
    int iRow = 0;
    std::string szInput;
    std::string szOutput;
    std::string szTempWav;  // a decoder's copy of the user's audio: gone with the row
    bool bReplace = false;
    bool bEncoder = false;
    LPendingOutput pending;
    LPRSourceToSink job;  // released before the pending output
    // What the pump and the finish gave.
    int iResult = LPROCESS_FAILED;
    int iError = 0;
    std::string szDetail;  // the sink's own words on a failure
    bool bFinished = false;

    ~LRowWork() {
        job.pSource.Reset();
        job.pSink.Reset();
        if (!szTempWav.empty()) unlink(szTempWav.c_str());
    }
};

// The pump, the sink's finish and the tags of a prepared row. Touches no window when pDlg is
// null, so it may run on a worker.
void RunRow(LRowWork& w, LPumpControl& control, LProgressDialog* pDlg, bool bKeepTags) {
    if (w.job.pSink) w.job.pSink->SetCancelCheck([&control] { return control.Cancelled(); });
    errno = 0;
    int result =
        pDlg ? LPRSourceToSink::Process(*pDlg, w.job) : LPRSourceToSink::Pump(control, w.job);
    // A pump that did not fail leaves only the errno of ordinary waits (a full pipe).
    int error = result == LPROCESS_FAILED ? errno : 0;
    w.job.pSource.Reset();
    // A row of a parallel batch that Cancel stopped is given up whole: its encoder need not
    // complete a file no one keeps.
    if (!pDlg && result == LPROCESS_STOPPED && w.job.pSink) w.job.pSink->Abandon();
    // Finishing (headers, the encoder's exit) can fail too; then the file is not converted.
    errno = 0;
    const bool bFinished = w.job.pSink && w.job.pSink->Finish();
    if (!bFinished && error == 0) error = errno;
    if (!bFinished && w.job.pSink) w.szDetail = w.job.pSink->FailureDetail();
    w.job.pSink.Reset();
    // A finish that Cancel cut short is a stop.
    if (result == LPROCESS_OK && !bFinished)
        result = control.Cancelled() ? LPROCESS_STOPPED : LPROCESS_FAILED;
    if (bFinished && result != LPROCESS_FAILED && w.bEncoder && w.pending.TempSize() <= 0)
        result = LPROCESS_FAILED;
    if (bKeepTags && bFinished && result != LPROCESS_FAILED)
        CopyTags(w.szInput, w.pending.TempPath());
    w.iResult = result;
    w.iError = error;
    w.bFinished = bFinished;
}

// The reason in brackets: what the sink said (an encoder's message), else the system's.
std::string ConversionFailed(const std::string& input, const std::string& output, int error,
                             const std::string& detail = {}) {
    std::string text =
        FormatMessage("Conversion of the file \"%s\" has failed. Please see ", input) +
        std::string(kCodecSupportPage) + " for possible answers to the problem.";
    if (!detail.empty())
        text += FormatMessage(" (%s)", detail);
    else if (error != 0)
        text += FormatMessage(" (%s)", strerror(error));
    DebugLog("ProcessConvert %s: %s", output.c_str(), text.c_str());
    return text;
}

// What the batch does after a step of a row.
enum class Next {
    Go,          // on with the next row
    Ready,       // prepared: pump it
    Wait,        // not prepared: a row in flight writes the same output
    EndOk,       // the batch ends with LPROCESS_OK
    EndFailed,   // ... LPROCESS_FAILED
    EndStopped,  // ... LPROCESS_STOPPED
};

int EndResult(Next n) {
    return n == Next::EndFailed    ? LPROCESS_FAILED
           : n == Next::EndStopped ? LPROCESS_STOPPED
                                   : LPROCESS_OK;
}

// The state of one run and the steps of its rows; everything here runs on the
// user-interface thread except RunRow.
class LBatch {
public:
    LBatch(LProgressDialog& dlg, LConvertList& list, const std::string& format,
           LConvertOutcome& outcome)
        : dlg_(dlg),
          list_(list),
          szFormat_(format),
          outcome_(outcome),
          context_(&bAllowPrompt_),
          bKeepTags_(SettingsReadFlag("Settings", "KeepTags", true)) {}

    int Run() {
        for (int i = 0; i < list_.RowCount(); ++i)
            if (list_.IsSelected(i)) list_.SetRowIcon(i, ICON_WAITING);
        szFolder_ = list_.OutputFolder();
        list_.PushOutputFolderHistory(szFolder_);
        bool bAnySelected = false;
        for (int i = 0; i < list_.RowCount() && !bAnySelected; ++i)
            bAnySelected = list_.IsSelected(i);
        if (!bAnySelected) list_.SelectAll();
        RemoveStaleOutputs(szFolder_);
        std::vector<int> rows;
        for (int i = 0; i < list_.RowCount(); ++i)
            if (list_.IsSelected(i)) rows.push_back(i);
        const int nThreads = std::min(ConvertThreadCount(), static_cast<int>(rows.size()));
        return nThreads <= 1 ? RunOneByOne(rows) : RunParallel(rows, nThreads);
    }

private:
    void FailRow(int row, const std::string& message) {
        dlg_.ReportError(message);
        list_.SetRowIcon(row, ICON_FAILED);
        ++outcome_.nFailed;
    }

    // The design's batch: each row prepared, pumped and put in place before the next.
    int RunOneByOne(const std::vector<int>& rows) {
        LDialogPumpControl control(dlg_);
        for (int i : rows) {
            std::unique_ptr<LRowWork> w;
            Next n = Prepare(i, w, {});
            if (n == Next::Ready) {
                RunRow(*w, control, &dlg_, bKeepTags_);
                n = Commit(*w);
            }
            if (n != Next::Go) return EndResult(n);
        }
        return LPROCESS_OK;
    }

    int RunParallel(const std::vector<int>& rows, int nThreads);

    // Output name, overwrite policy, source and sink of row i. mustWait(output, bDecided)
    // tells whether the row waits for rows in flight: one of them writes the output, or the
    // overwrite policy is to ask, skip or stop (bDecided), which one by one would only happen
    // once the earlier rows are done.
    Next Prepare(int i, std::unique_ptr<LRowWork>& w,
                 const std::function<bool(const std::string&, bool)>& mustWait) {
        list_.SetRowIcon(i, ICON_CONVERTING);
        const std::string input = list_.RowPath(i);
        std::string output;
        if (!BuildOutputPath(output, szFolder_, input, szFormat_)) {
            FailRow(i, FormatMessage("The output path for \"%s\" is too long (path too long); the "
                                     "file was not converted.",
                                     input));
            return Next::Go;
        }
        // Writing the output would truncate the input before it is read, or destroy the input
        // of a later row.
        const char* refusal = nullptr;
        if (SameFile(input, output)) {
            refusal = "The output file \"%s\" is the input file itself; it was not converted.";
        } else {
            for (int j = 0; j < list_.RowCount() && !refusal; ++j)
                if (j != i && SameFile(list_.RowPath(j), output))
                    refusal =
                        "The output file \"%s\" is the input file of another row of the list; "
                        "it was not converted.";
        }
        if (refusal) {
            FailRow(i, FormatMessage(refusal, output));
            return Next::Go;
        }
        if (mustWait &&
            mustWait(output, PathExists(output) && !OverwriteIsSilent(bAsked_, remembered_))) {
            list_.SetRowIcon(i, ICON_WAITING);
            return Next::Wait;
        }
        bool bReplace = false;
        if (PathExists(output)) {
            const Decision d = OverwriteDecision(output, bAsked_, remembered_);
            if (d == Decision::Stop) {
                list_.SetRowIcon(i, ICON_FAILED);
                outcome_.bStopped = true;
                return Next::EndOk;
            }
            if (d == Decision::Skip) {
                list_.SetRowIcon(i, ICON_FAILED);
                ++outcome_.nSkipped;
                return Next::Go;
            }
            bReplace = true;
        }
        w = std::make_unique<LRowWork>();
        w->iRow = i;
        w->szInput = input;
        w->szOutput = output;
        w->bReplace = bReplace;
        LSoundSourceRef source;
        const int opened = LGenSourceOpen(source, input, context_, &w->szTempWav);
        if (opened != LPROCESS_OK) {
            list_.SetRowIcon(i, ICON_FAILED);
            if (opened == LPROCESS_STOPPED)
                outcome_.bStopped = true;
            else
                ++outcome_.nFailed;
            return Next::EndOk;
        }
        if (!LGenSinkIsSupported(szFormat_)) {
            FailRow(i, "The specified output format is not supported by Sonvex. Please see " +
                           std::string(kSupportedFormatsPage) +
                           " for information on what formats are supported.");
            return Next::EndFailed;
        }
        // A decoder's temporary file named as the output would be replaced while it is read.
        if (!w->szTempWav.empty() && SameFile(w->szTempWav, output)) {
            FailRow(i, FormatMessage("The output file \"%s\" is the temporary file the input was "
                                     "decoded into; it was not converted.",
                                     output));
            return Next::Go;
        }
        // Everything is written under a temporary name beside the output and put in place
        // only once complete.
        if (!w->pending.Create(output)) {
            FailRow(i, ConversionFailed(input, output, errno));
            return Next::EndFailed;
        }
        w->bEncoder = LGenSinkIsEncoder(szFormat_);
        // Encoder programs create their output themselves (some refuse an existing file).
        if (w->bEncoder) w->pending.ReleaseName();
        w->job.szTitle = "Saving Audio File";
        w->job.pSource = source;
        // An unusable source fails before the sink creates anything.
        if (source->ErrorState == LSRC_OK)
            w->job.pSink =
                LGenSinkOpenSink(w->pending.TempPath(), source->SampleRate, source->nChans);
        return Next::Ready;
    }

    // Puts a row that has been run in place, or reports why not. A cancelled row keeps its
    // shortened but complete output.
    Next Commit(LRowWork& w) {
        int result = w.iResult;
        int error = w.iError;
        if (result != LPROCESS_FAILED && w.bFinished) {
            LPendingOutput::Commit c = w.pending.Put(w.bReplace);
            if (c == LPendingOutput::Commit::Exists) {
                // Another program created the output meanwhile: the policy decides again.
                const Decision d = OverwriteDecision(w.szOutput, bAsked_, remembered_);
                if (d == Decision::Convert) {
                    c = w.pending.Put(true);
                } else {
                    w.pending.Discard();
                    list_.SetRowIcon(w.iRow, ICON_FAILED);
                    if (d == Decision::Stop) {
                        outcome_.bStopped = true;
                        return Next::EndOk;
                    }
                    ++outcome_.nSkipped;
                    return Next::Go;
                }
            }
            if (c == LPendingOutput::Commit::Failed) {
                error = errno;
                result = LPROCESS_FAILED;
            }
        }
        if (result != LPROCESS_OK) {
            w.pending.Discard();
            dlg_.ReportError(result == LPROCESS_FAILED
                                 ? ConversionFailed(w.szInput, w.szOutput, error, w.szDetail)
                                 : ConversionFailed(w.szInput, w.szOutput, 0));
            list_.SetRowIcon(w.iRow, ICON_FAILED);
            if (result == LPROCESS_STOPPED) {
                outcome_.bStopped = true;
                return Next::EndStopped;
            }
            ++outcome_.nFailed;
            return Next::EndFailed;
        }
        list_.SetRowIcon(w.iRow, ICON_CONVERTED);
        ++outcome_.nConverted;
        return Next::Go;
    }

    LProgressDialog& dlg_;
    LConvertList& list_;
    const std::string szFormat_;
    LConvertOutcome& outcome_;
    std::string szFolder_;
    bool bAllowPrompt_ = true;
    const LUiContext context_;
    bool bAsked_ = false;
    Decision remembered_ = Decision::Convert;
    const bool bKeepTags_;
};

// A row handed to the workers.
struct LSlot {
    std::unique_ptr<LRowWork> w;
    std::atomic<int> iPermille{0};  // the pump's progress, written by the worker
    bool bDone = false;             // the worker has finished it (seen by the batch)
};

// The pump's surroundings on a worker: the batch's Cancel and the row's progress.
class LWorkerPumpControl : public LPumpControl {
public:
    LWorkerPumpControl(const std::atomic<bool>& bCancel, LSlot& slot)
        : bCancel_(bCancel), slot_(slot) {}
    bool Cancelled() override { return bCancel_.load(std::memory_order_relaxed); }
    void Progress(double fraction) override {
        slot_.iPermille.store(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 1000),
                              std::memory_order_relaxed);
    }

private:
    const std::atomic<bool>& bCancel_;
    LSlot& slot_;
};

// Rows prepared beyond those in flight, waiting to be put in place in list order.
constexpr size_t kCommitWindow = 64;
// How long the batch waits for a worker before it pumps again.
constexpr int kWaitSliceMs = 50;

// Rows are prepared here while fewer than nThreads are in flight, pumped on the workers, and
// put in place here in list order. A failure ends the batch as it would one by one: rows
// after it in flight are stopped and given up (their icons back to waiting). Cancel stops
// every row in flight at its next block: those are given up with no output under their
// names, rows already finished are still put in place.
int LBatch::RunParallel(const std::vector<int>& rows, int nThreads) {
    std::atomic<bool> bCancel{false};
    std::mutex doneLock;
    std::vector<LSlot*> finished;  // guarded by doneLock
    LSignalObject doneSignal;
    std::deque<std::unique_ptr<LSlot>> pending;  // prepared, not yet put in place; list order
    size_t next = 0;
    int nInFlight = 0;
    int nResolved = 0;        // rows done with, for the bar
    Next end = Next::Go;      // set by a row put in place: the batch ends now
    Next prepEnd = Next::Go;  // set by a row being prepared: the rows before it finish first
    bool bUserCancel = false;
    std::string shownNames;
    int shownPercent = -1;

    dlg_.SetStatusText(0, "Saving Audio File");
    dlg_.SetStatusText(1, "Please wait...");
    dlg_.SetProgress(0);
    LWorkerPool pool(nThreads);

    const auto collect = [&] {
        std::lock_guard<std::mutex> l(doneLock);
        doneSignal.Reset();
        for (LSlot* s : finished) {
            s->bDone = true;
            --nInFlight;
        }
        finished.clear();
    };
    const auto mustWait = [&](const std::string& output, bool bDecided) {
        if (bDecided && !pending.empty()) return true;
        for (const auto& s : pending)
            if (s->w->szOutput == output) return true;
        return false;
    };
    const auto submit = [&](std::unique_ptr<LRowWork> w) {
        auto slot = std::make_unique<LSlot>();
        slot->w = std::move(w);
        LSlot* s = slot.get();
        pending.push_back(std::move(slot));
        ++nInFlight;
        pool.Submit([this, s, &bCancel, &doneLock, &finished, &doneSignal] {
            LWorkerPumpControl control(bCancel, *s);
            RunRow(*s->w, control, nullptr, bKeepTags_);
            std::lock_guard<std::mutex> l(doneLock);
            finished.push_back(s);
            doneSignal.Set();
        });
    };

    for (;;) {
        collect();
        // Finished rows go in place in list order.
        while (end == Next::Go && !pending.empty() && pending.front()->bDone) {
            end = Commit(*pending.front()->w);
            pending.pop_front();
            ++nResolved;
        }
        if (end != Next::Go) break;
        if (pending.empty() && (prepEnd != Next::Go || next >= rows.size())) {
            end = prepEnd;
            break;
        }
        // The next rows, while workers are free.
        bool bPrepared = false;
        while (prepEnd == Next::Go && next < rows.size() && nInFlight < nThreads &&
               pending.size() < kCommitWindow) {
            std::unique_ptr<LRowWork> w;
            const Next n = Prepare(rows[next], w, mustWait);
            if (n == Next::Wait) break;
            ++next;
            bPrepared = true;
            if (n == Next::Ready) {
                submit(std::move(w));
            } else {
                ++nResolved;
                if (n != Next::Go) prepEnd = n;
            }
        }
        // The window: the files in flight, one bar for the batch.
        std::string names;
        int permille = nResolved * 1000;
        for (const auto& s : pending) {
            permille += s->bDone ? 1000 : s->iPermille.load(std::memory_order_relaxed);
            if (s->bDone) continue;
            if (!names.empty()) names += '\n';
            names += LFile::_GetFileFromPath(s->w->szInput);
        }
        if (!names.empty() && names != shownNames) dlg_.SetStatusText(1, shownNames = names);
        const int percent = permille / 10 / static_cast<int>(rows.size());
        if (percent != shownPercent) dlg_.SetProgress((shownPercent = percent) / 100.0);
        if (dlg_.WaitForHandle(doneSignal.Descriptor(), bPrepared ? 0 : kWaitSliceMs) == 1) {
            bUserCancel = true;
            break;
        }
    }

    // Whatever is still in flight stops at its next block (an encoder may take its grace to
    // finish); the user-interface loop keeps running meanwhile, with or without the window.
    bCancel = true;
    for (collect(); nInFlight > 0; collect())
        dlg_.WaitForHandle(doneSignal.Descriptor(), kWaitSliceMs);
    bool bReported = false;
    for (const auto& s : pending) {
        LRowWork& w = *s->w;
        if (bUserCancel && w.iResult == LPROCESS_OK) {
            // Converted before Cancel: put in place as usual.
            if (Commit(w) == Next::EndFailed) end = Next::EndFailed;
            continue;
        }
        w.pending.Discard();
        if (!bUserCancel) {
            // After the row that ended the batch: as if never started.
            list_.SetRowIcon(w.iRow, ICON_WAITING);
            continue;
        }
        list_.SetRowIcon(w.iRow, ICON_FAILED);
        if (w.iResult == LPROCESS_FAILED) {
            dlg_.ReportError(ConversionFailed(w.szInput, w.szOutput, w.iError, w.szDetail));
            ++outcome_.nFailed;
            end = Next::EndFailed;
        } else if (!bReported) {
            // One message for the rows Cancel stopped.
            bReported = true;
            dlg_.ReportError(ConversionFailed(w.szInput, w.szOutput, 0));
        }
    }
    pending.clear();
    if (bUserCancel) {
        outcome_.bStopped = true;
        return end == Next::EndFailed ? LPROCESS_FAILED : LPROCESS_STOPPED;
    }
    return EndResult(end);
}

}  // namespace

int ConvertThreadCount() {
    const int stored = SettingsReadInt("Settings", "ConvertThreads", 0);
    if (stored > 0) return std::min(stored, kMaxConvertThreads);
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, kMaxConvertThreads);
}

bool BuildOutputPath(std::string& out, const std::string& folder, const std::string& inputPath,
                     const std::string& format) {
    std::string p = folder;
    return FilePathCatExt(p, _GetFileTitleFromPath(inputPath), format) && (out = p, true);
}

int ProcessConvert(LProgressDialog& dlg, LConvertList& list, const std::string& format,
                   LConvertOutcome* pOutcome) {
    LConvertOutcome local;
    return LBatch(dlg, list, format, pOutcome ? *pOutcome : local).Run();
}

int LPRSourceToSink::Process(LProgressDialog& dlg, LPRSourceToSink& job) {
    dlg.SetStatusText(0, job.szTitle);
    dlg.SetStatusText(1, "Please wait...");
    dlg.SetProgress(0);
    LDialogPumpControl control(dlg);
    return Pump(control, job);
}

int LPRSourceToSink::Pump(LPumpControl& control, LPRSourceToSink& job) {
    LSoundSourceRef source = job.pSource;
    LSoundSinkRef sink = job.pSink;
    if (source->ErrorState != LSRC_OK) return LPROCESS_FAILED;
    if (!sink || sink->IsUnusable()) return LPROCESS_FAILED;

    // Each stage's result replaces the current source.
    const auto insert = [&source](LSoundProcessBase&& stage) {
        LSoundSourceRef next;
        stage.OpenSource(next, source);
        source = next;
    };
    insert(LSPConvChannels(sink->nChans));
    insert(LSPConvertRate(sink->SampleRate));
    insert(LSPPeakLimit(kFullScale16));
    // A channel count or rate the stages cannot reach would be written as garbage.
    if (source->nChans != sink->nChans || source->SampleRate != sink->SampleRate)
        return LPROCESS_FAILED;

    double total = source->GetLength();
    if (total == 0) total = 1.0;
    const int nChans = source->nChans;
    std::unique_ptr<int32_t[]> buffer(new int32_t[static_cast<size_t>(kBlockFrames) * nChans]);
    for (;;) {
        if (control.Cancelled()) return LPROCESS_STOPPED;
        // Samples the sink stores as the source holds them go over unconverted.
        if (source->CopyTo(*sink) > 0) {
            if (sink->IsUnusable()) return control.Cancelled() ? LPROCESS_STOPPED : LPROCESS_FAILED;
            control.Progress(static_cast<double>(source->GetPosition()) / total);
            continue;
        }
        source->Read(buffer.get(), kBlockFrames);
        const int64_t position = source->GetPosition();
        const int64_t length = source->GetLength();
        if (position >= length) {
            const int64_t n = kBlockFrames - (position - length);
            if (n > 0 && n <= kBlockFrames) sink->Write(buffer.get(), static_cast<int>(n));
            // A sink that failed to write (disk full) must not pass for a finished file.
            return sink->IsUnusable() ? LPROCESS_FAILED : LPROCESS_OK;
        }
        sink->Write(buffer.get(), kBlockFrames);
        // A write given up for Cancel (an encoder that stopped reading) is a stop.
        if (sink->IsUnusable()) return control.Cancelled() ? LPROCESS_STOPPED : LPROCESS_FAILED;
        control.Progress(static_cast<double>(position) / total);
    }
}

}  // namespace sonvex
