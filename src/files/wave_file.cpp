#include "files/wave_file.h"

#include "base/text_format.h"
#include "files/atomic_file.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "base/numeric.h"
#include "files/temp_files.h"
#include "files/wave_strings.h"
#include "platform/input_file.h"

namespace zeltrak {

namespace {

constexpr uint16_t kTagPcm = 1;
// Tail chunks kept in memory while the data chunk changes length (LIST chunks, our
// calibration chunk); more than this and the change is refused rather than risk them.
constexpr uint64_t kMaxTailBytes = 64ull << 20;

// The 16-byte body of a plain PCM "fmt " chunk.
void PcmFormatBody(const SampleFormat& format, uint8_t (&body)[16]) {
    PutLE16(body, kTagPcm);
    PutLE16(body + 2, format.channels);
    PutLE32(body + 4, format.rate);
    PutLE32(body + 8, format.BytesPerSecond());
    PutLE16(body + 12, static_cast<uint16_t>(format.BlockAlign()));
    PutLE16(body + 14, format.bitsPerSample);
}

bool CopyDescriptor(int in, int out) {
    std::vector<uint8_t> block(1u << 20);
    off_t offset = 0;
    for (;;) {
        ssize_t got = ::pread(in, block.data(), block.size(), offset);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        for (ssize_t put = 0; put < got;) {
            ssize_t n = ::pwrite(out, block.data() + put, static_cast<size_t>(got - put), offset + put);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            put += n;
        }
        offset += got;
    }
}

// Float samples of `width` bytes as the 32-bit integers they are held as: +-1.0 is the 32-bit
// full scale; overs saturate at the integer limits.
void ConvertFloatSamples(const uint8_t* in, unsigned width, uint64_t count, uint8_t* out) {
    const double scale = static_cast<double>(SampleFormat::Make(1, 1, 4).maxValue);
    for (uint64_t i = 0; i < count; ++i) {
        double v;
        if (width == 4) {
            v = std::bit_cast<float>(GetLE32(in + i * 4));
        } else {
            const uint8_t* p = in + i * 8;
            v = std::bit_cast<double>(uint64_t{GetLE32(p)} | uint64_t{GetLE32(p + 4)} << 32);
        }
        EncodeSample(out + i * 4, 4, TruncToInt32(v * scale));
    }
}

}  // namespace

std::string TWaveFile::SystemTempDir() {
    const char* dir = std::getenv("TMPDIR");
    return (dir && *dir) ? dir : "/tmp";
}

// ---------------------------------------------------------------------------------------
// Construction

TWaveFile::TWaveFile(const std::string& fileName, uint16_t storageMode, bool makeBackup, const std::string& tempDir) {
    storageMode_ = storageMode == kDiskMode || storageMode == kStreamMode ? storageMode : uint16_t{kMemoryMode};
    makeBackup_ = makeBackup ? 1 : 0;
    tempDir_ = tempDir.empty() ? SystemTempDir() : tempDir;
    fileName_ = fileName;

    if (storageMode_ == kMemoryMode) {
        RiffFile file;
        if (!file.Open(fileName, RiffFile::OpenMode::Read)) {
            FailOpen(fileName);
            return;
        }
        ReadCalibrationChunk(file);
        WaveLayout layout;
        if (!ParseLayout(file, layout)) return;
        if (!LoadIntoMemory(file, layout)) return;
        if (layout.cutShort) ReportCutShort();
    } else if (storageMode_ == kStreamMode ? !OpenStream(fileName) : !OpenDisk(fileName)) {
        return;
    }
    writtenLength_ = length_;
    position_ = 0;
    modified_ = 0;
}

TWaveFile::TWaveFile(uint32_t frames, const SampleFormat& format) : TWaveData(frames, format) {
    tempDir_ = SystemTempDir();
    untitled_ = 1;
}

TWaveFile::TWaveFile(const SampleFormat& format, bool makeBackup, const std::string& tempDir) {
    format_ = format;
    SetFullScale(1.0f, 1.0f);
    storageMode_ = kDiskMode;
    makeBackup_ = makeBackup ? 1 : 0;
    tempDir_ = tempDir.empty() ? SystemTempDir() : tempDir;

    int fd = MakeTempFile(workingName_);
    if (fd < 0) {
        FailOpen(TempFilePattern(tempDir_));
        return;
    }
    file_.Adopt(fd);
    workingIsTemp_ = true;

    riff_ = RiffChunk{};
    riff_.formType = kFourCCWave;
    RiffChunk fmt;
    fmt.id = kFourCCFmt;
    uint8_t body[16];
    PcmFormatBody(format_, body);
    data_ = RiffChunk{};
    data_.id = kFourCCData;
    bool ok = file_.CreateChunk(riff_, RiffFile::kCreateRiff) && file_.CreateChunk(fmt) &&
              file_.Write(body, sizeof body) == sizeof body && file_.Ascend(fmt) && file_.CreateChunk(data_);
    // The form is valid from the first moment: RIFF size covers the empty data chunk.
    data_.created = false;
    riff_.created = false;
    riff_.size = static_cast<uint32_t>(data_.dataOffset - riff_.dataOffset);
    ok = ok && file_.WriteLE32At(riff_.dataOffset - 4, riff_.size);
    if (!ok) {
        Fail(kStrWaveWriteFailure);
        CloseWorking(false);
        return;
    }
    dataOffset_ = static_cast<int64_t>(data_.dataOffset);
    untitled_ = 1;
    newFile_ = 1;
}

TWaveFile::~TWaveFile() { Close(); }

void TWaveFile::Close() {
    if (!file_.IsOpen()) return;
    if (!workingIsTemp_ && storageMode_ == kDiskMode) FinishWorkingFile();
    CloseWorking(true);
}

// ---------------------------------------------------------------------------------------
// Messages

std::vector<WaveFileMessage> TWaveFile::TakeMessages() { return std::exchange(messages_, {}); }

void TWaveFile::Tell(const std::string& text, MessageIcon icon) { messages_.push_back({text, icon}); }

void TWaveFile::Fail(const std::string& text) {
    error_ = true;
    Tell(text);
}

void TWaveFile::FailFormat(const std::string& reason) {
    Fail(reason.empty() ? std::string(kStrWaveFormatInvalid) : std::string(kStrWaveFormatInvalid) + ": " + reason);
}

void TWaveFile::FailOpen(const std::string& name) { Fail(FormatText(kStrWaveOpenFailure, name)); }

void TWaveFile::ReportCutShort() {
    char text[256];
    std::snprintf(text, sizeof text, kStrWaveCutShort, length_);
    Tell(text, MessageIcon::Information);
}

// ---------------------------------------------------------------------------------------
// Reading

bool TWaveFile::ParseLayout(RiffFile& file, WaveLayout& layout) {
    std::string reason;
    if (ParseWaveLayout(file, layout, reason)) return true;
    FailFormat(reason);
    return false;
}

bool TWaveFile::LoadIntoMemory(RiffFile& file, const WaveLayout& layout) {
    format_ = layout.format;
    SetFullScale(1.0f, 1.0f);
    const uint64_t sourceFrameBytes = uint64_t{layout.format.channels} * layout.sourceBytesPerSample;
    const uint64_t frames = layout.data.size / sourceFrameBytes;
    const uint64_t bytes = frames * format_.BlockAlign();
    if (frames == 0) {
        FailFormat("the \"data\" chunk holds no samples.");
        return false;
    }
    if (!AllocateBuffer(bytes)) {
        char text[128];
        std::snprintf(text, sizeof text, kStrWaveNoMemory, static_cast<long>(bytes));
        Fail(text);
        return false;
    }
    if (!layout.isFloat) {
        if (!file.ReadAt(layout.data.dataOffset, buffer_, bytes)) {
            FreeBuffer();
            FailFormat("the samples could not be read to their end.");
            return false;
        }
    } else {
        const uint64_t samples = frames * layout.format.channels;
        const unsigned width = layout.sourceBytesPerSample;
        std::vector<uint8_t> block(std::min<uint64_t>(samples * width, 1u << 20));
        const uint64_t perBlock = block.size() / width;
        for (uint64_t done = 0; done < samples;) {
            const uint64_t n = std::min(perBlock, samples - done);
            if (!file.ReadAt(layout.data.dataOffset + done * width, block.data(), n * width)) {
                FreeBuffer();
                FailFormat("the samples could not be read to their end.");
                return false;
            }
            ConvertFloatSamples(block.data(), width, n, buffer_ + done * 4);
            done += n;
        }
    }
    SetFrameCount(static_cast<uint32_t>(frames));
    dataOffset_ = static_cast<int64_t>(layout.data.dataOffset);
    return true;
}

int TWaveFile::MakeTempFile(std::string& name) {
    std::string pattern = TempFilePattern(tempDir_);
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd >= 0) name = buffer.data();
    return fd;
}

