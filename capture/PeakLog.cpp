#include "capture/PeakLog.h"

#include <cmath>
#include <cstdio>

#include "log/DiagnosticLog.h"
#include "display/FormatDecimal.h"

namespace sonotrap {

std::string CaptureTimeText(const char* s) {
    // MMDDhhmmss -> MM/DD hh:mm:ss
    const std::string t(s);
    if (t.size() < 10) return t;
    return t.substr(0, 2) + "/" + t.substr(2, 2) + " " + t.substr(4, 2) + ":" + t.substr(6, 2) + ":" + t.substr(8, 2);
}

std::string DurationText(uint32_t blocks) {
    const auto total = static_cast<uint32_t>(std::floor(blocks * 2304.0 / 32000.0 + 0.5));
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u ", (total / 3600) % 100, (total / 60) % 60, total % 60);
    return text;
}

void FormatDuration(DiagnosticLog& log, uint32_t blocks) { log.LogLine(DurationText(blocks)); }

void WritePeakLogRecord(DiagnosticLog& log, const char* timeStamp, uint32_t blocksWritten, double peakHz,
                        double peakDb) {
    log.LogText("Date/time captured: ");
    log.LogLine(CaptureTimeText(timeStamp));
    log.LogText("File offset: ");
    FormatDuration(log, blocksWritten);
    log.LogText("Peak frequency: ");
    log.LogText(FormatDecimal(3, peakHz));
    log.LogText("hz, ");
    log.LogText(FormatDecimal(1, peakDb));
    log.LogLine(" dB");
    log.LogLine("");
}

}  // namespace sonotrap
