#include "app/Settings.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace sonotrap {
namespace {

// A log in a temporary directory whose lines (after the header) the tests can read.
class LoggedSettings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(log.LogOpen(dir.Path().string())); }
    std::string LogBody() {
        log.LogClose();
        const std::string text = test::ReadFileText(dir.File("Sonotrap.Log"));
        const size_t start = text.find("Timer initialized\n") + 18;
        return text.substr(start, text.find("\n\nShutting down") - start);
    }

    test::TempDir dir;
    DiagnosticLog log;
    CaptureSettings active;
    Settings settings{log, active};
};

TEST_F(LoggedSettings, ApplyThresholdRefreshesCopyTellsListenerAndLogs) {
    std::vector<uint32_t> heard;
    settings.SetThresholdListener([&](uint32_t t) { heard.push_back(t); });
    settings.SetThreshold(96);
    EXPECT_DOUBLE_EQ(active.threshold.load(), 60.0);  // not active before ApplyThreshold
    settings.ApplyThreshold();
    settings.SetThreshold(0);
    settings.ApplyThreshold();
    EXPECT_DOUBLE_EQ(active.threshold.load(), 0.0);
    EXPECT_EQ(heard, (std::vector<uint32_t>{96, 0}));
    EXPECT_EQ(LogBody(), "Threshold DBs: 96\nThreshold DBs: 0\n");
}

TEST_F(LoggedSettings, SetTriggerBandStoresWithoutCheckingAndInstallDefaultsLogsBandThenThreshold) {
    settings.SetTriggerBand(700, 300);
    EXPECT_EQ(settings.MinTriggerFrequency(), 700);
    EXPECT_EQ(settings.MaxTriggerFrequency(), 300);
    settings.SetThreshold(12);
    settings.InstallDefaults();
    EXPECT_EQ(settings.Threshold(), 60u);
    EXPECT_EQ(settings.MinTriggerFrequency(), 16);
    EXPECT_EQ(LogBody(), "Min Trigger Freq: 700, Max Trigger Freq: 300\n"
                         "Min Trigger Freq: 16, Max Trigger Freq: 16000\nThreshold DBs: 60\n");
}

TEST_F(LoggedSettings, SizeLimitIsStoredInvertedAndActivatedOnRequest) {
    settings.SetSizeUnlimited(true);
    EXPECT_TRUE(settings.SizeUnlimited());
    EXPECT_FALSE(active.sizeLimit.load());
    active.sizeLimit = true;  // as if the active copy had been left behind
    settings.ActivateSizeLimit();
    EXPECT_FALSE(active.sizeLimit.load());
    EXPECT_TRUE(settings.ActiveSizeUnlimited());
}

}  // namespace
}  // namespace sonotrap
