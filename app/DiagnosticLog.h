#pragma once
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace sonotrap {

// The run's diagnostic log: "Sonotrap.Log" in a directory, with the two previous runs kept as
// "Sonotrap1.Log" and "Sonotrap2.Log". Every call is one indivisible write under a recursive
// lock, so lines from different threads never interleave. A log that could not be created
// turns every call into a no-op. Owned by its user; pass it by reference to whoever writes.
class DiagnosticLog {
public:
    DiagnosticLog() = default;
    ~DiagnosticLog();  // closes with the footer if still open
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // Rotates the three files in directory, writes the header and "Timer initialized".
    bool LogOpen(const std::string& directory = ".");
    void LogClose();
    bool IsOpen() const;

    void LogLine(const char* text);
    void LogText(const char* text);
    void LogValue(const char* label, int32_t value);
    void LogTwoValues(const char* label1, const char* label2, int32_t value1, int32_t value2);
    void LogTimeOfDay();
    // Convenience for callers holding std::string.
    void LogLine(const std::string& text) { LogLine(text.c_str()); }
    void LogText(const std::string& text) { LogText(text.c_str()); }

private:
    void WriteDateText();
    mutable std::recursive_mutex lock_;
    std::FILE* stream_ = nullptr;
};

// Ten digits MMDDhhmmss of local time and a terminating zero, into a buffer of >= 11 bytes.
void MakeTimeStamp(char* buffer);

}  // namespace sonotrap
