// Drives a live analyser (a manual-clock Loopback card) with arbitrary command lines through the
// automation interpreter, reading every item after each. Beyond "no crash", the settings must
// stay within what the dialogs accept, the settings items must report the settings, and the
// pair items must read as numbers. File commands and leaving the program are not sent: they
// would act on the machine's files.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "automation/automation_items.h"
#include "automation/command_interpreter.h"
#include "engine/engine.h"
#include "engine/engine_loop.h"
#include "engine/processing_settings.h"
#include "files/calibration_record.h"
#include "platform/buffer_done_queue.h"
#include "platform/console_host.h"
#include "platform/loopback_driver.h"
#include "views/headless_shell.h"

#include "fuzz_check.h"

namespace {

using namespace zeltrak;

bool Sendable(std::string_view line) {
    const std::optional<AutomationCommand> c = ParseAutomationCommand(line);
    if (!c) return true;  // refused unparsed: harmless and worth sending
    return c->id < CommandId::FileOpen || c->id > CommandId::ExitApplication;
}

void CheckSettings(const ProcessingSettings& p) {
    const SettingsBlock& s = p.Settings();
    Check(s.FFTsize >= kSmallestFFTSize && s.FFTsize <= kMaxFFTSize && (s.FFTsize & (s.FFTsize - 1)) == 0);
    Check(s.OverlapPercent <= kMaxOverlapPercent);
    Check(s.DecimationRatio >= 1 && s.DecimationRatio <= kMaxDecimationRatio);
    Check(s.SmoothingWindow < 10);
    Check(s.AverageBlocks >= 1);
    Check(p.Trigger.Threshold <= kMaxTriggerThreshold);
    Check(s.format.rate > 0 && s.format.rate <= kMaxSamplingRate);
}

void CheckItems(TCommandInterpreter& interpreter, const ProcessingSettings& p) {
    Check(interpreter.Request("FFT Size") == std::to_string(p.Settings().FFTsize));
    for (int item : {kItemPeakFrequency, kItemPeakAmplitude, kItemTotalPower, kItemTHD, kItemSNR, kItemSFDR}) {
        const std::string text = *interpreter.Request(AutomationItemNames()[item]);
        char* end = nullptr;
        std::strtod(text.c_str(), &end);
        Check(end != text.c_str());
    }
    for (const char* name : AutomationItemNames()) Check(interpreter.Request(name).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static std::FILE* sink = std::fopen("/dev/null", "w");
    ConsoleHost host(sink);
    ProcessingSettings settings;
    settings.Settings().format = SampleFormat::Make(8000, 1, 2);
    settings.Settings().FFTsize = 256;
    settings.Mode.OpMode = kModeRealTime;
    settings.FileIO.RealTimeWaveBufferEnableFlag = 0;
    CalibrationRecord calibration;
    LoopbackDriver card({.clock = LoopbackConfig::Clock::Manual, .impulseResponse = {},
                         .source = LoopbackConfig::Source::Sine, .sineHz = 1000.0, .sineDb = -12.0});
    BufferDoneQueue queue;
    EngineEnvironment env;
    env.tempDir = env.waveDir = "/tmp";
    TEngine engine(host, card, settings, &queue, env);
    TEngineLoop loop(engine, queue);
    THeadlessShell shell(host, engine, settings, calibration, nullptr, env.tempDir);
    TCommandInterpreter interpreter(shell);

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (int lines = 0; start <= input.size() && lines < 12; ++lines) {
        std::size_t end = input.find('\n', start);
        if (end == std::string_view::npos) end = input.size();
        const std::string_view line = input.substr(start, end - start);
        start = end + 1;
        if (!Sendable(line)) continue;
        interpreter.Execute(line);
        for (int i = 0; i < 4 && engine.Running(); ++i) {
            card.Advance(256);
            loop.Pump(0);
        }
        CheckSettings(settings);
        CheckItems(interpreter, settings);
    }
    engine.Stop();
    return 0;
}