// The open working file's calibration and chunk layout; false (the file closed) when it is no
// usable wave file.
bool TWaveFile::ReadWorkingLayout(WaveLayout& layout) {
    ReadCalibrationChunk(file_);
    if (ParseLayout(file_, layout)) return true;
    CloseWorking(false);
    return false;
}

// Samples are read from the file where the layout found them.
void TWaveFile::AdoptLayout(const WaveLayout& layout) {
    format_ = layout.format;
    SetFullScale(1.0f, 1.0f);
    riff_ = layout.riff;
    data_ = layout.data;
    dataOffset_ = static_cast<int64_t>(data_.dataOffset);
}

bool TWaveFile::OpenDisk(const std::string& fileName) {
    if (makeBackup_) {
        const int source = OpenRegularFile(fileName);
        if (source < 0) {
            FailOpen(fileName);
            return false;
        }
        int fd = MakeTempFile(workingName_);
        if (fd < 0) {
            ::close(source);
            FailOpen(TempFilePattern(tempDir_));
            return false;
        }
        file_.Adopt(fd);
        workingIsTemp_ = true;
        bool copied = CopyDescriptor(source, fd);
        ::close(source);
        if (!copied) {
            Fail(kStrWaveWriteFailure);
            CloseWorking(false);
            return false;
        }
    } else {
        if (!file_.Open(fileName, RiffFile::OpenMode::ReadWrite)) {
            FailOpen(fileName);
            return false;
        }
        workingName_ = fileName;
    }
    WaveLayout layout;
    if (!ReadWorkingLayout(layout)) return false;
    if (layout.isFloat) {
        // Float samples cannot be edited in place as integers: convert them into memory.
        storageMode_ = kMemoryMode;
        bool ok = LoadIntoMemory(file_, layout);
        CloseWorking(false);
        workingName_.clear();
        if (ok && layout.cutShort) ReportCutShort();
        return ok;
    }
    AdoptLayout(layout);
    SetFrameCount(BytesToFrames(data_.size));
    // Only a change or a save rewrites the sizes: opening alone leaves the file as it was.
    sizesStale_ = layout.cutShort;
    if (layout.cutShort) ReportCutShort();
    return true;
}

