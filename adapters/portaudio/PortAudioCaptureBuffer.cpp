#include "adapters/portaudio/PortAudioCaptureBuffer.h"

#include <portaudio.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "adapters/portaudio/CaptureRateConverter.h"
#include "adapters/portaudio/PortAudioSession.h"

namespace sonotrap {

namespace {

constexpr unsigned long kFramesPerCallback = kCaptureBlockBytes / 2;

// The looping capture buffer that PortAudio's input callback writes into. Lock holds the
// buffer against the callback until Unlock (a copy of at most 35 KB), so reader and writer
// never touch the same bytes at once.
class PortAudioCaptureBuffer : public CaptureBuffer {
public:
    PortAudioCaptureBuffer(std::shared_ptr<PortAudioSession> session, PaStream* stream, double deviceRate)
        : session_(std::move(session)), stream_(stream), memory_(kCaptureBufferBytes, 0) {
        if (deviceRate != kCaptureSampleRate) converter_ = std::make_unique<CaptureRateConverter>(deviceRate);
    }

    ~PortAudioCaptureBuffer() override {
        if (!stream_) return;
        Stop();
        Pa_CloseStream(stream_);
    }

    bool SetNotificationPositions(CaptureNotifications* notifications) override {
        notifications_ = notifications;
        return notifications != nullptr;
    }

    bool Start() override {
        std::lock_guard<std::mutex> control(controlLock_);
        if (Pa_IsStreamActive(stream_) == 1) return true;
        {
            std::lock_guard<std::mutex> memory(memoryLock_);
            std::fill(memory_.begin(), memory_.end(), 0);
            writePosition_ = 0;
        }
        return Pa_StartStream(stream_) == paNoError;
    }

    bool Stop() override {
        std::lock_guard<std::mutex> control(controlLock_);
        if (Pa_IsStreamStopped(stream_) == 1) return true;
        return Pa_AbortStream(stream_) == paNoError;
    }

    bool Lock(uint32_t offset, uint32_t bytes, CaptureRegions* regions) override {
        if (!regions || offset >= kCaptureBufferBytes || bytes > kCaptureBufferBytes) return false;
        memoryLock_.lock();
        *regions = CaptureRegionsOf(memory_.data(), offset, bytes);
        return true;
    }

    bool Unlock(const CaptureRegions&) override {
        memoryLock_.unlock();
        return true;
    }

    static int Callback(const void* input, void*, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        static_cast<PortAudioCaptureBuffer*>(self)->Receive(static_cast<const int16_t*>(input), frames);
        return paContinue;
    }

private:
    void Receive(const int16_t* input, unsigned long frames) {
        if (!input) {
            silence_.assign(frames, 0);
            input = silence_.data();
        }
        if (converter_) {
            converted_.clear();
            converter_->Convert(input, frames, &converted_);
            input = converted_.data();
            frames = converted_.size();
        }
        uint32_t passed = 0;  // bit k: notification k's position was passed
        {
            std::lock_guard<std::mutex> memory(memoryLock_);
            const auto* bytes = reinterpret_cast<const uint8_t*>(input);
            uint32_t left = static_cast<uint32_t>(frames * 2);
            while (left > 0) {
                const uint32_t blockEnd = (writePosition_ / kCaptureBlockBytes + 1) * kCaptureBlockBytes;
                const uint32_t n = std::min(left, blockEnd - writePosition_);
                std::memcpy(memory_.data() + writePosition_, bytes, n);
                bytes += n;
                left -= n;
                writePosition_ += n;
                if (writePosition_ == blockEnd) {
                    passed |= 1u << (blockEnd / kCaptureBlockBytes - 1);
                    if (writePosition_ == kCaptureBufferBytes) writePosition_ = 0;
                }
            }
        }
        for (int k = 0; k < kCaptureNotificationCount; ++k) {
            if ((passed & (1u << k)) && notifications_) notifications_->Set(k);
        }
    }

    std::shared_ptr<PortAudioSession> session_;
    PaStream* stream_;
    std::vector<uint8_t> memory_;
    std::mutex memoryLock_;
    std::mutex controlLock_;
    uint32_t writePosition_ = 0;
    CaptureNotifications* notifications_ = nullptr;
    std::unique_ptr<CaptureRateConverter> converter_;
    std::vector<int16_t> converted_;
    std::vector<int16_t> silence_;

public:
    // Opens the stream with this object as its callback's argument; null when it will not open.
    static std::unique_ptr<CaptureBuffer> Open(const std::shared_ptr<PortAudioSession>& session, PaDeviceIndex device);
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
        frames = paFramesPerBufferUnspecified;
    }
    // The stream needs the buffer's address for its callback, so the buffer comes first.
    auto buffer = std::unique_ptr<PortAudioCaptureBuffer>(new PortAudioCaptureBuffer(session, nullptr, rate));
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
