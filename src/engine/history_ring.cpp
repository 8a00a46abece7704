#include "engine/history_ring.h"

#include <algorithm>
#include <vector>

#include "base/numeric.h"
#include "engine/wave_file_status.h"
#include "files/wave_file.h"

namespace zeltrak {

std::unique_ptr<TWaveFile> THistoryRing::Create(const SettingsBlock& s, const FileIOBlock& io) {
    wrapPosition_ = 0;
    const double lapSeconds = std::max(io.RealTimeWaveBufferLengthSecs - 1, 1);
    const uint32_t capacity = TruncToUint32(lapSeconds * 1.1 * s.format.rate);
    std::unique_ptr<TWaveFile> file;
    if (io.WaveFileMode == TWaveFile::kDiskMode)
        file = MakeWaveFile(host_, s.format, false, env_.tempDir);
    else
        file = MakeMemoryWaveFile(host_, capacity, s.format);
    if (file->Error()) return nullptr;
    file->SetFullScale(env_.FullScale(0), env_.FullScale(1));
    historyLimit_ = TruncToUint32(lapSeconds * s.format.rate);
    return file;
}

void THistoryRing::Append(TWaveFile& f, const uint8_t* bytes, uint32_t frames) {
    const bool memory = f.StorageMode() == TWaveFile::kMemoryMode;
    if (memory && frames > f.Length()) {
        // Only the newest part of a block longer than the whole history can be kept.
        bytes += f.FramesToBytes(frames - f.Length());
        frames = f.Length();
    }
    // A block that would run past the end of a memory history starts the next lap early, so
    // that no captured sample is dropped.
    if (memory && f.Position() + static_cast<uint64_t>(frames) > f.Length()) {
        wrapPosition_ = f.Position();
        f.Rewind();
    }
    std::vector<uint8_t> copy(bytes, bytes + f.FramesToBytes(frames));
    if (!f.WriteBytes(copy.data(), static_cast<uint32_t>(copy.size()))) return;
    if (f.Position() >= historyLimit_) {
        wrapPosition_ = f.Position();
        f.Rewind();
    }
}

namespace {

// Copies frames [from, to) of `old` to the end of `fresh`.
bool CopyFrames(TWaveFile& old, TWaveFile& fresh, uint32_t from, uint32_t to) {
    const uint32_t step = 65536;
    std::vector<uint8_t> block;
    for (uint32_t at = from; at < to; at += step) {
        const uint32_t n = std::min(step, to - at);
        block.resize(old.FramesToBytes(n));
        old.Seek(at);
        old.ReadBytes(block.data(), static_cast<uint32_t>(block.size()));
        if (!fresh.WriteBytes(block.data(), static_cast<uint32_t>(block.size()))) return false;
    }
    return true;
}

}  // namespace

void THistoryRing::Unwrap(std::unique_ptr<TWaveFile>& file) {
    if (wrapPosition_ == 0) {
        // Not yet round the ring: the history is what was recorded; the room after it holds
        // no signal and must not be analysed as silence once the buffer is kept as a file.
        TWaveFile& history = *file;
        if (history.Length() > history.Position()) history.SetLength(history.Position());
        history.Rewind();
        return;
    }
    TWaveFile& old = *file;
    const uint32_t now = old.Position();
    // Oldest first: the rest of the previous lap after the write position, then this lap.
    uint32_t firstStart = now, firstEnd = wrapPosition_;
    if (now >= wrapPosition_) firstStart = firstEnd = 0;
    const uint64_t total = static_cast<uint64_t>(firstEnd - firstStart) + now;
    std::unique_ptr<TWaveFile> fresh;
    if (old.StorageMode() == TWaveFile::kDiskMode)
        fresh = MakeWaveFile(host_, old.Format(), false, env_.tempDir);
    else
        fresh = MakeMemoryWaveFile(host_, static_cast<uint32_t>(total), old.Format());
    if (fresh->Error()) return;
    if (!CopyFrames(old, *fresh, firstStart, firstEnd) || !CopyFrames(old, *fresh, 0, now)) return;
    fresh->SetFullScale(env_.FullScale(0), env_.FullScale(1));
    fresh->Rewind();
    ReleaseWaveFile(host_, file);
    file = std::move(fresh);
    wrapPosition_ = 0;
}

}  // namespace zeltrak
