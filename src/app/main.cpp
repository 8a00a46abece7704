#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "automation/net/ctl_command.h"
#include "base/strings.h"
#include "dsp/spectral_data.h"
#include "measure/compensation_curve.h"
#include "engine/analysis_reports.h"
#include "engine/analyze_command.h"
#include "engine/command_line.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/engine_status.h"
#include "engine/processing_settings.h"
#include "engine/settings_report.h"
#include "engine/spectrum_scaling.h"
#include "files/wave_file.h"
#include "files/ini_store.h"
#include "files/temp_files.h"
#include "generator/generate_command.h"
#include "automation/command_interpreter.h"
#include "automation/macro_settings.h"
#include "automation/net/automation_discovery.h"
#include "automation/net/automation_service.h"
#include "utilities/delay_command.h"
#include "utilities/delay_finder.h"
#include "utilities/dtmf_command.h"
#include "utilities/reverb_command.h"
#include "measure/calibration.h"
#include "measure/scaling_options.h"
#include "platform/app_paths.h"
#include "platform/buffer_done_queue.h"
#include "platform/console_host.h"
#include "platform/display.h"
#include "platform/task_queue.h"
#include "platform/wave_driver_chain.h"
#include "views/headless_macro.h"
#include "views/headless_shell.h"
#include "views/qt/desktop.h"
#include "module_loader.h"

namespace {

using namespace zeltrak;

std::atomic<bool> gInterrupted{false};

void OnSignal(int) { gInterrupted = true; }

void CatchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    // A closed terminal (HUP) ends the run like Ctrl-C, so that its files are closed and its
    // temporary files removed.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &sa, nullptr);
}

// 0 only when nothing went wrong: a run that showed a warning or an error (a lost device, a
// log that could not be written) ends with 1.
int Finished(int status, const ConsoleHost& host) { return status == 0 && host.FailureCount() > 0 ? 1 : status; }

// A bar on stderr, only when stderr is a terminal.
void Progress(int percent) {
    if (!::isatty(STDERR_FILENO)) return;
    const int width = 40;
    const int filled = percent * width / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%%", filled, "========================================", width - filled, "",
                 percent);
    if (percent >= 100) std::fputc('\n', stderr);
    std::fflush(stderr);
}

// The settings and calibration the analyser runs with: the settings file, then what the
// command line says.
struct ShellSettings {
    ProcessingSettings processing;
    CalibrationRecord calibration;
};

// A compensation curve that cannot be used would leave every reading uncompensated: say so
// before anything is analysed.
bool CompensationUsable(const ScalingBlock& scaling, Host& host) {
    if (!scaling.MicCompEnable) return true;
    for (const char* field : {scaling.MicCompFilenameLeft, scaling.MicCompFilenameRight}) {
        const std::string name = FieldText(field, kFileNameBytes);
        if (name.empty()) continue;
        std::vector<CurvePoint> points;
        const CurveFileStatus status = ReadCompensationFile(name, points);
        if (status != CurveFileStatus::Ok) {
            ShowMessage(host, CompensationMessage(status, name), MessageIcon::Error);
            return false;
        }
    }
    return true;
}

// Whether two paths name the same file (an output must never replace its own input).
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (std::filesystem::equivalent(a, b, ec)) return true;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec) && !ec;
}

// Values of the settings file that no dialog would accept run as their defaults; say which.
void ReportReplacedSettings(const std::vector<std::string>& notes, Host& host) {
    for (const std::string& note : notes) ShowMessage(host, "Settings file: " + note, MessageIcon::Information);
}

ShellSettings LoadShellSettings(const TIniStore& ini, DeviceCounts devices, const ScalingOptions& scaling,
                                Host& host) {
    ShellSettings shell;
    ReportReplacedSettings(shell.processing.Load(ini, devices), host);
    ReadSettingsCalibration(ini, shell.calibration);
    CopyScalingOptions(scaling, shell.processing.Scaling());
    if (scaling.calibration) shell.calibration = *scaling.calibration;
    return shell;
}

TAnalysisReports MakeReports(Host& host, const ReportOptions& options, const TIniStore& ini, const ShellSettings& shell) {
    MeasurementContext context;
    context.bandLowHz = options.band.bandLowHz;
    context.bandHighHz = options.band.bandHighHz;
    context.calibration = shell.calibration.IsEnabled ? &shell.calibration : nullptr;
    context.noiseFigurePolarity = static_cast<int>(ini.GetInt("ViewStatus", "NoiseFigurePolarity", 6));
    return TAnalysisReports(host, options, context, shell.processing.Scaling().StandardWeighting);
}

