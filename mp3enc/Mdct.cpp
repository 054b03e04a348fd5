#include "mp3enc/Mdct.h"

#include <cmath>
#include <numbers>
#include <cstring>

namespace sonotrap::mp3enc {
namespace {

// The MDCT kernel cos((2k+19)(2m+1)pi/72) / 9 is antisymmetric under k -> 17-k and symmetric
// under k -> 53-k, so the 36 windowed inputs fold into 18 terms: n = 0..8 stands for
// k = n and 17-n, n = 9..17 for k = n+9 and 44-n. Stored as [n][m] so the sums run along m.
struct MdctTables {
    double window[36];
    double kernel[18][18];
    double cs[8];
    double ca[8];
    MdctTables() {
        for (int k = 0; k < 36; ++k) window[k] = std::sin((k + 0.5) * std::numbers::pi / 36.0);
        for (int n = 0; n < 18; ++n) {
            const int k = n < 9 ? n : n + 9;
            for (int m = 0; m < 18; ++m) kernel[n][m] = std::cos((2 * k + 19) * (2 * m + 1) * std::numbers::pi / 72.0) / 9.0;
        }
        static constexpr double kAlias[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
        for (int i = 0; i < 8; ++i) {
            const double n = std::sqrt(1.0 + kAlias[i] * kAlias[i]);
            cs[i] = 1.0 / n;
            ca[i] = kAlias[i] / n;
        }
    }
};

const MdctTables& Tables() {
    static const MdctTables tables;
    return tables;
}

}  // namespace

Mdct::Mdct() { Reset(); }

void Mdct::Reset() { std::memset(previous_, 0, sizeof previous_); }

void Mdct::TransformGranule(GranuleSubbands& granule, double spectrum[576]) {
    for (int t = 1; t < 18; t += 2) {
        for (int sb = 1; sb < 32; sb += 2) granule[t][sb] = -granule[t][sb];
    }
    const MdctTables& tables = Tables();
    for (int sb = 0; sb < 32; ++sb) {
        double z[36];
        for (int k = 0; k < 18; ++k) {
            z[k] = previous_[k][sb] * tables.window[k];
            z[k + 18] = granule[k][sb] * tables.window[k + 18];
        }
        double u[18];
        for (int n = 0; n < 9; ++n) {
            u[n] = z[n] - z[17 - n];
            u[n + 9] = z[n + 18] + z[35 - n];
        }
        // Six lines at a time in separate sums, so they stay in registers across the 18 terms.
        double x[18];
        for (int m = 0; m < 18; m += 6) {
            double x0 = 0.0, x1 = 0.0, x2 = 0.0, x3 = 0.0, x4 = 0.0, x5 = 0.0;
            for (int n = 0; n < 18; ++n) {
                const double* row = tables.kernel[n] + m;
                const double un = u[n];
                x0 += row[0] * un;
                x1 += row[1] * un;
                x2 += row[2] * un;
                x3 += row[3] * un;
                x4 += row[4] * un;
                x5 += row[5] * un;
            }
            x[m] = x0;
            x[m + 1] = x1;
            x[m + 2] = x2;
            x[m + 3] = x3;
            x[m + 4] = x4;
            x[m + 5] = x5;
        }
        std::memcpy(spectrum + 18 * sb, x, sizeof x);
    }
    for (int sb = 0; sb < 31; ++sb) {
        for (int i = 0; i < 8; ++i) {
            double& u = spectrum[18 * sb + 17 - i];
            double& d = spectrum[18 * (sb + 1) + i];
            const double up = u;
            const double down = d;
            u = up * tables.cs[i] + down * tables.ca[i];
            d = down * tables.cs[i] - up * tables.ca[i];
        }
    }
    std::memcpy(previous_, granule, sizeof previous_);
}

}  // namespace sonotrap::mp3enc
