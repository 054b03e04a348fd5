#include "adapters/portaudio/PortAudioCaptureBuffer.h"

#include <portaudio.h>

#include <mutex>

#include "adapters/portaudio/CaptureRing.h"
#include "adapters/portaudio/PortAudioSession.h"

namespace sonotrap {

namespace {

constexpr unsigned long kFramesPerCallback = kCaptureBlockBytes / 2;

// A PortAudio input stream over a CaptureRing: the stream's callback writes the ring, Lock
// reads it in place.
class PortAudioCaptureBuffer : public CaptureBuffer {
public:
    PortAudioCaptureBuffer(std::shared_ptr<PortAudioSession> session, double deviceRate)
        : session_(std::move(session)), ring_(deviceRate) {}

    ~PortAudioCaptureBuffer() override {
        if (!stream_) return;
        Stop();
        Pa_CloseStream(stream_);
    }

    bool SetNotificationPositions(CaptureNotifications* notifications) override {
        ring_.Bind(notifications);
        return notifications != nullptr;
    }

    bool Start() override {
        std::lock_guard<std::mutex> control(controlLock_);
        if (Pa_IsStreamActive(stream_) == 1) return true;
        ring_.Begin();
        if (Pa_StartStream(stream_) == paNoError) return true;
        ring_.End();
        return false;
    }

    bool Stop() override {
        std::lock_guard<std::mutex> control(controlLock_);
        const bool stopped = Pa_IsStreamStopped(stream_) == 1 || Pa_AbortStream(stream_) == paNoError;
        if (stopped) ring_.End();  // the callback has returned for good
        return stopped;
    }

    bool Lock(uint32_t offset, uint32_t bytes, CaptureRegions* regions) override {
        if (!regions || offset >= kCaptureBufferBytes || bytes > kCaptureBufferBytes) return false;
        *regions = ring_.Regions(offset, bytes);
        return true;
    }

    bool Unlock(const CaptureRegions&) override { return true; }

    static int Callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        static_cast<PortAudioCaptureBuffer*>(self)->ring_.Write(static_cast<const int16_t*>(input), frames);
        return paContinue;
    }

    // Opens the stream with this object as its callback's argument; null when it will not open.
    static std::unique_ptr<CaptureBuffer> Open(const std::shared_ptr<PortAudioSession>& session, PaDeviceIndex device);

private:
    std::shared_ptr<PortAudioSession> session_;
    PaStream* stream_ = nullptr;
    CaptureRing ring_;
    std::mutex controlLock_;  // Start and Stop may come from two threads; never the callback
};

PaStreamParameters InputParameters(PaDeviceIndex device) {
    PaStreamParameters p{};
    p.device = device;
    p.channelCount = 1;
    p.sampleFormat = paInt16;
    p.suggestedLatency = Pa_GetDeviceInfo(device)->defaultLowInputLatency;
    return p;
}

std::unique_ptr<CaptureBuffer> PortAudioCaptureBuffer::Open(const std::shared_ptr<PortAudioSession>& session,
                                                            PaDeviceIndex device) {
    const PaStreamParameters params = InputParameters(device);
    double rate = kCaptureSampleRate;
    unsigned long frames = kFramesPerCallback;
    if (Pa_IsFormatSupported(&params, nullptr, rate) != paFormatIsSupported) {
        rate = Pa_GetDeviceInfo(device)->defaultSampleRate;
        frames = static_cast<unsigned long>(kFramesPerCallback * rate / kCaptureSampleRate);  // still 72 ms
    }
    // The stream needs the buffer's address for its callback, so the buffer comes first.
    auto buffer = std::make_unique<PortAudioCaptureBuffer>(session, rate);
    if (!buffer->ring_.IsReady()) return nullptr;
    PaStream* stream = nullptr;
    if (Pa_OpenStream(&stream, &params, nullptr, rate, frames, paClipOff, &PortAudioCaptureBuffer::Callback,
                      buffer.get()) != paNoError) {
        return nullptr;
    }
    buffer->stream_ = stream;
    return buffer;
}

class PortAudioCaptureInput : public CaptureInput {
public:
    PortAudioCaptureInput(std::shared_ptr<PortAudioSession> session, PaDeviceIndex device)
        : session_(std::move(session)), device_(device) {}
    std::unique_ptr<CaptureBuffer> CreateCaptureBuffer() override {
        return PortAudioCaptureBuffer::Open(session_, device_);
    }

private:
    std::shared_ptr<PortAudioSession> session_;
    PaDeviceIndex device_;
};

}  // namespace

std::unique_ptr<CaptureInput> OpenPortAudioCaptureInput(int chosen) {
    auto session = std::make_shared<PortAudioSession>();
    if (!session->IsOpen()) return nullptr;
    const PaDeviceIndex device = chosen < 0 ? Pa_GetDefaultInputDevice() : static_cast<PaDeviceIndex>(chosen);
    if (device == paNoDevice || device >= Pa_GetDeviceCount() || !Pa_GetDeviceInfo(device) ||
        Pa_GetDeviceInfo(device)->maxInputChannels < 1) {
        return nullptr;
    }
    return std::make_unique<PortAudioCaptureInput>(std::move(session), device);
}

}  // namespace sonotrap
