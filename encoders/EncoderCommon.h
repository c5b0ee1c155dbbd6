// Pieces shared by the encoder formats: what an opener decides (command line, rate,
// channels), the fixed option lists and the combo-box helpers of the options dialogs.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "audio/SoundSink.h"
#include "support/Dialog.h"
#include "support/Process.h"

namespace sonvex {

// What an encoder opener settled on.
struct LEncoderPlan {
    LCommandLine commandLine;
    int32_t rate = 0;
    int nChans = 0;
};

// Opens the pipe sink of a plan.
LSoundSinkRef OpenPlannedSink(const LEncoderPlan& plan);
// The pipe sink of a registered component, planned for its path; empty (with the diagnostic)
// when the component is not registered.
LSoundSinkRef OpenComponentSink(const char* component, const char* diagnostic,
                                const std::function<LEncoderPlan(const std::string&)>& plan);

// Fixed lists of the options dialogs.
const std::vector<std::string>& EncoderBitRateList();
const std::vector<std::string>& EncoderSampleRateList();
const std::vector<std::string>& EncoderChannelList();

// Channel counts the encoders take: 1 or 2.
int ClampEncoderChannels(int n);
// The decimal value of a combo's text; 0 (or no number) gives fallback.
int ComboValueOr(LDialog& dlg, int id, int fallback);

// Selects the first row that begins with text (case-insensitively) and shows it as the
// combo's text; no such row leaves the selection and the text as they were.
void ComboSelectString(LDialog& dlg, int id, std::string_view text);
// The combo's text: the selected row, else what was typed.
std::string ComboText(LDialog& dlg, int id);
// Sets the combo's text; it selects the row equal to it, if any.
void ComboSetText(LDialog& dlg, int id, const std::string& text);

}  // namespace sonvex
