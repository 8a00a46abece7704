#include "views/qt/desktop_automation.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "base/strings.h"
#include "generator/signal_generator.h"
#include "generator/signal_types.h"
#include "views/generator_commands.h"
#include "views/qt/delay_finder_window.h"
#include "views/qt/generator_window.h"
#include "views/qt/macro_window.h"
#include "views/qt/main_window.h"
#include "views/qt/plot_view.h"
#include "views/qt/qt_host.h"
#include "views/qt/reverb_window.h"
#include "views/qt/utility_tools.h"

namespace zeltrak {
namespace {

using View = TMainWin::View;

// The views the window has; the spectrogram and the surface are not built yet.
std::optional<View> WindowView(int view) {
    switch (view) {
        case kViewTimeSeries: return View::TimeSeries;
        case kViewSpectrum: return View::Spectrum;
        case kViewPhase: return View::Phase;
        default: return std::nullopt;
    }
}

std::string_view Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Open, close, start and stop of a tool window whose Run and Stop are its buttons' own.
template <typename Tool>
bool ToolAction(Tool& tool, int action) {
    switch (action) {
        case kToolOpen: return tool.Open() != nullptr;
        case kToolClose: tool.Close(); return true;
        case kToolStart: return tool.Window() && tool.Window()->Run();
        case kToolStop:
            if (!tool.Window()) return false;
            tool.Window()->Stop();
            return true;
        default: return false;
    }
}

}  // namespace

TEngine& TDesktopShell::Engine() { return window_.Engine(); }
ProcessingSettings& TDesktopShell::Settings() { return window_.Settings(); }
CalibrationRecord& TDesktopShell::Calibration() { return window_.Calibration(); }
TWaveFileCommands& TDesktopShell::Files() { return window_.Files(); }
Host& TDesktopShell::UserHost() { return window_.UserHost(); }

bool TDesktopShell::Run() { return window_.RunAnalyser(); }
bool TDesktopShell::RunFrames(uint32_t limit) { return window_.RunAnalyserFrames(limit); }
bool TDesktopShell::SingleStep() { return window_.SingleStep(); }
void TDesktopShell::Stop() { window_.StopAnalyser(); }
bool TDesktopShell::Rewind() { return window_.Rewind(); }
bool TDesktopShell::FastForward() { return window_.FastForward(); }
bool TDesktopShell::GoTo(double seconds) { return window_.GoTo(seconds); }
bool TDesktopShell::Record() { return window_.Record(); }
bool TDesktopShell::Play() { return window_.Play(); }
void TDesktopShell::SelectMode(uint32_t mode) { window_.SelectMode(mode); }
void TDesktopShell::ChangeSettings(const std::function<void()>& change) { window_.ChangeSettings(change); }
void TDesktopShell::CalibrationChanged() { window_.CalibrationChanged(); }
// After this event: the command's answer goes out before the window and the server close.
void TDesktopShell::Exit() {
    QMetaObject::invokeMethod(&window_, [this] { window_.close(); }, Qt::QueuedConnection);
}

bool TDesktopShell::FrontEndCommand(const AutomationCommand& command) {
    const int v = command.variant;
    const std::string_view arg = command.argument;
    switch (command.id) {
        case CommandId::MainWindow: return MainWindow(v);
        case CommandId::Arrange: return Arrange(v);
        case CommandId::ViewOpen:
        case CommandId::ViewClose:
        case CommandId::ViewRestore:
        case CommandId::ViewMaximize: return ViewCommand(command.id, v);
        case CommandId::CopyBitmap: return CopyBitmap();
        case CommandId::Furniture: return Furniture(v, command.on);
        case CommandId::FreqSpan: return FreqSpan(v, arg);
        case CommandId::Generator: return Generator(v);
        case CommandId::GeneratorType:
        case CommandId::GeneratorTone:
        case CommandId::GeneratorWaveFile: return GeneratorSetting(command);
        case CommandId::SaveGeneratorSignal: return SaveGeneratorSignal(arg);
        case CommandId::DelayFinder: return DelayFinder(v);
        case CommandId::Reverb: return Reverb(v);
        case CommandId::SaveReverb: return SaveReverb(arg);
        case CommandId::Macro: return Macro(v);
        case CommandId::OpenMacroFile: return OpenMacroFile(arg);
        default: return false;  // printing and overlays are not part of the desktop yet
    }
}

double TDesktopShell::DelayFound() const {
    const TDelayFinderWindow* finder = window_.UtilityTools().DelayFinderWindow();
    return finder ? finder->Finder().DelayMs() : 0.0;
}

int TDesktopShell::MacroStatus() const { return window_.MacroTool().Status(); }

bool TDesktopShell::MainWindow(int state) {
    switch (state) {
        case kWindowHide: window_.hide(); return true;
        case kWindowShow: window_.show(); return true;
        case kWindowMinimize: window_.showMinimized(); return true;
        case kWindowRestore: window_.showNormal(); return true;
        case kWindowMaximize: window_.showMaximized(); return true;
        default: return false;
    }
}

bool TDesktopShell::Arrange(int arrangement) {
    constexpr ViewArrangement kArrangements[] = {ViewArrangement::Cascade, ViewArrangement::TileVertical,
                                                 ViewArrangement::TileHorizontal};
    if (arrangement < 0 || arrangement > 2) return false;
    window_.ArrangeViews(kArrangements[arrangement]);
    return true;
}

bool TDesktopShell::ViewCommand(CommandId id, int view) {
    const std::optional<View> shown = WindowView(view);
    if (!shown) return false;
    switch (id) {
        case CommandId::ViewOpen: return window_.OpenView(*shown) != nullptr;
        case CommandId::ViewClose: window_.CloseView(*shown); return true;
        case CommandId::ViewRestore: return window_.RestoreView(*shown);
        case CommandId::ViewMaximize: return window_.MaximizeView(*shown);
        default: return false;
    }
}

bool TDesktopShell::CopyBitmap() {
    const QImage image = window_.ViewsImage();
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (image.isNull() || !clipboard) return false;
    clipboard->setImage(image);
    return true;
}

bool TDesktopShell::Furniture(int which, bool show) {
    switch (which) {
        case kFurnitureMenu: window_.ShowBar(TMainWin::Bar::Menu, show); return true;
        case kFurnitureToolbar: window_.ShowBar(TMainWin::Bar::Tool, show); return true;
        case kFurnitureStatusbar: window_.ShowBar(TMainWin::Bar::Status, show); return true;
        default: return false;  // the plot views have no tool bars
    }
}

bool TDesktopShell::FreqSpan(int view, std::string_view argument) {
    // Only the frequency views; the time series' axis is time.
    if (view != kViewSpectrum && view != kViewPhase) return false;
    auto* plot = static_cast<TPlotView*>(window_.ViewWidget(*WindowView(view)));
    const std::vector<std::string> words = SplitCommandWords(argument);
    if (!plot || words.size() < 2) return false;
    const long lo = CommandInteger(words[0]), hi = CommandInteger(words[1]);
    if (lo >= hi) return false;
    plot->RestoreRange(TUserRange{{static_cast<double>(lo), static_cast<double>(hi)}, plot->UserRange().values});
    return true;
}

bool TDesktopShell::Generator(int action) { return ToolAction(window_.GeneratorTool(), action); }

// The settings the generator window shows: changed as the headless program changes them, then shown.
bool TDesktopShell::GeneratorSetting(const AutomationCommand& command) {
    TGeneratorWindow* window = window_.GeneratorTool().Window();
    if (!window || !CarryGeneratorCommand(window->Generator(), command)) return false;
    window->Refresh();
    return true;
}

bool TDesktopShell::SaveGeneratorSignal(std::string_view argument) {
    const std::string_view path = Trimmed(argument);
    return !path.empty() && window_.GeneratorTool().SaveSignalToWave(std::string(path));
}

bool TDesktopShell::DelayFinder(int action) {
    TUtilityTools& tools = window_.UtilityTools();
    switch (action) {
        case 0: return tools.DelayFinder().Open() != nullptr;
        case 1: tools.DelayFinder().Close(); return true;
        case 2:
            if (!tools.DelayFinderWindow()) return false;
            tools.DelayFinderWindow()->Apply();
            return true;
        default: return false;
    }
}

bool TDesktopShell::Reverb(int action) {
    TReverbTool& tool = window_.ReverbTool();
    switch (action) {
        case kToolOpen: return tool.Open() != nullptr;
        case kToolClose: tool.Close(); return true;
        case kToolStart: return tool.Window() && tool.Window()->Start();
        default: return false;
    }
}

bool TDesktopShell::SaveReverb(std::string_view argument) {
    TReverbWindow* window = window_.ReverbTool().Window();
    const std::string_view path = Trimmed(argument);
    return window && !path.empty() && window->Save(std::string(path));
}

bool TDesktopShell::OpenMacroFile(std::string_view argument) {
    const std::string path(Trimmed(argument));
    return path.find(".mac") != std::string::npos && window_.MacroTool().RunFile(path);
}

bool TDesktopShell::Macro(int action) { return ToolAction(window_.MacroTool(), action); }

}  // namespace zeltrak
