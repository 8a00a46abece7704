#include "engine/sound_port.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <strings.h>

#include "base/strings.h"
#include "engine/sound_port_strings.h"

namespace zeltrak {

const std::array<uint32_t, 222> TSoundPort::kDiscreteRates = {
    5000, 5146, 5324, 5502, 5680, 6036, 6215, 6393, 6571, 6749, 6927, 7105,
    7283, 7461, 7639, 7817, 8000, 8173, 8352, 8530, 8708, 8886, 9064, 9242,
    9420, 9598, 9776, 9954, 10132, 10310, 10488, 10667, 10845, 11025, 11201, 11379,
    11557, 11735, 11913, 12091, 12269, 12447, 12625, 12804, 12982, 13160, 13338, 13516,
    13694, 13872, 14050, 14228, 14406, 14584, 14762, 14940, 15119, 15297, 15475, 15653,
    15831, 16000, 16187, 16365, 16543, 16721, 16899, 17077, 17256, 17434, 17612, 17790,
    17968, 18146, 18324, 18502, 18680, 18858, 19036, 19214, 19392, 19571, 19749, 19927,
    20105, 20283, 20461, 20639, 20817, 20995, 21173, 21351, 21529, 21708, 21886, 22050,
    22242, 22420, 22598, 22776, 23132, 23310, 23488, 23666, 23844, 24023, 24201, 24379,
    24557, 24735, 24913, 25091, 25269, 25447, 25625, 25981, 26160, 26338, 26516, 26694,
    26872, 27050, 27228, 27406, 27584, 27762, 27940, 28118, 28296, 28475, 28831, 29009,
    29187, 29365, 29543, 29721, 29899, 30077, 30255, 30433, 30612, 30790, 30968, 31146,
    31324, 31502, 31680, 31858, 32000, 32214, 32392, 32570, 32748, 32927, 33105, 33283,
    33461, 33639, 33817, 33995, 34173, 34351, 34529, 34707, 34885, 35064, 35242, 35420,
    35598, 35776, 35954, 36132, 36310, 36488, 36666, 36844, 37022, 37200, 37379, 37557,
    37735, 37913, 38091, 38269, 38447, 38625, 38803, 38981, 39159, 39337, 39516, 39694,
    39872, 40050, 40228, 40406, 40584, 40762, 40940, 41118, 41296, 41474, 41652, 41831,
    42009, 42187, 42365, 42543, 42721, 42899, 43077, 43255, 43433, 43611, 43789, 43968,
    44100, 44324, 44502, 44680, 44858, 45000,
};

namespace {

// The name rules of the capability scan, applied in order so that a later match wins.
struct NameRule {
    const char* name;
    bool anywhere;  // matched with case anywhere in the name; otherwise a prefix without case
    void (*apply)(SoundDevicePeculiarities& p, bool output);
};

// The dedicated measurement interfaces: one sixteen-bit-only name and eight twenty-four-bit
// prefixes. None of them is known on this system; empty names never match.
constexpr const char* kMeasurementSixteenBitName = "";
constexpr const char* kMeasurementTwentyFourPrefixes[8] = {"", "", "", "", "", "", "", ""};

void NoLag(SoundDevicePeculiarities& p, bool) { p.positionLag8000 = false; }

const NameRule kNameRules[] = {
    {"Tahiti", false, NoLag},
    {"Tropez", false, NoLag},
    {"Pinnacle", false, NoLag},
    {"Fiji", false, NoLag},
    {"TBS", false, [](SoundDevicePeculiarities& p, bool) { p.positionLag8000 = true; }},
    {"DAL", false,
     [](SoundDevicePeculiarities& p, bool) {
         p.preRoll = true;
         p.positionLag8000 = false;
     }},
    {"CardDeluxe", false, NoLag},
    {"Audiotrix", false, NoLag},
    {"Antex", true, NoLag},
    {"Windows Sound System", true, NoLag},
    {"Darla", false,
     [](SoundDevicePeculiarities& p, bool output) {
         p.echoFamily = true;
         p.positionLag8000 = false;
         if (output) p.loopPlayback = false;
     }},
    {"Gina", false,
     [](SoundDevicePeculiarities& p, bool output) {
         p.echoFamily = true;
         p.positionLag8000 = false;
         if (output) p.loopPlayback = false;
     }},
    {"Layla", false,
     [](SoundDevicePeculiarities& p, bool output) {
         p.echoFamily = true;
         p.positionLag8000 = false;
         if (output) p.loopPlayback = false;
     }},
    {"PCXPOCKET", false,
     [](SoundDevicePeculiarities& p, bool) {
         p.pocketFamily = true;
         p.positionLag8000 = true;
     }},
    {"POCKET", false,
     [](SoundDevicePeculiarities& p, bool) {
         p.pocketFamily = true;
         p.positionLag8000 = true;
     }},
    {"VXPOCKET", false,
     [](SoundDevicePeculiarities& p, bool) {
         p.pocketFamily = true;
         p.positionLag8000 = true;
     }},
    {kMeasurementSixteenBitName, false,
     [](SoundDevicePeculiarities& p, bool) {
         p.sixteenBitOnly = true;
         p.positionLag8000 = false;
     }},
    {"EMU8710", false,
     [](SoundDevicePeculiarities& p, bool output) {
         p.sixteenBitOnly = true;
         if (output) p.positionLag8000 = false;
     }},
};

void PaddedTwentyFour(SoundDevicePeculiarities& p, bool) {
    p.positionLag8000 = false;
    p.paddedTwentyFour = true;
}

bool NameMatches(const char* deviceName, const char* entry, bool anywhere) {
    const size_t n = std::strlen(entry);
    if (n == 0) return false;
    if (anywhere) return std::strstr(deviceName, entry) != nullptr;
    return ::strncasecmp(deviceName, entry, n) == 0;
}

// The call-rate and interpolation state of GetLivePosition: one for the whole program,
// because every port's live reads come from the same idle loop.
struct LiveEstimate {
    double meanIntervalMs = 0.0;
    uint32_t calls = 0;
    uint32_t referenceTick = 0;
    bool haveReference = false;
    uint64_t latest = 0;
    uint64_t previous = 0;
    uint32_t repeats = 0;
};
LiveEstimate gLive;

constexpr uint32_t kIdleFlags = kWaveHeaderDone;

}  // namespace

void TSoundPort::ResetLivePositionEstimate() { gLive = LiveEstimate{}; }

TSoundPort::TSoundPort(WaveDriver& driver, Host& host, int32_t deviceId, uint16_t direction)
    : driver_(driver),
      host_(host),
      direction_(direction),
      deviceId_(deviceId),
      maxFormat_(SampleFormat::Make(44100, 2, 2)),
      minFormat_(SampleFormat::Make(11025, 1, 1)),
      current_(SampleFormat::Make(44100, 2, 2)) {
    for (int i = 0; i < kSlotCount; ++i) {
        headers_[i].reset(new (std::nothrow) WaveHeader);
        if (!headers_[i]) {
            allocFailed_ = true;
        } else {
            ResetHeader(i);
        }
    }
    if (allocFailed_) ShowStringMessage(host_, kStrInsufficientMemory);

    const WaveDirection dir = direction_ == kInput ? WaveDirection::Input : WaveDirection::Output;
    if (driver_.DeviceCount(dir) == 0) deviceId_ = -1;
    if (deviceId_ >= 0) ScanCapabilities();
    pec_.fullDuplex = true;
    if (pec_.preRoll) {
        preRoll_.reset(new (std::nothrow) uint8_t[kPreRollBytes]());
        if (!preRoll_) {
            allocFailed_ = true;
            ShowStringMessage(host_, kStrInsufficientMemory);
        }
    }
}

TSoundPort::~TSoundPort() {
    // The driver must let go of the headers before they are freed.
    TSoundPort::Close();
}

void TSoundPort::ShowFailure(int stringId, const char* caption) {
    host_.MessageBox(LoadString(stringId), caption == nullptr ? kProgramTitle : caption, MessageIcon::Warning);
}

void TSoundPort::ScanCapabilities() {
    const bool output = direction_ == kOutput;
    char name[kDeviceNameLength] = {};
    uint32_t formats = 0;
    uint16_t mid = 0, pid = 0;
    uint32_t version = 0;
    WaveResult r;
    if (output) {
        WaveOutCaps caps;
        r = driver_.GetOutCaps(static_cast<uint32_t>(deviceId_), caps);
        std::memcpy(name, caps.productName, sizeof name);
        formats = caps.formats;
        mid = caps.manufacturerId;
        pid = caps.productId;
        version = caps.driverVersion;
        outputSupport_ = caps.support;
    } else {
        WaveInCaps caps;
        r = driver_.GetInCaps(static_cast<uint32_t>(deviceId_), caps);
        std::memcpy(name, caps.productName, sizeof name);
        formats = caps.formats;
        mid = caps.manufacturerId;
        pid = caps.productId;
        version = caps.driverVersion;
    }
    if (r != kWaveOk) {
        outputSupport_ = 0;
        ShowFailure(kStrSoundDeviceFailure);
        return;
    }
    name[kDeviceNameLength - 1] = '\0';

    ApplyNameRules(name, output);
    WidenMaxFormat(formats);

    std::memcpy(deviceName_.data(), name, kDeviceNameLength);
    manufacturerId_ = mid;
    productId_ = pid;
    driverVersion_ = version;

    if (minFormat_.rate == 0) minFormat_.rate = 11025;
    if (maxFormat_.rate == 1000000) maxFormat_.rate = 44100;
}

void TSoundPort::ApplyNameRules(const char* name, bool output) {
    if (std::strncmp(name, "SB16", 4) == 0) {
        pec_.standardRatesOnly = false;
        pec_.discreteRateTable = true;
        minFormat_ = maxFormat_;
        minFormat_.rate = 5000;
        maxFormat_.rate = 45000;
        pec_.positionLag8000 = true;
    }

    for (const NameRule& rule : kNameRules) {
        if (NameMatches(name, rule.name, rule.anywhere)) rule.apply(pec_, output);
    }
    for (const char* prefix : kMeasurementTwentyFourPrefixes) {
        if (NameMatches(name, prefix, false)) PaddedTwentyFour(pec_, output);
    }
    // Only the output side of this device has been seen to need it.
    if (output && NameMatches(name, "Pd96", false)) {
        pec_.loopPlayback = false;
        pec_.positionLag8000 = false;
        pec_.paddedTwentyFour = true;
    }
}

void TSoundPort::SetMaxFormatWidth(uint16_t bytesPerSample) {
    const SampleFormat w = SampleFormat::Make(maxFormat_.rate, maxFormat_.channels, bytesPerSample);
    maxFormat_.bytesPerSample = w.bytesPerSample;
    maxFormat_.bitsPerSample = w.bitsPerSample;
    maxFormat_.maxValue = w.maxValue;
    maxFormat_.minValue = w.minValue;
    maxFormat_.zeroOffset = w.zeroOffset;
}

void TSoundPort::WidenMaxFormat(uint32_t formats) {
    if (formats & kFormatAny16Bit) SetMaxFormatWidth(2);
    if (formats & kFormatAny22k) maxFormat_.rate = 22050;
    if (formats & kFormatAny44k) maxFormat_.rate = 44100;
    maxFormat_.channels = (formats & kFormatAnyStereo) ? 2 : 1;
    if (QueryFormat(44100, 3, 2)) SetMaxFormatWidth(3);
}

void TSoundPort::GetDeviceName(char (&out)[kDeviceNameLength]) const {
    std::memcpy(out, deviceName_.data(), kDeviceNameLength);
    out[kDeviceNameLength - 1] = '\0';
}

WaveFormat TSoundPort::BuildDriverFormat(uint32_t rate, uint16_t channels, uint16_t bytesPerSample) const {
    uint16_t validBits = static_cast<uint16_t>(8 * bytesPerSample);
    if (validBits == 24 && pec_.paddedTwentyFour) validBits = osClass_ == 2 ? 24 : 20;
    WaveFormat f;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.avgBytesPerSec = static_cast<uint32_t>(static_cast<uint64_t>(channels) * rate * bytesPerSample);
    f.blockAlign = static_cast<uint16_t>(channels * bytesPerSample);
    if (bytesPerSample == 3 && (osClass_ == 4 || osClass_ == 5)) {
        f.formatTag = kWaveFormatExtensible;
        f.bitsPerSample = static_cast<uint16_t>(8 * bytesPerSample);
        f.extraSize = 22;
        f.validBitsPerSample = validBits;
        f.channelMask = channels == 1 ? 1 : 3;
        std::memcpy(f.subFormat, kPcmSubFormat, sizeof f.subFormat);
    } else {
        f.formatTag = kWaveFormatPcm;
        f.bitsPerSample = validBits;
    }
    return f;
}

bool TSoundPort::QueryFormat(uint32_t rate, uint16_t bytesPerSample, uint16_t channels) {
    if (channels == 0 || channels > 2 || bytesPerSample == 0) return false;
    if (pec_.sixteenBitOnly && bytesPerSample != 2) return false;
    if (deviceId_ < 0) return false;
    const WaveDirection dir = direction_ == kInput ? WaveDirection::Input : WaveDirection::Output;
    return driver_.QueryFormat(dir, static_cast<uint32_t>(deviceId_),
                               BuildDriverFormat(rate, channels, bytesPerSample)) == kWaveOk;
}

bool TSoundPort::SetFormat(uint32_t rate, uint16_t channels, uint16_t bytesPerSample) {
    current_ = SampleFormat::Make(rate, channels, bytesPerSample);
    return QueryFormat(current_.rate, current_.bytesPerSample, current_.channels);
}

bool TSoundPort::SetFormat(const SampleFormat& format) {
    return SetFormat(format.rate, format.channels, format.bytesPerSample);
}

bool TSoundPort::SupportsDuplex() {
    if (pec_.sixteenBitOnly) pec_.fullDuplex = current_.channels != 2;
    return pec_.fullDuplex;
}

uint32_t TSoundPort::NearestRate(uint32_t r) const {
    const uint32_t lo = minFormat_.rate;
    const uint32_t hi = maxFormat_.rate;
    if (r <= lo) return lo;
    if (r >= hi) return hi;
    if (!pec_.standardRatesOnly && !pec_.discreteRateTable) return r;
    if (pec_.standardRatesOnly) {
        if (r >= 11026 && r <= 16537) return 11025;
        if (r >= 16538 && r <= 33075) return 22050;
        if (r >= 33076 && r <= 44100) return 44100;
        return lo;
    }
    if (r < 5001) return 5000;
    if (r >= 45000) return 45000;
    const auto b = std::lower_bound(kDiscreteRates.begin(), kDiscreteRates.end(), r);
    if (*b == r || b == kDiscreteRates.begin()) return *b;
    const uint32_t above = *b;
    const uint32_t below = *(b - 1);
    return (r - below < above - r) ? below : above;
}

uint32_t TSoundPort::ClampRate(uint32_t r) const {
    // Copies: the format records are packed, their fields must not be bound to references.
    const uint32_t hi = maxFormat_.rate;
    const uint32_t min = minFormat_.rate;
    const uint32_t lo = std::min(min, hi);
    return std::clamp(r, lo, hi);
}

uint32_t TSoundPort::NextRate(uint32_t r) const {
    uint32_t n = NearestRate(r);
    if (pec_.discreteRateTable) {
        const auto it = std::upper_bound(kDiscreteRates.begin(), kDiscreteRates.end(), n);
        n = it == kDiscreteRates.end() ? kDiscreteRates.back() : *it;
    } else if (pec_.standardRatesOnly) {
        if (n == 11025) n = 22050;
        else if (n == 22050) n = 44100;
    }
    return ClampRate(n);
}

uint32_t TSoundPort::PrevRate(uint32_t r) const {
    uint32_t n = NearestRate(r);
    if (pec_.discreteRateTable) {
        const auto it = std::lower_bound(kDiscreteRates.begin(), kDiscreteRates.end(), n);
        n = it == kDiscreteRates.begin() ? kDiscreteRates.front() : *(it - 1);
    } else if (pec_.standardRatesOnly) {
        if (n == 22050) n = 11025;
        else if (n == 44100) n = 22050;
    }
    return ClampRate(n);
}

void TSoundPort::ResetHeader(int slot) {
    WaveHeader& h = *headers_[slot];
    h.data = nullptr;
    h.bufferLength = 0;
    h.bytesRecorded.store(0, std::memory_order_relaxed);
    h.user = 0;
    h.loops = 0;
    h.driverPosition = 0;
    h.driverLoopsLeft = 0;
    h.flags.store(kIdleFlags, std::memory_order_release);
}

bool TSoundPort::Open(WaveNotifySink* sink, bool selfMonitor) {
    if (allocFailed_) return false;
    const WaveDirection dir = direction_ == kInput ? WaveDirection::Input : WaveDirection::Output;
    const uint32_t count = driver_.DeviceCount(dir);
    if (count == 0) {
        ShowFailure(kStrNoSoundDriver);
        deviceId_ = -1;
        return false;
    }
    // No device chosen yet means the default one, the first.
    deviceId_ = std::clamp<int32_t>(deviceId_, 0, static_cast<int32_t>(count - 1));

    if (isOpen_) Close();
    for (bool& p : prepared_) p = false;

    if (!QueryFormat(current_.rate, current_.bytesPerSample, current_.channels)) {
        host_.MessageBox(kFormatRefusedText, kFormatRefusedCaption, MessageIcon::Warning);
        return false;
    }
    const WaveFormat format = BuildDriverFormat(current_.rate, current_.channels, current_.bytesPerSample);
    std::unique_ptr<WaveStream> stream;
    if (driver_.Open(dir, static_cast<uint32_t>(deviceId_), format, sink, stream) != kWaveOk || !stream) {
        ShowFailure(kStrSoundBoardBusy, "");
        return false;
    }
    stream_ = std::move(stream);
    deviceLost_ = false;
    lastDriverBytes_ = 0;
    driverWraps_ = 0;
    if (direction_ == kInput && pec_.preRoll && !selfMonitor) stream_->Message(kPreRollPrivateMessage, 0, 0);
    isOpen_ = true;
    if (direction_ == kInput) {
        lastFrames_ = 0;
    } else if (stream_->Pause() != kWaveOk) {
        // Queued buffers must wait for Restart; a device that cannot hold still is unusable.
        ShowFailure(kStrSoundDeviceFailure);
        Close();
        return false;
    }
    return true;
}

bool TSoundPort::Close() {
    if (!Usable() || allocFailed_) return false;
    if (direction_ == kOutput) stream_->Pause();
    // A device that stopped answering (a frozen server) is given up by the driver: say so.
    bool failed = stream_->Reset() == kWaveError;
    for (int i = 0; i < kSlotCount; ++i) {
        if (prepared_[i]) stream_->Unprepare(*headers_[i]);
        prepared_[i] = false;
    }
    failed = stream_->Close() == kWaveError || failed;
    stream_.reset();
    if (failed) ShowFailure(kStrSoundDeviceFailure);
    if (direction_ == kInput) isStarted_ = false;
    lastFrames_ = 0;
    for (int i = 0; i < kSlotCount; ++i) ResetHeader(i);
    isOpen_ = false;
    preRollSent_ = false;
    return true;
}

bool TSoundPort::Queue(void* data, uint32_t byteLength, int slot, bool loop) {
    const bool input = direction_ == kInput;
    if (!isOpen_) {
        ShowFailure(kStrSoundDeviceFailure);
        return false;
    }
    if (pec_.preRoll && !preRollSent_) {
        preRollSent_ = true;
        if (!Queue(preRoll_.get(), kPreRollBytes, 2, false)) return false;
    }
    if (slot < 0 || slot >= kSlotCount || deviceId_ < 0 || !stream_ || data == nullptr || byteLength == 0) {
        return false;
    }
    WaveHeader& h = *headers_[slot];
    if (h.IsQueued()) {
        // The driver still owns the buffer in this slot; taking the slot would lose it.
        ShowFailure(kStrSoundDeviceFailure);
        return false;
    }
    if (prepared_[slot]) {
        stream_->Unprepare(h);
        prepared_[slot] = false;
    }
    ResetHeader(slot);
    h.data = data;
    h.bufferLength = byteLength;
    h.loops = loop ? 0x80000000u : 0;
    h.flags.store(loop ? (kWaveHeaderBeginLoop | kWaveHeaderEndLoop) : 0, std::memory_order_release);
    if (stream_->Prepare(h) != kWaveOk) {
        ShowFailure(kStrSoundDeviceFailure);
        if (input) Close();
        return false;
    }
    prepared_[slot] = true;
    return SubmitHeader(h, input);
}

bool TSoundPort::SubmitHeader(WaveHeader& h, bool input) {
    WaveResult r = stream_->AddBuffer(h);
    if (r == kWaveUnprepared) {
        if (stream_->Prepare(h) == kWaveOk) r = stream_->AddBuffer(h);
        if (r != kWaveOk) {
            ShowFailure(kStrSoundDeviceFailure);
            return false;
        }
        return true;
    }
    if (r != kWaveOk) {
        ShowFailure(kStrSoundDeviceFailure);
        if (input) Close();
        return false;
    }
    return true;
}

bool TSoundPort::AddBuffer(void* data, uint32_t byteLength, int slot) { return Queue(data, byteLength, slot, false); }

bool TSoundPort::Write(const void* data, uint32_t byteLength, int slot, bool loop) {
    // The driver only reads an output buffer.
    return Queue(const_cast<void*>(data), byteLength, slot, loop);
}

bool TSoundPort::Start() {
    if (!Usable()) {
        ShowFailure(kStrSoundDeviceFailure);
        return false;
    }
    if (!isStarted_) {
        if (stream_->Start() == kWaveOk) {
            startTick_ = host_.TickMilliseconds();
            isStarted_ = true;
        } else {
            ShowFailure(kStrSoundDeviceFailure);
            Close();
        }
    }
    return isStarted_;
}

bool TSoundPort::Pause() {
    if (!Usable()) {
        ShowFailure(kStrSoundDeviceFailure);
        return false;
    }
    if (stream_->Pause() != kWaveOk) {
        ShowFailure(kStrSoundDeviceFailure);
        Close();
        return false;
    }
    return true;
}

bool TSoundPort::Restart() {
    if (!Usable()) {
        ShowFailure(kStrSoundDeviceFailure);
        return false;
    }
    if (stream_->Restart() != kWaveOk) {
        ShowFailure(kStrSoundDeviceFailure);
        Close();
        return false;
    }
    return true;
}

bool TSoundPort::IsSlotDone(int slot) const {
    if (slot < 0 || slot >= kSlotCount || !headers_[slot]) return true;
    return headers_[slot]->IsDone();
}

bool TSoundPort::AllSlotsDone() const {
    for (int i = 0; i < kSlotCount; ++i) {
        if (!IsSlotDone(i)) return false;
    }
    return true;
}

uint64_t TSoundPort::DriverPosition() {
    if (!Usable()) return 0;
    if (direction_ == kInput && allocFailed_) return 0;
    uint32_t bytes = 0;
    if (stream_->GetPosition(bytes) != kWaveOk) {
        deviceLost_ = true;
        return 0;
    }
    // A fall of more than half the range is the counter wrapping, not time running back.
    if (bytes < lastDriverBytes_ && lastDriverBytes_ - bytes > 0x80000000u) driverWraps_ += uint64_t{1} << 32;
    lastDriverBytes_ = bytes;
    return driverWraps_ + bytes;
}

uint64_t TSoundPort::PositionAfterPreRoll() {
    const uint64_t p = DriverPosition();
    return (pec_.preRoll && p > kPreRollBytes) ? p - kPreRollBytes : p;
}

uint32_t TSoundPort::PositionBytes() {
    const uint64_t p = DriverPosition();
    if (direction_ == kInput && pec_.preRoll) return p > kPreRollBytes ? static_cast<uint32_t>(p - kPreRollBytes) : 0;
    return static_cast<uint32_t>(p);
}

uint32_t TSoundPort::PositionFrames() { return PositionBytes() / current_.BlockAlign(); }

float TSoundPort::PositionSeconds() {
    return static_cast<float>(static_cast<double>(PositionBytes()) / current_.BytesPerSecond());
}

int TSoundPort::CurrentInputSlot() {
    const bool done0 = IsSlotDone(0);
    const bool done1 = IsSlotDone(1);
    if (done0 && done1) return -1;
    if (!done0 && done1) return 0;
    if (done0 && !done1) return 1;
    const uint32_t length0 = headers_[0]->bufferLength;
    if (length0 == 0) return 0;
    return static_cast<int>((PositionAfterPreRoll() / length0) % 2);
}

uint32_t TSoundPort::FramesInSlot(int slot) {
    if (slot < 0 || slot >= kSlotCount || !headers_[slot]) return 0;
    const uint32_t block = current_.BlockAlign();
    const WaveHeader& h = *headers_[slot];
    const uint32_t recorded = std::min(h.bytesRecorded.load(std::memory_order_acquire), h.bufferLength) / block;
    const uint32_t length0 = headers_[0]->bufferLength;
    const uint32_t byPosition =
        length0 == 0 ? 0 : static_cast<uint32_t>((PositionAfterPreRoll() % length0) / block);
    return std::max(recorded, byPosition);
}

int64_t TSoundPort::CorrectedDriverPosition(uint64_t slotBytes) {
    int64_t p = static_cast<int64_t>(DriverPosition());
    if (pec_.sixteenBitOnly && p > 4000) p += static_cast<int64_t>(slotBytes) - 4000;
    if (pec_.positionLag8000 && p > 8000) p -= 8000;
    if (pec_.pocketFamily && p > 12000) p -= 12000;
    if (pec_.paddedTwentyFour && p > 2000) p -= 2000;
    if (pec_.preRoll && p > 10000) p -= 10000;
    return p;
}

bool TSoundPort::GetLivePosition(int& slot, uint32_t& frameOffset, uint32_t minFrames, bool onlyIfAdvanced) {
    const uint64_t length0 = headers_[0] ? headers_[0]->bufferLength : 0;
    const int64_t p = CorrectedDriverPosition(length0);
    const uint64_t block = current_.BlockAlign();
    if (p <= static_cast<int64_t>(minFrames * block)) return false;
    // Without a slot length there is no ring to place the position in.
    if (length0 == 0) return false;

    const uint64_t e = SmoothedPosition(static_cast<uint64_t>(p), block);
    const uint64_t frames = e / block;
    if (onlyIfAdvanced && frames < static_cast<uint64_t>(lastFrames_) + minFrames) return false;
    lastFrames_ = static_cast<uint32_t>(frames);
    slot = static_cast<int>((e / length0) % 2);
    frameOffset = static_cast<uint32_t>((e % length0) / block);
    return true;
}

uint64_t TSoundPort::CapturedFrames() {
    const int64_t p = CorrectedDriverPosition(headers_[0] ? headers_[0]->bufferLength : 0);
    return p > 0 ? static_cast<uint64_t>(p) / current_.BlockAlign() : 0;
}

bool TSoundPort::SlotPosition(uint64_t frameEnd, uint64_t frameLength, uint64_t captured, int& slot,
                              uint32_t& frameOffset) const {
    const uint64_t block = current_.BlockAlign();
    const uint64_t lap = headers_[0] ? headers_[0]->bufferLength / block : 0;
    if (lap == 0 || frameEnd > captured || frameEnd < frameLength) return false;
    // The two slots hold the last two laps of samples; the card refills the older one from its
    // start, so samples older than two laps are gone. A quarter lap keeps clear of the card's
    // writes while the frame is copied.
    if (frameEnd / lap + 1 < captured / lap || frameEnd - frameLength + 2 * lap < captured + lap / 4) return false;
    slot = static_cast<int>((frameEnd / lap) % 2);
    frameOffset = static_cast<uint32_t>(frameEnd % lap);
    return true;
}

uint64_t TSoundPort::SmoothedPosition(uint64_t reading, uint64_t block) {
    const uint32_t now = host_.TickMilliseconds();
    if (gLive.meanIntervalMs <= 0.0) gLive.meanIntervalMs = 7.0;
    if (!gLive.haveReference) {
        gLive.referenceTick = now;
        gLive.haveReference = true;
    }
    if (gLive.calls >= 100) {
        gLive.meanIntervalMs = std::min(static_cast<double>(now - gLive.referenceTick) / gLive.calls, 100.0);
        gLive.calls = 0;
        gLive.referenceTick = now;
    }
    ++gLive.calls;

    uint64_t extraMs = 0;
    if (reading == gLive.latest) {
        ++gLive.repeats;
        extraMs = static_cast<uint64_t>(gLive.repeats * gLive.meanIntervalMs);
    } else {
        gLive.previous = gLive.latest;
        gLive.latest = reading;
        gLive.repeats = 0;
    }
    const uint64_t e = gLive.previous + extraMs * current_.rate * block / 1000;
    return std::min(e, gLive.latest);
}

int TSoundPort::GetVolume(int channel) {
    if (deviceId_ < 0) return 0;
    uint32_t word = 0;
    if (driver_.GetVolume(static_cast<uint32_t>(deviceId_), word) != kWaveOk) return 0;
    if (channel == 0) return static_cast<int>((word & 0xFFFFu) * 100 / 65535);
    if (channel == 1) return static_cast<int>((word >> 16) * 100 / 65535);
    return 0;
}

bool TSoundPort::SetVolume(int left, int right) {
    if (deviceId_ < 0) return false;
    const uint32_t l = static_cast<uint32_t>(std::clamp(left, 0, 100));
    const uint32_t r = static_cast<uint32_t>(std::clamp(right, 0, 100));
    const uint32_t word = (r * 65535 / 100) << 16 | (l * 65535 / 100);
    return driver_.SetVolume(static_cast<uint32_t>(deviceId_), word) == kWaveOk;
}

}  // namespace zeltrak
