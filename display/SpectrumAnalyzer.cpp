#include "display/SpectrumAnalyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "display/Vec2.h"


namespace sonotrap {

namespace {

constexpr int kFftLog2 = 14;
constexpr double kSampleScale = 3.0517578125e-05;  // 1/32768: 16-bit samples to +-1.0
constexpr int kAveragingRun = 512;  // bins averaged at a time

}  // namespace

SpectrumAnalyzer::SpectrumAnalyzer()
    : fft_(kFftLog2), window_(kFftSize), work_(kSpectrumBins, kAveragingRun), magnitude_(kSpectrumBins) {
    // Blackman over 16385 intervals, so the first sample is not zero.
    for (int i = 0; i < kFftSize; ++i) {
        const double x = (i + 1) / 16385.0;
        window_[i] = (0.42 - 0.5 * std::cos(x * 6.28318530717959) + 0.08 * std::cos(x * 12.56637061435917)) *
                     kSampleScale;
    }
    fft_.SetWindow(window_.data());
}

void SpectrumAnalyzer::AnalyzeBlock(const int16_t* samples, PeakReading& reading, NotePeaks& notes) {
    fft_.ForwardWindowed(samples, work_.Re(), work_.Im(), 2.0 / 8192.0, magnitude_.data());
    magnitude_[0] = static_cast<float>(work_.Re()[0] / 8192.0);  // the mean keeps its sign
    AverageAndNormalize();

    const float low = reading.hz, high = reading.db;
    int lowBin = 0, highBin = 0;
    BandBins(low, high, &lowBin, &highBin);
    LocateNotePeaks(magnitude_.data(), lowBin, highBin, notes);
    if (low != 0.0f && !(low == 16.0f && high == 16000.0f))
        FindBandPeak(magnitude_.data(), reading);
    else
        reading = {notes.peakHz, notes.peakDb};
}

float* SpectrumAnalyzer::Slot(uint32_t s) const {
    return history_.get() + size_t{(historyNewest_ + s) % kMaxAveragingDepth} * kSpectrumBins;
}

void SpectrumAnalyzer::AverageAndNormalize() {
    std::lock_guard<std::mutex> guard(historyLock);
    if (!averagingOn_) return;

    historyNewest_ = (historyNewest_ + kMaxAveragingDepth - 1) % kMaxAveragingDepth;
    float* m = magnitude_.data();
    std::memcpy(Slot(0), m, sizeof(float) * kSpectrumBins);
    if (filledCount_ < averagingDepth_) ++filledCount_;

    // The mean of the slots, summed newest first in double, a run of bins at a time: one
    // slot after the other through a sum that stays in the first-level cache (the slots lie
    // 32 KB apart, so reading all of them bin by bin would keep evicting each other).
    const float* slots[kMaxAveragingDepth];
    for (uint32_t s = 0; s < filledCount_; ++s) slots[s] = Slot(s);
    const simd::Vec2 count{static_cast<double>(filledCount_), static_cast<double>(filledCount_)};
    double* sum = work_.Extra();
    for (int base = 0; base < kSpectrumBins; base += kAveragingRun) {
        for (int k = 0; k < kAveragingRun; k += 2) simd::Store(sum + k, simd::LoadFloats(m + base + k));
        for (uint32_t s = 1; s < filledCount_; ++s) {
            const float* slot = slots[s] + base;
            for (int k = 0; k < kAveragingRun; k += 2) simd::Store(sum + k, simd::Load(sum + k) + simd::LoadFloats(slot + k));
        }
        for (int k = 0; k < kAveragingRun; k += 2) {
            const simd::Vec2 mean = simd::Load(sum + k) / count;
            m[base + k] = static_cast<float>(mean[0]);
            m[base + k + 1] = static_cast<float>(mean[1]);
        }
    }

    if (!normalize_.load(std::memory_order_relaxed)) return;
    // Four running maxima side by side (the largest value is the same in any order), then
    // the division four bins at a time.
    simd::Float4 largest4 = simd::Splat4(0.0f);
    for (int k = 0; k < kSpectrumBins; k += 4) largest4 = simd::Max(largest4, simd::Load4(m + k));
    const float largest = std::max(std::max(largest4[0], largest4[1]), std::max(largest4[2], largest4[3]));
    if (largest > 0.0f) {
        const simd::Float4 divisor = simd::Splat4(largest);
        for (int k = 0; k < kSpectrumBins; k += 4) simd::Store4(m + k, simd::Load4(m + k) / divisor);
    }
}

bool SpectrumAnalyzer::SetAveragingDepth(uint32_t depth) {
    if (depth < 1 || depth > kMaxAveragingDepth) return false;
    std::lock_guard<std::mutex> guard(historyLock);
    if (!history_) {
        history_.reset(new (std::nothrow) float[size_t{kMaxAveragingDepth} * kSpectrumBins]());
        if (!history_) return false;
    }
    averagingDepth_ = depth;
    filledCount_ = 0;
    averagingOn_ = depth > 1;
    return true;
}

uint32_t SpectrumAnalyzer::GetAveragingDepth() const {
    std::lock_guard<std::mutex> guard(historyLock);
    return averagingDepth_;
}

void SpectrumAnalyzer::ResetAveraging() {
    std::lock_guard<std::mutex> guard(historyLock);
    filledCount_ = 0;
}

}  // namespace sonotrap
