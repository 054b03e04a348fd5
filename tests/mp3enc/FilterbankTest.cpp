#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <cstring>
#include <random>

#include "mp3enc/AnalysisFilterbank.h"
#include "mp3enc/Mdct.h"

namespace sonotrap::mp3enc {
namespace {

// The filterbank and MDCT written out term by term, straight from their definitions, to
// check the folded fast forms against.
struct ReferenceAnalysis {
    double history[512] = {};
    int offset = 0;
    double previous[18][32] = {};

    void Slot(const int16_t* s, double out[32]) {
        for (int j = 0; j < 32; ++j) history[(offset + 31 - j) % 512] = s[j] / 32768.0;
        double z[512];
        for (int i = 0; i < 512; ++i) z[i] = history[(offset + i) % 512] * kAnalysisWindow[i];
        offset = (offset - 32 + 512) % 512;
        double y[64];
        for (int i = 0; i < 64; ++i) {
            y[i] = 0;
            for (int j = 0; j < 8; ++j) y[i] += z[i + 64 * j];
        }
        for (int k = 0; k < 32; ++k) {
            out[k] = 0;
            for (int i = 0; i < 64; ++i) {
                const double m = std::round(std::cos((2 * k + 1) * (16 - i) * std::numbers::pi / 64) * 1e9) / 1e9;
                out[k] += m * y[i];
            }
        }
    }

    void Granule(const int16_t* in, double spectrum[576]) {
        double cur[18][32];
        for (int t = 0; t < 18; ++t) Slot(in + 32 * t, cur[t]);
        for (int t = 1; t < 18; t += 2) {
            for (int sb = 1; sb < 32; sb += 2) cur[t][sb] = -cur[t][sb];
        }
        for (int sb = 0; sb < 32; ++sb) {
            for (int m = 0; m < 18; ++m) {
                double x = 0;
                for (int k = 0; k < 36; ++k) {
                    const double z = k < 18 ? previous[k][sb] : cur[k - 18][sb];
                    x += std::sin((k + 0.5) * std::numbers::pi / 36) * z * std::cos((2 * k + 19) * (2 * m + 1) * std::numbers::pi / 72) / 9;
                }
                spectrum[18 * sb + m] = x;
            }
        }
        const double c[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int sb = 0; sb < 31; ++sb) {
            for (int i = 0; i < 8; ++i) {
                const double cs = 1 / std::sqrt(1 + c[i] * c[i]);
                const double ca = c[i] / std::sqrt(1 + c[i] * c[i]);
                const double u = spectrum[18 * sb + 17 - i];
                const double d = spectrum[18 * (sb + 1) + i];
                spectrum[18 * sb + 17 - i] = u * cs + d * ca;
                spectrum[18 * (sb + 1) + i] = d * cs - u * ca;
            }
        }
        std::memcpy(previous, cur, sizeof previous);
    }
};

struct FastAnalysis {
    AnalysisFilterbank filterbank;
    Mdct mdct;
    void Granule(const int16_t* in, double spectrum[576]) {
        GranuleSubbands sub;
        filterbank.AnalyseGranule(in, sub);
        mdct.TransformGranule(sub, spectrum);
    }
};

TEST(EncoderFilterbank, FoldedFormsMatchTheDefinitions) {
    std::mt19937 random(11);
    std::vector<int16_t> input(576 * 6);
    for (auto& s : input) s = static_cast<int16_t>(static_cast<int>(random() % 65536) - 32768);
    ReferenceAnalysis reference;
    FastAnalysis fast;
    for (int g = 0; g < 6; ++g) {
        double expected[576];
        double actual[576];
        reference.Granule(input.data() + 576 * g, expected);
        fast.Granule(input.data() + 576 * g, actual);
        for (int i = 0; i < 576; ++i) ASSERT_NEAR(actual[i], expected[i], 1e-9) << "granule " << g << " line " << i;
    }
    // The reference shares the window table, so two of its entries are checked on their own.
    EXPECT_NEAR(kAnalysisWindow[256], 0.035781, 1e-12);
    EXPECT_NEAR(kAnalysisWindow[7], -0.000001, 1e-12);
}

}  // namespace
}  // namespace sonotrap::mp3enc
