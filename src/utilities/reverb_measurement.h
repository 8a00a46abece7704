#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/sample_format.h"
#include "utilities/reverb_analysis.h"
#include "files/wave_data.h"
#include "platform/host.h"
#include "platform/wave_driver.h"

namespace zeltrak {

// The measurement's timing in seconds, as 32-bit floats like the stored results.
// Samples in the stimulus and in the recording: the total with a tenth to spare.
uint32_t ReverbBufferSamples(const ReverbTiming& timing);

// Always 44100 Hz, mono, 16-bit, whatever the analyser is set to.
SampleFormat ReverbMeasurementFormat();

// The played signal: silence, a 1 kHz synchronisation tone at 0.8 s, a gap, then pink noise
// read from the stored pink recording `pinkResource` (a whole wave file, header included).
std::vector<int16_t> BuildReverbStimulus(const ReverbTiming& timing, std::span<const unsigned char> pinkResource);

// The level meter's reading (0 ... 10) of a stretch of recorded samples.
int ReverbMeterReading(std::span<const int16_t> samples, const SampleFormat& format);

// What the acquisition needs of the reverberation window besides the Host.
class ReverbAcquisitionSink {
public:
    virtual ~ReverbAcquisitionSink() = default;
    // Marks the acquisition loop running or stopped, so the main window's meter stays live.
    virtual void SetAcquisitionRunning(bool running) = 0;
    // Shows a reading on the main window's level meter; -999 resets it.
    virtual void ShowMeterReading(int reading) = 0;
    // Called on every turn of the wait for the recording: the window lets its event loop run
    // (and Esc reach PollCancelRequest) for a moment; a test advances a manual-clock card.
    virtual void KeepResponding() = 0;
};

enum class ReverbAcquireStatus { Recorded, Cancelled, NoDuplex, DeviceFailed, OutOfMemory };

struct ReverbRecording {
    ReverbAcquireStatus status = ReverbAcquireStatus::DeviceFailed;
    std::unique_ptr<TWaveData> wave;  // the whole recording when Recorded
};

struct ReverbDevices {
    int32_t input = 0;
    int32_t output = 0;
};

// Plays `stimulus` and records the same length through one output and one input port of
// `driver`, started together, until the recording is full or <Esc> is pressed. Failures are
// shown to the user before returning.
ReverbRecording AcquireReverbRecording(WaveDriver& driver, Host& host, ReverbAcquisitionSink& sink,
                                       const ReverbDevices& devices, const ReverbTiming& timing,
                                       std::span<const int16_t> stimulus);

}  // namespace zeltrak