bool TWaveFile::OpenStream(const std::string& fileName) {
    if (!file_.Open(fileName, RiffFile::OpenMode::Read)) {
        FailOpen(fileName);
        return false;
    }
    workingName_ = fileName;
    WaveLayout layout;
    if (!ReadWorkingLayout(layout)) return false;
    // The same frames as the whole file in memory would hold, refused alike when there are none.
    const uint64_t frames = layout.data.size / (uint64_t{layout.format.channels} * layout.sourceBytesPerSample);
    if (frames == 0) {
        FailFormat("the \"data\" chunk holds no samples.");
        CloseWorking(false);
        return false;
    }
    AdoptLayout(layout);
    floatWidth_ = layout.isFloat ? layout.sourceBytesPerSample : 0;
    SetFrameCount(static_cast<uint32_t>(frames));
    if (layout.cutShort) ReportCutShort();
    return true;
}

// ---------------------------------------------------------------------------------------
// Disk-mode storage

bool TWaveFile::DiskRead(uint64_t offset, void* out, uint64_t n) {
    if (storageMode_ == kStreamMode) return StreamRead(offset, static_cast<uint8_t*>(out), n);
    if (offset + n > data_.size) return false;
    return file_.ReadAt(data_.dataOffset + offset, out, n);
}

bool TWaveFile::StreamRead(uint64_t offset, uint8_t* out, uint64_t n) {
    if (offset + n > dataSize_) return false;
    if (floatWidth_ == 0) return ReadAhead(offset, out, n);
    // Held samples are 4 bytes; their sources are floatWidth_ bytes each.
    const uint64_t samples = n / 4;
    floatSource_.resize(std::min<uint64_t>(samples, kBlockBytes / 8) * floatWidth_);
    const uint64_t perBlock = floatSource_.size() / floatWidth_;
    for (uint64_t done = 0; done < samples;) {
        const uint64_t count = std::min(perBlock, samples - done);
        if (!ReadAhead((offset / 4 + done) * floatWidth_, floatSource_.data(), count * floatWidth_)) return false;
        ConvertFloatSamples(floatSource_.data(), floatWidth_, count, out + done * 4);
        done += count;
    }
    return true;
}

