#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Forward discrete Fourier transform of real data, X[k] = sum x[n] e^(-2 pi i k n / N), without
// normalisation, for N a power of two from 8 up. Computed as one complex FFT of N/2 points on
// the even/odd packed input followed by a split; all tables are built at construction, so a
// transform allocates nothing. A transform only reads the object: one RealFft may serve
// several threads, each with its own buffers.
namespace sonotrap {

class RealFft {
public:
    explicit RealFft(int log2Size);
    size_t Size() const { return size_; }

    // in: Size() real values. out: Size() doubles (must not overlap in) receiving
    // X[k] = (out[2k], out[2k+1]) for k = 1 .. Size()/2 - 1, and the two real bins packed
    // into the first pair: out[0] = X[0], out[1] = X[Size()/2].
    void Forward(const double* in, double* out) const;
    // The same transform of the values samples[i] * window[i].
    void ForwardWindowed(const int16_t* samples, const double* window, double* out) const;

private:
    template <typename Input>
    void Transform(const Input& input, double* out) const;
    template <typename Input>
    void LoadFirstStage(const Input& input, double* z) const;
    void Radix4Stages(double* z) const;
    void FinalRadix2AndSplit(double* z) const;
    void Split(double* z) const;

    size_t size_;                     // N real values
    size_t half_;                     // M = N / 2 complex points
    bool oddStages_;                  // log2(M) odd: a radix-2 stage closes the complex FFT
    std::vector<uint32_t> firstIndex_;  // first packed input of each 4-point butterfly
    std::vector<double> radix4Twiddles_;  // per stage, per k: w^k, w^2k, w^3k
    std::vector<double> radix2Twiddles_;  // e^(-2 pi i k / M), k < M / 2
    std::vector<double> splitTwiddles_;   // e^(-2 pi i k / N), k <= M / 2
};

}  // namespace sonotrap
