#include "log/DiagnosticLog.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>

namespace sonotrap {

namespace {

const char* const kWeekdays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};
const char* const kMonths[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};

// Local time and the millisecond part of the same instant.
std::tm LocalNow(int* milliseconds) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    if (milliseconds) {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
        *milliseconds = static_cast<int>(((ms % 1000) + 1000) % 1000);
    }
    return LocalTime(seconds);
}

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

// Length of text, but at most limit (the text need not be terminated within the limit).
size_t BoundedLength(const char* text, size_t limit) {
    size_t length = 0;
    while (length < limit && text[length] != '\0') ++length;
    return length;
}

}  // namespace

void FormatTimeStamp(const std::tm& time, char* buffer) {
    std::snprintf(buffer, 11, "%02d%02d%02d%02d%02d", Clamp(time.tm_mon + 1, 1, 12), Clamp(time.tm_mday, 1, 31),
                  Clamp(time.tm_hour, 0, 23), Clamp(time.tm_min, 0, 59), Clamp(time.tm_sec, 0, 60));
}

void FormatTimeOfDay(const std::tm& time, int milliseconds, char* buffer) {
    std::snprintf(buffer, 13, "%02d:%02d:%02d %03d", Clamp(time.tm_hour, 0, 23), Clamp(time.tm_min, 0, 59),
                  Clamp(time.tm_sec, 0, 60), Clamp(milliseconds, 0, 999));
}

// The C locale's "%A, %B/%d/%Y ", independent of whatever locale the process has set.
std::string FormatLogDate(const std::tm& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%s, %s/%02d/%04d ", kWeekdays[Clamp(time.tm_wday, 0, 6)],
                  kMonths[Clamp(time.tm_mon, 0, 11)], Clamp(time.tm_mday, 1, 31),
                  Clamp(time.tm_year + 1900, 0, 9999));
    return text;
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    return local;
}

void MakeTimeStamp(char* buffer) { FormatTimeStamp(LocalNow(nullptr), buffer); }

DiagnosticLog::~DiagnosticLog() { LogClose(); }

bool DiagnosticLog::IsOpen() const {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return stream_ != nullptr;
}

bool DiagnosticLog::LogOpen(const std::string& directory) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (stream_) return true;
    const std::filesystem::path dir(directory);
    const std::string current = (dir / "Sonotrap.Log").string();
    const std::string previous = (dir / "Sonotrap1.Log").string();
    const std::string oldest = (dir / "Sonotrap2.Log").string();
    // Each rotation step may fail (file missing); the next one runs regardless.
    std::remove(oldest.c_str());
    std::rename(previous.c_str(), oldest.c_str());
    std::rename(current.c_str(), previous.c_str());

    stream_ = std::fopen(current.c_str(), "w");
    if (!stream_) return false;
    WriteDateText();
    LogText("- Time started: ");
    LogTimeOfDay();
    LogText("\n");
    LogLine("Timer initialized");
    return true;
}

void DiagnosticLog::LogClose() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!stream_) return;
    LogText("\n\nShutting down logging system...\n");
    WriteDateText();
    LogText("- Time: ");
    LogTimeOfDay();
    LogText("\n");
    std::fflush(stream_);
    std::fclose(stream_);
    stream_ = nullptr;
}

void DiagnosticLog::Write(const char* bytes, size_t count, bool flush) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!stream_) return;
    std::fwrite(bytes, 1, count, stream_);
    if (flush) std::fflush(stream_);
}

void DiagnosticLog::WriteDateText() {
    const std::string text = "Date: " + FormatLogDate(LocalNow(nullptr));
    Write(text.data(), text.size(), false);
}

void DiagnosticLog::LogLine(const char* text) {
    char line[kMaxLineText + 2];
    const size_t length = text ? BoundedLength(text, kMaxLineText) : 0;
    if (length) std::memcpy(line, text, length);
    line[length] = '\n';
    Write(line, length + 1, true);
}

void DiagnosticLog::LogText(const char* text) {
    if (text) Write(text, std::strlen(text), false);
}

void DiagnosticLog::LogValue(const char* label, int32_t value) {
    char line[kMaxValueLabel + 32];
    const int length = std::snprintf(line, sizeof line, "%.*s: %ld\n", static_cast<int>(kMaxValueLabel),
                                     label ? label : "", static_cast<long>(value));
    if (length > 0) Write(line, static_cast<size_t>(length), true);
}

void DiagnosticLog::LogTwoValues(const char* label1, const char* label2, int32_t value1, int32_t value2) {
    const size_t length1 = label1 ? BoundedLength(label1, kMaxTwoValueLabels) : 0;
    const size_t length2 = label2 ? BoundedLength(label2, kMaxTwoValueLabels - length1) : 0;
    char line[kMaxTwoValueLabels + 64];
    const int length = std::snprintf(line, sizeof line, "%.*s: %ld, %.*s: %ld\n", static_cast<int>(length1),
                                     label1 ? label1 : "", static_cast<long>(value1), static_cast<int>(length2),
                                     label2 ? label2 : "", static_cast<long>(value2));
    if (length > 0) Write(line, static_cast<size_t>(length), true);
}

void DiagnosticLog::LogTimeOfDay() {
    int milliseconds = 0;
    const std::tm now = LocalNow(&milliseconds);
    char line[16];
    FormatTimeOfDay(now, milliseconds, line);
    const size_t length = std::strlen(line);
    line[length] = '\n';
    Write(line, length + 1, false);
}

}  // namespace sonotrap
