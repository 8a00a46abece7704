#include "automation/automation_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "base/strings.h"

namespace zeltrak {

namespace {

using C = CommandId;

// Keywords end in "]" (no argument), in a blank (the argument follows directly) or in neither
// (the argument follows after one blank).
constexpr CommandKeyword kKeywords[] = {
    // Run and transport.
    {"[Run]", C::Run, 0, ""},
    {"[Run ", C::RunCount, 0, "n (integer)"},
    {"[Single Step]", C::SingleStep, 0, ""},
    {"[Stop]", C::Stop, 0, ""},
    {"[Rewind]", C::Rewind, 0, ""},
    {"[Fast Forward]", C::FastForward, 0, ""},
    {"[Record]", C::Record, 0, ""},
    {"[Play]", C::Play, 0, ""},
    {"[Go To ", C::GoTo, 0, "t (decimal seconds)"},
    {"[Reset Average]", C::ResetAverage, 0, ""},
    {"[Trigger]", C::Trigger, 0, ""},
    {"[Reset Overload]", C::ResetOverload, 0, ""},
    // Settings.
    {"[Peak Hold On]", C::PeakHold, 1, ""},
    {"[Enable Peak Hold]", C::PeakHold, 1, ""},
    {"[Peak Hold Off]", C::PeakHold, 0, ""},
    {"[Disable Peak Hold]", C::PeakHold, 0, ""},
    {"[Average Size ", C::AverageSize, 0, "n (integer)"},
    {"[Set Average Size ", C::AverageSize, 0, "n (integer)"},
    {"[Set Average Type ", C::AverageType, 0, "Exponential, Linear or Vector"},
    {"[Set Channel", C::Channel, 0,
     "Left, Right, Both, Average, Transfer LR, Transfer RL, Coherence, Transfer LR+C or Transfer RL+C"},
    {"[FFT Overlap ", C::FftOverlap, 0, "n (integer percent)"},
    {"[Set FFT Overlap ", C::FftOverlap, 0, "n (integer percent)"},
    {"[FFT Size ", C::FftSize, 0, "n (integer)"},
    {"[Set FFT Size ", C::FftSize, 0, "n (integer)"},
    {"[Mode Real Time]", C::Mode, 1, ""},
    {"[Mode Recorder]", C::Mode, 3, ""},
    {"[Mode Post Processing]", C::Mode, 2, ""},
    {"[Set Sampling Rate ", C::SamplingRate, 0, "n (integer Hz)"},
    {"[Set Decimation Ratio ", C::DecimationRatio, 0, "n (integer)"},
    {"[Window Bartlett]", C::Window, 0, ""},
    {"[Window Blackman]", C::Window, 1, ""},
    {"[Window Flat Top]", C::Window, 2, ""},
    {"[Window Hamming]", C::Window, 3, ""},
    {"[Window Hanning]", C::Window, 4, ""},
    {"[Window Kaiser]", C::Window, 5, ""},
    {"[Window Parzen]", C::Window, 6, ""},
    {"[Window Triangular]", C::Window, 7, ""},
    {"[Window Uniform]", C::Window, 8, ""},
    {"[Set Amplitude Scaling Type ", C::AmplitudeScaling, 0, "Linear or Log"},
    {"[Set Frequency Scaling Type ", C::FrequencyScaling, 0, "Linear, Log or Octave"},
    {"[Set Octave ", C::Octave, 0, "n (integer, bandwidth 1/n octave)"},
    {"[Set Spectrum Weighting ", C::SpectrumWeighting, 0, "Flat, A, B or C (case matters)"},
    {"[Set PSD Type ", C::PsdType, 0, "0 or 1"},
    {"[Enable PSD]", C::Psd, 1, ""},
    {"[Disable PSD]", C::Psd, 0, ""},
    {"[Set Mic Compensation File ", C::MicFile, 0, "file name"},
    {"[Set Left Mic Compensation File", C::MicFile, 1, "file name"},
    {"[Set Right Mic Compensation File", C::MicFile, 2, "file name"},
    {"[Enable Mic Compensation]", C::MicCompensation, 1, ""},
    {"[MicCompensation Enable]", C::MicCompensation, 1, ""},
    {"[Disable Mic Compensation]", C::MicCompensation, 0, ""},
    {"[MicCompensation Disable]", C::MicCompensation, 0, ""},
    {"[Trigger On]", C::TriggerEnable, 1, ""},
    {"[Trigger Off]", C::TriggerEnable, 0, ""},
    {"[Trigger ReArm On]", C::TriggerReArm, 1, ""},
    {"[Trigger ReArm Off]", C::TriggerReArm, 0, ""},
    {"[Trigger Threshold ", C::TriggerThreshold, 0, "n (integer percent)"},
    {"[Set Delay ", C::Delay, 0, "ms (decimal)"},
    {"[Set Input Device ", C::InputDevice, 0, "n (integer)"},
    {"[Set Output Device ", C::OutputDevice, 0, "n (integer)"},
    {"[Marker1", C::Marker, 1, "f (decimal Hz)"},
    {"[Marker2", C::Marker, 2, "f (decimal Hz)"},
    {"[Marker3", C::Marker, 3, "f (decimal Hz)"},
    {"[Marker4", C::Marker, 4, "f (decimal Hz)"},
    {"[Marker5", C::Marker, 5, "f (decimal Hz)"},
    {"[Marker6", C::Marker, 6, "f (decimal Hz)"},
    {"[Spectrum Freq Span ", C::FreqSpan, kViewSpectrum, "lo hi (integers)"},
    {"[Phase Freq Span ", C::FreqSpan, kViewPhase, "lo hi (integers)"},
    {"[Spectrogram Freq Span ", C::FreqSpan, kViewSpectrogram, "lo hi (integers)"},
    {"[Surface Freq Span ", C::FreqSpan, kViewSurface, "lo hi (integers)"},
    {"[Set Time Segment ", C::TimeSegment, 0, "t1 t2 (decimal seconds)"},
    {"[Set Annotation Line1 ", C::Annotation, 1, "text"},
    {"[Set Annotation Line2 ", C::Annotation, 2, "text"},
    // Files.
    {"[File Open", C::FileOpen, 0, "file name"},
    {"[File Save", C::FileSave, 0, "file name"},
    {"[File Close]", C::FileClose, 0, ""},
    {"[File Delete ", C::FileDelete, 0, "file name"},
    {"[File Decimate ", C::FileDecimate, 0, "file name, ratio"},
    {"[File Merge ", C::FileMerge, 0, "two file names"},
    {"[UseTempFile ", C::UseTempFile, 0, "wave file, left, right, linear label, log label (comma-separated)"},
    {"[Save Calibration ", C::SaveCalibration, 0, "file name"},
    {"[Calibrate]", C::Calibrate, 0, ""},
    {"[Set DataLogging File ", C::LogFile, 0, "file name"},
    {"[Enable DataLogging]", C::Logging, 1, ""},
    {"[Logging On]", C::Logging, 1, ""},
    {"[Disable DataLogging]", C::Logging, 0, ""},
    {"[Logging Off]", C::Logging, 0, ""},
    {"[Exit Application]", C::ExitApplication, 0, ""},
    // Windows, views and tools.
    {"[Hide Window]", C::MainWindow, kWindowHide, ""},
    {"[Show Window]", C::MainWindow, kWindowShow, ""},
    {"[Minimize Window]", C::MainWindow, kWindowMinimize, ""},
    {"[Restore Window]", C::MainWindow, kWindowRestore, ""},
    {"[Maximize Window]", C::MainWindow, kWindowMaximize, ""},
    {"[Cascade Windows]", C::Arrange, 0, ""},
    {"[Tile Windows Vertical]", C::Arrange, 1, ""},
    {"[Tile Windows Horizontal]", C::Arrange, 2, ""},
    {"[Open Time Series]", C::ViewOpen, kViewTimeSeries, ""},
    {"[Close Time Series]", C::ViewClose, kViewTimeSeries, ""},
    {"[Restore Time Series]", C::ViewRestore, kViewTimeSeries, ""},
    {"[Maximize Time Series]", C::ViewMaximize, kViewTimeSeries, ""},
    {"[Open Spectrum]", C::ViewOpen, kViewSpectrum, ""},
    {"[Close Spectrum]", C::ViewClose, kViewSpectrum, ""},
    {"[Restore Spectrum]", C::ViewRestore, kViewSpectrum, ""},
    {"[Maximize Spectrum]", C::ViewMaximize, kViewSpectrum, ""},
    {"[Open Phase]", C::ViewOpen, kViewPhase, ""},
    {"[Close Phase]", C::ViewClose, kViewPhase, ""},
    {"[Restore Phase]", C::ViewRestore, kViewPhase, ""},
    {"[Maximize Phase]", C::ViewMaximize, kViewPhase, ""},
    {"[Open Spectrogram]", C::ViewOpen, kViewSpectrogram, ""},
    {"[Close Spectrogram]", C::ViewClose, kViewSpectrogram, ""},
    {"[Restore Spectrogram]", C::ViewRestore, kViewSpectrogram, ""},
    {"[Maximize Spectrogram]", C::ViewMaximize, kViewSpectrogram, ""},
    {"[Open Surface]", C::ViewOpen, kViewSurface, ""},
    {"[Close Surface]", C::ViewClose, kViewSurface, ""},
    {"[Restore Surface]", C::ViewRestore, kViewSurface, ""},
    {"[Maximize Surface]", C::ViewMaximize, kViewSurface, ""},
    {"[Print Time Series]", C::ViewPrint, kViewTimeSeries, ""},
    {"[Print Spectrum]", C::ViewPrint, kViewSpectrum, ""},
    {"[Print Phase]", C::ViewPrint, kViewPhase, ""},
    {"[Print Spectrogram]", C::ViewPrint, kViewSpectrogram, ""},
    {"[Print 3D Surface]", C::ViewPrint, kViewSurface, ""},
    {"[Copy to Clipboard as Bitmap]", C::CopyBitmap, 0, ""},
    {"[Hide Menu]", C::Furniture, kFurnitureMenu, ""},
    {"[Show Menu]", C::Furniture, kFurnitureMenu, "", true},
    {"[Hide Toolbar]", C::Furniture, kFurnitureToolbar, ""},
    {"[Show Toolbar]", C::Furniture, kFurnitureToolbar, "", true},
    {"[Hide Statusbar]", C::Furniture, kFurnitureStatusbar, ""},
    {"[Show Statusbar]", C::Furniture, kFurnitureStatusbar, "", true},
    {"[Hide Plot Toolbars]", C::Furniture, kFurniturePlotToolbars, ""},
    {"[Show Plot Toolbars]", C::Furniture, kFurniturePlotToolbars, "", true},
    {"[Open Generator]", C::Generator, kToolOpen, ""},
    {"[Close Generator]", C::Generator, kToolClose, ""},
    {"[Start Generator]", C::Generator, kToolStart, ""},
    {"[Stop Generator]", C::Generator, kToolStop, ""},
    {"[Set Generator Type ", C::GeneratorType, 0, "left or right, then the signal type's name"},
    {"[Set Generator Tone ", C::GeneratorTone, 0, "channel, frequency, amplitude"},
    {"[Set Generator Wave File ", C::GeneratorWaveFile, 0, "channel, file name"},
    {"[Save Generator Signal as Wave ", C::SaveGeneratorSignal, 0, "file name"},
    {"[Open DelayFinder]", C::DelayFinder, 0, ""},
    {"[Close DelayFinder]", C::DelayFinder, 1, ""},
    {"[Apply DelayFinder]", C::DelayFinder, 2, ""},
    {"[Set Overlay ", C::Overlay, 0, "n (integer)"},
    {"[Show Overlay ", C::Overlay, 1, "n (integer)"},
    {"[Hide Overlay ", C::Overlay, 2, "n (integer)"},
    {"[Open Reverb]", C::Reverb, kToolOpen, ""},
    {"[Close Reverb]", C::Reverb, kToolClose, ""},
    {"[Start Reverb]", C::Reverb, kToolStart, ""},
    {"[Save Reverb", C::SaveReverb, 0, "file name"},
    {"[Open Macro]", C::Macro, kToolOpen, ""},
    {"[Close Macro]", C::Macro, kToolClose, ""},
    {"[Start Macro]", C::Macro, kToolStart, ""},
    {"[Stop Macro]", C::Macro, kToolStop, ""},
    {"[Open Macro File", C::OpenMacroFile, 0, "file name containing .mac"},
    {"[Pass String ", C::PassString, 0, "text"},
};

bool StartsWithIgnoreCase(std::string_view text, std::string_view head) {
    return text.size() >= head.size() && EqualsIgnoreCase(text.substr(0, head.size()), head);
}

bool TakesNoArgument(std::string_view keyword) { return keyword.back() == ']'; }

// Opening, closing, starting and stopping a tool may be abbreviated to a leading part.
bool IsToolCommand(const CommandKeyword& k) {
    const bool tool = k.id == C::Generator || k.id == C::Reverb || k.id == C::Macro ||
                      (k.id == C::DelayFinder && k.variant != 2);
    return tool && TakesNoArgument(k.keyword);
}

// Where the argument of `text` starts when it carries `keyword`, or nothing when it does not.
std::optional<std::size_t> ArgumentStart(std::string_view text, std::string_view keyword) {
    if (TakesNoArgument(keyword)) {
        if (EqualsIgnoreCase(text, keyword)) return text.size();
        return std::nullopt;
    }
    if (!StartsWithIgnoreCase(text, keyword)) return std::nullopt;
    if (keyword.back() == ' ') return keyword.size();
    // "[Marker10 5]" must not read as marker 1 at "5", so the one blank has to be a blank.
    if (text.size() > keyword.size() && text[keyword.size()] == ' ') return keyword.size() + 1;
    return std::nullopt;
}

// The longest keyword the text carries: no keyword is then shadowed by a shorter one that is its
// leading part, whatever the table order.
const CommandKeyword* LongestMatch(std::string_view text, std::size_t& argumentStart) {
    const CommandKeyword* best = nullptr;
    for (const CommandKeyword& k : kKeywords) {
        const std::string_view keyword = k.keyword;
        if (best && keyword.size() <= std::string_view(best->keyword).size()) continue;
        if (auto start = ArgumentStart(text, keyword)) {
            best = &k;
            argumentStart = *start;
        }
    }
    return best;
}

// A text that is a leading part of exactly one tool command. An ambiguous part ("[Stop",
// "[Open ") or an empty one selects nothing rather than whichever tool comes first.
const CommandKeyword* AbbreviatedTool(std::string_view text) {
    if (text.empty()) return nullptr;
    const CommandKeyword* found = nullptr;
    for (const CommandKeyword& k : kKeywords) {
        if (!IsToolCommand(k) || !StartsWithIgnoreCase(k.keyword, text)) continue;
        if (found) return nullptr;
        found = &k;
    }
    return found;
}

std::string_view TrimTerminators(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == '\0'))
        text.remove_suffix(1);
    return text;
}

