#include "encoders/EncoderCommon.h"

#include <cctype>

#include "encoders/Components.h"
#include "encoders/EncoderPipe.h"
#include "platform/Debug.h"
#include "support/Settings.h"

namespace sonvex {

LSoundSinkRef OpenPlannedSink(const LEncoderPlan& plan) {
    return LSoundSinkRef(new LPipe16Sink(plan.commandLine, plan.rate, plan.nChans));
}

LSoundSinkRef OpenComponentSink(const char* component, const char* diagnostic,
                                const std::function<LEncoderPlan(const std::string&)>& plan) {
    std::string path;
    if (!GetComponentPath(component, path)) {
        DebugLog("%s", diagnostic);
        return {};
    }
    return OpenPlannedSink(plan(path));
}

const std::vector<std::string>& EncoderBitRateList() {
    static const std::vector<std::string> v = {"8",   "16",  "24",  "32",  "40",  "48",
                                               "56",  "64",  "80",  "96",  "112", "128",
                                               "144", "160", "192", "224", "256", "320"};
    return v;
}

const std::vector<std::string>& EncoderSampleRateList() {
    static const std::vector<std::string> v = {"6000",  "8000",  "11025", "16000",
                                               "22050", "32000", "44100", "48000",
                                               "64000", "88200", "96000", "196000"};
    return v;
}

const std::vector<std::string>& EncoderChannelList() {
    static const std::vector<std::string> v = {"Mono", "Stereo"};
    return v;
}

static bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (prefix.size() > s.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

void ComboSelectString(LDialog& dlg, int id, std::string_view text) {
    LControl* c = dlg.Control(id);
    if (!c) return;
    for (size_t i = 0; i < c->items.size(); ++i)
        if (StartsWithNoCase(c->items[i], text)) {
            c->iSel = static_cast<int>(i);
            c->szText = c->items[i];
            return;
        }
}

int ClampEncoderChannels(int n) {
    return n < 1 ? 1 : n > 2 ? 2 : n;
}

int ComboValueOr(LDialog& dlg, int id, int fallback) {
    const int v = ParseDecimal(ComboText(dlg, id));
    return v == 0 ? fallback : v;
}

std::string ComboText(LDialog& dlg, int id) {
    LControl* c = dlg.Control(id);
    if (!c) return {};
    if (c->iSel >= 0 && c->iSel < static_cast<int>(c->items.size())) return c->items[c->iSel];
    return c->szText;
}

void ComboSetText(LDialog& dlg, int id, const std::string& text) {
    LControl* c = dlg.Control(id);
    if (!c) return;
    c->szText = text;
    c->iSel = -1;
    for (size_t i = 0; i < c->items.size(); ++i)
        if (c->items[i] == text) c->iSel = static_cast<int>(i);
}

}  // namespace sonvex
