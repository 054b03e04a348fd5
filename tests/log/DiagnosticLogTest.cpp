#include "log/DiagnosticLog.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>
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

// Each run's marker ends up in the newest file, then the next two, after the destructor's footer.
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
            // A kept file holds its run's marker followed by the footer; a missing one reads empty.
            const std::string ending = "run " + std::to_string(run - f) + "\n\n\nShutting down logging system...\nDate: ";
            EXPECT_EQ(ReadFileText(dir.File(files[f])).find(ending) != std::string::npos, run > f) << run << files[f];
        }
    }
}

TEST(DiagnosticLogTest, WritesHeaderLinesAndFooterByteForByteAndNothingWhenClosed) {
    TempDir dir;
    DiagnosticLog log;
    ASSERT_TRUE(log.LogOpen(dir.Path().string()));
    log.LogValue("Threshold DBs", -3);
    log.LogValue("Lowest", INT32_MIN);
    log.LogTwoValues("Min Trigger Freq", "Max Trigger Freq", 16, 16000);
    log.LogText("Peak at ");
    log.LogText(std::string("0506070809"));
    log.LogLine(" logged");
    log.LogLine(std::string(3000, 'x').c_str());
    log.LogValue(std::string(500, 'v').c_str(), 7);
    log.LogTwoValues(std::string(200, 'a').c_str(), std::string(200, 'b').c_str(), 1, 2);
    log.LogClose();
    static const std::regex date("(Sun|Mon|Tues|Wednes|Thurs|Fri|Satur)day, (January|February|March|April|May|June|"
                                 "July|August|September|October|November|December)/\\d\\d/\\d{4} ");
    static const std::regex time("\\d\\d:\\d\\d:\\d\\d \\d{3}");
    const std::string masked = std::regex_replace(
        std::regex_replace(ReadFileText(dir.File("Sonotrap.Log")), date, "<date> "), time, "<time>");
    EXPECT_EQ(masked, "Date: <date> - Time started: <time>\n\nTimer initialized\n"
                      "Threshold DBs: -3\nLowest: -2147483648\nMin Trigger Freq: 16, Max Trigger Freq: 16000\n"
                      "Peak at 0506070809 logged\n" +
                          std::string(1022, 'x') + "\n" + std::string(160, 'v') + ": 7\n" + std::string(200, 'a') +
                          ": 1, " + std::string(40, 'b') +
                          ": 2\n\n\nShutting down logging system...\nDate: <date> - Time: <time>\n\n");

    // Every call does nothing once closed, never opened, or when the file cannot be created.
    const std::string closedText = ReadFileText(dir.File("Sonotrap.Log"));
    DiagnosticLog neverOpened, uncreatable;
    EXPECT_FALSE(uncreatable.LogOpen((dir.Path() / "missing" / "folder").string()));
    for (DiagnosticLog* each : {&log, &neverOpened, &uncreatable}) {
        each->LogLine("nothing");
        each->LogText("nothing");
        each->LogValue("nothing", 1);
        each->LogTwoValues("a", "b", 1, 2);
        each->LogTimeOfDay();
        each->LogClose();
    }
    EXPECT_EQ(ReadFileText(dir.File("Sonotrap.Log")), closedText);
    EXPECT_FALSE(uncreatable.IsOpen());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// Writers on several threads (run under ThreadSanitizer): every line arrives whole.
TEST(DiagnosticLogTest, ConcurrentWritersNeverInterleaveLines) {
    TempDir dir;
    constexpr int kThreads = 4, kRounds = 300;
    {
        DiagnosticLog log;
        ASSERT_TRUE(log.LogOpen(dir.Path().string()));
        std::vector<std::thread> writers;
        for (int t = 0; t < kThreads; ++t)
            writers.emplace_back([&log, t] {
                for (int i = 0; i < kRounds; ++i) log.LogTwoValues(std::string(100 + t, 'a' + t).c_str(), "Round", t, i);
            });
        for (auto& w : writers) w.join();
    }
    std::istringstream text(ReadFileText(dir.File("Sonotrap.Log")));
    const std::regex whole("(a{100}: 0|b{101}: 1|c{102}: 2|d{103}: 3), Round: \\d+");
    int wholeLines = 0;
    for (std::string line; std::getline(text, line);) wholeLines += std::regex_match(line, whole);
    EXPECT_EQ(wholeLines, kThreads * kRounds);
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
                                      {Time(1, 1, 9, 30, 45), 120, "09:30:45 120"}}) {
        FormatTimeOfDay(time, ms, text);
        EXPECT_STREQ(text, expected);
    }
    char stamp[12];
    FormatTimeStamp(Time(12, 31, 23, 59, 58), stamp);
    EXPECT_STREQ(stamp, "1231235958");
    EXPECT_EQ(FormatLogDate(Time(12, 5, 0, 0, 0, 6)), "Saturday, December/05/2026 ");
    // The clock's own stamp: ten digits and a terminator, nothing beyond.
    std::memset(stamp, '#', sizeof stamp);
    MakeTimeStamp(stamp);
    EXPECT_EQ(stamp[11], '#');
    EXPECT_TRUE(std::regex_match(stamp, std::regex("(0[1-9]|1[0-2])\\d{8}"))) << stamp;
}

}  // namespace
}  // namespace sonotrap
