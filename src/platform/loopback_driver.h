#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/loopback_room.h"
#include "platform/wave_driver.h"

namespace zeltrak {

// How the Loopback card behaves. Its input hears its output: each input channel is
// gain x (the output channel through the room when one is set, then delayed by delaySamples and
// convolved with impulseResponse when one is given) + a Gaussian noise floor. While no output stream is open the wire carries the
// built-in test source instead.
struct LoopbackConfig {
    enum class Clock { Manual, RealTime };
    enum class Source { Silence, Sine };

    static constexpr double kNoiseOff = -999.9;
    static constexpr uint32_t kMaxDelay = 1u << 20;
    static constexpr size_t kMaxImpulseLength = 1u << 16;

    Clock clock = Clock::RealTime;
    double gain[2] = {1.0, 1.0};
    uint32_t delaySamples[2] = {0, 0};
    // Empty: a plain wire. Direct convolution: a real-time card keeps up with a few thousand
    // taps at 48 kHz; longer responses suit the manual clock.
    std::vector<double> impulseResponse[2];
    double noiseDb = kNoiseOff;              // RMS relative to full scale; kNoiseOff or below: none
    uint32_t noiseSeed = 1;
    Source source = Source::Silence;
    double sineHz = 1000.0;
    double sineDb = -20.0;  // peak relative to full scale
    LoopbackRoom room = {};  // the same room on both channels; its keys are in loopback_room.h

    // Keys (case-insensitive): Clock (manual|realtime), Gain, GainLeft, GainRight, Delay, DelayLeft,
    // DelayRight (samples), Impulse, ImpulseLeft, ImpulseRight (comma-separated taps), NoiseDb,
    // NoiseSeed, Source (silence|sine), SineHz, SineDb, and the room's RoomRT... and RoomSeed. False for an unknown key or a bad value,
    // which then changes nothing.
    bool Set(std::string_view key, std::string_view value);
    // Applies the Key=Value lines of one INI section; returns the lines it could not use.
    std::vector<std::string> ApplyIni(std::string_view iniText, std::string_view section = "Loopback");
    // Applies "Key=Value;Key=Value" from an environment variable; returns the items it could not use.
    std::vector<std::string> ApplyEnvironment(const char* variable = "ZELTRAK_LOOPBACK");
};

// A virtual stereo sound card with one input and one output device, both named "Loopback".
// Formats: 1 or 2 channels, 1 to 4 byte containers, 4 kHz to 200 kHz; input and output share
// one sample clock, so while both are open they run at one rate. The driver must outlive its
// streams, and sinks must not call back into the driver.
class LoopbackDriver : public WaveDriver {
public:
    static constexpr const char* kName = "Loopback";
    static constexpr uint32_t kMinRate = 4000;
    static constexpr uint32_t kMaxRate = 200000;

    explicit LoopbackDriver(LoopbackConfig config = {});
    ~LoopbackDriver() override;
    LoopbackDriver(const LoopbackDriver&) = delete;
    LoopbackDriver& operator=(const LoopbackDriver&) = delete;

    uint32_t DeviceCount(WaveDirection direction) override;
    WaveResult GetInCaps(uint32_t device, WaveInCaps& caps) override;
    WaveResult GetOutCaps(uint32_t device, WaveOutCaps& caps) override;
    WaveResult QueryFormat(WaveDirection direction, uint32_t device, const WaveFormat& format) override;
    WaveResult Open(WaveDirection direction, uint32_t device, const WaveFormat& format, WaveNotifySink* sink,
                    std::unique_ptr<WaveStream>& stream) override;
    WaveResult GetVolume(uint32_t outputDevice, uint32_t& volume) override;
    WaveResult SetVolume(uint32_t outputDevice, uint32_t volume) override;

    // Manual clock: runs the card for `frames` sample periods (nothing happens while no stream
    // is open). Buffer-done notices are posted before it returns.
    void Advance(uint32_t frames);
    // Replaces the configuration; delay lines, noise and test source start afresh. The clock
    // kind is fixed at construction.
    void Configure(const LoopbackConfig& config);
    LoopbackConfig Config() const;

private:
    class Stream;
    struct Post {
        WaveNotifySink* sink;
        WaveDirection direction;
        WaveHeader* header;
    };

    // What one run of the card holds constant.
    struct RunLevels {
        double sineAmplitude = 0.0;
        double sineStep = 0.0;
        bool noisy = false;
        double noiseRms = 0.0;
        double volume[2] = {1.0, 1.0};
    };

    void RebuildLocked();
    // The room's convolvers for the card's rate, built when the rate or the room changes.
    void PrepareRoomLocked(uint32_t rate);
    void RunLocked(uint32_t frames, std::vector<Post>& posts);
    // One sample period: the output (or the test source) onto the wire, the wire through the
    // delay line, room and noise, and the line into the input.
    void PlayFrameLocked(const RunLevels& levels, double (&wire)[2], std::vector<Post>& posts);
    void PrepareSineLocked(uint32_t rate, double amplitude);
    double NextSineLocked(const RunLevels& levels);
    void CarryFrameLocked(const RunLevels& levels, const double (&wire)[2], double (&line)[2]);
    void CaptureFrameLocked(const double (&line)[2], std::vector<Post>& posts);
    void DropShortBuffersLocked(Stream& stream, std::vector<Post>& posts);
    double UniformLocked();
    double GaussLocked();
    void CompleteLocked(Stream& stream, std::vector<Post>& posts);
    uint32_t CardRateLocked() const;
    void ClockThread();
    static void Deliver(const std::vector<Post>& posts);
    // Posts with the lock released; Close waits for such deliveries to finish.
    void DeliverUnlocked(std::unique_lock<std::mutex>& lock, const std::vector<Post>& posts);

    mutable std::mutex mutex_;
    LoopbackConfig config_;
    Stream* input_ = nullptr;
    Stream* output_ = nullptr;
    uint32_t volume_ = 0xFFFFFFFFu;

    // The wire's history per channel, a power-of-two ring.
    std::vector<double> ring_[2];
    uint64_t ringMask_ = 0;
    uint64_t written_ = 0;
    double sinePhase_ = 0.0;
    std::vector<double> sineTable_;  // whole periods of the test tone
    size_t sineNext_ = 0;
    uint32_t sineRate_ = 0;  // what the table was made for
    double sineTableHz_ = 0.0;
    double sineTableAmplitude_ = 0.0;
    uint64_t noiseState_ = 1;
    bool haveSpareGauss_ = false;
    double spareGauss_ = 0.0;

    std::unique_ptr<PartitionedConvolver> room_[2];
    uint32_t roomRate_ = 0;  // 0: to be built

    int delivering_ = 0;
    std::condition_variable delivered_;

    std::thread clock_;
    std::condition_variable wake_;
    bool stopClock_ = false;
};

}  // namespace zeltrak
