#include "mp3enc/Mp3Encoder.h"

#include <algorithm>
#include <cstring>

#include "mp3enc/AnalysisFilterbank.h"
#include "mp3enc/BitWriter.h"
#include "mp3enc/FrameHeader.h"
#include "mp3enc/FrameWriter.h"
#include "mp3enc/Mdct.h"
#include "mp3enc/RateControl.h"

namespace sonotrap {
namespace mp3enc {

// Everything one encoder owns; allocated at Initialise, freed at Destroy.
struct EncoderState {
    int channels = 1;
    FrameHeader header;
    FrameSizer sizer;
    int sideInfoBits = 168;
    int16_t input[2][Mp3Encoder::kSamplesPerFrame] = {};
    AnalysisFilterbank filterbank[2];
    Mdct mdct[2];
    GranuleSubbands subbands[2][2];  // [channel][granule]
    double spectrum[2][2][576] = {};
    QuantisedFrame quantised = {};
    SideInfo side;
    RateControl rateControl;
    BitWriter writer;
    uint32_t framesWritten = 0;

    size_t EncodeFrame(Mp3Sink& sink);
    void AnalyseFrame();
    void TransformFrame();
    void RestoreSigns();
    size_t WriteFrame(Mp3Sink& sink);
    void Reset();
};

size_t EncoderState::EncodeFrame(Mp3Sink& sink) {
    header.padding = sizer.NextPadding();
    header.frameBits = (sizer.WholeBytes() + header.padding) * 8;
    const int meanBits = (header.frameBits - sideInfoBits) >> 1;
    AnalyseFrame();
    TransformFrame();
    side = SideInfo{};
    rateControl.QuantiseFrame(spectrum, quantised, side, meanBits);
    RestoreSigns();
    return WriteFrame(sink);
}

// Subband samples of both granules of every channel from the frame's input.
void EncoderState::AnalyseFrame() {
    for (int ch = 0; ch < channels; ++ch) {
        for (int gr = 0; gr < 2; ++gr) filterbank[ch].AnalyseGranule(input[ch] + 576 * gr, subbands[ch][gr]);
    }
}

// 576 spectral lines per granule and channel; the MDCT keeps each granule as the next overlap.
void EncoderState::TransformFrame() {
    for (int ch = 0; ch < channels; ++ch) {
        for (int gr = 0; gr < 2; ++gr) mdct[ch].TransformGranule(subbands[ch][gr], spectrum[gr][ch]);
    }
}

// The rate control worked on magnitudes; the spectrum still holds the signs.
void EncoderState::RestoreSigns() {
    for (int gr = 0; gr < 2; ++gr) {
        for (int ch = 0; ch < channels; ++ch) {
            const double* x = spectrum[gr][ch];
            int* q = quantised[gr][ch];
            for (int i = 0; i < 576; ++i) q[i] = x[i] < 0.0 ? -q[i] : q[i];
        }
    }
}

// One sink write per frame; a frame counts only when all of it was taken, its bytes as far as
// they went (a torn frame is still in the file).
size_t EncoderState::WriteFrame(Mp3Sink& sink) {
    const size_t bytes = FormatFrame(header, channels, side, quantised, writer);
    if (bytes == 0) return 0;
    const size_t taken = sink.Write(writer.Data(), bytes);
    if (taken == bytes) ++framesWritten;
    return taken;
}

void EncoderState::Reset() {
    writer.Clear();
    rateControl.Reset();
    sizer.Reset();
    for (int ch = 0; ch < 2; ++ch) {
        filterbank[ch].Reset();
        mdct[ch].Reset();
    }
    std::memset(input, 0, sizeof input);
    std::memset(subbands, 0, sizeof subbands);
    std::memset(spectrum, 0, sizeof spectrum);
    std::memset(quantised, 0, sizeof quantised);
}

}  // namespace mp3enc

Mp3Encoder::Mp3Encoder() = default;
Mp3Encoder::~Mp3Encoder() = default;

bool Mp3Encoder::Initialise(int bitrateKbps, int channels) {
    state_.reset();
    if (mp3enc::BitrateIndex(bitrateKbps) < 0 || (channels != 1 && channels != 2)) return false;
    auto state = std::make_unique<mp3enc::EncoderState>();
    state->channels = channels;
    state->header = mp3enc::MakeFrameHeader(bitrateKbps, channels);
    state->sizer.Initialise(bitrateKbps);
    state->sideInfoBits = mp3enc::SideInformationBits(channels);
    state->rateControl.Initialise(state->header.version * 3 + state->header.samplingFrequencyIndex, channels);
    state_ = std::move(state);
    return true;
}

size_t Mp3Encoder::Encode(const int16_t* samples, size_t count, bool flush, Mp3Sink& sink) {
    if (!state_) return 0;
    mp3enc::EncoderState& s = *state_;
    const size_t channels = static_cast<size_t>(s.channels);
    const size_t perFrame = kSamplesPerFrame * channels;
    // Half a pair would be dropped, shifting left and right for the rest of the stream.
    if (samples != nullptr && count % channels != 0) return 0;
    size_t bytes = 0;
    // More than one frame's worth is encoded frame by frame rather than overrunning the input.
    while (samples != nullptr && count > 0) {
        const size_t n = std::min(count, perFrame);
        std::memset(s.input, 0, sizeof s.input);
        for (size_t i = 0; i < n / channels; ++i) {
            for (size_t ch = 0; ch < channels; ++ch) s.input[ch][i] = samples[i * channels + ch];
        }
        bytes += s.EncodeFrame(sink);
        samples += n;
        count -= n;
    }
    if (flush) {
        std::memset(s.input, 0, sizeof s.input);
        bytes += s.EncodeFrame(sink);
        bytes += s.EncodeFrame(sink);
    }
    return bytes;
}

void Mp3Encoder::Reset() {
    if (state_) state_->Reset();
}

void Mp3Encoder::Destroy() { state_.reset(); }

int Mp3Encoder::Channels() const { return state_ ? state_->channels : 0; }

int Mp3Encoder::FrameBytes() const { return state_ ? state_->sizer.WholeBytes() : 0; }

uint32_t Mp3Encoder::FramesWritten() const { return state_ ? state_->framesWritten : 0; }

}  // namespace sonotrap
