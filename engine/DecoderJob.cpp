#include "engine/DecoderJob.h"

#include "engine/UiContext.h"

namespace sonvex {

int LMissingDecoder::Work() {
    if (bReport_)
        ReportError(FormatMessage(
            "Cannot open the file \"%s\": no decoder for this format is installed.", szInputPath));
    return LPROCESS_FAILED;
}

}  // namespace sonvex
