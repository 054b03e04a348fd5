#include "log/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "support/TestSupport.h"

namespace sonotrap {
namespace {

using test::ReadFileText;
using test::TempDir;

// Replaces the fields that change from run to run: "Weekday, Month/DD/YYYY " and "HH:MM:SS mmm".
std::string MaskTimes(const std::string& text) {
    static const std::regex date("(Sun|Mon|Tues|Wednes|Thurs|Fri|Satur)day, (January|February|March|April|May|June|"
                                 "July|August|September|October|November|December)/\\d\\d/\\d{4} ");
    static const std::regex time("\\d\\d:\\d\\d:\\d\\d \\d{3}");
    return std::regex_replace(std::regex_replace(text, date, "<date> "), time, "<time>");
}

std::vector<std::string> Lines(const std::string& path) {
    std::istringstream text(ReadFileText(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// Each run's marker ends up in the newest file, then the next two; the destructor writes the
// footer.
TEST(DiagnosticLogTest, RotationKeepsTheTwoPreviousRunsAndTheDestructorCloses) {
    TempDir dir;
    const char* const files[] = {"Sonotrap.Log", "Sonotrap1.Log", "Sonotrap2.Log"};
    for (int run = 1; run <= 4; ++run) {
        {
            DiagnosticLog log;
            ASSERT_TRUE(log.LogOpen(dir.Path().string()));
            log.LogLine(("run " + std::to_string(run)).c_str());
        }
        for (int f = 0; f < 3; ++f) {
            const bool kept = run - f >= 1;
            ASSERT_EQ(std::filesystem::exists(dir.Path() / files[f]), kept) << run << " " << files[f];
            const std::string ending = "run " + std::to_string(run - f) + "\n\n\nShutting down logging system...\nDate: ";
            if (kept) {
                EXPECT_NE(ReadFileText(dir.File(files[f])).find(ending), std::string::npos) << run << " " << files[f];
            }
        }
    }
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

TEST(DiagnosticLogTest, LongTextsAreCutToTheirLimits) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    const std::string longText(3000, 'x');
    log.LogLine(longText.c_str());
    log.LogValue(std::string(500, 'v').c_str(), 7);
    log.LogTwoValues(std::string(200, 'a').c_str(), std::string(200, 'b').c_str(), 1, 2);
    log.LogClose();
    const auto all = Lines(dir.File("Sonotrap.Log"));
    ASSERT_GE(all.size(), 6u);
    EXPECT_EQ(all[3], std::string(1022, 'x'));
    EXPECT_EQ(all[4], std::string(160, 'v') + ": 7");
    EXPECT_EQ(all[5], std::string(200, 'a') + ": 1, " + std::string(40, 'b') + ": 2");
}

void LogEverything(DiagnosticLog& log) {
    log.LogLine("nothing");
    log.LogText("nothing");
    log.LogValue("nothing", 1);
    log.LogTwoValues("a", "b", 1, 2);
    log.LogTimeOfDay();
    log.LogClose();
}

TEST(DiagnosticLogTest, EveryCallIsANoOpWhenClosedNeverOpenedOrUncreatable) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    log.LogClose();
    const std::string closed = ReadFileText(dir.File("Sonotrap.Log"));
    LogEverything(log);
    EXPECT_EQ(ReadFileText(dir.File("Sonotrap.Log")), closed);

    DiagnosticLog neverOpened;
    LogEverything(neverOpened);
    EXPECT_FALSE(neverOpened.IsOpen());

    DiagnosticLog uncreatable;
    EXPECT_FALSE(uncreatable.LogOpen((dir.Path() / "missing" / "folder").string()));
    EXPECT_FALSE(uncreatable.IsOpen());
    LogEverything(uncreatable);
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
    std::set<std::string> expected;
    for (int t = 0; t < kThreads; ++t) {
        expected.insert("writer " + std::to_string(t) + " says " + std::string(100 + t, 'a' + t));
        for (int i = 0; i < kRounds; ++i) {
            expected.insert("Writer value: " + std::to_string(t * 100000 + i));
            expected.insert("Writer: " + std::to_string(t) + ", Round: " + std::to_string(i));
        }
    }
    const auto lines = Lines(dir.File("Sonotrap.Log"));
    const size_t first = 3, end = first + kThreads * kRounds * 3;  // after the header and "Timer initialized"
    ASSERT_GT(lines.size(), end);
    for (size_t i = first; i < end; ++i) EXPECT_TRUE(expected.count(lines[i])) << "mixed line: " << lines[i];
    EXPECT_EQ(lines[end], "");  // the footer's blank lines follow
}

std::tm Time(int month, int day, int hour, int minute, int second, int weekday = 0) {
    std::tm time{};
    time.tm_year = 126, time.tm_mon = month - 1, time.tm_mday = day, time.tm_wday = weekday;
    time.tm_hour = hour, time.tm_min = minute, time.tm_sec = second;
    return time;
}

TEST(TimeTextTest, TimeOfDayStampAndDateHaveFixedWidthFields) {
    char text[16];
    for (auto [time, ms, expected] : {std::tuple{Time(1, 1, 0, 0, 0), 5, "00:00:00 005"},
                                      {Time(1, 1, 9, 30, 45), 120, "09:30:45 120"},
                                      {Time(1, 1, 23, 59, 59), 999, "23:59:59 999"}}) {
        FormatTimeOfDay(time, ms, text);
        EXPECT_STREQ(text, expected);
    }
    char stamp[11];
    FormatTimeStamp(Time(1, 5, 7, 8, 9), stamp);
    EXPECT_STREQ(stamp, "0105070809");
    FormatTimeStamp(Time(12, 31, 23, 59, 58), stamp);
    EXPECT_STREQ(stamp, "1231235958");
    EXPECT_EQ(FormatLogDate(Time(12, 5, 0, 0, 0, 6)), "Saturday, December/05/2026 ");
    EXPECT_EQ(FormatLogDate(Time(9, 30, 0, 0, 0, 3)), "Wednesday, September/30/2026 ");
}

TEST(TimeTextTest, MakeTimeStampWritesTenDigitsAndATerminatorOnly) {
    char now[12];
    std::memset(now, '#', sizeof now);
    MakeTimeStamp(now);
    EXPECT_EQ(now[10], '\0');
    EXPECT_EQ(now[11], '#');  // nothing beyond the terminator
    ASSERT_TRUE(std::regex_match(now, std::regex("\\d{10}"))) << now;
    const int month = (now[0] - '0') * 10 + now[1] - '0', day = (now[2] - '0') * 10 + now[3] - '0';
    EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31) << now;
}

}  // namespace
}  // namespace sonotrap
