#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zeltrak {

// Every execute command the automation interpreter knows. A family with members (the windows,
// the views, the markers ...) is one id; AutomationCommand::variant says which member.
enum class CommandId : int {
    // Run and transport.
    Run,           // "[Run]"
    RunCount,      // "[Run n]"
    SingleStep,
    Stop,
    Rewind,
    FastForward,
    Record,
    Play,
    GoTo,          // t seconds
    ResetAverage,
    Trigger,
    ResetOverload,
    // Settings.
    PeakHold,          // variant 1 on, 0 off
    AverageSize,       // n
    AverageType,       // word
    Channel,           // word
    FftOverlap,        // n
    FftSize,           // n
    Mode,              // variant: 1 Real-Time, 2 Post-Processing, 3 Recorder (the OpMode codes)
    SamplingRate,      // n
    DecimationRatio,   // n
    Window,            // variant: smoothing window 0 ... 8
    AmplitudeScaling,  // word
    FrequencyScaling,  // word
    Octave,            // n
    SpectrumWeighting, // word
    PsdType,           // "0" or "1"
    Psd,               // variant 1 on, 0 off
    MicFile,           // variant 0 both, 1 left, 2 right; file name
    MicCompensation,   // variant 1 on, 0 off
    TriggerEnable,     // variant 1 on, 0 off
    TriggerReArm,      // variant 1 on, 0 off
    TriggerThreshold,  // n
    Delay,             // ms
    InputDevice,       // n
    OutputDevice,      // n
    Marker,            // variant 1 ... 6; f Hz
    FreqSpan,          // variant AutomationView; lo hi
    TimeSegment,       // t1 t2
    Annotation,        // variant 1 or 2; text
    // Files.
    FileOpen,
    FileSave,
    FileClose,
    FileDelete,
    FileDecimate,      // file name, ratio
    FileMerge,         // two file names
    UseTempFile,       // five comma-separated fields
    SaveCalibration,
    Calibrate,
    LogFile,
    Logging,           // variant 1 on, 0 off
    ExitApplication,
    // Windows, views and tools.
    MainWindow,        // variant AutomationWindowState
    Arrange,           // variant 0 cascade, 1 tile vertical, 2 tile horizontal
    ViewOpen,          // variant AutomationView
    ViewClose,
    ViewRestore,
    ViewMaximize,
    ViewPrint,
    CopyBitmap,
    Furniture,         // variant AutomationFurniture; `on` says show
    Generator,         // variant AutomationToolAction
    GeneratorType,     // "left "/"right " then the type's name
    GeneratorTone,     // channel, frequency, amplitude
    GeneratorWaveFile, // channel, file name
    SaveGeneratorSignal,
    DelayFinder,       // variant 0 open, 1 close, 2 apply
    Overlay,           // variant 0 set, 1 show, 2 hide; n
    Reverb,            // variant AutomationToolAction (open, close, start)
    SaveReverb,
    Macro,             // variant AutomationToolAction
    OpenMacroFile,
    PassString,
};

enum AutomationView : int { kViewTimeSeries = 0, kViewSpectrum = 1, kViewPhase = 2, kViewSpectrogram = 3, kViewSurface = 4 };
enum AutomationWindowState : int { kWindowHide = 0, kWindowShow, kWindowMinimize, kWindowRestore, kWindowMaximize };
enum AutomationFurniture : int { kFurnitureMenu = 0, kFurnitureToolbar, kFurnitureStatusbar, kFurniturePlotToolbars };
enum AutomationToolAction : int { kToolOpen = 0, kToolClose, kToolStart, kToolStop };

// One recognised command: which it is, which member of its family, and its argument as the
// text after the keyword without the closing bracket (empty for commands without one).
struct AutomationCommand {
    CommandId id = CommandId::Run;
    int variant = 0;
    std::string argument;
    bool on = false;  // show rather than hide, for the furniture family
};

// The longest command text read, and the longest argument copied.
inline constexpr std::size_t kMaxCommandText = 280;
inline constexpr std::size_t kMaxCommandArgument = 260;

// Recognises a command text by its keyword (case-insensitive, at the start of the text) and
// extracts its argument. Nothing for a text that matches no keyword, that is empty, longer than
// kMaxCommandText, does not end with ']' or whose argument is longer than kMaxCommandArgument.
std::optional<AutomationCommand> ParseAutomationCommand(std::string_view text);

// The keywords as the user writes them ("[Run]", "[Run ", "[Set Channel" ...), in table order,
// for the API description.
struct CommandKeyword {
    const char* keyword;
    CommandId id;
    int variant;
    const char* argument;  // what the argument is ("" for none), for the API description
};
const std::vector<CommandKeyword>& AutomationCommandKeywords();

// Numbers as the commands read them: the leading number of the text, 0 when there is none.
long CommandInteger(std::string_view text);
double CommandDecimal(std::string_view text);
// The argument split at blanks (runs of blanks are one separator).
std::vector<std::string> SplitCommandWords(std::string_view argument);

}  // namespace zeltrak
