#include "platform/portaudio/portaudio_driver.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#if defined(ZELTRAK_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif

namespace zeltrak {

namespace {

#if defined(ZELTRAK_HAVE_ALSA)
// ALSA reports every probe of an absent card on stderr; the user learns about devices from our
// own messages instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

// Libraries below PortAudio (ALSA plugins, the JACK client) also write straight to stderr
// while they look for servers and cards. Hold stderr on /dev/null while they do.
class QuietStderr {
public:
    QuietStderr() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

PaSampleFormat SampleFormatFor(uint16_t containerBytes) {
    switch (containerBytes) {
        case 1: return paUInt8;
        case 2: return paInt16;
        case 3: return paInt24;
        case 4: return paInt32;
        default: return 0;
    }
}

bool Supported(WaveDirection direction, int paIndex, int channels, PaSampleFormat format, double rate) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(paIndex);
    if (info == nullptr) return false;
    PaStreamParameters p{};
    p.device = paIndex;
    p.channelCount = channels;
    p.sampleFormat = format;
    p.suggestedLatency =
        direction == WaveDirection::Input ? info->defaultHighInputLatency : info->defaultHighOutputLatency;
    p.hostApiSpecificStreamInfo = nullptr;
    const PaError e = direction == WaveDirection::Input ? Pa_IsFormatSupported(&p, nullptr, rate)
                                                        : Pa_IsFormatSupported(nullptr, &p, rate);
    return e == paFormatIsSupported;
}

// The classic capability bits: rate families by the lowest bit of each group of four
// (mono 8-bit, stereo 8-bit, mono 16-bit, stereo 16-bit).
struct RateBits {
    double rate;
    uint32_t firstBit;
};
constexpr std::array<RateBits, 5> kRateBits{{{11025.0, kFormat1M08},
                                              {22050.0, kFormat2M08},
                                              {44100.0, kFormat4M08},
                                              {48000.0, kFormat48M08},
                                              {96000.0, kFormat96M08}}};

// How long starting, stopping or closing a stream may take before its server or device counts
// as no longer answering. A JACK server that is frozen, not gone, keeps PortAudio waiting on it
// for minutes; nothing else needs more than a few periods.
constexpr std::chrono::milliseconds kStreamCallLimit{2000};

// Makes a PortAudio call on a thread of its own and waits for it at most `limit`. Nothing when
// the call has not returned by then: it is left running, and holds only the stream it was given.
std::optional<PaError> CallWithin(std::chrono::milliseconds limit, PaError (*call)(PaStream*), PaStream* stream) {
    struct Outcome {
        std::mutex mutex;
        std::condition_variable returned;
        bool done = false;
        PaError result = paNoError;
    };
    auto outcome = std::make_shared<Outcome>();
    std::thread worker;
    try {
        worker = std::thread([outcome, call, stream] {
            const PaError e = call(stream);
            std::lock_guard lock(outcome->mutex);
            outcome->result = e;
            outcome->done = true;
            outcome->returned.notify_all();
        });
    } catch (const std::system_error&) {
        return call(stream);  // no thread to spare: wait as long as it takes
    }
    std::unique_lock lock(outcome->mutex);
    if (!outcome->returned.wait_for(lock, limit, [&] { return outcome->done; })) {
        lock.unlock();
        worker.detach();
        return std::nullopt;
    }
    const PaError result = outcome->result;
    lock.unlock();
    worker.join();
    return result;
}

}  // namespace

namespace {

// Everything the callback touches. It lives apart from the stream so that a stream abandoned on
// a vanished server can leave it behind, valid for a callback that will never come again.
// The owner's thread queues headers into a single-producer ring; the callback consumes them,
// copies samples and completes them.
struct CallbackCore {
    CallbackCore(WaveDirection d, const WaveFormat& format, WaveNotifySink* s)
        : direction(d), sink(s), blockAlign(format.blockAlign), silence(format.ContainerBytes() == 1 ? 0x80 : 0x00) {}

    const WaveDirection direction;
    WaveNotifySink* const sink;
    const unsigned blockAlign;
    const uint8_t silence;
    std::atomic<bool> busy{false};  // inside the callback
    // The stream was given up while PortAudio may still call back: touch nothing of the owner's.
    std::atomic<bool> abandoned{false};
    std::atomic<bool> stopping{false};
    std::atomic<bool> failed{false};
    std::atomic<bool> paused{false};
    std::atomic<uint64_t> frames{0};
    std::array<WaveHeader*, 16> ring{};
    std::atomic<uint32_t> head{0};
    std::atomic<uint32_t> tail{0};

