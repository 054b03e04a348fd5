#include "display/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace sonotrap {
namespace {

std::vector<double> RandomValues(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = value(random);
    return x;
}

// The largest error against a direct long-double DFT (exact roots indexed by k n mod N),
// relative to the largest bin: a relative error per bin is meaningless for bins near zero.
double RelativeError(const std::vector<double>& x, const std::vector<double>& re, const std::vector<double>& im) {
    const size_t n = x.size();
    std::vector<std::complex<long double>> roots(n);
    for (size_t m = 0; m < n; ++m) roots[m] = std::polar(1.0L, -2.0L * 3.141592653589793238462643383279L * m / n);
    double largest = 0.0, error = 0.0;
    for (size_t k = 0; k <= n / 2; ++k) {
        std::complex<long double> sum = 0;
        for (size_t j = 0; j < n; ++j) sum += static_cast<long double>(x[j]) * roots[(k * j) % n];
        const std::complex<double> expected(sum);
        // Bins 0 and N/2 are real and packed into re[0] and im[0].
        const std::complex<double> got = k == 0 ? re[0] : k == n / 2 ? im[0] : std::complex<double>(re[k], im[k]);
        largest = std::max(largest, std::abs(expected));
        error = std::max(error, std::abs(got - expected));
    }
    return error / largest;
}

// Odd and even numbers of complex stages take different closing passes; 2^14 is the analysis
// size. The wide loops must agree with the portable ones bit for bit, and a windowed transform
// of samples with the plain transform of their products.
TEST(RealFftTest, MatchesDirectDftAndTheWideLoopsEqualThePortableOnes) {
    for (int bits : {3, 4, 5, 6, 7, 9, 10, 11, 14}) {
        const RealFft wide(bits), portable(bits, false);
        ASSERT_EQ(wide.Size(), size_t{1} << bits);
        const auto x = RandomValues(wide.Size(), 100 + bits);
        std::vector<double> re(x.size() / 2), im(x.size() / 2), re2(x.size() / 2), im2(x.size() / 2);
        wide.Forward(x.data(), re.data(), im.data());
        portable.Forward(x.data(), re2.data(), im2.data());
        EXPECT_LT(RelativeError(x, re, im), bits < 14 ? 1e-13 : 1e-9) << bits;
        EXPECT_EQ(re, re2) << bits;
        EXPECT_EQ(im, im2) << bits;
        std::vector<float> m(x.size() / 2), m2(x.size() / 2);
        wide.Magnitudes(re.data(), im.data(), 0.25, m.data());
        portable.Magnitudes(re2.data(), im2.data(), 0.25, m2.data());
        EXPECT_EQ(m, m2) << bits;
        EXPECT_EQ(m[3], static_cast<float>(0.25 * std::hypot(re[3], im[3])));
        std::vector<int16_t> samples(x.size());
        for (size_t i = 0; i < x.size(); ++i) samples[i] = static_cast<int16_t>(x[i] * 32767.5 - 0.5);
        std::vector<double> products(x.size()), window = RandomValues(x.size(), 4);
        for (size_t i = 0; i < x.size(); ++i) products[i] = samples[i] * window[i];
        for (RealFft fft : {wide, portable}) {
            std::vector<double> wre(x.size() / 2), wim(x.size() / 2);
            fft.ForwardWindowed(samples.data(), wre.data(), wim.data());  // no window yet: nothing done
            EXPECT_EQ(wre, std::vector<double>(x.size() / 2, 0.0));
            fft.SetWindow(window.data());
            fft.ForwardWindowed(samples.data(), wre.data(), wim.data());
            fft.Forward(products.data(), re.data(), im.data());
            EXPECT_EQ(std::pair(wre, wim), std::pair(re, im)) << bits;
            // Magnitudes taken in the transform's last pass equal those taken afterwards.
            std::vector<float> fused(x.size() / 2), separate(x.size() / 2);
            fft.Magnitudes(wre.data(), wim.data(), 0.5, separate.data());
            fft.ForwardWindowed(samples.data(), re.data(), im.data(), 0.5, fused.data());
            EXPECT_EQ(fused, separate) << bits;
        }
    }
}

}  // namespace
}  // namespace sonotrap
