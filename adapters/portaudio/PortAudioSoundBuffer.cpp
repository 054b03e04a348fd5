#include "adapters/portaudio/PortAudioSoundBuffer.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "adapters/portaudio/PortAudioSession.h"

namespace sonotrap {

namespace {

// The device takes 32 ms at a time; the write cursor stays that far ahead of the play cursor.
constexpr unsigned long kFramesPerCallback = 1024;
constexpr double kMinimumLatency = 0.1;
constexpr uint32_t kCallbackBytes = kFramesPerCallback * 2;

// The looping buffer that PortAudio's output callback plays from. The callback only reads the
// bytes from the play cursor up to the write cursor, which nobody may write, so the two sides
// never touch the same bytes and need no lock; each Unlock publishes what was written before
// it, and the callback picks that up before it reads. The callback never allocates or waits.
class PortAudioSoundBuffer : public SoundBuffer {
public:
    explicit PortAudioSoundBuffer(std::shared_ptr<PortAudioSession> session)
        : session_(std::move(session)), memory_(kSoundBufferBytes, 0) {}

    ~PortAudioSoundBuffer() override {
        if (!stream_) return;
        Stop();
        Pa_CloseStream(stream_);
    }

    // Opens the stream with this object as its callback's argument.
    SoundResult Open() {
        const PaDeviceIndex device = Pa_GetDefaultOutputDevice();
        const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
        if (!info) return kSoundNoDevice;
        PaStreamParameters params{};
        params.device = device;
        params.channelCount = 1;
        params.sampleFormat = paInt16;
        // Short latencies starve through the ALSA-to-PulseAudio path; 0.1 s plays steadily and
        // is far inside the buffer's four blocks of slack.
        params.suggestedLatency = std::max(info->defaultHighOutputLatency, kMinimumLatency);
        if (Pa_IsFormatSupported(nullptr, &params, kSoundSampleRate) != paFormatIsSupported) return kSoundFormatRefused;
        const PaError error = Pa_OpenStream(&stream_, nullptr, &params, kSoundSampleRate, kFramesPerCallback,
                                            paClipOff, &PortAudioSoundBuffer::Callback, this);
        if (error != paNoError) {
            stream_ = nullptr;
            return error;
        }
        return kSoundOk;
    }

    SoundResult SetCurrentPosition(uint32_t playPosition) override {
        if (playPosition >= kSoundBufferBytes) return kSoundInvalidParam;
        play_ = playPosition & ~1u;  // whole samples
        return kSoundOk;
    }

    SoundResult Play() override {
        std::lock_guard<std::mutex> control(controlLock_);
        if (Pa_IsStreamActive(stream_) == 1) return kSoundOk;
        const PaError error = Pa_StartStream(stream_);
        if (error != paNoError) return error;
        playing_ = true;
        return kSoundOk;
    }

    SoundResult Stop() override {
        std::lock_guard<std::mutex> control(controlLock_);
        playing_ = false;
        if (Pa_IsStreamStopped(stream_) == 1) return kSoundOk;
        const PaError error = Pa_AbortStream(stream_);
        return error == paNoError ? kSoundOk : error;
    }

    SoundResult GetCurrentPosition(uint32_t* playCursor, uint32_t* writeCursor) override {
        const uint32_t play = play_.load();
        if (playCursor) *playCursor = play;
        if (writeCursor) *writeCursor = (play + kCallbackBytes) % kSoundBufferBytes;
        return kSoundOk;
    }

    SoundResult GetStatus(uint32_t* status) override {
        if (status) *status = playing_ ? (kSoundStatusPlaying | kSoundStatusLooping) : 0;
        return kSoundOk;
    }

    SoundResult Lock(uint32_t offset, uint32_t bytes, bool fromWriteCursor, SoundRegions* regions) override {
        *regions = SoundRegions{};
        uint32_t start = offset;
        if (fromWriteCursor) GetCurrentPosition(nullptr, &start);
        if (bytes == 0 || bytes > kSoundBufferBytes || start >= kSoundBufferBytes) return kSoundInvalidParam;
        *regions = RegionsOf(memory_.data(), start, bytes);
        return kSoundOk;
    }

    SoundResult Unlock(const SoundRegions&) override {
        written_.fetch_add(1, std::memory_order_release);
        return kSoundOk;
    }

private:
    static int Callback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        static_cast<PortAudioSoundBuffer*>(self)->Take(static_cast<uint8_t*>(output), frames * 2);
        return paContinue;
    }

    void Take(uint8_t* out, uint32_t bytes) {
        written_.load(std::memory_order_acquire);
        uint32_t play = play_.load();
        while (bytes > 0) {
            const uint32_t n = std::min(bytes, kSoundBufferBytes - play);
            std::memcpy(out, memory_.data() + play, n);
            out += n;
            bytes -= n;
            play = (play + n) % kSoundBufferBytes;
        }
        play_.store(play);
    }

    std::shared_ptr<PortAudioSession> session_;
    PaStream* stream_ = nullptr;
    std::vector<uint8_t> memory_;
    std::atomic<uint32_t> play_{0};
    std::atomic<uint32_t> written_{0};  // Unlocks so far: the writer's release to the callback
    std::atomic<bool> playing_{false};
    std::mutex controlLock_;
};

class PortAudioSoundOutput : public SoundOutput {
public:
    SoundResult CreateSoundBuffer(std::unique_ptr<SoundBuffer>* buffer) override {
        buffer->reset();
        auto session = std::make_shared<PortAudioSession>();
        if (!session->IsOpen()) return kSoundNoDevice;
        auto made = std::make_unique<PortAudioSoundBuffer>(std::move(session));
        const SoundResult result = made->Open();
        if (result != kSoundOk) return result;
        *buffer = std::move(made);
        return kSoundOk;
    }
};

}  // namespace

std::unique_ptr<SoundOutput> OpenPortAudioSoundOutput() { return std::make_unique<PortAudioSoundOutput>(); }

}  // namespace sonotrap
