#pragma once
#include <cstdint>
#include <string>

namespace sonotrap {

class DiagnosticLog;

// The peak records that Record mode writes into the diagnostic log for every triggering block
// while peak logging is on, so a long recording's interesting moments can be found:
//   Date/time captured: 03/14 15:26:07
//   File offset: 00:01:12 
//   Peak frequency: 440.007hz, -21.6 dB
//   (empty line)

// "MM/DD hh:mm:ss" from a ten-digit MMDDhhmmss time-stamp text.
std::string CaptureTimeText(const char* timeStamp);
// "hh:mm:ss " (with the trailing blank) for a count of capture blocks, rounded to the second.
std::string DurationText(uint32_t blocks);
// Writes DurationText(blocks) as a line.
void FormatDuration(DiagnosticLog& log, uint32_t blocks);
// One record: capture time, file offset (blocksWritten before this trigger), peak and level.
void WritePeakLogRecord(DiagnosticLog& log, const char* timeStamp, uint32_t blocksWritten, double peakHz,
                        double peakDb);

}  // namespace sonotrap
