#include "engine/Convert.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

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
#include "support/WebAddresses.h"

namespace sonvex {

namespace {

enum class Decision { Convert, Skip, Stop };

// The overwrite policy for an existing output; the first answer to the question holds for
// the rest of the run.
Decision OverwriteDecision(const std::string& outPath, bool& bAsked, Decision& remembered) {
    if (SettingsReadFlag("Settings", "AlwaysPrompt", true)) {
        if (!bAsked) {
            bAsked = true;
            int a = UiHost().MessageBox(
                FormatMessage("The output file \"%s\" already exists. Do you want to overwrite it?",
                              outPath),
                "Sonvex", MsgButtons::YesNoCancel, MsgIcon::Question, IDNO);
            remembered = a == IDYES  ? Decision::Convert
                         : a == IDNO ? Decision::Skip
                                     : Decision::Stop;
        }
        return remembered;
    }
    if (SettingsReadFlag("Settings", "AlwaysOverwrite", false)) return Decision::Convert;
    if (SettingsReadFlag("Settings", "NeverOverwrite", false)) return Decision::Skip;
    if (SettingsReadFlag("Settings", "CancelAll", false)) return Decision::Stop;
    return Decision::Convert;
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

}  // namespace

bool BuildOutputPath(std::string& out, const std::string& folder, const std::string& inputPath,
                     const std::string& format) {
    std::string p = folder;
    return FilePathCatExt(p, _GetFileTitleFromPath(inputPath), format) && (out = p, true);
}

int ProcessConvert(LProgressDialog& dlg, LConvertList& list, const std::string& format,
                   LConvertOutcome* pOutcome) {
    LConvertOutcome local;
    LConvertOutcome& outcome = pOutcome ? *pOutcome : local;
    for (int i = 0; i < list.RowCount(); ++i)
        if (list.IsSelected(i)) list.SetRowIcon(i, ICON_WAITING);
    const std::string folder = list.OutputFolder();
    list.PushOutputFolderHistory(folder);
    bool bAnySelected = false;
    for (int i = 0; i < list.RowCount() && !bAnySelected; ++i) bAnySelected = list.IsSelected(i);
    if (!bAnySelected) list.SelectAll();
    RemoveStaleOutputs(folder);

    bool bAllowPrompt = true;
    const LUiContext context(&bAllowPrompt);
    bool bAsked = false;
    Decision remembered = Decision::Convert;
    const bool bKeepTags = SettingsReadFlag("Settings", "KeepTags", true);
    const auto failRow = [&](int row, const std::string& message) {
        dlg.ReportError(message);
        list.SetRowIcon(row, ICON_FAILED);
        ++outcome.nFailed;
    };

    for (int i = 0; i < list.RowCount(); ++i) {
        if (!list.IsSelected(i)) continue;
        list.SetRowIcon(i, ICON_CONVERTING);
        const std::string input = list.RowPath(i);
        std::string output;
        if (!BuildOutputPath(output, folder, input, format)) {
            failRow(i, FormatMessage("The output path for \"%s\" is too long (path too long); the "
                                     "file was not converted.",
                                     input));
            continue;
        }
        // Writing the output would truncate the input before it is read, or destroy the input
        // of a later row.
        const char* refusal = nullptr;
        if (SameFile(input, output)) {
            refusal = "The output file \"%s\" is the input file itself; it was not converted.";
        } else {
            for (int j = 0; j < list.RowCount() && !refusal; ++j)
                if (j != i && SameFile(list.RowPath(j), output))
                    refusal =
                        "The output file \"%s\" is the input file of another row of the list; "
                        "it was not converted.";
        }
        if (refusal) {
            failRow(i, FormatMessage(refusal, output));
            continue;
        }
        bool bReplace = false;
        if (PathExists(output)) {
            Decision d = OverwriteDecision(output, bAsked, remembered);
            if (d == Decision::Stop) {
                list.SetRowIcon(i, ICON_FAILED);
                outcome.bStopped = true;
                return LPROCESS_OK;
            }
            if (d == Decision::Skip) {
                list.SetRowIcon(i, ICON_FAILED);
                ++outcome.nSkipped;
                continue;
            }
            bReplace = true;
        }
        LSoundSourceRef source;
        std::string tempWav;
        const int opened = LGenSourceOpen(source, input, context, &tempWav);
        // A decoder's temporary file is a full copy of the user's audio: gone with the row.
        struct TempRemover {
            const std::string& path;
            ~TempRemover() {
                if (!path.empty()) unlink(path.c_str());
            }
        } removeTemp{tempWav};
        if (opened != LPROCESS_OK) {
            list.SetRowIcon(i, ICON_FAILED);
            if (opened == LPROCESS_STOPPED)
                outcome.bStopped = true;
            else
                ++outcome.nFailed;
            return LPROCESS_OK;
        }
        if (!LGenSinkIsSupported(format)) {
            failRow(i, "The specified output format is not supported by Sonvex. Please see " +
                           std::string(kSupportedFormatsPage) +
                           " for information on what formats are supported.");
            return LPROCESS_FAILED;
        }
        // A decoder's temporary file named as the output would be replaced while it is read.
        if (!tempWav.empty() && SameFile(tempWav, output)) {
            failRow(i, FormatMessage("The output file \"%s\" is the temporary file the input was "
                                     "decoded into; it was not converted.",
                                     output));
            continue;
        }
        const auto conversionFailed = [&](int error) {
            std::string text =
                FormatMessage("Conversion of the file \"%s\" has failed. Please see ", input) +
                std::string(kCodecSupportPage) + " for possible answers to the problem.";
            if (error != 0) text += FormatMessage(" (%s)", strerror(error));
            DebugLog("ProcessConvert %s: %s", output.c_str(), text.c_str());
            return text;
        };
        // Everything is written under a temporary name beside the output and put in place
        // only once complete.
        LPendingOutput pending;
        if (!pending.Create(output)) {
            failRow(i, conversionFailed(errno));
            return LPROCESS_FAILED;
        }
        const bool bEncoder = LGenSinkIsEncoder(format);
        // Encoder programs create their output themselves (some refuse an existing file).
        if (bEncoder) pending.ReleaseName();
        LPRSourceToSink job;
        job.szTitle = "Saving Audio File";
        job.pSource = source;
        // An unusable source fails before the sink creates anything.
        if (source->ErrorState == LSRC_OK)
            job.pSink = LGenSinkOpenSink(pending.TempPath(), source->SampleRate, source->nChans);
        source.Reset();
        if (job.pSink) job.pSink->SetCancelCheck([&dlg] { return dlg.PumpMessages(); });
        errno = 0;
        int result = LPRSourceToSink::Process(dlg, job);
        int error = errno;
        job.pSource.Reset();
        // Finishing (headers, the encoder's exit) can fail too; then the file is not converted.
        // A cancelled row keeps its shortened but complete output.
        errno = 0;
        const bool bFinished = job.pSink && job.pSink->Finish();
        if (!bFinished && error == 0) error = errno;
        job.pSink.Reset();
        if (result == LPROCESS_OK && !bFinished) result = LPROCESS_FAILED;
        if (bFinished && result != LPROCESS_FAILED && bEncoder && pending.TempSize() <= 0)
            result = LPROCESS_FAILED;
        if (result != LPROCESS_FAILED && bFinished) {
            if (bKeepTags) CopyTags(input, pending.TempPath());
            LPendingOutput::Commit c = pending.Put(bReplace);
            if (c == LPendingOutput::Commit::Exists) {
                // Another program created the output meanwhile: the policy decides again.
                const Decision d = OverwriteDecision(output, bAsked, remembered);
                if (d == Decision::Convert) {
                    c = pending.Put(true);
                } else {
                    pending.Discard();
                    list.SetRowIcon(i, ICON_FAILED);
                    if (d == Decision::Stop) {
                        outcome.bStopped = true;
                        return LPROCESS_OK;
                    }
                    ++outcome.nSkipped;
                    continue;
                }
            }
            if (c == LPendingOutput::Commit::Failed) {
                error = errno;
                result = LPROCESS_FAILED;
            }
        }
        if (result != LPROCESS_OK) {
            pending.Discard();
            dlg.ReportError(conversionFailed(result == LPROCESS_FAILED ? error : 0));
            list.SetRowIcon(i, ICON_FAILED);
            if (result == LPROCESS_STOPPED)
                outcome.bStopped = true;
            else
                ++outcome.nFailed;
            return result;
        }
        list.SetRowIcon(i, ICON_CONVERTED);
        ++outcome.nConverted;
    }
    return LPROCESS_OK;
}

int LPRSourceToSink::Process(LProgressDialog& dlg, LPRSourceToSink& job) {
    dlg.SetStatusText(0, job.szTitle);
    dlg.SetStatusText(1, "Please wait...");
    dlg.SetProgress(0);
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
        if (dlg.PumpMessages()) return LPROCESS_STOPPED;
        // Samples the sink stores as the source holds them go over unconverted.
        if (source->CopyTo(*sink) > 0) {
            if (sink->IsUnusable()) return dlg.PumpMessages() ? LPROCESS_STOPPED : LPROCESS_FAILED;
            dlg.SetProgress(static_cast<double>(source->GetPosition()) / total);
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
        if (sink->IsUnusable()) return dlg.PumpMessages() ? LPROCESS_STOPPED : LPROCESS_FAILED;
        dlg.SetProgress(static_cast<double>(position) / total);
    }
}

}  // namespace sonvex
