#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/strings.h"
#include "dsp/spectral_data.h"
#include "engine/analyze_command.h"
#include "engine/command_line.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/engine_status.h"
#include "engine/processing_settings.h"
#include "engine/settings_report.h"
#include "files/wave_file.h"
#include "files/ini_store.h"
#include "platform/app_paths.h"
#include "platform/buffer_done_queue.h"
#include "platform/console_host.h"
#include "platform/portaudio/system_wave_driver.h"

namespace {

using namespace zeltrak;

std::atomic<bool> gInterrupted{false};

void OnSignal(int) { gInterrupted = true; }

void CatchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

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

EngineEnvironment Environment(const AppEnvironment& env, const TIniStore& ini) {
    EngineEnvironment e;
    e.waveDir = ResolveDataPath(env, ini.GetString("Paths", "Wav", "..\\.\\wave", 260));
    e.tempDir = ResolveDataPath(env, ini.GetString("Paths", "Tmp", "..\\.\\wave", 260));
    MakeDirectories(e.tempDir);
    e.calibrationEnabled = ini.GetInt("Calibration", "IsEnabled", 0) != 0;
    e.calRatioLeft = static_cast<float>(ini.GetDouble("Calibration", "CalRatioLeft", 1.0));
    e.calRatioRight = static_cast<float>(ini.GetDouble("Calibration", "CalRatioRight", 1.0));
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

int RunRealTime(const MainOptions& options, const AppEnvironment& env, const TIniStore& ini, ConsoleHost& host) {
    std::unique_ptr<WaveDriverChain> driver = CreateSystemWaveDriver(LoopbackSettings(ini, host));
    ProcessingSettings settings;
    settings.Load(ini, DeviceCounts{driver->DeviceCount(WaveDirection::Input), driver->DeviceCount(WaveDirection::Output)});
    settings.Mode.OpMode = kModeRealTime;
    BufferDoneQueue queue;
    TEngine engine(host, *driver, settings, &queue, Environment(env, ini));
    TEngineLoop loop(engine, queue);
    std::printf("%s\nReal-Time on input device %d \"%s\", %u Hz, %u channel(s), %u bits, FFT %u\n", kProgramTitle,
                engine.InputPort().DeviceId(), engine.InputPort().DeviceName().c_str(),
                settings.Settings().format.rate, settings.Settings().format.channels,
                settings.Settings().format.bitsPerSample, settings.Settings().FFTsize);
    std::fflush(stdout);
    CatchInterrupts();
    // The frame limit counts from zero: a limit of N - 1 stops after the Nth frame.
    const bool started = options.frames > 0 ? engine.RunFrames(options.frames - 1) : engine.Run();
    if (!started) return 1;
    using Clock = std::chrono::steady_clock;
    const auto begin = Clock::now();
    auto nextStatus = begin + std::chrono::seconds(1);
    while (engine.Running() && !gInterrupted) {
        loop.Pump(0);
        // Leave the core to the card between idle steps instead of re-analysing old data.
        loop.WaitForNotice(10);
        const auto now = Clock::now();
        if (now >= nextStatus) {
            std::printf("%s\n", EngineStatusLine(engine).c_str());
            std::fflush(stdout);
            nextStatus += std::chrono::seconds(1);
        }
        if (options.seconds > 0 && now - begin >= std::chrono::duration<double>(options.seconds)) break;
    }
    const bool wasRunning = engine.Running();
    if (wasRunning) engine.Stop();
    std::printf("%s\n", EngineStatusLine(engine).c_str());
    return 0;
}

int RunFile(const MainOptions& options, const TIniStore& ini, ConsoleHost& host) {
    ProcessingSettings settings;
    settings.Load(ini, DeviceCounts{});
    AnalyzeOptions a;
    a.input = options.file;
    a.output = "/dev/null";
    std::string error;
    // Analyse once for the numbers, then report them.
    auto file = std::make_unique<TWaveFile>(host, a.input, TWaveFile::kMemoryMode, false);
    if (file->Error()) return 1;
    if (!ApplyAnalyzeOptions(a, file->Format(), settings, error)) {
        std::fprintf(stderr, "zeltrak: %s\n", error.c_str());
        return 2;
    }
    LoopbackConfig quiet;
    quiet.clock = LoopbackConfig::Clock::Manual;
    LoopbackDriver card(quiet);
    TEngine engine(host, card, settings, nullptr);
    engine.SetWaveFile(std::move(file));
    const uint32_t length = engine.WaveFile()->Length();
    if (!engine.Run()) return 1;
    while (engine.FrameStep()) Progress(static_cast<int>(100.0 * engine.WaveFile()->Position() / std::max(length, 1u)));
    Progress(100);
    std::printf("%s\nFile %s: %u Hz, %u channel(s), %.3f s\n", kProgramTitle, a.input.c_str(),
                settings.Settings().format.rate, settings.Settings().format.channels,
                engine.WaveFile()->FramesToSeconds(length));
    std::printf("%s\n", EngineStatusLine(engine).c_str());
    const SettingsBlock& s = settings.Settings();
    for (const SpectrumColumn& c : ColumnsForMode(s.ChannelProcessing, s.format.channels == 2)) {
        if (const TSpectralData* sp = engine.Spectrum(c.index)) {
            const SpectrumPeak p = PeakOf(*sp);
            std::printf("%-18s averaged %u frames, peak %.2f Hz at %.2f dB\n", c.name, sp->Averaged(), p.frequency, p.db);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    MainOptions options;
    std::string error;
    if (!ParseMainArguments(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "zeltrak: %s\n%s", error.c_str(), kMainUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kMainUsage, stdout);
        return 0;
    }

    const AppEnvironment env = AppEnvironment::FromProcess();
    const std::string settingsPath = options.settingsFile.empty() ? SettingsFilePath(env) : options.settingsFile;
    ConsoleHost::QuestionPolicy policy = ConsoleHost::QuestionPolicy::Defaults;
    if (options.questions == MainOptions::Questions::Yes) policy = ConsoleHost::QuestionPolicy::AlwaysYes;
    if (options.questions == MainOptions::Questions::No) policy = ConsoleHost::QuestionPolicy::AlwaysNo;
    ConsoleHost host(stderr, policy);
    TIniStore ini;
    if (!ini.Load(settingsPath) && !options.settingsFile.empty())
        ShowMessage(host, "Settings file " + settingsPath + " not found; using the defaults.", MessageIcon::Information);

    if (options.subcommand == "analyze") {
        AnalyzeOptions a;
        if (!ParseAnalyzeArguments(options.subArguments, a, error)) {
            std::fprintf(stderr, "zeltrak analyze: %s\n%s", error.c_str(), kAnalyzeUsage);
            return 2;
        }
        if (a.help) {
            std::fputs(kAnalyzeUsage, stdout);
            return 0;
        }
        ProcessingSettings settings;
        settings.Load(ini, DeviceCounts{});
        const int status = RunAnalyze(a, settings, host, Progress, error);
        if (status != 0 && !error.empty()) std::fprintf(stderr, "zeltrak analyze: %s\n", error.c_str());
        return status;
    }
    if (options.report) {
        ProcessingSettings settings;
        settings.Load(ini, DeviceCounts{});
        std::printf("%s\n", kProgramTitle);
        std::printf("Settings file: %s\n\n", settingsPath.c_str());
        std::fputs(SettingsReport(settings).c_str(), stdout);
        return 0;
    }
    if (!options.file.empty()) return RunFile(options, ini, host);
    if (options.headless) return RunRealTime(options, env, ini, host);
    // The desktop application comes with the GUI; until then the headless analyser runs.
    std::fprintf(stderr, "zeltrak: no window system support in this build; running --headless\n");
    return RunRealTime(options, env, ini, host);
}