EngineEnvironment Environment(const AppEnvironment& env, const TIniStore& ini, const CalibrationRecord& calibration) {
    EngineEnvironment e;
    e.waveDir = ResolveDataPath(env, ini.GetString("Paths", "Wav", "..\\.\\wave", 260));
    e.tempDir = ResolveDataPath(env, ini.GetString("Paths", "Tmp", "..\\.\\wave", 260));
    MakeDirectories(e.tempDir);
    RemoveStaleTempFiles(e.tempDir);
    e.calibrationEnabled = calibration.IsEnabled != 0;
    e.calRatioLeft = e.calibrationEnabled ? calibration.CalRatioLeft : 1.0f;
    e.calRatioRight = e.calibrationEnabled ? calibration.CalRatioRight : 1.0f;
    e.calibration = calibration;
    return e;
}

// The Loopback card of a machine without sound hardware plays a 1 kHz tone at -6 dB full
// scale over a low noise floor, unless the [Loopback] section or ZELTRAK_LOOPBACK says otherwise.
LoopbackConfig LoopbackSettings(const TIniStore& ini, ConsoleHost& host) {
    LoopbackConfig c;
    c.clock = LoopbackConfig::Clock::RealTime;
    c.source = LoopbackConfig::Source::Sine;
    c.sineHz = 1000.0;
    c.sineDb = -6.0;
    c.noiseDb = -90.0;
    for (const std::string& bad : c.ApplyIni(ini.Text()))
        ShowMessage(host, "Loopback setting not understood: " + bad, MessageIcon::Information);
    for (const std::string& bad : c.ApplyEnvironment())
        ShowMessage(host, "ZELTRAK_LOOPBACK item not understood: " + bad, MessageIcon::Information);
    return c;
}

// The system's cards and the Loopback card, from the sound module; null (said on stderr) when
// the module cannot be used.
std::unique_ptr<WaveDriverChain> SystemWaveDriver(const TIniStore& ini, ConsoleHost& host) {
    std::string error;
    const SoundModuleEntry* sound = SoundModule(error);
    if (!sound) {
        std::fprintf(stderr, "zeltrak: no sound cards: %s\n", error.c_str());
        return nullptr;
    }
    return std::unique_ptr<WaveDriverChain>(sound->createSystemWaveDriver(LoopbackSettings(ini, host)));
}

// The [MacroOpts] a macro runs with; a first run has no macro folder yet, and its output would
// go nowhere.
MacroOptions HeadlessMacroOptions(const TIniStore& ini, const AppEnvironment& env) {
    const std::string directory = MacroDirectory(env, ini);
    MakeDirectories(directory);
    return MacroRunOptions(ReadMacroSettings(ini), directory);
}

// How long a headless run goes on: a macro to its end; else to its frame or time limit when one
// is given, else until Ctrl-C or "[Exit Application]" — while the automation server may still
// start another run.
struct HeadlessSession {
    const MainOptions& options;
    TEngine& engine;
    THeadlessShell& shell;
    THeadlessMacro* macro = nullptr;  // the command line's macro
    bool serving = false;

    bool Limited() const { return options.frames > 0 || options.seconds > 0; }
    bool GoesOn() const {
        if (gInterrupted || shell.ExitRequested()) return false;
        if (macro) return macro->Running();
        return engine.Running() || (serving && !Limited());
    }
};

void PrintStatus(TEngine& engine, const TAnalysisReports& reports) {
    std::printf("%s\n", EngineStatusLine(engine).c_str());
    reports.PrintMeasurements(stdout);
    std::fflush(stdout);
}

