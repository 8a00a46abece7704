#pragma once
#include <string>

#include "files/calibration_record.h"

namespace zeltrak {

// Folders and options of the shell that the loop needs.
struct EngineEnvironment {
    std::string waveDir;  // where a recording that reached the disk size limit is saved
    std::string tempDir;  // working files and the Real-Time history; empty: the system's
    // The calibration ratios (full-scale units) per channel when calibration is enabled.
    bool calibrationEnabled = false;
    float calRatioLeft = 1.0f;
    float calRatioRight = 1.0f;
    // Written into recordings that the loop saves when calibration is enabled.
    CalibrationRecord calibration;
    std::string programTitle;  // caption base; empty means the program title

    // The full scale a channel's samples are read at: its ratio while calibration is on.
    float FullScale(int channel) const {
        if (!calibrationEnabled) return 1.0f;
        return channel == 0 ? calRatioLeft : calRatioRight;
    }
};

}  // namespace zeltrak
