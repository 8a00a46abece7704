#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

namespace zeltrak {

// The waveform-audio seam: what the sound ports need of a sound card driver and nothing more.
// Result codes, header flags, capability records and format descriptions keep the values of
// the classic waveform-audio interface, so the ports' retry and error rules read the same.

enum class WaveDirection : uint16_t { Output = 1, Input = 2 };

enum WaveResult : uint32_t {
    kWaveOk = 0,
    kWaveError = 1,
    kWaveBadDeviceId = 2,
    kWaveAllocated = 4,  // the device is in use
    kWaveInvalidHandle = 5,
    kWaveNoDriver = 6,
    kWaveNoMemory = 7,
    kWaveNotSupported = 8,
    kWaveInvalidParam = 11,
    kWaveBadFormat = 32,
    kWaveStillPlaying = 33,  // the header is still queued
    kWaveUnprepared = 34,    // the header was not prepared
};

// Header flags.
inline constexpr uint32_t kWaveHeaderDone = 0x01;
inline constexpr uint32_t kWaveHeaderPrepared = 0x02;
inline constexpr uint32_t kWaveHeaderBeginLoop = 0x04;
inline constexpr uint32_t kWaveHeaderEndLoop = 0x08;
inline constexpr uint32_t kWaveHeaderInQueue = 0x10;

// One caller buffer handed to the driver. The driver writes bytesRecorded and flags from its
// own thread, so those two are atomic; everything else is set by the owner while the header
// is not queued.
struct WaveHeader {
    void* data = nullptr;  // output drivers only read through it
    uint32_t bufferLength = 0;
    std::atomic<uint32_t> bytesRecorded{0};
    uintptr_t user = 0;
    std::atomic<uint32_t> flags{0};
    uint32_t loops = 0;
    // Driver-owned.
    uint32_t driverPosition = 0;
    uint32_t driverLoopsLeft = 0;

    bool IsDone() const { return (flags.load(std::memory_order_acquire) & kWaveHeaderDone) != 0; }
    bool IsQueued() const { return (flags.load(std::memory_order_acquire) & kWaveHeaderInQueue) != 0; }
};

// Format bits of the capability records: rate (11.025/22.05/44.1/48/96 kHz), mono or stereo, 8 or 16 bits.
inline constexpr uint32_t kFormat1M08 = 0x00000001, kFormat1S08 = 0x00000002, kFormat1M16 = 0x00000004,
                          kFormat1S16 = 0x00000008;
inline constexpr uint32_t kFormat2M08 = 0x00000010, kFormat2S08 = 0x00000020, kFormat2M16 = 0x00000040,
                          kFormat2S16 = 0x00000080;
inline constexpr uint32_t kFormat4M08 = 0x00000100, kFormat4S08 = 0x00000200, kFormat4M16 = 0x00000400,
                          kFormat4S16 = 0x00000800;
inline constexpr uint32_t kFormat48M08 = 0x00001000, kFormat48S08 = 0x00002000, kFormat48M16 = 0x00004000,
                          kFormat48S16 = 0x00008000;
inline constexpr uint32_t kFormat96M08 = 0x00010000, kFormat96S08 = 0x00020000, kFormat96M16 = 0x00040000,
                          kFormat96S16 = 0x00080000;
inline constexpr uint32_t kFormatAny16Bit = kFormat1M16 | kFormat1S16 | kFormat2M16 | kFormat2S16 | kFormat4M16 |
                                            kFormat4S16 | kFormat48M16 | kFormat48S16 | kFormat96M16 | kFormat96S16;
inline constexpr uint32_t kFormatAny22k = kFormat2M08 | kFormat2S08 | kFormat2M16 | kFormat2S16;
inline constexpr uint32_t kFormatAny44k = kFormat4M08 | kFormat4S08 | kFormat4M16 | kFormat4S16;
inline constexpr uint32_t kFormatAnyStereo = kFormat1S08 | kFormat1S16 | kFormat2S08 | kFormat2S16 | kFormat4S08 |
                                             kFormat4S16 | kFormat48S08 | kFormat48S16 | kFormat96S08 | kFormat96S16;

// Output support bits.
inline constexpr uint32_t kWaveCapsVolume = 0x0004;
inline constexpr uint32_t kWaveCapsLeftRightVolume = 0x0008;

// Capability records in their classic 48- and 52-byte layouts.
struct WaveInCaps {
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;
    char productName[32] = {};
    uint32_t formats = 0;
    uint16_t channels = 0;  // the device's channel count
    uint16_t reserved = 0;
};
static_assert(sizeof(WaveInCaps) == 48);

struct WaveOutCaps {
    uint16_t manufacturerId = 0;
    uint16_t productId = 0;
    uint32_t driverVersion = 0;
    char productName[32] = {};
    uint32_t formats = 0;
    uint16_t channels = 0;  // the device's channel count
    uint16_t reserved = 0;
    uint32_t support = 0;
};
static_assert(sizeof(WaveOutCaps) == 52);

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;
// {00000001-0000-0010-8000-00AA00389B71} in its in-memory byte order.
inline constexpr uint8_t kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// A PCM format description: the plain 18-byte head, followed by the 22 extensible bytes
// that count only when formatTag is kWaveFormatExtensible.
struct WaveFormat {
    uint16_t formatTag = kWaveFormatPcm;
    uint16_t channels = 0;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;  // plain: the valid width; extensible: the container width
    uint16_t extraSize = 0;
    uint16_t validBitsPerSample = 0;
    uint32_t channelMask = 0;
    uint8_t subFormat[16] = {};