void RunHeadlessLoop(HeadlessSession& session, TEngineLoop& loop, TTaskQueue& tasks, const TAnalysisReports& reports) {
    using Clock = std::chrono::steady_clock;
    const MainOptions& options = session.options;
    TEngine& engine = session.engine;
    const auto begin = Clock::now();
    auto nextStatus = begin + std::chrono::seconds(1);
    const auto stopAt = begin + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(options.seconds));
    while (session.GoesOn()) {
        tasks.RunPending();
        session.shell.IdlePass();
        // The macro takes its line before the analyser its frame.
        if (session.macro) session.macro->Step();
        if (!session.GoesOn()) break;
        loop.Pump(0);  // also the notices a stop left behind, which would otherwise keep the wait short
        // Sleep until the card completes the next frame, a notice or a request comes, or the status line is due.
        const auto wakeBy = options.seconds > 0 ? std::min(nextStatus, stopAt) : nextStatus;
        const auto toStatus = std::chrono::duration_cast<std::chrono::milliseconds>(wakeBy - Clock::now());
        // A macro's next line is due at once; its waits are checked every 10 ms.
        const int64_t macroMs = !session.macro ? 1000 : session.macro->LineDue() ? 0 : 10;
        loop.WaitForWork(10, static_cast<uint32_t>(std::clamp<int64_t>(toStatus.count() + 1, 0, macroMs)));
        const auto now = Clock::now();
        if (now >= nextStatus) {
            if (engine.Running() && !session.macro) PrintStatus(engine, reports);
            nextStatus += std::chrono::seconds(1);
        }
        if (options.seconds > 0 && now - begin >= std::chrono::duration<double>(options.seconds)) break;
    }
}

// What the analyser without a window does first: the command line's macro, or a Real-Time
// run. False when neither could start (a run that failed still leaves the server to serve).
bool StartHeadlessWork(HeadlessSession& session, THeadlessMacro& macro) {
    const MainOptions& options = session.options;
    if (!options.macroFile.empty()) {
        std::string error;
        if (!macro.Load(options.macroFile, error)) {
            std::fprintf(stderr, "zeltrak: %s\n", error.c_str());
            return false;
        }
        session.macro = &macro;
        return macro.Start();
    }
    // The frame limit counts from zero: a limit of N - 1 stops after the Nth frame.
    const bool started = options.frames > 0 ? session.shell.RunFrames(options.frames - 1) : session.shell.Run();
    return started || session.serving;
}

int RunRealTime(const CommandLine& line, const AppEnvironment& env, const TIniStore& ini, ConsoleHost& host) {
    const MainOptions& options = line.main;
    std::unique_ptr<WaveDriverChain> driver = SystemWaveDriver(ini, host);
    if (!driver) return 1;
    ShellSettings shell = LoadShellSettings(
        ini, DeviceCounts{driver->DeviceCount(WaveDirection::Input), driver->DeviceCount(WaveDirection::Output)},
        line.scaling, host);
    ProcessingSettings& settings = shell.processing;
    settings.Mode.OpMode = kModeRealTime;
    if (!CompensationUsable(settings.Scaling(), host)) return 1;
    BufferDoneQueue queue;
    const EngineEnvironment environment = Environment(env, ini, shell.calibration);
    TEngine engine(host, *driver, settings, &queue, environment);
    TShellScaling spectrumScaling(settings, shell.calibration);
    engine.SetScaling(&spectrumScaling);
    TAnalysisReports reports = MakeReports(host, line.reports, ini, shell);
    if (!reports.Attach(engine)) return 1;
    TEngineLoop loop(engine, queue);
    THeadlessShell automationShell(host, engine, settings, shell.calibration, &reports.Logger(), environment.tempDir,
                                   &ini);
    TCommandInterpreter interpreter(automationShell);
    TTaskQueue tasks([&queue] { queue.Wake(); });
    std::unique_ptr<TAutomationServer> server =
        StartAutomationServer(ini, interpreter, [&tasks](std::function<void()> work) { tasks.Post(std::move(work)); }, host);
    interpreter.SetAdviseSink(server.get());
    // A macro's output alone goes to stdout; the banner then goes to stderr.
    std::FILE* banner = options.macroFile.empty() ? stdout : stderr;
    std::fprintf(banner, "%s\nReal-Time on input device %d \"%s\", %u Hz, %u channel(s), %u bits, FFT %u\n", kProgramTitle,
                engine.InputPort().DeviceId(), engine.InputPort().DeviceName().c_str(),
                settings.Settings().format.rate, settings.Settings().format.channels,
                settings.Settings().format.bitsPerSample, settings.Settings().FFTsize);
    if (server)
        std::fprintf(banner, "Automation server on %s (discovery file %s)\n",
                    ServerUrl(ReadAutomationSettings(ini).addresses.front(), server->Port()).c_str(),
                    DefaultDiscoveryPath().c_str());
    std::fflush(stdout);
    // The macro's output lines go to stdout as they are written.
    THeadlessMacro macro(interpreter, host, HeadlessMacroOptions(ini, env), [](const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    });
    automationShell.SetMacro(&macro);
    CatchInterrupts();
    HeadlessSession session{options, engine, automationShell, nullptr, server != nullptr};
    if (!StartHeadlessWork(session, macro)) return 1;
    RunHeadlessLoop(session, loop, tasks, reports);
    // Ctrl-C ends a macro as its Stop does: the output file closed with what was written.
    macro.Stop();
    automationShell.SetMacro(nullptr);
    interpreter.SetAdviseSink(nullptr);
    server.reset();
    if (engine.Running()) engine.Stop();
    reports.Detach();
    if (options.macroFile.empty()) PrintStatus(engine, reports);
    return 0;
}

