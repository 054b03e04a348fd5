#include "app/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace sonotrap {
namespace {

using test::ReadFileText;
using test::TempDir;

bool IsDigits(const std::string& text, size_t at, size_t count) {
    if (at + count > text.size()) return false;
    for (size_t i = at; i < at + count; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

// "HH:MM:SS mmm" at position at.
bool IsTimeOfDay(const std::string& text, size_t at) {
    return IsDigits(text, at, 2) && text[at + 2] == ':' && IsDigits(text, at + 3, 2) && text[at + 5] == ':' &&
           IsDigits(text, at + 6, 2) && text[at + 8] == ' ' && IsDigits(text, at + 9, 3);
}

// "Weekday, Month/DD/YYYY " at position at; its length, or 0.
size_t LogDateLength(const std::string& text, size_t at) {
    static const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                          "July",    "August",   "September", "October", "November", "December"};
    for (const char* day : kDays) {
        const std::string dayPart = std::string(day) + ", ";
        if (text.compare(at, dayPart.size(), dayPart) != 0) continue;
        for (const char* month : kMonths) {
            const size_t m = at + dayPart.size();
            const std::string monthPart = std::string(month) + "/";
            if (text.compare(m, monthPart.size(), monthPart) != 0) continue;
            const size_t d = m + monthPart.size();
            if (IsDigits(text, d, 2) && text[d + 2] == '/' && IsDigits(text, d + 3, 4) && text[d + 7] == ' ')
                return d + 8 - at;
        }
    }
    return 0;
}

// Replaces the date and time-of-day fields, which change from run to run.
std::string MaskTimes(const std::string& text) {
    std::string masked;
    for (size_t i = 0; i < text.size();) {
        if (const size_t date = LogDateLength(text, i)) {
            masked += "<date> ";
            i += date;
        } else if (IsTimeOfDay(text, i)) {
            masked += "<time>";
            i += 12;
        } else {
            masked += text[i++];
        }
    }
    return masked;
}

std::string RunLog(const TempDir& dir, const std::string& marker) {
    DiagnosticLog log;
    EXPECT_TRUE(log.LogOpen(dir.Path().string()));
    log.LogLine(marker.c_str());
    return marker;
}

TEST(DiagnosticLogTest, RotationKeepsTheTwoPreviousRuns) {
    TempDir dir;
    auto exists = [&](const char* name) { return std::filesystem::exists(dir.Path() / name); };
    auto holds = [&](const char* name, const std::string& marker) {
        return ReadFileText(dir.File(name)).find(marker + "\n") != std::string::npos;
    };
    RunLog(dir, "run one");
    EXPECT_TRUE(exists("Sonotrap.Log"));
    EXPECT_FALSE(exists("Sonotrap1.Log"));
    EXPECT_FALSE(exists("Sonotrap2.Log"));

    RunLog(dir, "run two");
    EXPECT_TRUE(holds("Sonotrap.Log", "run two"));
    EXPECT_TRUE(holds("Sonotrap1.Log", "run one"));
    EXPECT_FALSE(exists("Sonotrap2.Log"));

    RunLog(dir, "run three");
    RunLog(dir, "run four");
    EXPECT_TRUE(holds("Sonotrap.Log", "run four"));
    EXPECT_TRUE(holds("Sonotrap1.Log", "run three"));
    EXPECT_TRUE(holds("Sonotrap2.Log", "run two"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

TEST(DiagnosticLogTest, WritesHeaderLinesAndFooterByteForByte) {
    TempDir dir;
    {
        DiagnosticLog log;
        ASSERT_TRUE(log.LogOpen(dir.Path().string()));
        EXPECT_TRUE(log.IsOpen());
        log.LogValue("Threshold DBs", 60);
        log.LogValue("Threshold DBs", -3);
        log.LogValue("Lowest", INT32_MIN);
        log.LogTwoValues("Min Trigger Freq", "Max Trigger Freq", 16, 16000);
        log.LogText("Peak at ");
        log.LogText(std::string("0506070809"));
        log.LogLine(" logged");
        log.LogLine(std::string());
        log.LogClose();
        EXPECT_FALSE(log.IsOpen());
    }
    EXPECT_EQ(MaskTimes(ReadFileText(dir.File("Sonotrap.Log"))),
              "Date: <date> - Time started: <time>\n"
              "\n"
              "Timer initialized\n"
              "Threshold DBs: 60\n"
              "Threshold DBs: -3\n"
              "Lowest: -2147483648\n"
              "Min Trigger Freq: 16, Max Trigger Freq: 16000\n"
              "Peak at 0506070809 logged\n"
              "\n"
              "\n"
              "\n"
              "Shutting down logging system...\n"
              "Date: <date> - Time: <time>\n"
              "\n");
}

TEST(DiagnosticLogTest, DestructorClosesWithTheFooter) {
    TempDir dir;
    RunLog(dir, "only line");
    const std::string text = ReadFileText(dir.File("Sonotrap.Log"));
    EXPECT_NE(text.find("only line\n\n\nShutting down logging system...\nDate: "), std::string::npos);
}

TEST(DiagnosticLogTest, LongTextsAreCutToTheirLimits) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    const std::string longText(3000, 'x');
    log.LogLine(longText.c_str());
    log.LogValue(std::string(500, 'v').c_str(), 7);
    log.LogTwoValues(std::string(200, 'a').c_str(), std::string(200, 'b').c_str(), 1, 2);
    log.LogClose();
    std::istringstream lines(ReadFileText(dir.File("Sonotrap.Log")));
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    ASSERT_GE(all.size(), 6u);
    EXPECT_EQ(all[3], std::string(1022, 'x'));
    EXPECT_EQ(all[4], std::string(160, 'v') + ": 7");
    EXPECT_EQ(all[5], std::string(200, 'a') + ": 1, " + std::string(40, 'b') + ": 2");
}

TEST(DiagnosticLogTest, EveryCallIsANoOpWhenClosed) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    log.LogClose();
    const std::string closed = ReadFileText(dir.File("Sonotrap.Log"));
    log.LogLine("after close");
    log.LogText("after close");
    log.LogValue("after", 1);
    log.LogTwoValues("a", "b", 1, 2);
    log.LogTimeOfDay();
    log.LogClose();
    EXPECT_EQ(ReadFileText(dir.File("Sonotrap.Log")), closed);

    DiagnosticLog neverOpened;
    neverOpened.LogLine("nothing");
    neverOpened.LogClose();
    EXPECT_FALSE(neverOpened.IsOpen());
}

TEST(DiagnosticLogTest, UncreatableFileLeavesTheLogClosed) {
    TempDir dir;
    DiagnosticLog log;
    EXPECT_FALSE(log.LogOpen((dir.Path() / "missing" / "folder").string()));
    EXPECT_FALSE(log.IsOpen());
    log.LogLine("nothing");
    log.LogValue("nothing", 1);
    log.LogClose();
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "missing"));
}

TEST(DiagnosticLogTest, ConcurrentWritersNeverInterleaveLines) {
    TempDir dir;
    constexpr int kThreads = 6, kRounds = 400;
    {
        DiagnosticLog log;
        ASSERT_TRUE(log.LogOpen(dir.Path().string()));
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t) {
            writers.emplace_back([&log, t] {
                const std::string line = "writer " + std::to_string(t) + " says " + std::string(100 + t, 'a' + t);
                for (int i = 0; i < kRounds; ++i) {
                    log.LogLine(line.c_str());
                    log.LogValue("Writer value", t * 100000 + i);
                    log.LogTwoValues("Writer", "Round", t, i);
                }
            });
        }
        for (auto& w : writers) w.join();
    }
    std::istringstream lines(ReadFileText(dir.File("Sonotrap.Log")));
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        expected.insert("writer " + std::to_string(t) + " says " + std::string(100 + t, 'a' + t));
        for (int i = 0; i < kRounds; ++i) {
            expected.insert("Writer value: " + std::to_string(t * 100000 + i));
            expected.insert("Writer: " + std::to_string(t) + ", Round: " + std::to_string(i));
        }
    }
    int counted = 0;
    std::string line;
    for (int skip = 0; skip < 3; ++skip) std::getline(lines, line);  // header and "Timer initialized"
    while (std::getline(lines, line) && !line.empty()) {
        EXPECT_TRUE(expected.count(line)) << "mixed line: " << line;
        ++counted;
    }
    EXPECT_EQ(counted, kThreads * kRounds * 3);
}