    // Bytes one sample of one channel occupies, 0 when the description is malformed.
    uint16_t ContainerBytes() const { return channels == 0 ? 0 : static_cast<uint16_t>(blockAlign / channels); }
    uint16_t ValidBits() const { return formatTag == kWaveFormatExtensible ? validBitsPerSample : bitsPerSample; }
};
static_assert(sizeof(WaveFormat) == 40);

// True for a self-consistent linear PCM description of 1 or 2 channels and 1 to 4 byte containers.
bool IsPlausiblePcm(const WaveFormat& format);

// Where drivers post "buffer done" from their own threads; the owner's message queue implements it.
// May be called from any thread, concurrently.
class WaveNotifySink {
public:
    virtual ~WaveNotifySink() = default;
    virtual void PostBufferDone(WaveDirection direction, WaveHeader* header) = 0;
};

// One open device. Every call comes from the owner's thread; the driver's own thread only
// touches queued headers (data, bytesRecorded, flags).
class WaveStream {
public:
    virtual ~WaveStream() = default;

    // Marks a header usable with this stream; refuses a queued header.
    virtual WaveResult Prepare(WaveHeader& header);
    virtual WaveResult Unprepare(WaveHeader& header);
    // Queues a prepared header (input: to be filled; output: to be played).
    virtual WaveResult AddBuffer(WaveHeader& header) = 0;
    virtual WaveResult Start() = 0;    // input: begin recording
    virtual WaveResult Pause() = 0;    // output
    virtual WaveResult Restart() = 0;  // output: resume after Pause
    // Stops, marks every queued header done (posting each) and sets the position to 0.
    virtual WaveResult Reset() = 0;
    // Bytes recorded or played since open or the last reset.
    virtual WaveResult GetPosition(uint32_t& bytes) = 0;
    // Driver-private messages; our backends know none and answer kWaveNotSupported.
    virtual WaveResult Message(uint32_t message, uintptr_t param1, uintptr_t param2);
    // Resets and releases the device; the stream is dead afterwards.
    virtual WaveResult Close() = 0;
};

class WaveDriver {
public:
    virtual ~WaveDriver() = default;

    virtual uint32_t DeviceCount(WaveDirection direction) = 0;
    virtual WaveResult GetInCaps(uint32_t device, WaveInCaps& caps) = 0;
    virtual WaveResult GetOutCaps(uint32_t device, WaveOutCaps& caps) = 0;
    // Would Open succeed with this format? Opens nothing.
    virtual WaveResult QueryFormat(WaveDirection direction, uint32_t device, const WaveFormat& format) = 0;
    // sink may be null: the owner then polls the DONE flags.
    virtual WaveResult Open(WaveDirection direction, uint32_t device, const WaveFormat& format, WaveNotifySink* sink,
                            std::unique_ptr<WaveStream>& stream) = 0;
    // Output volume word of a device: left in the low 16 bits, right in the high 16 bits.
    virtual WaveResult GetVolume(uint32_t outputDevice, uint32_t& volume) = 0;
    virtual WaveResult SetVolume(uint32_t outputDevice, uint32_t volume) = 0;
};

// Copies a name into a fixed capability field, truncating and terminating it.
void CopyProductName(char (&field)[32], const char* name);

}  // namespace zeltrak
