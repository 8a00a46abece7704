#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/sample_format.h"
#include "engine/format_query.h"
#include "platform/host.h"
#include "platform/wave_driver.h"

namespace zeltrak {

// Per-device habits found by the device's name at construction.
struct SoundDevicePeculiarities {
    bool fullDuplex = true;
    bool loopPlayback = true;  // a periodic signal may be played as one looping buffer
    bool standardRatesOnly = false;
    bool discreteRateTable = false;
    bool preRoll = false;  // needs a block of silence queued ahead of the first buffer
    bool echoFamily = false;
    bool pocketFamily = false;
    bool sixteenBitOnly = false;
    bool paddedTwentyFour = false;
    bool positionLag8000 = true;
};

// One waveform-audio device in one direction: capabilities, format, up to three caller-owned
// buffers in the driver, and the play or record position. Moves raw PCM bytes only.
// All calls belong to the owner's thread.
class TSoundPort : public TFormatQuery {
public:
    static constexpr uint16_t kOutput = 1;
    static constexpr uint16_t kInput = 2;
    static constexpr int kSlotCount = 3;
    static constexpr uint32_t kPreRollBytes = 10000;
    static constexpr uint32_t kPreRollPrivateMessage = 0x4203;
    static constexpr size_t kDeviceNameLength = 32;

    // The discrete rates of the devices that only know a table of them, ascending.
    static const std::array<uint32_t, 222> kDiscreteRates;

    TSoundPort(WaveDriver& driver, Host& host, int32_t deviceId, uint16_t direction);
    ~TSoundPort() override;
    TSoundPort(const TSoundPort&) = delete;
    TSoundPort& operator=(const TSoundPort&) = delete;

    uint16_t Direction() const { return direction_; }
    int32_t DeviceId() const { return deviceId_; }
    bool IsOpen() const { return isOpen_; }
    // The open device stopped answering position queries (unplugged, its server gone).
    bool DeviceLost() const { return deviceLost_; }
    bool AllocFailed() const { return allocFailed_; }
    uint32_t LastFrames() const { return lastFrames_; }
    const SoundDevicePeculiarities& Peculiarities() const { return pec_; }

    // The format the port opens.
    uint16_t Channels() const { return current_.channels; }
    uint32_t Rate() const { return current_.rate; }
    uint16_t BytesPerSample() const { return current_.bytesPerSample; }
    uint16_t BitsPerSample() const { return current_.bitsPerSample; }
    int32_t MaxValue() const { return current_.maxValue; }
    int32_t MinValue() const { return current_.minValue; }
    void CopyFormat(SampleFormat& out) const { out = current_; }
    const SampleFormat& Current() const { return current_; }
    // The best format the device offers, and its lowest selectable rate.
    uint16_t MaxChannels() const { return maxFormat_.channels; }
    uint16_t MaxBytesPerSample() const { return maxFormat_.bytesPerSample; }
    uint16_t MaxBitsPerSample() const { return maxFormat_.bitsPerSample; }
    const SampleFormat& MaxFormat() const { return maxFormat_; }

    // Device details.
    void GetDeviceName(char (&out)[kDeviceNameLength]) const;
    std::string DeviceName() const { return deviceName_.data(); }
    uint32_t ManufacturerId() const { return manufacturerId_; }
    uint32_t ProductId() const { return productId_; }
    uint32_t DriverVersion() const { return driverVersion_; }

    // TFormatQuery
    bool QueryFormat(uint32_t rate, uint16_t bytesPerSample, uint16_t channels) override;
    bool StandardRatesOnly() const override { return pec_.standardRatesOnly; }
    uint32_t MaxRate() const override { return maxFormat_.rate; }
    uint32_t MinRate() const override { return minFormat_.rate; }

    bool SetFormat(uint32_t rate, uint16_t channels, uint16_t bytesPerSample);
    bool SetFormat(const SampleFormat& format);
    bool SupportsDuplex();

    uint32_t NearestRate(uint32_t rate) const;
    uint32_t NextRate(uint32_t rate) const;
    uint32_t PrevRate(uint32_t rate) const;

    // Opens the device in the current format. sink receives buffer-done notices from the
    // driver's thread; without one the owner polls the slots.
    bool Open(WaveNotifySink* sink, bool selfMonitor);
    virtual bool Close();

    bool IsSlotDone(int slot) const;
    bool AllSlotsDone() const;

    uint32_t PositionBytes();
    uint32_t PositionFrames();
    float PositionSeconds();

    // Which driver description a 24-bit format gets depends on the system class (0-5); this
    // system counts as the newest class, 5.
    void SetOperatingSystemClass(int osClass) { osClass_ = osClass; }
    WaveFormat BuildDriverFormat(uint32_t rate, uint16_t channels, uint16_t bytesPerSample) const;