bool TWaveFile::FillAhead(uint64_t sourceOffset) {
    if (readAhead_.size() != aheadBytes_) readAhead_.assign(aheadBytes_, 0);
    aheadFill_ = 0;
    if (sourceOffset >= data_.size) return false;
    const uint64_t fill = std::min<uint64_t>(readAhead_.size(), data_.size - sourceOffset);
    if (!file_.ReadAt(data_.dataOffset + sourceOffset, readAhead_.data(), fill)) return false;
    aheadStart_ = sourceOffset;
    aheadFill_ = fill;
    return true;
}

const uint8_t* TWaveFile::DiskView(uint64_t offset, uint64_t n) {
    // Integer samples are held as stored, so a frame inside one block needs no copy.
    if (storageMode_ != kStreamMode || floatWidth_ != 0 || n > aheadBytes_ || offset + n > dataSize_) return nullptr;
    const bool inside = offset >= aheadStart_ && offset + n <= aheadStart_ + aheadFill_;
    if (!inside && !FillAhead(offset)) return nullptr;
    return readAhead_.data() + (offset - aheadStart_);
}

bool TWaveFile::ReadAhead(uint64_t sourceOffset, uint8_t* out, uint64_t n) {
    while (n > 0) {
        // Frames overlap and move forward: a new block starts where the missing bytes do.
        const bool inside = sourceOffset >= aheadStart_ && sourceOffset < aheadStart_ + aheadFill_;
        if (!inside && !FillAhead(sourceOffset)) return false;
        const uint64_t at = sourceOffset - aheadStart_;
        const uint64_t take = std::min(n, aheadFill_ - at);
        std::memcpy(out, readAhead_.data() + at, take);
        out += take;
        sourceOffset += take;
        n -= take;
    }
    return true;
}

bool TWaveFile::DiskWrite(uint64_t offset, const void* in, uint64_t n) {
    if (storageMode_ == kStreamMode) return false;
    const uint64_t end = offset + n;
    if (end <= data_.size) return file_.WriteAt(data_.dataOffset + offset, in, n);
    if (offset > data_.size) return false;
    const uint64_t formEnd = data_.dataOffset + end + (end & 1u);
    if (formEnd - riff_.dataOffset > std::numeric_limits<uint32_t>::max()) return false;  // RIFF sizes are 32-bit
    if (!DetachTail()) return false;
    // Samples first, sizes after: a crash in between leaves the previous, valid sizes.
    if (!file_.WriteAt(data_.dataOffset + offset, in, n)) {
        file_.Truncate(data_.PaddedEnd());
        return false;
    }
    if (end & 1u) {
        const uint8_t pad = 0;
        if (!file_.WriteAt(data_.dataOffset + end, &pad, 1)) return false;
    }
    // The form grows before the chunk inside it, so that no moment has a "data" chunk
    // reaching past its RIFF form.
    const uint32_t riffSize = static_cast<uint32_t>(formEnd - riff_.dataOffset);
    if (!file_.WriteLE32At(riff_.dataOffset - 4, riffSize) ||
        !file_.WriteLE32At(data_.dataOffset - 4, static_cast<uint32_t>(end)))
        return false;
    data_.size = static_cast<uint32_t>(end);
    riff_.size = riffSize;
    sizesStale_ = false;
    SetFrameCount(BytesToFrames(end));
    return true;
}