AutomationCommand MakeCommand(const CommandKeyword& k, std::string_view argument) {
    return AutomationCommand{k.id, k.variant, std::string(argument), k.on};
}

std::string_view SkipSpaces(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\n\v\f\r");
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// from_chars takes no '+'; a leading one is dropped when a digit or point follows.
std::string_view NumberText(std::string_view text) {
    text = SkipSpaces(text);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    return text;
}

}  // namespace

const std::vector<CommandKeyword>& AutomationCommandKeywords() {
    static const std::vector<CommandKeyword> keywords(std::begin(kKeywords), std::end(kKeywords));
    return keywords;
}

// A text cut short or without its closing bracket is refused rather than read as a shorter
// argument: a truncated file name could name, and then delete or overwrite, another file.
std::optional<AutomationCommand> ParseAutomationCommand(std::string_view text) {
    text = TrimTerminators(text);
    if (text.empty() || text.size() > kMaxCommandText) return std::nullopt;
    if (const CommandKeyword* tool = AbbreviatedTool(text)) return MakeCommand(*tool, {});
    if (text.back() != ']') return std::nullopt;
    std::size_t start = 0;
    const CommandKeyword* k = LongestMatch(text, start);
    if (!k) return std::nullopt;
    const std::string_view argument = start < text.size() ? text.substr(start, text.size() - 1 - start) : "";
    if (argument.size() > kMaxCommandArgument) return std::nullopt;
    return MakeCommand(*k, argument);
}

long CommandInteger(std::string_view text) {
    text = NumberText(text);
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range)
        return text.front() == '-' ? std::numeric_limits<long>::min() : std::numeric_limits<long>::max();
    return error == std::errc() ? value : 0;
}

// Locale-independent, so a decimal comma setting never changes what "0.5" means. Infinities,
// NaN and values beyond the range of double count as not a number.
double CommandDecimal(std::string_view text) {
    text = NumberText(text);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && std::isfinite(value) ? value : 0.0;
}

std::vector<std::string> SplitCommandWords(std::string_view argument) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while ((pos = argument.find_first_not_of(" \t", pos)) != std::string_view::npos) {
        const std::size_t end = std::min(argument.find_first_of(" \t", pos), argument.size());
        words.emplace_back(argument.substr(pos, end - pos));
        pos = end;
    }
    return words;
}

}  // namespace zeltrak
