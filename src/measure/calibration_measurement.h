#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/sample_format.h"
#include "base/strings.h"
#include "files/calibration_record.h"
#include "files/wave_data.h"
#include "measure/generator_hook.h"
#include "platform/host.h"
#include "platform/wave_driver.h"

namespace zeltrak {

// The analysis of a calibration recording.
inline constexpr uint32_t kCalibrationFFTSize = 8192;
inline constexpr uint32_t kCalibrationAdvance = 4096;
inline constexpr uint32_t kCalibrationExtraFrames = 32768;
inline constexpr int kOverloadLevel = 10;

struct CalibrationAnalysis {
    uint32_t blocks = 0;
    float pctLeft = 0.0f;  // fraction of full scale of the largest spectral line
    float pctRight = 0.0f;
    int levelLeft = 0;     // largest level reading, 0 ... 10 (10: clipping)
    int levelRight = 0;
};

// Refused: the dialog's fields were refused, nothing was measured.
enum class CalibrationOutcome { Done, Overload, TooLow, PortFailed, Stalled, Refused };

// What a run showed: the outcome and the two fractions in percent as the dialog shows them.
struct CalibrationReport {
    CalibrationOutcome outcome = CalibrationOutcome::PortFailed;
    CalibrationAnalysis analysis;
    std::string pctLeftText;
    std::string pctRightText;
};

// The level reading of a peak deviation m from the zero level: a logarithmic 0 ... 10 scale,
// 10 when the signal touches full scale.
int LevelReading(int64_t peak, const SampleFormat& format);

// Analyses a recording of rate + 32768 frames: the first second is skipped, then 50 %-overlapped
// 8192-point flat-top frames of both channels are averaged; a mono recording serves as both.
CalibrationAnalysis AnalyseCalibrationRecording(TWaveData& recording);

// Takes the analysis into the record: clipping counts as full scale, an overload or a too
// weak left channel is reported, the fractions are formatted and the ratios computed.
CalibrationReport FinishCalibration(const CalibrationAnalysis& analysis, CalibrationRecord& record, Host& host);

// Records rate + 32768 frames from input device `deviceId` in `format` and calibrates the
// record from them. SoundInput is the engine's sound input port (it is named here by its
// operations only, so that this layer stays below the engine). Port failures are reported by
// the port and leave the record as it was; so does a card that stops delivering samples.
template <class SoundInput>
CalibrationReport MeasureCalibration(WaveDriver& driver, Host& host, int32_t deviceId, const SampleFormat& format,
                                     bool selfMonitor, CalibrationRecord& record,
                                     GeneratorHook* generator = nullptr);

// Formats a fraction of full scale in percent, "%6.4f".
std::string PercentText(double fraction);

// Longest wait for a recording beyond its own duration.
inline constexpr uint32_t kCalibrationGraceMs = 5000;
inline constexpr uint32_t kCalibrationPollMs = 10;

void ReportCalibrationStall(Host& host);

template <class SoundInput>
CalibrationReport MeasureCalibration(WaveDriver& driver, Host& host, int32_t deviceId, const SampleFormat& format,
                                     bool selfMonitor, CalibrationRecord& record, GeneratorHook* generator) {
    CalibrationReport report;
    const uint32_t frames = format.rate + kCalibrationExtraFrames;
    auto busy = std::make_optional<BusyCursor>(host);  // while the buffer is had
    TWaveData recording(frames, format);
    busy.reset();
    if (recording.Error() || !recording.Buffer()) {
        ShowStringMessage(host, kStrInsufficientMemory, MessageIcon::Error);
        return report;
    }
    bool stalled = false;
    {
        auto port = std::make_unique<SoundInput>(driver, host, deviceId);
        if (!port->SetFormat(format) || !port->Open(nullptr, selfMonitor) ||
            !port->AddBuffer(recording.Buffer(), static_cast<uint32_t>(recording.DataSize()), 0))
            return report;
        const bool playing = generator && generator->Active() && port->SupportsDuplex();
        if (playing) generator->StartWithRun();
        if (!port->Start()) {
            if (playing) generator->StopWithRun();
            return report;
        }
        const uint32_t limit = static_cast<uint32_t>(1000.0 * frames / (format.rate ? format.rate : 1)) + kCalibrationGraceMs;
        const uint32_t start = host.TickMilliseconds();
        while (!port->IsSlotDone(0)) {
            if (host.TickMilliseconds() - start > limit) {
                stalled = true;
                break;
            }
            host.SleepMilliseconds(kCalibrationPollMs);
        }
        if (playing) generator->StopWithRun();
        port->Close();
    }
    if (stalled) {
        ReportCalibrationStall(host);
        report.outcome = CalibrationOutcome::Stalled;
        return report;
    }
    return FinishCalibration(AnalyseCalibrationRecording(recording), record, host);
}

}  // namespace zeltrak