#ifdef ZELTRAK_HAVE_GUI
// The desktop window on the system's cards (the Loopback card last), Real-Time mode.
int RunDesktopShell(const DesktopModuleEntry& desktop, int& argc, char** argv, const ScalingOptions& scaling,
                    const AppEnvironment& env, TIniStore& ini, const std::string& settingsPath, ConsoleHost& host) {
    std::unique_ptr<WaveDriverChain> driver = SystemWaveDriver(ini, host);
    if (!driver) return 1;
    ShellSettings shell = LoadShellSettings(
        ini, DeviceCounts{driver->DeviceCount(WaveDirection::Input), driver->DeviceCount(WaveDirection::Output)},
        scaling, host);
    TShellScaling spectrumScaling(shell.processing, shell.calibration);
    DesktopSetup setup;
    setup.driver = driver.get();
    setup.settings = &shell.processing;
    setup.scaling = &spectrumScaling;
    setup.calibration = &shell.calibration;
    setup.environment = Environment(env, ini, shell.calibration);
    setup.ini = &ini;
    setup.settingsPath = settingsPath;
    setup.runOnLaunch = ini.GetInt("FileIO", "RunOnLaunch", 0) == 1 && shell.processing.Mode.OpMode == kModeRealTime;
    return desktop.run(argc, argv, setup);
}
#endif

int RunFile(const CommandLine& line, const TIniStore& ini, ConsoleHost& host) {
    const ShellSettings shell = LoadShellSettings(ini, DeviceCounts{}, line.scaling, host);
    if (!CompensationUsable(shell.processing.Scaling(), host)) return 1;
    TFileAnalysis analysis(host, shell.processing, shell.calibration);
    TAnalysisReports reports = MakeReports(host, line.reports, ini, shell);
    AnalyzeOptions a;
    a.input = line.main.file;
    std::string error;
    int status = 0;
    if (!analysis.Open(a, error, status)) {
        if (!error.empty()) std::fprintf(stderr, "zeltrak: %s\n", error.c_str());
        return status;
    }
    if (!reports.Attach(analysis.Engine()) || !analysis.RunToEnd(Progress)) return 1;
    reports.Detach();
    TEngine& engine = analysis.Engine();
    const SettingsBlock& s = analysis.Settings().Settings();
    std::printf("%s\nFile %s: %u Hz, %u channel(s), %.3f s\n", kProgramTitle, a.input.c_str(), s.format.rate,
                s.format.channels, engine.WaveFile()->FramesToSeconds(engine.WaveFile()->Length()));
    std::printf("%s\n", EngineStatusLine(engine).c_str());
    for (const SpectrumColumn& c : ColumnsForMode(ChannelModeFromCode(s.ChannelProcessing), s.format.channels == 2)) {
        if (const TSpectralData* sp = engine.Spectrum(c.index)) {
            const SpectrumPeak p = PeakOf(*sp);
            std::printf("%-18s averaged %u frames, peak %.2f Hz at %.2f %s\n", c.name, sp->Averager().Averaged(), p.frequency,
                        p.value, p.unit.c_str());
        }
    }
    reports.PrintMeasurements(stdout);
    return 0;
}

// "zeltrak analyze": the whole file as CSV, then the measurements.
int RunAnalyzeCommand(const CommandLine& line, const TIniStore& ini, ConsoleHost& host) {
    const ShellSettings shell = LoadShellSettings(ini, DeviceCounts{}, line.scaling, host);
    if (!CompensationUsable(shell.processing.Scaling(), host)) return 1;
    TAnalysisReports reports = MakeReports(host, line.reports, ini, shell);
    std::string error;
    const int status = RunAnalyze(line.analyze, shell.processing, shell.calibration, host, Progress, error, &reports);
    if (status != 0 && !error.empty()) std::fprintf(stderr, "zeltrak analyze: %s\n", error.c_str());
    return status;
}

