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
    std::vector<double> re(n / 2), im(n / 2);
    fft.Forward(x.data(), re.data(), im.data());
    const auto expected = DirectDft(x, n / 2 + 1);
    double largest = 0.0, error = 0.0;
    for (const auto& e : expected) largest = std::max(largest, std::abs(e));
    error = std::max(error, std::abs(re[0] - expected[0].real()));
    error = std::max(error, std::abs(im[0] - expected[n / 2].real()));
    for (size_t k = 1; k < n / 2; ++k)
        error = std::max(error, std::abs(std::complex<double>(re[k], im[k]) - expected[k]));
    return error / largest;
}

TEST(RealFftTest, MatchesDirectDftForEverySize) {
    // Odd and even numbers of complex stages take different closing passes; 2^14 is the
    // analysis size.
    for (int bits : {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14}) {
        for (bool wide : {true, false}) {
            RealFft fft(bits, wide);
            ASSERT_EQ(fft.Size(), size_t{1} << bits);
            EXPECT_LT(RelativeError(fft, RandomValues(fft.Size(), 100 + bits)), bits < 14 ? 1e-13 : 1e-9) << bits;
        }
    }
}

TEST(RealFftTest, WideAndPortableLoopsAgreeBitForBit) {
    for (int bits : {3, 4, 5, 9, 14}) {
        RealFft wide(bits), portable(bits, false);
        const auto x = RandomValues(wide.Size(), 50 + bits);
        std::vector<double> re1(x.size() / 2), im1(x.size() / 2), re2(x.size() / 2), im2(x.size() / 2);
        wide.Forward(x.data(), re1.data(), im1.data());
        portable.Forward(x.data(), re2.data(), im2.data());
        EXPECT_EQ(re1, re2) << "size 2^" << bits;
        EXPECT_EQ(im1, im2) << "size 2^" << bits;
        std::vector<float> m1(x.size() / 2), m2(x.size() / 2);
        wide.Magnitudes(re1.data(), im1.data(), 0.25, m1.data());
        portable.Magnitudes(re2.data(), im2.data(), 0.25, m2.data());
        EXPECT_EQ(m1, m2);
        EXPECT_EQ(m1[3], static_cast<float>(0.25 * std::hypot(re1[3], im1[3])));
    }
}

TEST(RealFftTest, WindowedSamplesEqualThePlainTransformOfTheirProducts) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<int16_t> samples(16384);
    for (auto& s : samples) s = static_cast<int16_t>(sample(random));
    samples[5] = -32768, samples[6] = 32767;
    const std::vector<double> window = RandomValues(16384, 4);
    std::vector<double> products(16384);
    for (size_t i = 0; i < samples.size(); ++i) products[i] = samples[i] * window[i];
    for (bool wide : {true, false}) {
        RealFft fft(14, wide);
        std::vector<double> re(8192), im(8192), productRe(8192), productIm(8192);
        fft.ForwardWindowed(samples.data(), re.data(), im.data());  // no window yet: nothing done
        EXPECT_EQ(re, std::vector<double>(8192, 0.0));
        fft.SetWindow(window.data());
        fft.ForwardWindowed(samples.data(), re.data(), im.data());
        fft.Forward(products.data(), productRe.data(), productIm.data());
        EXPECT_EQ(re, productRe);
        EXPECT_EQ(im, productIm);
        // Magnitudes taken in the last pass equal those taken afterwards.
        std::vector<float> fused(8192), separate(8192);
        fft.Magnitudes(re.data(), im.data(), 0.5, separate.data());
        fft.ForwardWindowed(samples.data(), productRe.data(), productIm.data(), 0.5, fused.data());
        EXPECT_EQ(fused, separate) << wide;
        EXPECT_EQ(productRe[0], re[0]);
    }
}

}  // namespace
}  // namespace sonotrap
