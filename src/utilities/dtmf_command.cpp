#include "utilities/dtmf_command.h"

#include <algorithm>

#include "engine/processing_settings.h"
#include "engine/wave_file_status.h"
#include "utilities/dtmf_segment.h"

namespace zeltrak {
namespace {

void PrintKeys(std::FILE* out, const DtmfSegmentResult& result, uint32_t rate) {
    // The detector times a frame by its first sample; the tone is heard at the frame's middle.
    const double halfFrame = result.fftSize / 2.0 / rate;
    const char* names[2] = {result.stereo ? "left" : "mono", "right"};
    for (int c = 0; c < (result.stereo ? 2 : 1); ++c)
        for (const DtmfKeyEvent& e : result.detectors[c].Events())
            std::fprintf(out, "%s %c %.3f s %d ms\n", names[c], e.key, e.startMs / 1000.0 + halfFrame, e.durationMs);
}

}  // namespace

int RunDtmfCommand(const std::string& wavPath, std::FILE* out, Host& host, std::string& error) {
    // Streamed: a long recording is read a block at a time instead of held whole.
    auto file = MakeWaveFile(host, wavPath, TWaveFile::kStreamMode, false);
    if (file->Error() || file->Length() == 0) {
        error = "cannot read '" + wavPath + "'";
        return 1;
    }
    DtmfSegmentResult result;
    if (!AnalyseDtmfSegment(*file, ProcessingSettings{}, 0, file->Length(), host, "", result)) {
        error = result.cancelled ? "cancelled" : "cannot analyse '" + wavPath + "'";
        return result.cancelled ? 3 : 1;
    }
    PrintKeys(out, result, file->Format().rate);
    std::string summary = DtmfResultMessage(result);
    std::replace(summary.begin(), summary.end(), '\r', '\n');
    std::fprintf(out, "%s\n", summary.c_str());
    if (result.cancelled) {
        error = "cancelled";
        return 3;
    }
    return 0;
}

}  // namespace zeltrak
