#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/PageAlignedArray.h"

// Forward discrete Fourier transform of real data, X[k] = sum x[n] e^(-2 pi i k n / N), without
// normalisation, for N a power of two from 8 to 2^24. Computed as one complex FFT of N/2
// points on the even/odd packed input followed by a split; all tables are built up front, so
// a transform allocates nothing. A transform only reads the object: one RealFft may serve
// several threads, each with its own output buffers.
namespace sonotrap {

struct FftKernelSet;
struct FirstStageInput;

// Where a transform's results go: the real and imaginary halves (Size()/2 values each) in one
// page-aligned block, then `extra` values of scratch for the caller. The halves lie a whole
// number of pages plus 2 KB apart, the real one 1 KB into its page: with the halves exactly a
// whole number of pages apart, as separate allocations often are, the transform took up to 40%
// longer (a load is held back behind a store to the same place in another page); with these
// offsets it ran at its best whatever the samples' address.
class FftWorkspace {
public:
    explicit FftWorkspace(size_t halfSize, size_t extra = 0)
        : half_(halfSize), storage_(kRealOffset + 2 * halfSize + kImaginarySkew + extra) {}
    double* Re() { return storage_.data() + kRealOffset; }
    double* Im() { return Re() + half_ + kImaginarySkew; }
    double* Extra() { return Im() + half_; }

private:
    static constexpr size_t kRealOffset = 128;     // doubles: 1 KB
    static constexpr size_t kImaginarySkew = 256;  // 2 KB
    size_t half_;
    PageAlignedArray<double> storage_;
};

class RealFft {
public:
    // allowWideVectors: use the widest vector unit the processor offers (results are the
    // same bit for bit; false keeps to the portable loops, for comparison).
    explicit RealFft(int log2Size, bool allowWideVectors = true);
    size_t Size() const { return size_; }

    // in: Size() real values. re, im: Size()/2 values each, receiving X[k] = (re[k], im[k])
    // for k = 1 .. Size()/2 - 1, and the two real bins in the first slots: re[0] = X[0],
    // im[0] = X[Size()/2]. The three buffers must not overlap.
    void Forward(const double* in, double* re, double* im) const;

    // The transform of samples[i] * window[i], with the window given once beforehand.
    void SetWindow(const double* window);
    void ForwardWindowed(const int16_t* samples, double* re, double* im) const;
    // Only what Magnitudes(re, im, scale, out) would give after the above, mostly from the
    // last pass over the data while it is at hand; re and im serve as work space, and of the
    // transform they keep at least re[0] = X[0] and im[0] = X[Size()/2].
    void ForwardWindowed(const int16_t* samples, double* re, double* im, double scale, float* out) const;

    // out[k] = |X[k]| * scale as float for k = 1 .. Size()/2 - 1, from a result of the above;
    // out[0] gets the magnitude of the packed pair, which callers replace as they need.
    void Magnitudes(const double* re, const double* im, double scale, float* out) const;

private:
    struct Stage {
        size_t sub;        // length of the sub-transforms combined four at a time
        size_t twiddles;   // offset of its w^k, w^2k, w^3k tables (re and im, sub values each)
    };
    // out: magnitudes wanted too (else nullptr).
    void Transform(const FirstStageInput& input, double* re, double* im, double scale, float* out) const;
    void FinalRadix2AndSplit(double* re, double* im, double scale, float* out) const;
    void Split(double* re, double* im) const;

    size_t size_;                       // N real values
    size_t half_;                       // M = N / 2 complex points
    size_t chunk_;                      // early stages run chunk by chunk while it sits in cache
    bool oddStages_;                    // log2(M) odd: a radix-2 stage closes the complex FFT
    PageAlignedArray<uint32_t> firstIndex_;  // first packed input of each 4-point butterfly
    std::vector<Stage> stages_;
    PageAlignedArray<double> radix4Twiddles_;
    PageAlignedArray<double> radix2Re_, radix2Im_;  // e^(-2 pi i k / M)
    PageAlignedArray<double> splitRe_, splitIm_;    // e^(-2 pi i k / N)
    PageAlignedArray<double> loadWindow_;           // the window in the order the first stage reads it (WindowSlot)
    const FftKernelSet* kernels_;              // the stage loops for this processor (FftKernels.h)
};

}  // namespace sonotrap
