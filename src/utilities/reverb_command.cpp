#include "utilities/reverb_command.h"

#include <cstdio>

#include "files/wave_file.h"
#include "platform/host.h"
#include "utilities/reverb_strings.h"

namespace zeltrak {

namespace {

// Passes everything through to the shell's host except messages, which become the
// command's error text.
class MessageCapture : public Host {
public:
    MessageCapture(Host& host, std::string& error) : host_(host), error_(error) {}
    void MessageBox(const std::string& text, const std::string&, MessageIcon) override { error_ = text; }
    Answer AskYesNo(const std::string& t, const std::string& c) override { return host_.AskYesNo(t, c); }
    Answer AskYesNoCancel(const std::string& t, const std::string& c) override { return host_.AskYesNoCancel(t, c); }
    void SetStatusText(const std::string& text) override { host_.SetStatusText(text); }
    void ShowProgress(bool visible) override { host_.ShowProgress(visible); }
    void SetProgress(int percent) override { host_.SetProgress(percent); }
    void SetBusyCursor(bool busy) override { host_.SetBusyCursor(busy); }
    bool PollCancelRequest() override { return host_.PollCancelRequest(); }
    bool SetClipboardText(const std::string& text) override { return host_.SetClipboardText(text); }
    bool SetClipboardWave(const std::vector<uint8_t>& riff) override { return host_.SetClipboardWave(riff); }
    bool SetClipboardLink(const std::string& link) override { return host_.SetClipboardLink(link); }
    std::string ClipboardText() override { return host_.ClipboardText(); }
    bool StartProgram(const std::string& p, const std::string& a) override { return host_.StartProgram(p, a); }
    int64_t WallClockSeconds() override { return host_.WallClockSeconds(); }
    uint32_t TickMilliseconds() override { return host_.TickMilliseconds(); }
    void SleepMilliseconds(uint32_t ms) override { host_.SleepMilliseconds(ms); }

private:
    Host& host_;
    std::string& error_;
};

void AppendTime(std::string& line, float seconds, bool shown) {
    char text[32];
    if (shown && seconds >= 0.0f)
        std::snprintf(text, sizeof text, "\t%.3f", seconds);
    else
        std::snprintf(text, sizeof text, "\t-");
    line += text;
}

}  // namespace

std::string ReverbBandTable(const ReverbData& data) {
    // Each column from its own drop: the extrapolation rules overwrite measured times (t30
    // becomes 1.5 t20 under RT 20), so the analysis's own results cannot give both.
    ReverbData rt20 = data, rt30 = data;
    ComputeReverbTimes(rt20, ReverbExtrapolation::RT20);
    ComputeReverbTimes(rt30, ReverbExtrapolation::RT30);
    std::string table = std::string(kReverbTableHeader) + "\n";
    for (int b = 0; b < data.bandCount; ++b) {
        const ReverbBandResult& r = data.results[b];
        char band[32];
        if (r.frequency > 0.0f)
            std::snprintf(band, sizeof band, "%.1f", r.frequency);
        else
            std::snprintf(band, sizeof band, "%s", kReverbWidebandLabel);
        std::string line = band;
        AppendTime(line, rt20.results[b].time[5], rt20.results[b].extrapolated[1] == 0);
        AppendTime(line, rt30.results[b].time[5], rt30.results[b].extrapolated[2] == 0);
        AppendTime(line, r.time[5], true);
        line += '\t';
        for (int32_t flag : r.extrapolated) line += flag ? 'x' : 'm';
        table += line + "\n";
    }
    return table;
}

int RunReverbCommand(const std::string& wavPath, const ReverbOptions& options, std::FILE* out, Host& host,
                     std::string& error) {
    TWaveFile wave(wavPath, TWaveFile::kMemoryMode, false);
    if (wave.Error()) {
        for (const WaveFileMessage& m : wave.TakeMessages()) error = m.text;
        if (error.empty()) error = "cannot read " + wavPath;
        return 1;
    }
    MessageCapture capture(host, error);
    ReverbData data;
    if (AnalyseReverbRecording(wave, options, data, capture) != ReverbOutcome::Done) {
        if (error.empty()) error = "the analysis was cancelled";
        return 1;
    }
    std::fputs(ReverbBandTable(data).c_str(), out);
    return 0;
}

}  // namespace zeltrak
