// The batch behind Convert: one output per selected list row, pumped from source to sink.
#pragma once

#include <string>

#include "audio/SoundSink.h"
#include "audio/SoundSource.h"
#include "support/ProgressDialog.h"

namespace sonvex {

// Row status icons.
enum : int { ICON_WAITING = 0, ICON_CONVERTING = 1, ICON_CONVERTED = 2, ICON_FAILED = 3 };

// The file list the batch walks (the main window's list).
class LConvertList {
public:
    virtual ~LConvertList() = default;
    virtual int RowCount() const = 0;
    virtual bool IsSelected(int row) const = 0;
    virtual std::string RowPath(int row) const = 0;
    virtual void SetRowIcon(int row, int icon) = 0;
    virtual void SelectAll() = 0;
    // The output folder text; the batch pushes it onto the history.
    virtual std::string OutputFolder() const = 0;
    virtual void PushOutputFolderHistory(const std::string& folder) = 0;
};

// What happened in a run, beyond its result code.
struct LConvertOutcome {
    int nConverted = 0;
    int nSkipped = 0;       // by the overwrite policy
    int nFailed = 0;        // refused, failed to open, failed to convert
    bool bStopped = false;  // ended before the end of the list by Cancel or the policy
};

// "folder/title<format>"; false when the path would not fit.
bool BuildOutputPath(std::string& out, const std::string& folder, const std::string& inputPath,
                     const std::string& format);

// How many rows a batch converts at once: the setting "ConvertThreads" (section "Settings"),
// where 0 or no value means one per processor core.
int ConvertThreadCount();

// Converts the selected rows. Each row is prepared on the calling (user-interface) thread in
// list order: output name, overwrite policy, source (decoder jobs and prompts run here), sink.
// With one thread it is then pumped there too, before the next row is prepared; with more,
// the pump, the encoder's finish and the tags run on a pool of workers, and the finished rows
// are put in place in list order, so icons, outcome and result are those of the one-by-one
// run. Rows naming the same output are never in flight together.
int ProcessConvert(LProgressDialog& dlg, LConvertList& list, const std::string& format,
                   LConvertOutcome* pOutcome = nullptr);

// What the pump asks and tells while it runs: Cancel, once per block, and the fraction done.
class LPumpControl {
public:
    virtual ~LPumpControl() = default;
    virtual bool Cancelled() = 0;
    virtual void Progress(double fraction) = 0;
};

// The pump: inserts the channel, rate and limiter stages, then moves blocks to the sink.
class LPRSourceToSink {
public:
    std::string szTitle;
    LSoundSourceRef pSource;
    LSoundSinkRef pSink;

    // Under the progress dialog: its lines show the title, its bar the row, Cancel stops.
    static int Process(LProgressDialog& dlg, LPRSourceToSink& job);
    // The same pump with no window (safe on a worker thread).
    static int Pump(LPumpControl& control, LPRSourceToSink& job);
};

// The conversion job as the main window runs it.
class LConvertJob : public LProgressDialog {
public:
    LConvertJob(LConvertList& list, std::string format)
        : LProgressDialog("Saving Audio File"), list_(list), szFormat_(std::move(format)) {}
    const LConvertOutcome& Outcome() const { return outcome_; }

protected:
    int Work() override { return ProcessConvert(*this, list_, szFormat_, &outcome_); }

private:
    LConvertList& list_;
    std::string szFormat_;
    LConvertOutcome outcome_;
};

}  // namespace sonvex
