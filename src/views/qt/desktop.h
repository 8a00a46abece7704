#pragma once
#include <string>

#include "engine/engine.h"
#include "views/frequency_axis.h"
#include "views/phase_blanking.h"

namespace zeltrak {

class TIniStore;

// What the desktop shell is started with; the sound driver and settings belong to the caller.
struct DesktopSetup {
    WaveDriver* driver = nullptr;
    ProcessingSettings* settings = nullptr;
    TSpectrumScaling* scaling = nullptr;  // may be null
    CalibrationRecord* calibration = nullptr;  // the record the scaling reads; may be null
    EngineEnvironment environment;
    double spectrumStart = 10.0;
    double spectrumStop = kDefaultSpectrumStop;
    double phaseBlankDepthDb = kDefaultPhaseBlankDepthDb;  // see TPhaseView
    double phaseBlankCoherence = kDefaultPhaseBlankCoherence;
    bool runOnLaunch = false;  // start the analyser at once when the mode is (still) Real-Time
    // The settings file: the processing settings are written back to it when the window
    // closes. Null: nothing is stored.
    TIniStore* ini = nullptr;
    std::string settingsPath;
};

// Writes the processing settings and the name of the wave file open at exit (empty: none)
// into the store and saves it; false (with the message shown through the host) when the file
// cannot be written.
bool StoreDesktopSettings(Host& host, const ProcessingSettings& settings, const std::string& openFileName,
                          TIniStore& ini, const std::string& path);

// The spectrum view's range from its options section, falling back to the defaults for a
// missing or unusable pair.
void ReadSpectrumRange(const TIniStore& ini, DesktopSetup& setup);
// The phase view's blanking depth from the same section, kept as it is when missing or unusable;
// and written back there.
void ReadPhaseBlankDepth(const TIniStore& ini, DesktopSetup& setup);
void StorePhaseBlankDepth(double depthDb, TIniStore& ini);
// The same for its coherence threshold.
void ReadPhaseBlankCoherence(const TIniStore& ini, DesktopSetup& setup);
void StorePhaseBlankCoherence(double threshold, TIniStore& ini);

// Creates the application and the main window and runs Qt's event loop; returns its exit code.
int RunDesktop(int& argc, char** argv, DesktopSetup& setup);

}  // namespace zeltrak
