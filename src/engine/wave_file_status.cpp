#include "engine/wave_file_status.h"

namespace zeltrak {

void ShowWaveMessages(Host& host, TWaveFile& file) {
    for (const WaveFileMessage& m : file.TakeMessages()) host.MessageBox(m.text, "", m.icon);
}

std::unique_ptr<TWaveFile> MakeMemoryWaveFile(Host& host, uint32_t frames, const SampleFormat& format) {
    BusyCursor busy(host);
    return MakeWaveFile(host, frames, format);
}

bool SetWaveLength(Host& host, TWaveData& wave, uint32_t frames) {
    if (frames <= wave.Length()) return wave.SetLength(frames);
    BusyCursor busy(host);
    return wave.SetLength(frames);
}

bool SaveWaveFile(Host& host, TWaveFile& file) {
    const bool saved = file.Save();
    ShowWaveMessages(host, file);
    return saved;
}

void ReleaseWaveFile(Host& host, std::unique_ptr<TWaveFile>& file) {
    if (!file) return;
    file->Close();
    ShowWaveMessages(host, *file);
    file.reset();
}

}  // namespace zeltrak
