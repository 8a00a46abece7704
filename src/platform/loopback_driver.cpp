#include "platform/loopback_driver.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <numeric>

namespace zeltrak {

namespace {

// Samples as a real card sees them: 8-bit unsigned around 128, wider widths two's complement,
// scaled by powers of two so that a wire of gain 1 carries every width bit-exactly.
double ReadPcm(const uint8_t* p, unsigned bytes) {
    switch (bytes) {
        case 1:
            return (static_cast<int>(p[0]) - 128) / 128.0;
        case 2:
            return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))) / 32768.0;
        case 3: {
            int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                             static_cast<uint32_t>(p[2]) << 24) >>
                        8;
            return v / 8388608.0;
        }
        default: {
            uint32_t u = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
            return static_cast<int32_t>(u) / 2147483648.0;
        }
    }
}

void WritePcm(uint8_t* p, unsigned bytes, double x) {
    const double scale = std::ldexp(1.0, 8 * static_cast<int>(bytes) - 1);
    if (std::isnan(x)) x = 0.0;
    double v = std::nearbyint(x * scale);
    v = std::clamp(v, -scale, scale - 1.0);
    const int64_t i = static_cast<int64_t>(v);
    if (bytes == 1) {
        p[0] = static_cast<uint8_t>(i + 128);
        return;
    }
    const uint32_t u = static_cast<uint32_t>(static_cast<int32_t>(i));
    for (unsigned b = 0; b < bytes; ++b) p[b] = static_cast<uint8_t>(u >> (8 * b));
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool ParseDouble(std::string_view s, double& out) {
    s = Trim(s);
    if (s.empty()) return false;
    double v = 0.0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool ParseUnsigned(std::string_view s, uint32_t& out) {
    s = Trim(s);
    if (s.empty()) return false;
    uint32_t v = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return false;
    out = v;
    return true;
}

bool ParseTaps(std::string_view s, std::vector<double>& out) {
    std::vector<double> taps;
    while (true) {
        const size_t comma = s.find(',');
        double v = 0.0;
        if (!ParseDouble(s.substr(0, comma), v)) return false;
        taps.push_back(v);
        if (taps.size() > LoopbackConfig::kMaxImpulseLength) return false;
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    out = std::move(taps);
    return true;
}

// Splits "Key=Value" and applies it; false when it cannot be used.
bool ApplyItem(LoopbackConfig& config, std::string_view item) {
    const size_t eq = item.find('=');
    if (eq == std::string_view::npos) return false;
    return config.Set(Trim(item.substr(0, eq)), Trim(item.substr(eq + 1)));
}

// The shortest table holding a whole number of periods of `hz` at `rate` (hz a fraction with a
// denominator up to 16), or 0 when none fits in kMaxSineTable samples.
constexpr uint64_t kMaxSineTable = uint64_t{1} << 20;
struct SinePeriods {
    uint64_t length = 0;
    uint64_t cycles = 0;  // periods in the table
};
SinePeriods WholeSinePeriods(double hz, uint32_t rate) {
    for (uint64_t m = 1; m <= 16; ++m) {
        const double cycles = std::round(hz * static_cast<double>(m));
        if (std::abs(cycles - hz * static_cast<double>(m)) > 1e-9 * std::max(1.0, cycles)) continue;
        const uint64_t samples = uint64_t{rate} * m;
        const uint64_t g = std::gcd(samples, static_cast<uint64_t>(cycles));
        if (g != 0 && samples / g <= kMaxSineTable) return {samples / g, static_cast<uint64_t>(cycles) / g};
    }
    return {};
}

}  // namespace

bool LoopbackConfig::Set(std::string_view key, std::string_view value) {
    const std::string k = Lower(Trim(key));
    const std::string v = Lower(Trim(value));
    double d = 0.0;
    uint32_t u = 0;
    if (k == "clock") {
        if (v == "manual") clock = Clock::Manual;
        else if (v == "realtime") clock = Clock::RealTime;
        else return false;
        return true;
    }
    if (k == "source") {
        if (v == "silence") source = Source::Silence;
        else if (v == "sine") source = Source::Sine;
        else return false;
        return true;
    }
    // Levels and gains beyond these would only overflow to infinity (and NaN samples).
    constexpr double kMaxGain = 1000.0, kMaxDb = 60.0;
    if (k == "gain" || k == "gainleft" || k == "gainright") {
        if (!ParseDouble(v, d) || std::fabs(d) > kMaxGain) return false;
        if (k != "gainright") gain[0] = d;
        if (k != "gainleft") gain[1] = d;
        return true;
    }
    if (k == "delay" || k == "delayleft" || k == "delayright") {
        if (!ParseUnsigned(v, u) || u > kMaxDelay) return false;
        if (k != "delayright") delaySamples[0] = u;
        if (k != "delayleft") delaySamples[1] = u;
        return true;
    }
    if (k == "impulse" || k == "impulseleft" || k == "impulseright") {
        std::vector<double> taps;
        if (!v.empty() && !ParseTaps(v, taps)) return false;
        if (k != "impulseright") impulseResponse[0] = taps;
        if (k != "impulseleft") impulseResponse[1] = taps;
        return true;
    }
    if (k == "noisedb") {
        if (!ParseDouble(v, d) || d > kMaxDb) return false;
        noiseDb = d;
        return true;
    }
    if (k == "noiseseed") {
        if (!ParseUnsigned(v, u)) return false;
        noiseSeed = u;
        return true;
    }
    if (k == "sinehz") {
        if (!ParseDouble(v, d) || d < 0.0) return false;
        sineHz = d;
        return true;
    }
    if (k.starts_with("room")) return room.Set(k, v);
    if (k == "sinedb") {
        if (!ParseDouble(v, d) || d > kMaxDb) return false;
        sineDb = d;
        return true;
    }
    return false;
}

std::vector<std::string> LoopbackConfig::ApplyIni(std::string_view text, std::string_view section) {
    std::vector<std::string> rejected;
    const std::string wanted = Lower(section);
    bool inSection = false;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = Trim(text.substr(0, nl));
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            inSection = close != std::string_view::npos && Lower(Trim(line.substr(1, close - 1))) == wanted;
            continue;
        }
        if (inSection && !ApplyItem(*this, line)) rejected.emplace_back(line);
    }
    return rejected;
}

