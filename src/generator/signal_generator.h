#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "files/wave_data.h"
#include "generator/generator_settings.h"
#include "generator/signal_synthesis.h"
#include "measure/generator_hook.h"

namespace zeltrak {

class TIniStore;

// What the output format is made from: the analyser's format and the generator's own rate
// setting (0: the analyser's rate).
struct GeneratorFormatInputs {
    AnalyserOutput analyser;
    uint32_t rateKey = 0;
};

struct GeneratorSignal {
    std::unique_ptr<TWaveData> buffer;  // null when it could not be built
    SampleFormat format;
    std::string message;  // why not, for the user
};

// The generator's own sampling rate setting; 0: the analyser's rate.
uint32_t GeneratorRateSetting(const TIniStore& ini);

// Builds the loopable buffer of both channels (only channel 0 in mono) in the output format.
GeneratorSignal BuildGeneratorSignal(const GeneratorSettings& settings, const GeneratorFormatInputs& inputs,
                                     DitherSource& dither, const SynthesisProgress& progress = {});

// The two-channel test-signal generator: builds one loopable buffer for both channels in the
// output format from each channel's signal and the output level, and plays it on its own output
// port, in a loop or once. Every change rebuilds the buffer while stopped and returns to the
// play state it had. All calls belong to the engine's thread.
class TSignalGenerator final : public GeneratorHook {
public:
    // Reads its settings from `ini` (the program's initialisation file) and builds the first
    // signal. The engine must outlive the generator.
    TSignalGenerator(Host& host, TEngine& engine, int32_t deviceId, const TIniStore& ini);
    // The same with the signal settings and the generator's rate (0: the analyser's) given.
    TSignalGenerator(Host& host, TEngine& engine, int32_t deviceId, const TIniStore& ini,
                     const GeneratorSettings& settings, uint32_t rateKey);
    ~TSignalGenerator() override;
    TSignalGenerator(const TSignalGenerator&) = delete;
    TSignalGenerator& operator=(const TSignalGenerator&) = delete;

    // The settings as they stand, for the window and for writing back at close.
    const GeneratorSettings& Settings() const { return settings_; }
    void WriteSettings(TIniStore& ini) const { WriteGeneratorSettings(settings_, ini); }

    // Builds the buffer for the current settings; false (with the user told where there is
    // something to tell) when nothing can play.
    bool BuildSignal();
    // Plays the buffer (the Run button, "[Start Generator]"); false when there is nothing to play.
    bool Run();
    // Stops playback (the Stop button, "[Stop Generator]").
    void Stop();
    bool Playing() const { return playing_; }
    // Requeues halves for devices that cannot loop one buffer and ends a play-once signal
    // when the card is done with it; the owner calls it from its timer or idle step.
    void Poll();

    // Changes; each rebuilds the signal and resumes playback if it was playing.
    void SetSignal(int channel, const SignalSetup& setup);
    void SetLevel(const OutputLevelSetup& level);
    void SetTypeByName(std::string_view name, int channel);
    // One tone on the channel: every slot off, slot 0 at the frequency and level (clamped to
    // 0..R/2 and -96..0 dB), type Multiple Tones.
    void SetTone(double frequencyHz, double levelDb, int channel);
    // Stops and stores the file of the channel's User Defined signal.
    void SetWaveFile(const std::string& path, int channel);
    // Another output device; the same device only rebuilds when the analyser's format changed.
    void SetDevice(int32_t deviceId);
    bool SaveSignalAsWave(const std::string& path);

    // The output's volume as the window's slider shows it (0..99, 99 the quietest); -1 when
    // the device has no volume control.
    int VolumeSlider();
    void SetVolumeSlider(int position);

    const TWaveData* Buffer() const { return buffer_.get(); }
    const SampleFormat& OutputFormat() const { return format_; }
    // The highest frequency a parameter may take: the output rate's Nyquist frequency.
    uint32_t MaxFrequency() const { return format_.rate / 2; }
    bool Stereo() const;
    int32_t DeviceId() const { return deviceId_; }
    // The message of the last failed build or run (User Defined file, output port).
    const std::string& LastMessage() const { return lastMessage_; }

    // GeneratorHook: the acquisition loop starts and stops the open generator with its run.
    bool Active() const override { return true; }
    void StartWithRun() override;
    void StopWithRun() override;
    int32_t OutputDeviceId() const override { return deviceId_; }
    uint32_t StartDelayMilliseconds() const override;

private:
    GeneratorFormatInputs FormatInputs() const;
    bool Synthesize();
    bool QueueBuffer();
    bool QueueHalf(int slot);
    bool PlaysOnce() const;
    void StopOutput();
    // Runs `change` stopped, rebuilds, and resumes playback if it was playing.
    template <class F>
    void Rebuilding(F change);

    Host& host_;
    TEngine& engine_;
    int32_t deviceId_;
    GeneratorSettings settings_;
    uint32_t rateKey_ = 0;          // [Settings] GeneratorSamplingRate, 0: the analyser's rate
    uint32_t duplexDelayMs_ = 50;   // [FileIO] DuplexDelay
    std::unique_ptr<TSoundOutput> output_;
    std::unique_ptr<TWaveData> buffer_;
    SampleFormat format_;
    SeededDither dither_;
    std::string lastMessage_;
    bool playing_ = false;
    bool halves_ = false;       // queued as two halves that are requeued in turn
    bool waitingForLoop_ = false;  // paused until the acquisition loop starts it
};

}  // namespace zeltrak
