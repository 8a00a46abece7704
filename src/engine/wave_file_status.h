#pragma once
#include <memory>
#include <utility>

#include "files/wave_file.h"
#include "platform/host.h"

namespace zeltrak {

// The shell's side of the wave files' messages: the files keep what they have to say, and
// these show it at the moment the user caused it.

// Shows what `file` has to tell, oldest first, with the empty caption the wave texts use.
void ShowWaveMessages(Host& host, TWaveFile& file);

// A wave file made from TWaveFile's constructor arguments, after what making it said is shown.
template <class... Args>
std::unique_ptr<TWaveFile> MakeWaveFile(Host& host, Args&&... args) {
    auto file = std::make_unique<TWaveFile>(std::forward<Args>(args)...);
    ShowWaveMessages(host, *file);
    return file;
}

// An untitled file in memory; the busy cursor shows while its buffer is had.
std::unique_ptr<TWaveFile> MakeMemoryWaveFile(Host& host, uint32_t frames, const SampleFormat& format);

// Sets the length of a memory buffer, with the busy cursor while it grows.
bool SetWaveLength(Host& host, TWaveData& wave, uint32_t frames);

// Saves `file` and shows what saving it said.
bool SaveWaveFile(Host& host, TWaveFile& file);

// Closes `file` when there is one, shows what closing it said, and lets it go.
void ReleaseWaveFile(Host& host, std::unique_ptr<TWaveFile>& file);

}  // namespace zeltrak
