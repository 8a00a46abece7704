#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "engine/processing_settings.h"
#include "utilities/dtmf_detector.h"

namespace zeltrak {

class Host;
class TWaveData;

// The transform size the segment analysis uses at `rate`.
uint32_t DtmfFftSize(uint32_t rate);
// How far pass 2 advances between frames: 1 % of the transform, at least one sample.
uint32_t DtmfFineStep(uint32_t fftSize);
// The analyser's settings with what the analysis needs for a file of `format`: one block,
// Hanning window, dB amplitude, linear frequency axis, both channels of a stereo file.
ProcessingSettings DtmfWorkingSettings(const ProcessingSettings& base, const SampleFormat& format, bool peakHold);

struct DtmfSegmentResult {
    bool ran = false;        // a segment was analysed (maybe cut short)
    bool cancelled = false;  // the user stopped a pass
    bool stereo = false;
    uint32_t fftSize = 0;
    uint32_t fineStep = 0;
    std::array<float, 2> thresholdDb{-999.9f, -999.9f};
    std::array<TDTMFData, 2> detectors;
};

// The two passes over frames [startFrame, endFrame) of `wave` (negative ends count as 0; an
// empty segment does nothing). Shows `kAnalysing` and the progress bar while it runs, then
// puts back `statusText` and the file position. False when nothing was analysed.
bool AnalyseDtmfSegment(TWaveData& wave, const ProcessingSettings& settings, int64_t startFrame, int64_t endFrame,
                        Host& host, const std::string& statusText, DtmfSegmentResult& result);

// "DTMF keys = ..." for a mono result, the two-line text for a stereo one.
std::string DtmfResultMessage(const DtmfSegmentResult& result);

// The context-menu command: refuses a missing segment, analyses, and shows the keys in a
// message box unless pass 1 was cancelled.
void RunDtmfSegmentAnalysis(TWaveData& wave, const ProcessingSettings& settings, int64_t startFrame,
                            int64_t endFrame, Host& host, const std::string& statusText);

}  // namespace zeltrak