// "zeltrak generate": the signal to a wave file, or played on the configured output device.
int RunGenerateCommand(const CommandLine& line, const TIniStore& ini, ConsoleHost& host) {
    const GenerateOptions& options = line.generate;
    ProcessingSettings settings;
    ReportReplacedSettings(settings.Load(ini, DeviceCounts{}), host);
    GenerateSetup setup;
    std::string error;
    if (!MakeGenerateSetup(options, ini, settings.Settings().format, setup, error)) {
        std::fprintf(stderr, "zeltrak generate: %s\n", error.c_str());
        return 2;
    }
    if (!options.play) {
        std::string summary;
        if (!WriteGeneratedSignal(options, setup, summary, error)) {
            std::fprintf(stderr, "zeltrak generate: %s\n", error.c_str());
            return 1;
        }
        std::printf("%s\n", summary.c_str());
        return 0;
    }
    std::unique_ptr<WaveDriverChain> driver = SystemWaveDriver(ini, host);
    if (!driver) return 1;
    settings.Load(ini, DeviceCounts{driver->DeviceCount(WaveDirection::Input), driver->DeviceCount(WaveDirection::Output)});
    const AnalyserOutput& format = setup.format.analyser;
    settings.Settings().format = SampleFormat::Make(format.rate, format.channels, format.bytesPerSample);
    TEngine engine(host, *driver, settings, nullptr);
    TSignalGenerator generator(host, engine, static_cast<int32_t>(settings.Device.OutputDeviceID), ini, setup.settings,
                               setup.format.rateKey);
    CatchInterrupts();
    const bool played = PlayGeneratedSignal(options, generator, [] { return gInterrupted.load(); },
                                            [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    if (!played) return 1;
    const SampleFormat& f = generator.OutputFormat();
    std::printf("Played %s on output device %d, %u Hz, %u channel(s), %u bits\n", options.type.c_str(),
                generator.DeviceId(), f.rate, f.channels, f.bitsPerSample);
    return 0;
}

// "zeltrak dtmf|delay|reverb FILE.wav": a measurement utility on a recording.
int RunReverbFile(const UtilityOptions& u, const TIniStore& ini, ConsoleHost& host, std::string& error) {
    ReverbOptions options;
    ReadReverbOptions(ini, options);
    if (u.smoothing) options.smoothing = static_cast<ReverbSmoothing>(*u.smoothing);
    if (u.extrapolation) options.extrapolation = static_cast<ReverbExtrapolation>(*u.extrapolation);
    if (u.maxDecaySeconds) options.maxDecayTime = *u.maxDecaySeconds;
    return RunReverbCommand(u.input, options, stdout, host, error);
}

int RunDelayFile(const UtilityOptions& u, const TIniStore& ini, std::string& error) {
    DelayFinderOptions options = ReadDelayFinderOptions(ini);
    if (u.maxDelayMs) options.maxDelayMs = *u.maxDelayMs;
    if (u.speedOfSound) options.speedOfSoundFtPerS = static_cast<float>(*u.speedOfSound);
    return RunDelayCommand(u.input, options, stdout, error);
}

int RunUtilityCommand(const CommandLine& line, const TIniStore& ini, ConsoleHost& host) {
    const UtilityOptions& u = line.utility;
    std::string error;
    int status = 1;
    switch (u.kind) {
        case UtilityOptions::Kind::Dtmf: status = RunDtmfCommand(u.input, stdout, host, error); break;
        case UtilityOptions::Kind::Reverb: status = RunReverbFile(u, ini, host, error); break;
        case UtilityOptions::Kind::Delay: status = RunDelayFile(u, ini, error); break;
        default: break;
    }
    if (status != 0 && !error.empty()) std::fprintf(stderr, "zeltrak: %s\n", error.c_str());
    return status;
}

int PrintSettingsReport(const TIniStore& ini, const std::string& settingsPath, Host& host) {
    ProcessingSettings settings;
    ReportReplacedSettings(settings.Load(ini, DeviceCounts{}), host);
    std::printf("%s\n", kProgramTitle);
    std::printf("Settings file: %s\n\n", settingsPath.c_str());
    std::fputs(SettingsReport(settings).c_str(), stdout);
    return 0;
}

// A usage error: the message, and where the options are listed.
int Refused(const CommandLine& line, const std::string& error) {
    const char* command = line.main.analyze ? "zeltrak analyze" : line.main.generate ? "zeltrak generate" : "zeltrak";
    std::fprintf(stderr, "%s: %s\n(%s --help lists the options)\n", command, error.c_str(), command);
    return 2;
}

ConsoleHost::QuestionPolicy QuestionPolicyOf(MainOptions::Questions questions) {
    switch (questions) {
        case MainOptions::Questions::Yes: return ConsoleHost::QuestionPolicy::AlwaysYes;
        case MainOptions::Questions::No: return ConsoleHost::QuestionPolicy::AlwaysNo;
        default: return ConsoleHost::QuestionPolicy::Defaults;
    }
}

// A settings file the command line names must be usable for a batch analysis, which must not
// quietly run on other settings (a directory "loads" as an empty document); elsewhere the
// defaults stand in for it, with a note.
bool LoadSettingsFile(const MainOptions& options, const std::string& path, TIniStore& ini, Host& host) {
    const bool loaded = ini.Load(path);
    if (options.settingsFile.empty()) return true;
    std::error_code ec;
    if ((options.analyze || options.generate) && !(loaded && std::filesystem::is_regular_file(path, ec))) {
        std::fprintf(stderr, "zeltrak %s: cannot read the settings file '%s'\n",
                     options.analyze ? "analyze" : "generate", path.c_str());
        return false;
    }
    if (!loaded) {
        const char* why = std::filesystem::exists(path, ec)
                              ? " cannot be read (it must be a regular file of at most 16 MiB)"
                              : " not found";
        ShowMessage(host, "Settings file " + path + why + "; using the defaults.", MessageIcon::Information);
    }
    return true;
}

// An output of the run (the CSV, the log) must never replace the file it analyses.
bool OverwritesInput(const CommandLine& line) {
    const std::string& input = line.main.analyze ? line.analyze.input : line.main.file;
    if (input.empty()) return false;
    const bool output = line.main.analyze && !line.analyze.output.empty() && SameFile(line.analyze.output, input);
    if (!output && !(line.reports.Logs() && SameFile(line.reports.logSettings.LogFileName, input))) return false;
    std::fprintf(stderr, "zeltrak: %s would overwrite the file being analysed, %s\n", output ? "-o" : "--log",
                 input.c_str());
    return true;
}

int RunCommand(const CommandLine& line, const AppEnvironment& env, TIniStore& ini, const std::string& settingsPath,
               ConsoleHost& host, int& argc, char** argv) {
    if (line.main.analyze) return Finished(RunAnalyzeCommand(line, ini, host), host);
    if (line.main.generate) return Finished(RunGenerateCommand(line, ini, host), host);
    if (line.utility.kind != UtilityOptions::Kind::None) return Finished(RunUtilityCommand(line, ini, host), host);
    if (line.main.report) return PrintSettingsReport(ini, settingsPath, host);
    if (!line.main.file.empty()) return Finished(RunFile(line, ini, host), host);
    if (line.main.headless || !line.main.macroFile.empty()) return Finished(RunRealTime(line, env, ini, host), host);
#ifdef ZELTRAK_HAVE_GUI
    if (DisplayAvailable()) {
        std::string error;
        const DesktopModuleEntry* desktop = DesktopModule(error);
        if (!desktop) {
            std::fprintf(stderr, "zeltrak: cannot open the window: %s\n", error.c_str());
            return 1;
        }
        return RunDesktopShell(*desktop, argc, argv, line.scaling, env, ini, settingsPath, host);
    }
    std::fprintf(stderr, "zeltrak: no display found; running --headless\n");
#else
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "zeltrak: no window system support in this build; running --headless\n");
#endif
    return Finished(RunRealTime(line, env, ini, host), host);
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), line, error)) return Refused(line, error);
    if (!line.help.empty()) {
        std::fputs(line.help.c_str(), stdout);
        return 0;
    }
    if (line.ctl.action != CtlOptions::Action::None) return RunCtlCommand(line.ctl, stdout, stderr);
    const AppEnvironment env = AppEnvironment::FromProcess();
    const std::string settingsPath = line.main.settingsFile.empty() ? SettingsFilePath(env) : line.main.settingsFile;
    ConsoleHost host(stderr, QuestionPolicyOf(line.main.questions));
    TIniStore ini;
    if (!LoadSettingsFile(line.main, settingsPath, ini, host)) return 2;
    // The logging options refine the settings file's logging section.
    line.reports.logSettings.Load(ini);
    line.reports.logging.ApplyTo(line.reports.logSettings);
    if (OverwritesInput(line)) return 2;
    return RunCommand(line, env, ini, settingsPath, host, argc, argv);
}