bool TWaveFile::DetachTail() {
    if (tailDetached_) return true;
    const uint64_t fileSize = file_.FileSize();
    const uint64_t padded = data_.PaddedEnd();
    const uint64_t riffEnd = std::min(RiffEnd(), fileSize);
    const uint64_t inside = riffEnd > padded ? riffEnd - padded : 0;
    const uint64_t outsideStart = std::max(riffEnd, padded);
    const uint64_t outside = fileSize > outsideStart ? fileSize - outsideStart : 0;
    if (inside + outside > kMaxTailBytes) return false;
    tailInsideRiff_.resize(inside);
    tailOutsideRiff_.resize(outside);
    if (!file_.ReadAt(padded, tailInsideRiff_.data(), inside) ||
        !file_.ReadAt(outsideStart, tailOutsideRiff_.data(), outside))
        return false;
    const uint32_t riffSize = static_cast<uint32_t>(padded - riff_.dataOffset);
    if (!file_.WriteLE32At(riff_.dataOffset - 4, riffSize) || !file_.Truncate(padded)) return false;
    riff_.size = riffSize;
    calibrationOffset_ = -1;
    tailDetached_ = true;
    return true;
}

bool TWaveFile::SetDiskDataBytes(uint64_t bytes) {
    if (bytes == data_.size) return true;
    const uint64_t formEnd = data_.dataOffset + bytes + (bytes & 1u);
    if (formEnd - riff_.dataOffset > std::numeric_limits<uint32_t>::max()) return false;
    if (!DetachTail()) return false;
    if (bytes > data_.size) {
        // New frames hold the zero level.
        std::vector<uint8_t> block(static_cast<size_t>(std::min<uint64_t>(bytes - data_.size, kBlockBytes)));
        ZeroLevelFill(block.data(), block.size());
        for (uint64_t at = data_.size; at < bytes;) {
            const uint64_t n = std::min<uint64_t>(block.size(), bytes - at);
            if (!file_.WriteAt(data_.dataOffset + at, block.data(), n)) {
                file_.Truncate(data_.PaddedEnd());
                return false;
            }
            at += n;
        }
    }
    // Sizes in the order that keeps the chunk inside its form at every moment.
    const uint32_t riffSize = static_cast<uint32_t>(formEnd - riff_.dataOffset);
    const bool growing = bytes > data_.size;
    if (growing && !file_.WriteLE32At(riff_.dataOffset - 4, riffSize)) return false;
    if (!file_.WriteLE32At(data_.dataOffset - 4, static_cast<uint32_t>(bytes))) return false;
    if (!growing && !file_.WriteLE32At(riff_.dataOffset - 4, riffSize)) return false;
    if (!file_.Truncate(data_.dataOffset + bytes)) return false;
    if (bytes & 1u) {
        const uint8_t pad = 0;
        if (!file_.WriteAt(data_.dataOffset + bytes, &pad, 1)) return false;
    }
    data_.size = static_cast<uint32_t>(bytes);
    riff_.size = riffSize;
    sizesStale_ = false;
    SetFrameCount(BytesToFrames(bytes));
    return true;
}

bool TWaveFile::WriteTrueSizes() {
    if (!sizesStale_) return true;
    // Detaching the tail ends the form at the data's padded end (the pad byte included);
    // FinishWorkingFile puts the tail back and sizes the form around it.
    if (!DetachTail() || !file_.WriteLE32At(data_.dataOffset - 4, data_.size)) return false;
    sizesStale_ = false;
    return true;
}

