#include "views/qt/desktop.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <clocale>
#include <cmath>
#include <cstdlib>

#include "files/ini_store.h"
#include "platform/app_paths.h"
#include "engine/wave_file_commands.h"
#include "platform/buffer_done_queue.h"
#include "views/desktop_layout.h"
#include "views/qt/generator_window.h"
#include "views/qt/macro_window.h"
#include "views/qt/reverb_window.h"
#include "views/qt/utility_tools.h"
#include "automation/command_interpreter.h"
#include "automation/net/automation_service.h"
#include "views/qt/desktop_automation.h"
#include "views/qt/main_window.h"
#include "views/qt/qt_host.h"

namespace zeltrak {

constexpr const char* kPhaseBlankDepthKey = "PhaseBlankDepth";
constexpr const char* kPhaseBlankCoherenceKey = "PhaseBlankCoherence";

void ReadSpectrumRange(const TIniStore& ini, DesktopSetup& setup) {
    const double start = ini.GetDouble("SpectrumOpts", "StartFreq", 10.0);
    const double stop = ini.GetDouble("SpectrumOpts", "StopFreq", kDefaultSpectrumStop);
    if (std::isfinite(start) && std::isfinite(stop) && start >= 0.0 && stop > start) {
        setup.spectrumStart = start;
        setup.spectrumStop = stop;
    }
}

void ReadPhaseBlankDepth(const TIniStore& ini, DesktopSetup& setup) {
    const double depth = ini.GetDouble("SpectrumOpts", kPhaseBlankDepthKey, setup.phaseBlankDepthDb);
    if (UsablePhaseBlankDepth(depth)) setup.phaseBlankDepthDb = depth;
}

void StorePhaseBlankDepth(double depthDb, TIniStore& ini) { ini.SetDouble("SpectrumOpts", kPhaseBlankDepthKey, depthDb); }

void ReadPhaseBlankCoherence(const TIniStore& ini, DesktopSetup& setup) {
    const double threshold = ini.GetDouble("SpectrumOpts", kPhaseBlankCoherenceKey, setup.phaseBlankCoherence);
    if (UsablePhaseBlankCoherence(threshold)) setup.phaseBlankCoherence = threshold;
}

void StorePhaseBlankCoherence(double threshold, TIniStore& ini) {
    ini.SetDouble("SpectrumOpts", kPhaseBlankCoherenceKey, threshold);
}

bool StoreDesktopSettings(Host& host, const ProcessingSettings& settings, const std::string& openFileName,
                          TIniStore& ini, const std::string& path) {
    // A settings file made read-only is kept as its owner wants it (the atomic replace would
    // otherwise swap it for a writable one, even for root).
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0)) {
        ShowMessage(host, "The settings file " + path + " is read-only; the settings were not saved.",
                    MessageIcon::Information);
        return false;
    }
    settings.Store(ini);
    ini.SetString("FileHistory", "OpenFileName", openFileName);
    // The first run has no configuration folder yet.
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) MakeDirectories(path.substr(0, slash));
    if (ini.SaveAs(path)) return true;
    ShowMessage(host, "The settings could not be saved to " + path + ".", MessageIcon::Warning);
    return false;
}

int RunDesktop(int& argc, char** argv, DesktopSetup& setup) {
    QApplication app(argc, argv);
    // Qt adopts the user's locale for the C library too; numbers in the settings file, logs and
    // entry fields are read and written with a decimal point whatever the desktop's language.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName("zeltrak");
    QtHost host;
    BufferDoneQueue queue;
    TEngine engine(host, *setup.driver, *setup.settings, &queue, setup.environment);
    if (setup.scaling) engine.SetScaling(setup.scaling);
    TMainWin window(host, engine, queue, *setup.settings, setup.spectrumStart, setup.spectrumStop, setup.calibration,
                    setup.environment.tempDir);
    if (setup.ini) {
        ReadPhaseBlankDepth(*setup.ini, setup);
        window.SetPhaseBlankDepthDb(setup.phaseBlankDepthDb);
        ReadPhaseBlankCoherence(*setup.ini, setup);
        window.SetPhaseBlankCoherence(setup.phaseBlankCoherence);
        window.RestoreLayout(ReadDesktopLayout(*setup.ini));
        window.GeneratorTool().UseSettings(*setup.ini);
        window.ReverbTool().UseSettings(*setup.ini);
        window.UtilityTools().UseSettings(*setup.ini, setup.settingsPath);
        window.MacroTool().UseSettings(*setup.ini);
        window.SetOnClose([&](const std::string& openFileName) {
            StoreDesktopLayout(window.Layout(), *setup.ini);
            StorePhaseBlankDepth(window.PhaseBlankDepthDb(), *setup.ini);
            StorePhaseBlankCoherence(window.PhaseBlankCoherence(), *setup.ini);
            StoreDesktopSettings(host, *setup.settings, openFileName, *setup.ini, setup.settingsPath);
        });
    }
    window.show();
    // The file that was open when the program last closed comes back.
    if (setup.ini) {
        const std::string last = setup.ini->GetString("FileHistory", "OpenFileName", "", 260);
        if (!last.empty()) window.Files().Open(last, OpenOrigin::Automation);
    }
    // Reopening a file leaves Real-Time mode; only a Real-Time start runs on its own.
    if (setup.runOnLaunch && setup.settings->Mode.OpMode == kModeRealTime) window.RunAnalyser();
    // Automation requests run on this thread between the window's own events.
    TDesktopShell automationShell(window);
    TCommandInterpreter interpreter(automationShell);
    // Macros send and read through the same interpreter as the automation server.
    window.MacroTool().SetAutomation(&interpreter);
    std::unique_ptr<TAutomationServer> server;
    if (setup.ini) {
        const EnginePost post = [&window](std::function<void()> work) {
            QMetaObject::invokeMethod(&window, std::move(work), Qt::QueuedConnection);
        };
        server = StartAutomationServer(*setup.ini, interpreter, post, host);
        if (server) host.SetStatusText("Automation server on port " + std::to_string(server->Port()));
    }
    interpreter.SetAdviseSink(server.get());
    const int status = app.exec();
    window.MacroTool().SetAutomation(nullptr);
    interpreter.SetAdviseSink(nullptr);
    server.reset();
    return status;
}

}  // namespace zeltrak
