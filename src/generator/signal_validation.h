#pragma once
#include <string>
#include <vector>

#include "generator/signal_setup.h"

namespace zeltrak {

// Each parameter dialog's check on OK. `maxHz` is the output's highest frequency (the sampling
// rate div 2). The answer is the first failing message, or empty when the block is accepted.
std::string ValidateNoiseBurst(const NoiseBurstSetup& block);
std::string ValidateFrequencySweep(const FrequencySweepSetup& block, long maxHz);
std::string ValidateLevelSweep(const LevelSweepSetup& block, long maxHz);
std::string ValidateSawtooth(const SawtoothSetup& block, long maxHz);
std::string ValidateTriangular(const TriangularSetup& block, long maxHz);
std::string ValidateSquare(const SquareSetup& block, long maxHz);
std::string ValidatePulse(const PulseSetup& block, long maxHz);
std::string ValidateTones(const TonesSetup& block, long maxHz);  // enabled slots only
std::string ValidateToneBurst(const ToneBurstSetup& block, long maxHz);
std::string ValidateImd(const ImdSetup& block, long maxHz);  // only the custom set is checked
std::string ValidateDtmf(const DtmfSetup& block);
// The check of the block the setup's type plays (empty for the types without parameters).
std::string ValidateSignal(const SignalSetup& setup, long maxHz);

// The output level dialog: the full-scale voltage (unless it is unknown), then both levels in
// the chosen units.
std::string ValidateOutputLevel(const OutputLevelSetup& level);
// The units the level dialog offers for a full-scale mode, and the one it selects.
std::vector<OutputUnits> OfferedUnits(FullScaleMode mode);
OutputUnits SelectedUnits(FullScaleMode mode);

}  // namespace zeltrak