std::vector<std::string> LoopbackConfig::ApplyEnvironment(const char* variable) {
    std::vector<std::string> rejected;
    const char* value = std::getenv(variable);
    if (value == nullptr) return rejected;
    std::string_view text(value);
    while (!text.empty()) {
        const size_t semi = text.find(';');
        std::string_view item = Trim(text.substr(0, semi));
        text.remove_prefix(semi == std::string_view::npos ? text.size() : semi + 1);
        if (!item.empty() && !ApplyItem(*this, item)) rejected.emplace_back(item);
    }
    return rejected;
}

// One open direction of the card. Every member but the queue bookkeeping is fixed at open;
// the queue, position and run state are guarded by the driver's mutex.
class LoopbackDriver::Stream : public WaveStream {
public:
    Stream(LoopbackDriver& card, WaveDirection direction, const WaveFormat& format, WaveNotifySink* sink)
        : card_(card), direction(direction), sink(sink), rate(format.samplesPerSec), channels(format.channels),
          container(format.ContainerBytes()), blockAlign(format.blockAlign) {}
    ~Stream() override { Close(); }

    WaveResult AddBuffer(WaveHeader& header) override {
        std::lock_guard lock(card_.mutex_);
        if (closed) return kWaveInvalidHandle;
        const uint32_t flags = header.flags.load(std::memory_order_acquire);
        if ((flags & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
        if ((flags & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
        if (header.data == nullptr) return kWaveInvalidParam;
        header.bytesRecorded.store(0, std::memory_order_relaxed);
        header.driverPosition = 0;
        const bool looping = (flags & (kWaveHeaderBeginLoop | kWaveHeaderEndLoop)) ==
                             (kWaveHeaderBeginLoop | kWaveHeaderEndLoop);
        header.driverLoopsLeft = looping ? header.loops : 0;
        header.flags.store((flags & ~kWaveHeaderDone) | kWaveHeaderInQueue, std::memory_order_release);
        queue.push_back(&header);
        return kWaveOk;
    }
    WaveResult Start() override {
        std::lock_guard lock(card_.mutex_);
        if (closed) return kWaveInvalidHandle;
        if (direction != WaveDirection::Input) return kWaveNotSupported;
        started = true;
        return kWaveOk;
    }
    WaveResult Pause() override { return SetPaused(true); }
    WaveResult Restart() override { return SetPaused(false); }
    WaveResult Reset() override {
        std::vector<Post> posts;
        {
            std::lock_guard lock(card_.mutex_);
            if (closed) return kWaveInvalidHandle;
            ResetLocked(posts);
        }
        Deliver(posts);
        return kWaveOk;
    }
    WaveResult GetPosition(uint32_t& bytes) override {
        std::lock_guard lock(card_.mutex_);
        if (closed) return kWaveInvalidHandle;
        bytes = position;
        return kWaveOk;
    }
    WaveResult Close() override {
        std::vector<Post> posts;
        {
            std::unique_lock lock(card_.mutex_);
            if (closed) return kWaveInvalidHandle;
            ResetLocked(posts);
            closed = true;
            (direction == WaveDirection::Input ? card_.input_ : card_.output_) = nullptr;
            // The owner may destroy the sink once this returns: let notices in flight land first.
            card_.delivered_.wait(lock, [this] { return card_.delivering_ == 0; });
        }
        Deliver(posts);
        return kWaveOk;
    }

    void ResetLocked(std::vector<Post>& posts) {
        while (!queue.empty()) card_.CompleteLocked(*this, posts);
        position = 0;
        started = false;
    }

    LoopbackDriver& card_;
    const WaveDirection direction;
    WaveNotifySink* const sink;
    const uint32_t rate;
    const unsigned channels;
    const unsigned container;
    const unsigned blockAlign;

    std::deque<WaveHeader*> queue;
    uint32_t position = 0;
    bool started = false;  // input
    bool paused = false;   // output
    bool closed = false;

private:
    WaveResult SetPaused(bool value) {
        std::lock_guard lock(card_.mutex_);
        if (closed) return kWaveInvalidHandle;
        if (direction != WaveDirection::Output) return kWaveNotSupported;
        paused = value;
        return kWaveOk;
    }
};

LoopbackDriver::LoopbackDriver(LoopbackConfig config) : config_(std::move(config)) {
    RebuildLocked();
    if (config_.clock == LoopbackConfig::Clock::RealTime) clock_ = std::thread([this] { ClockThread(); });
}

LoopbackDriver::~LoopbackDriver() {
    if (clock_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopClock_ = true;
        }
        wake_.notify_all();
        clock_.join();
    }
}

uint32_t LoopbackDriver::DeviceCount(WaveDirection) { return 1; }

WaveResult LoopbackDriver::GetInCaps(uint32_t device, WaveInCaps& caps) {
    if (device != 0) return kWaveBadDeviceId;
    caps = WaveInCaps{};
    caps.manufacturerId = 0;
    caps.productId = 1;
    caps.driverVersion = 0x0100;
    CopyProductName(caps.productName, kName);
    caps.formats = 0x000FFFFF;
    caps.channels = 2;
    return kWaveOk;
}

WaveResult LoopbackDriver::GetOutCaps(uint32_t device, WaveOutCaps& caps) {
    if (device != 0) return kWaveBadDeviceId;
    caps = WaveOutCaps{};
    caps.manufacturerId = 0;
    caps.productId = 2;
    caps.driverVersion = 0x0100;
    CopyProductName(caps.productName, kName);
    caps.formats = 0x000FFFFF;
    caps.channels = 2;
    caps.support = kWaveCapsVolume | kWaveCapsLeftRightVolume;
    return kWaveOk;
}

WaveResult LoopbackDriver::QueryFormat(WaveDirection, uint32_t device, const WaveFormat& format) {
    if (device != 0) return kWaveBadDeviceId;
    if (!IsPlausiblePcm(format)) return kWaveBadFormat;
    if (format.samplesPerSec < kMinRate || format.samplesPerSec > kMaxRate) return kWaveBadFormat;
    return kWaveOk;
}

WaveResult LoopbackDriver::Open(WaveDirection direction, uint32_t device, const WaveFormat& format,
                                WaveNotifySink* sink, std::unique_ptr<WaveStream>& stream) {
    const WaveResult query = QueryFormat(direction, device, format);
    if (query != kWaveOk) return query;
    std::lock_guard lock(mutex_);
    Stream*& slot = direction == WaveDirection::Input ? input_ : output_;
    if (slot != nullptr) return kWaveAllocated;
    // One crystal for both directions.
    const uint32_t rate = CardRateLocked();
    if (rate != 0 && rate != format.samplesPerSec) return kWaveAllocated;
    auto s = std::make_unique<Stream>(*this, direction, format, sink);
    slot = s.get();
    stream = std::move(s);
    wake_.notify_all();
    return kWaveOk;
}

WaveResult LoopbackDriver::GetVolume(uint32_t outputDevice, uint32_t& volume) {
    if (outputDevice != 0) return kWaveBadDeviceId;
    std::lock_guard lock(mutex_);
    volume = volume_;
    return kWaveOk;
}

WaveResult LoopbackDriver::SetVolume(uint32_t outputDevice, uint32_t volume) {
    if (outputDevice != 0) return kWaveBadDeviceId;
    std::lock_guard lock(mutex_);
    volume_ = volume;
    return kWaveOk;
}

void LoopbackDriver::Configure(const LoopbackConfig& config) {
    std::lock_guard lock(mutex_);
    const LoopbackConfig::Clock clock = config_.clock;
    config_ = config;
    config_.clock = clock;
    RebuildLocked();
}

LoopbackConfig LoopbackDriver::Config() const {
    std::lock_guard lock(mutex_);
    return config_;
}

void LoopbackDriver::RebuildLocked() {
    for (int ch = 0; ch < 2; ++ch) {
        config_.delaySamples[ch] = std::min(config_.delaySamples[ch], LoopbackConfig::kMaxDelay);
        if (config_.impulseResponse[ch].size() > LoopbackConfig::kMaxImpulseLength) {
            config_.impulseResponse[ch].resize(LoopbackConfig::kMaxImpulseLength);
        }
    }
    size_t need = 1;
    for (int ch = 0; ch < 2; ++ch) {
        need = std::max(need, config_.delaySamples[ch] + std::max<size_t>(config_.impulseResponse[ch].size(), 1));
    }
    size_t size = 1;
    while (size < need) size <<= 1;
    for (auto& ring : ring_) ring.assign(size, 0.0);
    ringMask_ = size - 1;
    written_ = 0;
    sinePhase_ = 0.0;
    sineRate_ = 0;  // the tone starts afresh
    noiseState_ = 0x9E3779B97F4A7C15ull ^ config_.noiseSeed;
    if (noiseState_ == 0) noiseState_ = 1;
    haveSpareGauss_ = false;
    roomRate_ = 0;
}

void LoopbackDriver::PrepareRoomLocked(uint32_t rate) {
    if (roomRate_ == rate) return;
    roomRate_ = rate;
    room_[0].reset();
    room_[1].reset();
    if (!config_.room.Active()) return;
    const auto kernel = PartitionedConvolver::MakeKernel(config_.room.ImpulseResponse(rate));
    for (auto& convolver : room_) convolver = std::make_unique<PartitionedConvolver>(kernel);
}

uint32_t LoopbackDriver::CardRateLocked() const {
    if (input_ != nullptr) return input_->rate;
    if (output_ != nullptr) return output_->rate;
    return 0;
}

void LoopbackDriver::CompleteLocked(Stream& stream, std::vector<Post>& posts) {
    WaveHeader* h = stream.queue.front();
    stream.queue.pop_front();
    const uint32_t flags = h->flags.load(std::memory_order_acquire);
    h->flags.store((flags & ~kWaveHeaderInQueue) | kWaveHeaderDone, std::memory_order_release);
    if (stream.sink != nullptr) posts.push_back({stream.sink, stream.direction, h});
}

void LoopbackDriver::Deliver(const std::vector<Post>& posts) {
    for (const Post& p : posts) p.sink->PostBufferDone(p.direction, p.header);
}

void LoopbackDriver::Advance(uint32_t frames) {
    std::unique_lock lock(mutex_);
    std::vector<Post> posts;
    RunLocked(frames, posts);
    DeliverUnlocked(lock, posts);
}

void LoopbackDriver::DeliverUnlocked(std::unique_lock<std::mutex>& lock, const std::vector<Post>& posts) {
    if (posts.empty()) return;
    ++delivering_;
    lock.unlock();
    Deliver(posts);
    lock.lock();
    if (--delivering_ == 0) delivered_.notify_all();
}

double LoopbackDriver::UniformLocked() {
    // xorshift64*: the same noise for the same seed on every platform.
    noiseState_ ^= noiseState_ >> 12;
    noiseState_ ^= noiseState_ << 25;
    noiseState_ ^= noiseState_ >> 27;
    const uint64_t r = noiseState_ * 0x2545F4914F6CDD1Dull;
    return (static_cast<double>(r >> 11) + 0.5) / 9007199254740992.0;
}

double LoopbackDriver::GaussLocked() {
    if (haveSpareGauss_) {
        haveSpareGauss_ = false;
        return spareGauss_;
    }
    const double r = std::sqrt(-2.0 * std::log(UniformLocked()));
    const double phi = 2.0 * std::numbers::pi * UniformLocked();
    spareGauss_ = r * std::sin(phi);
    haveSpareGauss_ = true;
    return r * std::cos(phi);
}

void LoopbackDriver::DropShortBuffersLocked(Stream& stream, std::vector<Post>& posts) {
    // Buffers too short to hold one frame finish without sound.
    while (!stream.queue.empty() &&
           stream.queue.front()->bufferLength - stream.queue.front()->driverPosition < stream.blockAlign) {
        CompleteLocked(stream, posts);
    }
}

void LoopbackDriver::PlayFrameLocked(const RunLevels& levels, double (&wire)[2], std::vector<Post>& posts) {
    if (Stream* out = output_) {
        DropShortBuffersLocked(*out, posts);
        if (out->paused || out->queue.empty()) return;
        WaveHeader* h = out->queue.front();
        const auto* p = static_cast<const uint8_t*>(h->data) + h->driverPosition;
        const double left = ReadPcm(p, out->container);
        const double right = out->channels == 2 ? ReadPcm(p + out->container, out->container) : left;
        wire[0] = left * levels.volume[0];
        wire[1] = right * levels.volume[1];
        h->driverPosition += out->blockAlign;
        out->position += out->blockAlign;
        if (h->bufferLength - h->driverPosition < out->blockAlign) {
            if (h->driverLoopsLeft > 1) {
                --h->driverLoopsLeft;
                h->driverPosition = 0;
            } else {
                CompleteLocked(*out, posts);
            }
        }
    } else if (config_.source == LoopbackConfig::Source::Sine) {
        wire[0] = wire[1] = NextSineLocked(levels);
    }
}

// The tone is read from one table of whole periods; only a frequency no short table fits is
// computed sample by sample.
void LoopbackDriver::PrepareSineLocked(uint32_t rate, double amplitude) {
    if (sineRate_ == rate && sineTableHz_ == config_.sineHz && sineTableAmplitude_ == amplitude) return;
    sineRate_ = rate;
    sineTableHz_ = config_.sineHz;
    sineTableAmplitude_ = amplitude;
    const SinePeriods periods = WholeSinePeriods(config_.sineHz, rate);
    sineTable_.resize(periods.length);
    sineNext_ = 0;
    // The phase of sample n is (n * cycles mod length) / length of a turn: exact, whatever n.
    for (uint64_t n = 0; n < periods.length; ++n) {
        const double turn = static_cast<double>(n * periods.cycles % periods.length) / periods.length;
        sineTable_[n] = amplitude * std::sin(2.0 * std::numbers::pi * turn);
    }
}

double LoopbackDriver::NextSineLocked(const RunLevels& levels) {
    if (!sineTable_.empty()) {
        const double v = sineTable_[sineNext_];
        if (++sineNext_ == sineTable_.size()) sineNext_ = 0;
        return v;
    }
    const double v = levels.sineAmplitude * std::sin(sinePhase_);
    sinePhase_ += levels.sineStep;
    if (sinePhase_ >= 2.0 * std::numbers::pi) sinePhase_ -= 2.0 * std::numbers::pi;
    return v;
}

void LoopbackDriver::CarryFrameLocked(const RunLevels& levels, const double (&wire)[2], double (&line)[2]) {
    for (int ch = 0; ch < 2; ++ch) ring_[ch][written_ & ringMask_] = room_[ch] ? room_[ch]->Process(wire[ch]) : wire[ch];
    for (int ch = 0; ch < 2; ++ch) {
        const uint64_t newest = written_ - config_.delaySamples[ch];
        const std::vector<double>& ir = config_.impulseResponse[ch];
        double v;
        if (ir.empty()) {
            v = written_ >= config_.delaySamples[ch] ? ring_[ch][newest & ringMask_] : 0.0;
        } else {
            v = 0.0;
            for (size_t k = 0; k < ir.size(); ++k) {
                if (written_ < config_.delaySamples[ch] + k) break;
                v += ir[k] * ring_[ch][(newest - k) & ringMask_];
            }
        }
        line[ch] = config_.gain[ch] * v;
        if (levels.noisy) line[ch] += levels.noiseRms * GaussLocked();
    }
    ++written_;
}

void LoopbackDriver::CaptureFrameLocked(const double (&line)[2], std::vector<Post>& posts) {
    Stream* in = input_;
    if (in == nullptr || !in->started) return;
    DropShortBuffersLocked(*in, posts);
    if (in->queue.empty()) return;
    WaveHeader* h = in->queue.front();
    auto* p = static_cast<uint8_t*>(h->data) + h->driverPosition;
    WritePcm(p, in->container, line[0]);
    if (in->channels == 2) WritePcm(p + in->container, in->container, line[1]);
    h->driverPosition += in->blockAlign;
    h->bytesRecorded.store(h->driverPosition, std::memory_order_release);
    in->position += in->blockAlign;
    if (h->bufferLength - h->driverPosition < in->blockAlign) CompleteLocked(*in, posts);
}

void LoopbackDriver::RunLocked(uint32_t frames, std::vector<Post>& posts) {
    const uint32_t rate = CardRateLocked();
    if (rate == 0) return;
    PrepareRoomLocked(rate);
    RunLevels levels;
    levels.sineAmplitude = std::pow(10.0, config_.sineDb / 20.0);
    levels.sineStep = 2.0 * std::numbers::pi * config_.sineHz / rate;
    if (config_.source == LoopbackConfig::Source::Sine) PrepareSineLocked(rate, levels.sineAmplitude);
    levels.noisy = config_.noiseDb > LoopbackConfig::kNoiseOff;
    levels.noiseRms = levels.noisy ? std::pow(10.0, config_.noiseDb / 20.0) : 0.0;
    levels.volume[0] = (volume_ & 0xFFFF) / 65535.0;
    levels.volume[1] = (volume_ >> 16) / 65535.0;
    for (uint32_t n = 0; n < frames; ++n) {
        double wire[2] = {0.0, 0.0};
        double line[2];
        PlayFrameLocked(levels, wire, posts);
        CarryFrameLocked(levels, wire, line);
        CaptureFrameLocked(line, posts);
    }
}

void LoopbackDriver::ClockThread() {
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(mutex_);
    Clock::time_point anchor = Clock::now();
    uint64_t framesRun = 0;
    uint32_t anchorRate = 0;
    while (!stopClock_) {
        // An idle card sleeps until a stream opens; a running one steps every 2 ms.
        if (CardRateLocked() == 0) {
            wake_.wait(lock);
        } else {
            wake_.wait_for(lock, std::chrono::milliseconds(2));
        }
        if (stopClock_) break;
        const uint32_t rate = CardRateLocked();
        const Clock::time_point now = Clock::now();
        if (rate != anchorRate || rate == 0) {
            anchor = now;
            framesRun = 0;
            anchorRate = rate;
            continue;
        }
        const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - anchor).count();
        const uint64_t target = static_cast<uint64_t>(elapsed) * rate / 1000000000ull;
        if (target <= framesRun) continue;
        // After a long stall (a suspended process) catch up at most half a second.
        uint64_t due = target - framesRun;
        if (due > rate / 2) {
            framesRun = target - rate / 2;
            due = rate / 2;
        }
        // Small steps keep the card's lock free for the owner's calls even when a long impulse
        // response makes the card slow.
        while (due > 0 && !stopClock_ && CardRateLocked() == anchorRate) {
            const uint32_t step = static_cast<uint32_t>(std::min<uint64_t>(due, 1024));
            std::vector<Post> posts;
            RunLocked(step, posts);
            framesRun += step;
            due -= step;
            DeliverUnlocked(lock, posts);
        }
    }
}

}  // namespace zeltrak
