#pragma once

// The generator window's and its dialogs' own words (the messages are the generator's, in
// generator/generator_strings.h).
namespace zeltrak::generator_dialog_text {

inline constexpr char kWindowTitle[] = "Signal Generator";
inline constexpr char kMenuText[] = "Signal &Generator";
inline constexpr char kSaveSignal[] = "Save Signal To Wave File";
inline constexpr char kWaveFilter[] = "Wave Files (*.wav)";
inline constexpr char kOpenWaveFile[] = "Open Wave File";

inline constexpr char kNoiseBurstTitle[] = "Noise Burst Settings";
inline constexpr char kTonesTitle[] = "Tone Settings";
inline constexpr char kToneBurstTitle[] = "Tone Burst Settings";
inline constexpr char kFrequencySweepTitle[] = "Frequency Sweep Waveform Settings";
inline constexpr char kSawtoothTitle[] = "Sawtooth Wave Settings";
inline constexpr char kPulseTitle[] = "Pulse Settings";
inline constexpr char kSquareTitle[] = "Square Wave Settings";
inline constexpr char kImdTitle[] = "IMD tones";
inline constexpr char kUserDefinedTitle[] = "User Defined Signal";
inline constexpr char kDtmfTitle[] = "DTMF Signal Details";
inline constexpr char kLevelSweepTitle[] = "Level Sweep Waveform Settings";
inline constexpr char kTriangularTitle[] = "Triangular Wave Settings";
inline constexpr char kOutputLevelTitle[] = "Generator Output Level";

inline constexpr char kWhiteNoise[] = "&White Noise";
inline constexpr char kPinkNoise[] = "&Pink Noise";
inline constexpr char kBurstTime[] = "Burst Time (msec)";
inline constexpr char kCycleTime[] = "CycleTime (msec)";
inline constexpr char kLinear[] = "Linear";
inline constexpr char kLogarithmic[] = "Logarithmic";
inline constexpr char kPositive[] = "Positive";
inline constexpr char kNegative[] = "Negative";
inline constexpr char kPulseWidth[] = "Pulse Width (micosec)";
inline constexpr char kRepetitionInterval[] = "Repitition Interval (microsec)";
inline constexpr char kSingleShot[] = "&Single Shot Pulse";
inline constexpr char kImdSet1[] = "Standard Set &1";
inline constexpr char kImdSet2[] = "Standard Set &2";
inline constexpr char kImdCustom[] = "&Custom";
inline constexpr char kRepeatKeys[] = "&Repeat Key String Continuously";

inline constexpr char kFullScaleQuestion[] = "The Full Scale output level of my sound card is:";
inline constexpr char kFullScaleTyped[] = "Level (Volts RMS)";
inline constexpr char kFullScaleUnknown[] = "I don't know";
inline constexpr char kFullScalePreset[] = "Pick from list:";

}  // namespace zeltrak::generator_dialog_text
