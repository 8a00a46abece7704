#include "engine/engine_status.h"

#include <cstdio>

#include "dsp/spectral_data.h"
#include "engine/analyze_command.h"
#include "engine/engine.h"

namespace zeltrak {

const char* RunStateName(EngineRunState state) {
    switch (state) {
        case EngineRunState::Running: return "Running";
        case EngineRunState::Stopped: return "Stopped";
        case EngineRunState::Recording: return "Recording";
        case EngineRunState::Playing: return "Playing";
    }
    return "?";
}

std::string EngineStatusLine(TEngine& engine) {
    const SettingsBlock& s = engine.Settings().Settings();
    const auto columns = ColumnsForMode(ChannelModeFromCode(s.ChannelProcessing), s.format.channels == 2);
    const TSpectralData* shown = columns.empty() ? nullptr : engine.Spectrum(columns[0].index);
    char line[256];
    int n = std::snprintf(line, sizeof line, "%-9s frames %u  avg %u/%u  overload %s (%u)",
                          RunStateName(engine.RunState()), engine.FrameCount(), shown ? shown->Averager().Averaged() : 0,
                          s.AverageBlocks, engine.Overloaded() ? "YES" : "no", engine.OverloadCount());
    if (shown && shown->Averager().Averaged() > 0 && n > 0 && n < static_cast<int>(sizeof line)) {
        const SpectrumPeak p = PeakOf(*shown);
        std::snprintf(line + n, sizeof line - n, "  peak %.1f Hz %.2f %s", p.frequency, p.value, p.unit.c_str());
    }
    return line;
}

}  // namespace zeltrak