    void Complete(WaveHeader* h) {
        const uint32_t flags = h->flags.load(std::memory_order_acquire);
        h->flags.store((flags & ~kWaveHeaderInQueue) | kWaveHeaderDone, std::memory_order_release);
        if (sink != nullptr) sink->PostBufferDone(direction, h);
    }

    // Owner's side, only while the callback cannot run: every queued header comes back done,
    // as the owner may free or reuse it at once.
    void ReturnAll() {
        uint32_t h = head.load(std::memory_order_acquire);
        const uint32_t t = tail.load(std::memory_order_acquire);
        for (; h != t; ++h) Complete(ring[h % ring.size()]);
        head.store(h, std::memory_order_release);
    }

    WaveHeader* Front() {
        const uint32_t h = head.load(std::memory_order_relaxed);
        if (h == tail.load(std::memory_order_acquire)) return nullptr;
        return ring[h % ring.size()];
    }
    void PopFront() { head.store(head.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

    void FinishOrLoop(WaveHeader* h) {
        if (direction == WaveDirection::Output && h->driverLoopsLeft > 1 && h->driverPosition > 0) {
            --h->driverLoopsLeft;
            h->driverPosition = 0;
            return;
        }
        PopFront();
        Complete(h);
    }

    int Transfer(const uint8_t* in, uint8_t* out, unsigned long count) {
        const bool input = direction == WaveDirection::Input;
        if (input ? in == nullptr : out == nullptr) return paContinue;
        if (!input && paused.load(std::memory_order_acquire)) {
            std::memset(out, silence, count * blockAlign);
            return paContinue;
        }
        while (count > 0) {
            WaveHeader* h = Front();
            if (h == nullptr) break;
            const uint32_t room = (h->bufferLength - h->driverPosition) / blockAlign;
            if (room == 0) {
                FinishOrLoop(h);
                continue;
            }
            const uint32_t n = static_cast<uint32_t>(std::min<unsigned long>(count, room));
            auto* data = static_cast<uint8_t*>(h->data) + h->driverPosition;
            const size_t bytes = static_cast<size_t>(n) * blockAlign;
            if (input) {
                std::memcpy(data, in, bytes);
                in += bytes;
            } else {
                std::memcpy(out, data, bytes);
                out += bytes;
            }
            h->driverPosition += static_cast<uint32_t>(bytes);
            if (input) h->bytesRecorded.store(h->driverPosition, std::memory_order_release);
            frames.fetch_add(n, std::memory_order_release);
            count -= n;
            if ((h->bufferLength - h->driverPosition) < blockAlign) FinishOrLoop(h);
        }
        // Output with nothing queued plays silence; input with nowhere to go is lost.
        if (!input && count > 0) std::memset(out, silence, count * blockAlign);
        return paContinue;
    }

    static int Callback(const void* input, void* output, unsigned long count, const PaStreamCallbackTimeInfo*,
                        PaStreamCallbackFlags, void* self) {
        auto* core = static_cast<CallbackCore*>(self);
        // Sequentially consistent with Abandon: either this callback sees the flag, or Abandon
        // sees it busy and waits for it to end.
        core->busy.store(true);
        if (core->abandoned.load()) {
            core->busy.store(false, std::memory_order_release);
            return paAbort;
        }
        const int r = core->Transfer(static_cast<const uint8_t*>(input), static_cast<uint8_t*>(output), count);
        core->busy.store(false, std::memory_order_release);
        return r;
    }

    // Owner's side. After this the callback no longer touches the ring, the headers or the sink
    // (bounded wait, as the callback only copies and posts).
    void Abandon() {
        failed.store(true);
        abandoned.store(true);
        for (int i = 0; i < 1000 && busy.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    // A stream that ends without being asked to has lost its device.
    static void Finished(void* self) {
        auto* core = static_cast<CallbackCore*>(self);
        if (!core->stopping.load()) core->failed.store(true);
    }
};

}  // namespace

class PortAudioDriver::Stream : public WaveStream {
public:
    Stream(WaveDirection direction, const WaveFormat& format, WaveNotifySink* sink)
        : direction_(direction), core_(new CallbackCore(direction, format, sink)) {}

    ~Stream() override {
        Close();
        delete core_;
    }

    WaveResult OpenOn(int paIndex, const WaveFormat& format) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(paIndex);
        if (info == nullptr) return kWaveBadDeviceId;
        const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
        jack_ = api != nullptr && api->type == paJACK;
        PaStreamParameters p{};
        p.device = paIndex;
        p.channelCount = format.channels;
        p.sampleFormat = SampleFormatFor(format.ContainerBytes());
        const bool input = direction_ == WaveDirection::Input;
        p.suggestedLatency = input ? info->defaultHighInputLatency : info->defaultHighOutputLatency;
        PaError e;
        {
            QuietStderr quiet;
            e = Pa_OpenStream(&pa_, input ? &p : nullptr, input ? nullptr : &p, format.samplesPerSec,
                              paFramesPerBufferUnspecified, paClipOff | paDitherOff, &CallbackCore::Callback, core_);
        }
        if (e != paNoError) {
            pa_ = nullptr;
            return e == paDeviceUnavailable ? kWaveAllocated : (e == paInsufficientMemory ? kWaveNoMemory : kWaveError);
        }
        Pa_SetStreamFinishedCallback(pa_, &CallbackCore::Finished);
        // Output runs from the start (silent until buffers come), as a waveform device plays
        // as soon as it is written to.
        if (!input && !Run()) {
            Close();
            return kWaveError;
        }
        return kWaveOk;
    }

    WaveResult AddBuffer(WaveHeader& header) override {
        if (pa_ == nullptr) return kWaveInvalidHandle;
        if (Lost()) return kWaveError;
        const uint32_t flags = header.flags.load(std::memory_order_acquire);
        if ((flags & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
        if ((flags & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
        if (header.data == nullptr) return kWaveInvalidParam;
        const uint32_t tail = core_->tail.load(std::memory_order_relaxed);
        if (tail - core_->head.load(std::memory_order_acquire) >= core_->ring.size()) return kWaveNoMemory;
        header.bytesRecorded.store(0, std::memory_order_relaxed);
        header.driverPosition = 0;
        const bool looping = (flags & (kWaveHeaderBeginLoop | kWaveHeaderEndLoop)) ==
                             (kWaveHeaderBeginLoop | kWaveHeaderEndLoop);
        header.driverLoopsLeft = looping ? header.loops : 0;
        header.flags.store((flags & ~kWaveHeaderDone) | kWaveHeaderInQueue, std::memory_order_release);
        core_->ring[tail % core_->ring.size()] = &header;
        core_->tail.store(tail + 1, std::memory_order_release);
        return kWaveOk;
    }

    WaveResult Start() override {
        if (pa_ == nullptr) return kWaveInvalidHandle;
        if (direction_ != WaveDirection::Input) return kWaveNotSupported;
        if (Lost()) return kWaveError;
        if (running_) return kWaveOk;
        return Run() ? kWaveOk : kWaveError;
    }
    WaveResult Pause() override { return SetPaused(true); }
    WaveResult Restart() override { return SetPaused(false); }

    WaveResult Reset() override {
        if (pa_ == nullptr) return kWaveInvalidHandle;
        const bool wasRunning = running_;
        Halt();
        core_->ReturnAll();
        core_->frames.store(0);
        // Output stays ready to play, paused or not, as before the reset.
        if (direction_ == WaveDirection::Output && wasRunning && !core_->failed.load()) Run();
        return abandoned_ ? kWaveError : kWaveOk;
    }

    WaveResult GetPosition(uint32_t& bytes) override {
        if (pa_ == nullptr) return kWaveInvalidHandle;
        if (Lost()) return kWaveError;
        bytes = static_cast<uint32_t>(core_->frames.load(std::memory_order_acquire) * core_->blockAlign);
        return kWaveOk;
    }

    WaveResult Close() override {
        if (pa_ == nullptr) return kWaveInvalidHandle;
        const bool lost = Lost();
        Halt();
        core_->ReturnAll();
        // PortAudio 19.6 waits for a vanished JACK server to acknowledge the close, for minutes.
        // The stream is dead and its callback cannot run again: leave it behind.
        const bool vanished = lost && jack_;
        if (vanished && !abandoned_) PortAudioDriver::AbandonStream(true);
        if (!vanished && !abandoned_) Call(&Pa_CloseStream);
        // A stream left behind keeps the memory its callback would use.
        if (abandoned_ || vanished) core_ = nullptr;
        pa_ = nullptr;
        return abandoned_ ? kWaveError : kWaveOk;
    }

private:
    // A running stream that PortAudio no longer reports active has lost its device (the
    // sound server went away, the card was unplugged).
    bool Lost() {
        if (core_->failed.load()) return true;
        if (running_ && Pa_IsStreamActive(pa_) != 1) core_->failed.store(true);
        return core_->failed.load();
    }

    // Makes a PortAudio call on the stream within kStreamCallLimit. False when the server or
    // device stopped answering: the stream is then given up, never to be touched again.
    bool Call(PaError (*call)(PaStream*), PaError* result = nullptr) {
        // Once a JACK stream stopped answering, PortAudio's JACK side stays locked by the call
        // still waiting on it; every JACK stream would wait too.
        if (jack_ && PortAudioDriver::jackGone_.load()) {
            Abandon();
            return false;
        }
        const std::optional<PaError> e = CallWithin(kStreamCallLimit, call, pa_);
        if (!e) {
            Abandon();
            return false;
        }
        if (result != nullptr) *result = *e;
        return true;
    }

    void Abandon() {
        core_->Abandon();
        abandoned_ = true;
        PortAudioDriver::AbandonStream(jack_);
    }

    bool Run() {
        core_->stopping.store(false);
        PaError e = paNoError;
        if (!Call(&Pa_StartStream, &e)) return false;
        if (e != paNoError) {
            core_->failed.store(true);
            return false;
        }
        running_ = true;
        return true;
    }

    // After this the callback no longer touches the ring, so the owner may.
    void Halt() {
        if (!running_) return;
        core_->stopping.store(true);
        const bool lost = Lost();
        running_ = false;
        if (lost) {
            // A stream that lost its server never answers a stop request; its last callback
            // has ended once busy is clear (bounded, in case it never started).
            for (int i = 0; i < 1000 && core_->busy.load(std::memory_order_acquire); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } else {
            Call(&Pa_AbortStream);
        }
    }

    WaveResult SetPaused(bool value) {
        if (pa_ == nullptr) return kWaveInvalidHandle;
        if (direction_ != WaveDirection::Output) return kWaveNotSupported;
        if (core_->failed.load()) return kWaveError;
        core_->paused.store(value, std::memory_order_release);
        return kWaveOk;
    }

    const WaveDirection direction_;
    CallbackCore* core_;  // owned, unless left behind with an abandoned stream
    PaStream* pa_ = nullptr;
    bool running_ = false;
    bool jack_ = false;
    bool abandoned_ = false;  // given up on a device that stopped answering
};

PortAudioDriver::PortAudioDriver() {
#if defined(ZELTRAK_HAVE_ALSA)
    snd_lib_error_set_handler(&QuietAlsa);
#endif
    PaError e;
    {
        QuietStderr quiet;
        e = Pa_Initialize();
    }
    if (e != paNoError) return;
    initialized_ = true;
    const int count = Pa_GetDeviceCount();
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
        if (info == nullptr) continue;
        if (info->maxInputChannels > 0) inputs_.push_back(Device{i, std::nullopt});
        if (info->maxOutputChannels > 0) outputs_.push_back(Device{i, std::nullopt});
    }
}

void PortAudioDriver::AbandonStream(bool jack) {
    if (jack) jackGone_.store(true);
    abandoned_.fetch_add(1);
}

bool PortAudioDriver::IsJack(int paIndex) const {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(paIndex);
    const PaHostApiInfo* api = info == nullptr ? nullptr : Pa_GetHostApiInfo(info->hostApi);
    return api != nullptr && api->type == paJACK;
}

PortAudioDriver::~PortAudioDriver() {
    // Terminating would try to close the abandoned streams and wait on the dead server.
    if (initialized_ && abandoned_.load() == 0) {
        QuietStderr quiet;
        Pa_Terminate();
    }
}

PortAudioDriver::Device* PortAudioDriver::Find(WaveDirection direction, uint32_t device) {
    std::vector<Device>& list = direction == WaveDirection::Input ? inputs_ : outputs_;
    return device < list.size() ? &list[device] : nullptr;
}

const PortAudioDriver::Device* PortAudioDriver::Find(WaveDirection direction, uint32_t device) const {
    const std::vector<Device>& list = direction == WaveDirection::Input ? inputs_ : outputs_;
    return device < list.size() ? &list[device] : nullptr;
}

uint32_t PortAudioDriver::DeviceCount(WaveDirection direction) {
    return static_cast<uint32_t>(direction == WaveDirection::Input ? inputs_.size() : outputs_.size());
}

uint32_t PortAudioDriver::ProbeFormats(WaveDirection direction, int paIndex) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(paIndex);
    if (info == nullptr) return 0;
    const int maxChannels = direction == WaveDirection::Input ? info->maxInputChannels : info->maxOutputChannels;
    QuietStderr quiet;
    uint32_t bits = 0;
    for (const RateBits& r : kRateBits) {
        for (int stereo = 0; stereo < 2; ++stereo) {
            if (stereo == 1 && maxChannels < 2) continue;
            for (int wide = 0; wide < 2; ++wide) {
                if (Supported(direction, paIndex, 1 + stereo, wide ? paInt16 : paUInt8, r.rate)) {
                    bits |= r.firstBit << (stereo + 2 * wide);
                }
            }
        }
    }
    return bits;
}

WaveResult PortAudioDriver::FillCaps(WaveDirection direction, uint32_t device, char (&name)[32], uint32_t& formats,
                                     uint16_t& channels, uint32_t& version) {
    std::lock_guard lock(mutex_);
    Device* d = Find(direction, device);
    if (d == nullptr) return kWaveBadDeviceId;
    const PaDeviceInfo* info = Pa_GetDeviceInfo(d->paIndex);
    if (info == nullptr) return kWaveError;
    if (!d->formats) d->formats = ProbeFormats(direction, d->paIndex);
    CopyProductName(name, info->name);
    formats = *d->formats;
    const int maxChannels = direction == WaveDirection::Input ? info->maxInputChannels : info->maxOutputChannels;
    // The device's own count, so the device list can show it; the analyser uses up to two.
    channels = static_cast<uint16_t>(std::clamp(maxChannels, 0, 0xFFFF));
    version = static_cast<uint32_t>(Pa_GetVersion());
    return kWaveOk;
}

WaveResult PortAudioDriver::GetInCaps(uint32_t device, WaveInCaps& caps) {
    caps = WaveInCaps{};
    return FillCaps(WaveDirection::Input, device, caps.productName, caps.formats, caps.channels, caps.driverVersion);
}

WaveResult PortAudioDriver::GetOutCaps(uint32_t device, WaveOutCaps& caps) {
    caps = WaveOutCaps{};
    return FillCaps(WaveDirection::Output, device, caps.productName, caps.formats, caps.channels, caps.driverVersion);
}

WaveResult PortAudioDriver::QueryFormat(WaveDirection direction, uint32_t device, const WaveFormat& format) {
    std::lock_guard lock(mutex_);
    const Device* d = Find(direction, device);
    if (d == nullptr) return kWaveBadDeviceId;
    if (!IsPlausiblePcm(format)) return kWaveBadFormat;
    if (jackGone_.load() && IsJack(d->paIndex)) return kWaveNoDriver;
    QuietStderr quiet;
    return Supported(direction, d->paIndex, format.channels, SampleFormatFor(format.ContainerBytes()),
                     format.samplesPerSec)
               ? kWaveOk
               : kWaveBadFormat;
}

WaveResult PortAudioDriver::Open(WaveDirection direction, uint32_t device, const WaveFormat& format,
                                 WaveNotifySink* sink, std::unique_ptr<WaveStream>& stream) {
    std::lock_guard lock(mutex_);
    const Device* d = Find(direction, device);
    if (d == nullptr) return kWaveBadDeviceId;
    if (!IsPlausiblePcm(format)) return kWaveBadFormat;
    // Opening on a JACK server that went away would wait for it indefinitely.
    if (jackGone_.load() && IsJack(d->paIndex)) return kWaveNoDriver;
    auto s = std::make_unique<Stream>(direction, format, sink);
    const WaveResult r = s->OpenOn(d->paIndex, format);
    if (r != kWaveOk) return r;
    stream = std::move(s);
    return kWaveOk;
}

WaveResult PortAudioDriver::GetVolume(uint32_t, uint32_t&) { return kWaveNotSupported; }
WaveResult PortAudioDriver::SetVolume(uint32_t, uint32_t) { return kWaveNotSupported; }

std::string PortAudioDriver::HostApiName(WaveDirection direction, uint32_t device) const {
    const Device* d = Find(direction, device);
    if (d == nullptr) return {};
    const PaDeviceInfo* info = Pa_GetDeviceInfo(d->paIndex);
    const PaHostApiInfo* api = info == nullptr ? nullptr : Pa_GetHostApiInfo(info->hostApi);
    return api == nullptr || api->name == nullptr ? std::string() : std::string(api->name);
}

std::string PortAudioDriver::FullDeviceName(WaveDirection direction, uint32_t device) const {
    const Device* d = Find(direction, device);
    if (d == nullptr) return {};
    const PaDeviceInfo* info = Pa_GetDeviceInfo(d->paIndex);
    return info == nullptr || info->name == nullptr ? std::string() : std::string(info->name);
}

}  // namespace zeltrak
