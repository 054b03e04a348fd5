#include "display/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace sonotrap {
namespace {

// Direct DFT with an exact table of e^(-2 pi i m / N), indexed by k n mod N.
std::vector<std::complex<double>> DirectDft(const std::vector<double>& x, size_t bins) {
    const size_t n = x.size();
    std::vector<std::complex<long double>> roots(n);
    for (size_t m = 0; m < n; ++m) {
        const long double angle = -2.0L * 3.141592653589793238462643383279L * m / n;
        roots[m] = {std::cos(angle), std::sin(angle)};
    }
    std::vector<std::complex<double>> result(bins);
    for (size_t k = 0; k < bins; ++k) {
        std::complex<long double> sum = 0;
        for (size_t j = 0; j < n; ++j) sum += static_cast<long double>(x[j]) * roots[(k * j) % n];
        result[k] = std::complex<double>(sum);
    }
    return result;
}

std::vector<double> RandomValues(size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = value(random);
    return x;
}

// The largest error relative to the largest bin (a relative error per bin is meaningless for
// bins near zero).
double RelativeError(const RealFft& fft, const std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<double> out(n);
    fft.Forward(x.data(), out.data());
    const auto expected = DirectDft(x, n / 2 + 1);
    double largest = 0.0, error = 0.0;
    for (const auto& e : expected) largest = std::max(largest, std::abs(e));
    error = std::max(error, std::abs(out[0] - expected[0].real()));
    error = std::max(error, std::abs(out[1] - expected[n / 2].real()));
    for (size_t k = 1; k < n / 2; ++k)
        error = std::max(error, std::abs(std::complex<double>(out[2 * k], out[2 * k + 1]) - expected[k]));
    return error / largest;
}

TEST(RealFftTest, MatchesDirectDftForEverySize) {
    // Odd and even numbers of complex stages take different closing passes.
    for (int bits = 3; bits <= 12; ++bits) {
        RealFft fft(bits);
        ASSERT_EQ(fft.Size(), size_t{1} << bits);
        EXPECT_LT(RelativeError(fft, RandomValues(fft.Size(), 100 + bits)), 1e-13) << "size 2^" << bits;
    }
}

TEST(RealFftTest, MatchesDirectDftAtAnalysisSize) {
    RealFft fft(14);
    EXPECT_LT(RelativeError(fft, RandomValues(16384, 7)), 1e-9);
}

TEST(RealFftTest, WindowedSamplesEqualThePlainTransformOfTheirProducts) {
    RealFft fft(14);
    std::mt19937 random(3);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<int16_t> samples(16384);
    std::vector<double> window = RandomValues(16384, 4), products(16384);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(sample(random));
        products[i] = samples[i] * window[i];
    }
    std::vector<double> viaWindow(16384), viaProducts(16384);
    fft.ForwardWindowed(samples.data(), window.data(), viaWindow.data());
    fft.Forward(products.data(), viaProducts.data());
    EXPECT_EQ(viaWindow, viaProducts);
}

TEST(RealFftTest, PureToneLandsInItsBin) {
    RealFft fft(10);
    std::vector<double> x(1024), out(1024);
    for (size_t n = 0; n < x.size(); ++n) x[n] = std::cos(2.0 * M_PI * 37.0 * n / 1024.0) + 0.25;
    fft.Forward(x.data(), out.data());
    EXPECT_NEAR(out[0], 256.0, 1e-9);                     // DC
    EXPECT_NEAR(out[1], 0.0, 1e-9);                       // Nyquist
    EXPECT_NEAR(out[2 * 37], 512.0, 1e-9);                // N/2 for a unit cosine
    EXPECT_NEAR(out[2 * 37 + 1], 0.0, 1e-9);
    EXPECT_NEAR(std::hypot(out[2 * 36], out[2 * 36 + 1]), 0.0, 1e-9);
}

}  // namespace
}  // namespace sonotrap
