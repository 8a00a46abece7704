#include "files/wave_data.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <type_traits>

#include "base/numeric.h"

namespace zeltrak {

namespace {

// Large sample buffers fault in 2 MiB pages instead of 4 KiB ones: loading a long file
// into memory is otherwise dominated by page faults.
void AdviseHugePages(void* p, uint64_t bytes) {
    constexpr uintptr_t kHuge = 2u << 20;
    if (bytes < 4 * kHuge) return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHuge - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

// Sample i of packed little-endian samples, loaded as one integer where the width allows, so
// that the loops below vectorise; its type is the narrowest that holds it.
template <unsigned kWidth>
auto PackedSample(const uint8_t* p, uint32_t i) {
    if constexpr (kWidth == 1) {
        return p[i];
    } else if constexpr ((kWidth == 2 || kWidth == 4) && std::endian::native == std::endian::little) {
        // may_alias and byte alignment make this the plain load that memcpy means, in a form
        // the vectoriser takes.
        using Word [[gnu::may_alias, gnu::aligned(1)]] = std::conditional_t<kWidth == 2, int16_t, int32_t>;
        return reinterpret_cast<const Word*>(p)[i];
    } else {
        return DecodeSample(p + kWidth * i, kWidth);
    }
}

template <unsigned kWidth>
void RangeOf(const uint8_t* p, uint32_t n, int32_t& lo, int32_t& hi) {
    // Locals: stores through the references on every sample would stop vectorisation.
    // The plain integer type, not the byte-aligned one the load goes through.
    using Sample = std::conditional_t<kWidth == 1, uint8_t, std::conditional_t<kWidth == 2, int16_t, int32_t>>;
    Sample low = std::numeric_limits<Sample>::max();
    Sample high = std::numeric_limits<Sample>::min();
    for (uint32_t i = 0; i < n; ++i) {
        const Sample v = PackedSample<kWidth>(p, i);
        low = std::min(low, v);
        high = std::max(high, v);
    }
    lo = low;
    hi = high;
}

template <unsigned kWidth>
void ToFloats(const uint8_t* __restrict p, uint32_t n, int32_t zero, float* __restrict out) {
    using Wide = std::conditional_t<kWidth == 4, int64_t, int32_t>;
    for (uint32_t i = 0; i < n; ++i) out[i] = static_cast<float>(Wide{PackedSample<kWidth>(p, i)} - zero);
}

}  // namespace

void PackedSampleRange(const uint8_t* p, unsigned bytes, uint32_t n, int32_t& lo, int32_t& hi) {
    switch (bytes) {
        case 1: return RangeOf<1>(p, n, lo, hi);
        case 2: return RangeOf<2>(p, n, lo, hi);
        case 3: return RangeOf<3>(p, n, lo, hi);
        default: return RangeOf<4>(p, n, lo, hi);
    }
}

void PackedSamplesToFloats(const uint8_t* p, unsigned bytes, uint32_t n, int32_t zero, float* out) {
    switch (bytes) {
        case 1: return ToFloats<1>(p, n, zero, out);
        case 2: return ToFloats<2>(p, n, zero, out);
        case 3: return ToFloats<3>(p, n, zero, out);
        default: return ToFloats<4>(p, n, zero, out);
    }
}

TWaveData::TWaveData() { SetFullScale(1.0f, 1.0f); }

TWaveData::TWaveData(uint32_t frames, const SampleFormat& format) : format_(format) {
    SetFullScale(1.0f, 1.0f);
    if (!AllocateBuffer(FramesToBytes(frames))) {
        error_ = true;
        return;
    }
    // Silence, not zero bytes: for unsigned 8-bit data a zero byte is full negative scale.
    ZeroLevelFill(buffer_, FramesToBytes(frames));
    SetFrameCount(frames);
}

TWaveData::~TWaveData() { FreeBuffer(); }

uint64_t TWaveData::FramesToBytes(uint32_t frames) const {
    return static_cast<uint64_t>(frames) * format_.channels * format_.bytesPerSample;
}

uint32_t TWaveData::BytesToFrames(uint64_t bytes) const {
    if (format_.channels == 0 || format_.bytesPerSample == 0) return 0;
    uint64_t frames = bytes / format_.channels / format_.bytesPerSample;
    return frames > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                          : static_cast<uint32_t>(frames);
}

double TWaveData::FramesToSeconds(uint32_t frames) const {
    return format_.rate == 0 ? 0.0 : static_cast<double>(frames) / format_.rate;
}

uint32_t TWaveData::SecondsToFrames(double seconds) const { return TruncToUint32(seconds * format_.rate); }

void TWaveData::Seek(uint32_t frame) {
    if (frame <= length_) position_ = frame;
}

void TWaveData::Advance(uint32_t frames) {
    uint64_t p = static_cast<uint64_t>(position_) + frames;
    if (length_ == 0) p = 0;
    else if (p > length_ - 1) p = length_ - 1;
    position_ = static_cast<uint32_t>(p);
}

void TWaveData::SetFullScale(float left, float right) {
    // Negated comparisons also replace NaN.
    fullScaleLeft_ = !(left > 0.0f) ? 2.0f : left;
    fullScaleRight_ = !(right > 0.0f) ? 2.0f : right;
    const double fs = format_.FullScale();
    scaleLeft_ = static_cast<float>(fullScaleLeft_ / fs);
    scaleRight_ = static_cast<float>(fullScaleRight_ / fs);
}

uint32_t TWaveData::BlockFrames() const {
    uint32_t ba = std::max<uint32_t>(1, format_.BlockAlign());
    return std::max<uint32_t>(1, kBlockBytes / ba);
}

uint32_t TWaveData::ChannelIndex(uint32_t channel) const {
    return format_.channels == 0 ? 0 : std::min<uint32_t>(channel, format_.channels - 1u);
}

void TWaveData::ZeroLevelFill(uint8_t* p, uint64_t bytes) const {
    if (!p || bytes == 0) return;
    if (format_.bytesPerSample == 1) {
        std::memset(p, static_cast<uint8_t>(format_.zeroOffset), bytes);
        return;
    }
    if (format_.zeroOffset == 0) {
        std::memset(p, 0, bytes);
        return;
    }
    for (uint64_t i = 0; i + format_.bytesPerSample <= bytes; i += format_.bytesPerSample)
        EncodeSample(p + i, format_.bytesPerSample, format_.zeroOffset);
}

bool TWaveData::AllocateBuffer(uint64_t bytes) {
    FreeBuffer();
    if (bytes > std::numeric_limits<uint32_t>::max()) return false;
    if (bytes == 0) return true;
    buffer_ = static_cast<uint8_t*>(std::calloc(1, bytes));
    if (buffer_) AdviseHugePages(buffer_, bytes);
    return buffer_ != nullptr;
}

void TWaveData::FreeBuffer() {
    std::free(buffer_);
    buffer_ = nullptr;
}

void TWaveData::SetFrameCount(uint32_t frames) {
    length_ = frames;
    dataSize_ = static_cast<uint32_t>(FramesToBytes(frames));
}

bool TWaveData::SetLength(uint32_t frames) {
    if (DiskMode()) {
        if (!DiskResize(frames)) return false;
    } else {
        const uint64_t oldBytes = FramesToBytes(length_);
        const uint64_t newBytes = FramesToBytes(frames);
        if (newBytes > std::numeric_limits<uint32_t>::max()) {
            error_ = true;
            return false;
        }
        if (newBytes == 0) {
            FreeBuffer();
        } else if (newBytes != oldBytes || !buffer_) {
            void* grown = std::realloc(buffer_, newBytes);
            if (!grown) {
                error_ = true;
                return false;
            }
            buffer_ = static_cast<uint8_t*>(grown);
            if (newBytes > oldBytes) AdviseHugePages(buffer_, newBytes);
            if (newBytes > oldBytes) ZeroLevelFill(buffer_ + oldBytes, newBytes - oldBytes);
        }
        SetFrameCount(frames);
    }
    position_ = std::min(position_, length_);
    writtenLength_ = std::min(writtenLength_, length_);
    return true;
}

bool TWaveData::DiskRead(uint64_t, void*, uint64_t) { return false; }
bool TWaveData::DiskWrite(uint64_t, const void*, uint64_t) { return false; }
bool TWaveData::DiskResize(uint32_t) { return false; }

bool TWaveData::ReadData(uint64_t offset, void* out, uint64_t n) {
    if (n == 0) return true;
    if (DiskMode()) return DiskRead(offset, out, n);
    if (!buffer_ || offset + n > dataSize_) return false;
    std::memcpy(out, buffer_ + offset, n);
    return true;
}

bool TWaveData::WriteData(uint64_t offset, const void* in, uint64_t n) {
    if (n == 0) return true;
    if (DiskMode()) return DiskWrite(offset, in, n);
    if (!buffer_ || offset + n > dataSize_) return false;
    std::memmove(buffer_ + offset, in, n);
    return true;
}

template <class F>
bool TWaveData::VisitFrames(uint32_t first, uint32_t count, F&& f) {
    const uint32_t ba = format_.BlockAlign();
    if (count == 0) return true;
    if (!DiskMode()) {
        if (!buffer_) return false;
        f(static_cast<const uint8_t*>(buffer_ + static_cast<uint64_t>(first) * ba), first, count);
        return true;
    }
    if (const uint8_t* view = DiskView(uint64_t{first} * ba, uint64_t{count} * ba)) {
        f(view, first, count);
        return true;
    }
    const uint32_t block = BlockFrames();
    scratch_.resize(static_cast<size_t>(std::min(block, count)) * ba);
    for (uint32_t done = 0; done < count;) {
        uint32_t n = std::min(block, count - done);
        uint32_t at = first + done;
        if (!DiskRead(static_cast<uint64_t>(at) * ba, scratch_.data(), static_cast<uint64_t>(n) * ba)) return false;
        if (!f(static_cast<const uint8_t*>(scratch_.data()), at, n)) return true;
        done += n;
    }
    return true;
}

template <class F>
bool TWaveData::ModifyFrames(uint32_t first, uint32_t count, F&& f) {
    const uint32_t ba = format_.BlockAlign();
    if (count == 0) return true;
    if (!DiskMode()) {
        if (!buffer_) return false;
        f(buffer_ + static_cast<uint64_t>(first) * ba, first, count);
        return true;
    }
    const uint32_t block = BlockFrames();
    scratch_.resize(static_cast<size_t>(std::min(block, count)) * ba);
    for (uint32_t done = 0; done < count;) {
        uint32_t n = std::min(block, count - done);
        uint64_t offset = static_cast<uint64_t>(first + done) * ba;
        uint64_t bytes = static_cast<uint64_t>(n) * ba;
        if (!DiskRead(offset, scratch_.data(), bytes)) return false;
        f(scratch_.data(), first + done, n);
        if (!DiskWrite(offset, scratch_.data(), bytes)) return false;
        done += n;
    }
    return true;
}

bool TWaveData::ReadChannel(void* buffer, uint32_t start, uint32_t count, uint32_t channel) {
    const uint32_t bps = format_.bytesPerSample;
    auto* out = static_cast<uint8_t*>(buffer);
    if (static_cast<uint64_t>(start) + count > length_) {
        ZeroLevelFill(out, static_cast<uint64_t>(count) * bps);
        return false;
    }
    const uint32_t ba = format_.BlockAlign();
    const uint32_t offset = ChannelIndex(channel) * bps;
    bool ok = VisitFrames(start, count, [&](const uint8_t* frames, uint32_t at, uint32_t n) {
        uint8_t* dst = out + static_cast<uint64_t>(at - start) * bps;
        const uint8_t* src = frames + offset;
        if (ba == bps) {
            std::memcpy(dst, src, static_cast<uint64_t>(n) * bps);  // mono: the block is the channel
        } else if (bps == 2 && ba == 4 && std::endian::native == std::endian::little) {
            // 16-bit stereo, the common case: whole frames as words, which vectorises.
            const uint32_t shift = offset * 8;
            for (uint32_t i = 0; i < n; ++i) {
                uint32_t frame;
                std::memcpy(&frame, frames + 4ull * i, 4);
                const auto sample = static_cast<uint16_t>(frame >> shift);
                std::memcpy(dst + 2ull * i, &sample, 2);
            }
        } else {
            for (uint32_t i = 0; i < n; ++i, src += ba, dst += bps) std::memcpy(dst, src, bps);
        }
        return true;
    });
    if (!ok) {
        error_ = true;
        ZeroLevelFill(out, static_cast<uint64_t>(count) * bps);
    }
    return ok;
}

uint32_t TWaveData::WriteChannel(const void* buffer, uint32_t start, uint32_t count, uint32_t channel) {
    if (start >= length_) return 0;
    count = std::min(count, length_ - start);
    const uint32_t bps = format_.bytesPerSample;
    const uint32_t ba = format_.BlockAlign();
    const uint32_t offset = ChannelIndex(channel) * bps;
    const auto* in = static_cast<const uint8_t*>(buffer);
    bool ok = ModifyFrames(start, count, [&](uint8_t* frames, uint32_t at, uint32_t n) {
        const uint8_t* src = in + static_cast<uint64_t>(at - start) * bps;
        uint8_t* dst = frames + offset;
        for (uint32_t i = 0; i < n; ++i, src += bps, dst += ba) std::memcpy(dst, src, bps);
    });
    if (!ok) {
        error_ = true;
        return 0;
    }
    modified_ = 1;
    // Counting these frames as written keeps a later save from dropping them.
    writtenLength_ = std::max(writtenLength_, start + count);
    return count;
}

uint32_t TWaveData::ReadBytes(void* buffer, uint32_t n) {
    const uint32_t ba = format_.BlockAlign();
    auto* out = static_cast<uint8_t*>(buffer);
    const uint64_t offset = static_cast<uint64_t>(position_) * ba;
    const uint64_t end = FramesToBytes(length_);
    const uint32_t take = offset >= end ? 0 : static_cast<uint32_t>(std::min<uint64_t>(n, end - offset));
    if (!ReadData(offset, out, take)) {
        error_ = true;
        if (n) std::memset(out, 0, n);
        return 0;
    }
    if (n > take) std::memset(out + take, 0, n - take);
    const uint64_t next = static_cast<uint64_t>(position_) + n / ba;
    if (next > length_) position_ = length_ == 0 ? 0 : length_ - 1;
    else position_ = static_cast<uint32_t>(next);
    return take;
}

bool TWaveData::WriteBytes(void* buffer, uint32_t n) {
    const uint32_t ba = format_.BlockAlign();
    const uint64_t offset = static_cast<uint64_t>(position_) * ba;
    // A refused append (buffer or disk full) leaves the object and its file whole, so the
    // error flag stays clear: owners discard objects in error, and with them the recording.
    bool fits = DiskMode() || offset + n <= dataSize_;
    if (!fits || !WriteData(offset, buffer, n)) {
        if (n) std::memset(buffer, 0, n);
        return false;
    }
    position_ = static_cast<uint32_t>(std::min<uint64_t>(position_ + n / ba, length_));
    writtenLength_ = std::max(writtenLength_, position_);
    modified_ = 1;
    return true;
}

double TWaveData::GetSample(uint32_t frame, uint32_t channel, bool calibrated) {
    if (frame >= length_) return 0.0;
    const uint32_t ch = ChannelIndex(channel);
    const uint32_t bps = format_.bytesPerSample;
    uint8_t bytes[4] = {};
    if (!ReadData(static_cast<uint64_t>(frame) * format_.BlockAlign() + ch * bps, bytes, bps)) {
        error_ = true;
        return 0.0;
    }
    const int32_t raw = DecodeSample(bytes, bps);
    if (!calibrated) return bps == 1 ? static_cast<double>(raw) : static_cast<double>(raw) - format_.zeroOffset;
    const double scale = ch == 0 ? scaleLeft_ : scaleRight_;
    return (static_cast<double>(raw) - format_.zeroOffset) * scale;
}

bool TWaveData::PutSample(double value, uint32_t frame, uint32_t channel) {
    if (frame >= length_ || std::isnan(value)) return false;
    const uint32_t bps = format_.bytesPerSample;
    const int64_t v = TruncToInt64(value);
    int64_t lo, hi;
    switch (bps) {
        case 1: lo = 0, hi = 255; break;
        case 2: lo = -32768, hi = 32767; break;
        case 3: lo = -8388608, hi = 8388607; break;
        default: lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max(); break;
    }
    if (v < lo || v > hi) return false;  // storing it would wrap around
    uint8_t bytes[4] = {};
    EncodeSample(bytes, bps, static_cast<int32_t>(v));
    const uint32_t ch = ChannelIndex(channel);
    if (!WriteData(static_cast<uint64_t>(frame) * format_.BlockAlign() + ch * bps, bytes, bps)) {
        error_ = true;
        return false;
    }
    position_ = std::min(frame + 1, length_);
    writtenLength_ = std::max(writtenLength_, frame + 1);
    modified_ = 1;
    return true;
}

bool TWaveData::Statistics(uint32_t start, uint32_t end, uint32_t channel, bool withRms, WaveStatistics& out) {
    out = WaveStatistics{};
    if (length_ == 0) return false;
    end = std::min(end, length_ - 1);
    if (start > end) return false;
    const uint32_t bps = format_.bytesPerSample;
    const uint32_t ba = format_.BlockAlign();
    const uint32_t offset = ChannelIndex(channel) * bps;
    const int32_t zero = format_.zeroOffset;
    int32_t mn = std::numeric_limits<int32_t>::max();
    int32_t mx = std::numeric_limits<int32_t>::min();
    double sp = 0.0, sn = 0.0;
    uint32_t cp = 0, cn = 0;
    bool ok = VisitFrames(start, end - start + 1, [&](const uint8_t* frames, uint32_t, uint32_t n) {
        const uint8_t* p = frames + offset;
        for (uint32_t i = 0; i < n; ++i, p += ba) {
            const int32_t raw = DecodeSample(p, bps);
            mn = std::min(mn, raw);
            mx = std::max(mx, raw);
            if (withRms) {
                const double d = static_cast<double>(raw) - zero;
                if (d >= 0) {
                    sp += d * d;
                    ++cp;
                } else {
                    sn += d * d;
                    ++cn;
                }
            }
        }
        return true;
    });
    if (!ok) {
        error_ = true;
        return false;
    }
    out.minimum = mn;
    out.maximum = mx;
    out.sumSquaresPositive = sp;
    out.countPositive = cp;
    out.sumSquaresNegative = sn;
    out.countNegative = cn;
    return true;
}

bool TWaveData::Silence(uint32_t start, uint32_t end) {
    if (length_ == 0) return false;
    end = std::min(end, length_ - 1);
    if (DiskMode()) {
        if (start & 1u) ++start;
        if (end & 1u) {
            if (end == 0) return true;
            --end;
        }
    }
    if (start > end) return true;
    const uint32_t ba = format_.BlockAlign();
    bool ok = ModifyFrames(start, end - start + 1,
                           [&](uint8_t* frames, uint32_t, uint32_t n) { ZeroLevelFill(frames, uint64_t{n} * ba); });
    if (!ok) {
        error_ = true;
        return false;
    }
    modified_ = 1;
    writtenLength_ = std::max(writtenLength_, end + 1);
    return true;
}

bool TWaveData::ClearBuffer() {
    if (length_ == 0) return true;
    const uint32_t ba = format_.BlockAlign();
    bool ok = ModifyFrames(0, length_,
                           [&](uint8_t* frames, uint32_t, uint32_t n) { ZeroLevelFill(frames, uint64_t{n} * ba); });
    if (!ok) {
        error_ = true;
        return false;
    }
    modified_ = 1;
    return true;
}

bool TWaveData::FindTrigger(const WaveTrigger& trigger, uint32_t start, uint32_t end, uint32_t channel,
                            uint32_t* foundAt) {
    if (trigger.TriggerType > 1 || trigger.TriggerSlope > 1) return false;
    end = std::min(end, length_);
    if (start >= end) return false;
    const int64_t zero = format_.zeroOffset;
    const int64_t level = static_cast<int64_t>(trigger.Threshold) * (format_.maxValue - zero) / 100 + zero;
    // Distances from the zero level, so that unsigned 8-bit data triggers like signed data.
    const int64_t delta = level - zero;
    const bool level_type = trigger.TriggerType == 0;
    const bool positive = trigger.TriggerSlope == 0;
    const uint32_t bps = format_.bytesPerSample;
    const uint32_t ba = format_.BlockAlign();
    const uint32_t offset = ChannelIndex(channel) * bps;
    bool found = false;
    uint32_t where = 0;
    bool first = true;
    int64_t previous = 0;
    bool ok = VisitFrames(start, end - start, [&](const uint8_t* frames, uint32_t at, uint32_t n) {
        const uint8_t* p = frames + offset;
        for (uint32_t i = 0; i < n; ++i, p += ba) {
            const int64_t raw = DecodeSample(p, bps);
            bool fire;
            if (level_type) {
                fire = positive ? raw >= level : raw - zero <= -delta;
            } else {
                if (first) previous = raw;
                const int64_t change = raw - previous;
                fire = positive ? change >= delta : -change >= delta;
                previous = raw;
            }
            first = false;
            if (fire) {
                found = true;
                where = at + i;
                return false;
            }
        }
        return true;
    });
    if (!ok) {
        error_ = true;
        return false;
    }
    if (found && foundAt) *foundAt = where;
    return found;
}

bool TWaveData::Decimate(uint32_t ratio) {
    if (ratio < 2) return false;
    if (length_ == 0) return true;
    const uint32_t ba = format_.BlockAlign();
    const uint32_t newLength = static_cast<uint32_t>((static_cast<uint64_t>(length_) + ratio - 1) / ratio);
    const uint32_t destBlock = std::max<uint32_t>(1, BlockFrames() / ratio);
    std::vector<uint8_t> source;
    std::vector<uint8_t> packed;
    for (uint32_t d0 = 0; d0 < newLength; d0 += destBlock) {
        const uint32_t n = std::min(destBlock, newLength - d0);
        const uint64_t firstSource = static_cast<uint64_t>(d0) * ratio;
        const uint64_t spanFrames = static_cast<uint64_t>(n - 1) * ratio + 1;
        source.resize(spanFrames * ba);
        packed.resize(static_cast<size_t>(n) * ba);
        if (!ReadData(firstSource * ba, source.data(), spanFrames * ba)) {
            error_ = true;
            return false;
        }
        for (uint32_t i = 0; i < n; ++i)
            std::memcpy(packed.data() + static_cast<size_t>(i) * ba, source.data() + static_cast<uint64_t>(i) * ratio * ba,
                        ba);
        if (!WriteData(static_cast<uint64_t>(d0) * ba, packed.data(), packed.size())) {
            error_ = true;
            return false;
        }
    }
    const uint32_t newWritten = static_cast<uint32_t>((static_cast<uint64_t>(writtenLength_) + ratio - 1) / ratio);
    const uint32_t newPosition = position_ / ratio;
    if (!SetLength(newLength)) return false;
    writtenLength_ = newWritten;
    position_ = newPosition;
    modified_ = 1;
    return true;
}

double TWaveData::RemainingSeconds() const {
    const uint64_t used = FramesToBytes(position_);
    const uint64_t left = dataSize_ > used ? dataSize_ - used : 0;
    const double perSecond = static_cast<double>(format_.BytesPerSecond());
    return perSecond > 0 ? static_cast<double>(left) / perSecond : 0.0;
}

}  // namespace zeltrak