bool TWaveFile::DiskResize(uint32_t frames) {
    if (storageMode_ == kStreamMode || !SetDiskDataBytes(FramesToBytes(frames))) {
        error_ = true;
        return false;
    }
    return true;
}

bool TWaveFile::FinishWorkingFile() {
    if (!file_.IsOpen()) return true;
    // Only a changed file gets its data size fixed: opening and closing alone (a trailing
    // partial frame, say) must leave a file byte for byte as it was.
    if ((modified_ || tailDetached_) && FramesToBytes(writtenLength_) != data_.size &&
        !SetDiskDataBytes(FramesToBytes(writtenLength_)))
        return false;
    if (modified_ && !WriteTrueSizes()) return false;
    if (tailDetached_) {
        const uint64_t padded = data_.PaddedEnd();
        const uint64_t riffEnd = padded + tailInsideRiff_.size();
        if (riffEnd - riff_.dataOffset > std::numeric_limits<uint32_t>::max()) return false;
        if (!file_.WriteAt(padded, tailInsideRiff_.data(), tailInsideRiff_.size()) ||
            !file_.WriteAt(riffEnd, tailOutsideRiff_.data(), tailOutsideRiff_.size()) ||
            !file_.WriteLE32At(riff_.dataOffset - 4, static_cast<uint32_t>(riffEnd - riff_.dataOffset)))
            return false;
        riff_.size = static_cast<uint32_t>(riffEnd - riff_.dataOffset);
        tailInsideRiff_.clear();
        tailOutsideRiff_.clear();
        tailDetached_ = false;
        calibrationOffset_ = FindCalibrationChunk(file_);
    }
    return true;
}

double TWaveFile::RemainingSeconds() const {
    if (!(storageMode_ == kDiskMode && file_.IsOpen())) return TWaveData::RemainingSeconds();
    struct statvfs vfs {};
    if (::fstatvfs(file_.Descriptor(), &vfs) != 0) return 0.0;
    const uint64_t freeBytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
    // A RIFF file ends at 4 GB whatever the disk holds.
    const uint64_t used = data_.dataOffset - riff_.dataOffset + FramesToBytes(position_) + 1;
    const uint64_t riffRoom = used < std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() - used : 0;
    const double perSecond = static_cast<double>(format_.BytesPerSecond());
    return perSecond > 0 ? static_cast<double>(std::min(freeBytes, riffRoom)) / perSecond : 0.0;
}

// ---------------------------------------------------------------------------------------
// Saving

void TWaveFile::SetName(const std::string& name) {
    fileName_ = name;
    untitled_ = 0;
}

bool TWaveFile::CopyFileTo(int sourceFd, const std::string& target) {
    return ReplaceFileAtomically(target, [sourceFd](int fd) { return CopyDescriptor(sourceFd, fd); }) ==
           ReplaceResult::Done;
}

bool TWaveFile::WriteMemoryFile(int fd) {
    // The RIFF writer closes what it adopts; the caller still owns `fd`.
    const int own = ::dup(fd);
    if (own < 0) return false;
    RiffFile file;
    file.Adopt(own);
    const uint64_t bytes = FramesToBytes(writtenLength_);
    bool ok = bytes + 37 <= std::numeric_limits<uint32_t>::max() && (bytes == 0 || buffer_);
    RiffChunk riff;
    riff.formType = kFourCCWave;
    RiffChunk fmt;
    fmt.id = kFourCCFmt;
    RiffChunk data;
    data.id = kFourCCData;
    uint8_t body[16];
    PcmFormatBody(format_, body);
    ok = ok && file.CreateChunk(riff, RiffFile::kCreateRiff) && file.CreateChunk(fmt) &&
         file.Write(body, sizeof body) == sizeof body && file.Ascend(fmt) && file.CreateChunk(data) &&
         file.Write(buffer_, bytes) == static_cast<int64_t>(bytes) && file.Ascend(data) && file.Ascend(riff);
    if (ok && calibrationPresent_) AppendCalibrationChunk(file, file.Tell());
    return file.Close() && ok;
}