TEST(TimeTextTest, TimeOfDayHasTwoDigitFieldsAndThreeDigitMilliseconds) {
    std::tm time{};
    char text[16];
    FormatTimeOfDay(time, 5, text);
    EXPECT_STREQ(text, "00:00:00 005");
    time.tm_hour = 9, time.tm_min = 30, time.tm_sec = 45;
    FormatTimeOfDay(time, 120, text);
    EXPECT_STREQ(text, "09:30:45 120");
    time.tm_hour = 23, time.tm_min = 59, time.tm_sec = 59;
    FormatTimeOfDay(time, 999, text);
    EXPECT_STREQ(text, "23:59:59 999");
}

TEST(TimeTextTest, TimeStampIsMonthDayHourMinuteSecond) {
    std::tm time{};
    time.tm_year = 126, time.tm_mon = 0, time.tm_mday = 5;
    time.tm_hour = 7, time.tm_min = 8, time.tm_sec = 9;
    char text[11];
    FormatTimeStamp(time, text);
    EXPECT_STREQ(text, "0105070809");
    time.tm_mon = 11, time.tm_mday = 31, time.tm_hour = 23, time.tm_min = 59, time.tm_sec = 58;
    FormatTimeStamp(time, text);
    EXPECT_STREQ(text, "1231235958");

    char now[12];
    std::memset(now, '#', sizeof now);
    MakeTimeStamp(now);
    EXPECT_EQ(now[10], '\0');
    EXPECT_EQ(now[11], '#');  // nothing beyond the terminator
    const std::string stamp(now);
    ASSERT_TRUE(IsDigits(stamp, 0, 10));
    const int month = std::stoi(stamp.substr(0, 2)), day = std::stoi(stamp.substr(2, 2));
    EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << stamp;
}

TEST(TimeTextTest, MaskingRecognisesOnlyTheFields) {
    EXPECT_EQ(MaskTimes("Date: Friday, May/01/2026 - Time: 07:08:09 010\n"), "Date: <date> - Time: <time>\n");
    EXPECT_EQ(MaskTimes("Fryday, May/01/2026 7:08:09 010"), "Fryday, May/01/2026 7:08:09 010");
}

TEST(TimeTextTest, LogDateUsesFullEnglishNames) {
    std::tm time{};
    time.tm_year = 126, time.tm_mon = 11, time.tm_mday = 5, time.tm_wday = 6;
    EXPECT_EQ(FormatLogDate(time), "Saturday, December/05/2026 ");
    time.tm_mon = 8, time.tm_mday = 30, time.tm_wday = 3;
    EXPECT_EQ(FormatLogDate(time), "Wednesday, September/30/2026 ");
}

}  // namespace
}  // namespace sonotrap
