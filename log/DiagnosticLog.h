#pragma once
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace sonotrap {

// The run's diagnostic log: "Sonotrap.Log" in a directory, with the two previous runs kept as
// "Sonotrap1.Log" and "Sonotrap2.Log". Every call is one indivisible write under a recursive
// lock, so lines from different threads never interleave. A log that could not be created
// turns every call into a no-op. Owned by its user; pass it by reference to whoever writes.
class DiagnosticLog {
public:
    // What one call may write: longer texts are cut to these lengths.
    static constexpr size_t kMaxLineText = 1022;
    static constexpr size_t kMaxValueLabel = 160;
    static constexpr size_t kMaxTwoValueLabels = 240;

    DiagnosticLog() = default;
    ~DiagnosticLog();  // closes with the footer if still open
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // Rotates the three files in directory, writes the header and "Timer initialized".
    // False when the file could not be created (the log then stays closed). A log that is
    // already open is left as it is.
    bool LogOpen(const std::string& directory = ".");
    // Writes the footer and closes; later calls do nothing.
    void LogClose();
    bool IsOpen() const;

    void LogLine(const char* text);   // text and a newline, flushed
    void LogText(const char* text);   // text as it is, not flushed
    void LogValue(const char* label, int32_t value);
    void LogTwoValues(const char* label1, const char* label2, int32_t value1, int32_t value2);
    void LogTimeOfDay();              // HH:MM:SS mmm and a newline, not flushed
    // Convenience for callers holding std::string.
    void LogLine(const std::string& text) { LogLine(text.c_str()); }
    void LogText(const std::string& text) { LogText(text.c_str()); }

private:
    void WriteDateText();
    void Write(const char* bytes, size_t count, bool flush);
    mutable std::recursive_mutex lock_;
    std::FILE* stream_ = nullptr;
};

// Ten digits MMDDhhmmss of local time and a terminating zero, into a buffer of >= 11 bytes.
void MakeTimeStamp(char* buffer);

// The local calendar time of t; safe to call from several threads at once.
std::tm LocalTime(std::time_t t);

// The pure text formats behind the log and the time stamp, for a given broken-down time.
// FormatTimeStamp: "MMDDhhmmss" (buffer >= 11 bytes).
void FormatTimeStamp(const std::tm& time, char* buffer);
// FormatTimeOfDay: "HH:MM:SS mmm" (buffer >= 13 bytes); milliseconds 0..999.
void FormatTimeOfDay(const std::tm& time, int milliseconds, char* buffer);
// FormatLogDate: "Weekday, Month/DD/YYYY " with English names, as in the header and footer.
std::string FormatLogDate(const std::tm& time);

}  // namespace sonotrap