bool TWaveFile::SaveMemory() {
    if (untitled_ || fileName_.empty()) return false;  // the owner asks for a name first
    switch (ReplaceFileAtomically(fileName_, [this](int fd) { return WriteMemoryFile(fd); })) {
        case ReplaceResult::Done: break;
        case ReplaceResult::CannotCreate:
            Tell(FormatText(kStrWaveOpenFailure, fileName_));
            return false;
        case ReplaceResult::WriteFailed:
            Tell(kStrWaveWriteFailure);
            return false;
    }
    modified_ = 0;
    untitled_ = 0;
    return true;
}

bool TWaveFile::SaveDisk(bool finalise) {
    if (fileName_.empty()) return false;
    const bool sized = FramesToBytes(writtenLength_) == data_.size || SetDiskDataBytes(FramesToBytes(writtenLength_));
    if (!sized || !WriteTrueSizes() || !FinishWorkingFile()) {
        Tell(kStrWaveWriteFailure);
        return false;
    }
    WriteCalibrationOnDisk();
    if (::fdatasync(file_.Descriptor()) != 0) {
        Tell(kStrWaveWriteFailure);
        return false;
    }
    if (!workingIsTemp_ && workingName_ == fileName_) {
        modified_ = 0;
        newFile_ = 0;
        return true;
    }
    if (makeBackup_) {
        if (!CopyFileTo(file_.Descriptor(), fileName_)) {
            Tell(kStrWaveWriteFailure);
            return false;
        }
    } else if (newFile_ && workingIsTemp_) {
        if (::rename(workingName_.c_str(), fileName_.c_str()) != 0) {
            // Across file systems: copy, then drop the temporary file.
            if (!CopyFileTo(file_.Descriptor(), fileName_)) {
                Tell(kStrWaveWriteFailure);
                return false;
            }
            CloseWorking(false);
            if (!finalise && !file_.Open(fileName_, RiffFile::OpenMode::ReadWrite)) {
                FailOpen(fileName_);
                return false;
            }
        }
        workingIsTemp_ = false;
        workingName_ = fileName_;
    } else {
        if (!CopyFileTo(file_.Descriptor(), fileName_)) {
            Tell(kStrWaveWriteFailure);
            return false;
        }
        CloseWorking(false);
        workingName_ = fileName_;
        if (!finalise && !file_.Open(fileName_, RiffFile::OpenMode::ReadWrite)) {
            FailOpen(fileName_);
            return false;
        }
    }
    modified_ = 0;
    newFile_ = 0;
    untitled_ = 0;
    return true;
}

bool TWaveFile::Save() {
    if (storageMode_ == kStreamMode) return false;
    if (storageMode_ == kDiskMode && file_.IsOpen()) return SaveDisk(false);
    return SaveMemory();
}

bool TWaveFile::FinaliseAndClose() {
    if (storageMode_ == kStreamMode) return false;
    const bool ok = (storageMode_ == kDiskMode && file_.IsOpen()) ? SaveDisk(true) : SaveMemory();
    if (!ok) return false;  // keep everything so that the owner can try another name
    CloseWorking(true);
    fileName_.clear();
    workingName_.clear();
    ClearCalibration();
    untitled_ = 0;
    FreeBuffer();
    SetFrameCount(0);
    position_ = 0;
    writtenLength_ = 0;
    dataOffset_ = 44;
    calibrationOffset_ = -1;
    return true;
}

void TWaveFile::CloseWorking(bool report) {
    if (file_.IsOpen() && !file_.Close() && report) Fail(kStrWaveWriteFailure);
    if (workingIsTemp_) {
        if (::unlink(workingName_.c_str()) != 0 && report)
            Tell(kStrWaveTempDeleteFailure);
        workingIsTemp_ = false;
    }
    tailDetached_ = false;
    tailInsideRiff_.clear();
    tailOutsideRiff_.clear();
}

}  // namespace zeltrak