    // The smoothing state of GetLivePosition is one for the whole program; tests start it afresh.
    static void ResetLivePositionEstimate();

protected:
    // For ports of devices whose habits the name table does not know.
    SoundDevicePeculiarities& MutablePeculiarities() { return pec_; }
    bool AddBuffer(void* data, uint32_t byteLength, int slot);
    bool Start();
    bool Write(const void* data, uint32_t byteLength, int slot, bool loop);
    bool Pause();
    bool Restart();
    int CurrentInputSlot();
    uint32_t FramesInSlot(int slot);
    bool GetLivePosition(int& slot, uint32_t& frameOffset, uint32_t minFrames, bool onlyIfAdvanced);
    // The frames captured so far, counted as the live reads count them but unsmoothed.
    uint64_t CapturedFrames();
    // Where in the two slots the frame of `frameLength` samples ending at `frameEnd` (a
    // CapturedFrames count) ends; false once the card's refills have come near its start.
    bool SlotPosition(uint64_t frameEnd, uint64_t frameLength, uint64_t captured, int& slot,
                      uint32_t& frameOffset) const;
    bool SupportsVolume() const { return (outputSupport_ & kWaveCapsVolume) != 0; }
    int GetVolume(int channel);
    bool SetVolume(int left, int right);
    bool IsStarted() const { return isStarted_; }
    uint32_t StartTick() const { return startTick_; }

private:
    void ScanCapabilities();
    // Quirks of particular devices, known by their product names.
    void ApplyNameRules(const char* name, bool output);
    // The widest format the capability bits (and a 24-bit probe) allow.
    void WidenMaxFormat(uint32_t formats);
    void SetMaxFormatWidth(uint16_t bytesPerSample);
    uint32_t ClampRate(uint32_t rate) const;
    bool Queue(void* data, uint32_t byteLength, int slot, bool loop);
    void ResetHeader(int slot);
    bool Usable() const { return isOpen_ && deviceId_ >= 0 && stream_ != nullptr; }
    // The driver's position since the stream opened, before any pre-roll correction. Drivers
    // count it in 32 bits, which wraps after 4 GiB (under 7 hours of 44.1 kHz stereo); the
    // wraps are counted here so that long runs keep their place.
    uint64_t DriverPosition();
    uint64_t PositionAfterPreRoll();
    // The driver's position in bytes with the lags some devices are known for taken off.
    int64_t CorrectedDriverPosition(uint64_t slotBytes);
    // The position (bytes) between driver readings, which come in coarse steps: the last step
    // plus the time since, at the mean interval between calls, never past the newest reading.
    uint64_t SmoothedPosition(uint64_t reading, uint64_t block);
    // Hands a prepared slot to the driver; false (shown) when it refuses.
    bool SubmitHeader(WaveHeader& h, bool input);
    void ShowFailure(int stringId, const char* caption = nullptr);

    WaveDriver& driver_;
    Host& host_;
    const uint16_t direction_;
    int32_t deviceId_;
    bool isOpen_ = false;
    bool deviceLost_ = false;
    uint32_t lastDriverBytes_ = 0;
    uint64_t driverWraps_ = 0;  // whole 2^32-byte laps of the driver's position
    bool isStarted_ = false;
    bool allocFailed_ = false;
    std::unique_ptr<WaveStream> stream_;
    uint32_t startTick_ = 0;
    SampleFormat maxFormat_;
    SampleFormat minFormat_;
    SampleFormat current_;
    std::array<char, kDeviceNameLength> deviceName_{};
    uint32_t manufacturerId_ = 0;
    uint32_t productId_ = 0;
    uint32_t driverVersion_ = 0;
    uint32_t outputSupport_ = 0;
    std::unique_ptr<WaveHeader> headers_[kSlotCount];
    bool prepared_[kSlotCount] = {};
    uint32_t lastFrames_ = 0;
    bool preRollSent_ = false;
    std::unique_ptr<uint8_t[]> preRoll_;
    SoundDevicePeculiarities pec_;
    int osClass_ = 5;
};

class TSoundInput : public TSoundPort {
public:
    TSoundInput(WaveDriver& driver, Host& host, int32_t deviceId) : TSoundPort(driver, host, deviceId, kInput) {}
    using TSoundPort::AddBuffer;
    using TSoundPort::CapturedFrames;
    using TSoundPort::CurrentInputSlot;
    using TSoundPort::FramesInSlot;
    using TSoundPort::GetLivePosition;
    using TSoundPort::IsStarted;
    using TSoundPort::SlotPosition;
    using TSoundPort::Start;
    using TSoundPort::StartTick;
};

class TSoundOutput : public TSoundPort {
public:
    TSoundOutput(WaveDriver& driver, Host& host, int32_t deviceId) : TSoundPort(driver, host, deviceId, kOutput) {}
    using TSoundPort::GetVolume;
    using TSoundPort::Pause;
    using TSoundPort::Restart;
    using TSoundPort::SetVolume;
    using TSoundPort::SupportsVolume;
    using TSoundPort::Write;
};

}  // namespace zeltrak
