#include "files/wave_layout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/numeric.h"

namespace zeltrak {

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

// The fixed part of the sub-format GUID {xxxxxxxx-0000-0010-8000-00aa00389b71}.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

const char* NonPcmName(uint16_t tag) {
    switch (tag) {
        case 0x0002: return "ADPCM";
        case 0x0006: return "A-law";
        case 0x0007: return "mu-law";
        case 0x0010: return "OKI ADPCM";
        case 0x0011: return "IMA ADPCM";
        case 0x0014: return "G.723 ADPCM";
        case 0x0022: return "a speech codec";
        case 0x0031: return "GSM 6.10";
        case 0x0040: return "G.721 ADPCM";
        case 0x0050: return "MPEG";
        case 0x0055: return "MPEG Layer 3";
        case 0x0092: return "AC-3 over S/PDIF";
        case 0x00FF: return "AAC";
        case 0x0160: case 0x0161: case 0x0162: case 0x0163: return "WMA";
        case 0x2000: return "AC-3";
        case 0x2001: return "DTS";
        case 0xF1AC: return "FLAC";
        default: return nullptr;
    }
}

// {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx} from the 16 bytes as stored.
std::string GuidText(const uint8_t* g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", GetLE32(g), GetLE16(g + 4),
                  GetLE16(g + 6), g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

// Why a chunk walk stopped; empty when the chunk is simply not there.
std::string WalkProblem(RiffFile::Status status, const RiffFile& file) {
    if (status == RiffFile::Status::NotFound) return "";
    if (status == RiffFile::Status::Malformed) return file.LastProblem();
    return "the file could not be read.";
}

// The "fmt " fields that decide how the samples are read.
struct FmtFields {
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t blockAlign = 0;
    uint16_t bits = 0;
    uint16_t effectiveTag = 0;  // an extensible chunk's sub-format
    uint16_t validBits = 0;     // extensible only: the bits in use inside the container
};

// Decodes the chunk body and accepts only PCM and IEEE float; returns the refusal, or "" when accepted.
std::string DecodeFmt(const uint8_t* b, uint32_t fmtSize, FmtFields& f) {
    const uint16_t tag = GetLE16(b);
    f.channels = GetLE16(b + 2);
    f.rate = GetLE32(b + 4);
    f.blockAlign = GetLE16(b + 12);
    f.bits = GetLE16(b + 14);
    f.effectiveTag = tag;
    const bool extensible = tag == kTagExtensible;
    if (extensible) {
        if (fmtSize < 40) return "the extensible \"fmt \" chunk is shorter than 40 bytes.";
        if (std::memcmp(b + 26, kGuidTail, sizeof kGuidTail) != 0)
            return "the extensible sub-format " + GuidText(b + 24) + " is not PCM or IEEE float.";
        f.effectiveTag = GetLE16(b + 24);
        f.validBits = GetLE16(b + 18);
    }
    if (f.effectiveTag == kTagPcm || f.effectiveTag == kTagFloat) return "";
    char code[48];
    std::snprintf(code, sizeof code, "%s 0x%04X", extensible ? "extensible sub-format" : "format tag", f.effectiveTag);
    if (const char* name = NonPcmName(f.effectiveTag))
        return std::string("the samples are stored as ") + name + " (" + code + "), not as PCM or IEEE float.";
    return std::string(code) + " is not PCM or IEEE float.";
}

// Checks channels, rate and sample width and fills the layout's format; returns the refusal or "".
std::string CheckSampleShape(const FmtFields& f, WaveLayout& layout) {
    if (f.channels == 0) return "the \"fmt \" chunk names no channels.";
    if (f.channels > 2)
        return "the file has " + std::to_string(f.channels) + " channels; only mono and stereo files can be opened.";
    if (f.rate == 0) return "the sampling rate is 0 Hz.";
    const bool isFloat = f.effectiveTag == kTagFloat;
    // Without a block align the bits are all there is to go by; with neither, 16-bit.
    const unsigned container =
        f.blockAlign != 0 ? f.blockAlign / f.channels : (f.bits != 0 ? (f.bits + 7u) / 8u : 2u);
    const bool widthKnown = isFloat ? container == 4 || container == 8 : container >= 1 && container <= 4;
    const std::string holds =
        "a block align of " + std::to_string(f.blockAlign) + " bytes does not hold " + std::to_string(f.channels);
    if ((f.blockAlign != 0 && f.blockAlign % f.channels != 0) || !widthKnown)
        return holds + (isFloat ? " channel(s) of 4- or 8-byte floating-point samples." : " channel(s) of 1 to 4 bytes.");
    // The bits must need exactly the container (20 bits in 3 bytes, not 16 in 3); float is
    // 32 or 64 bits whole. Extensible formats may leave bits of the container unused.
    const bool bitsFit = isFloat ? f.bits == 8 * container
                                 : (f.blockAlign == 0 && f.bits == 0) || (f.bits != 0 && (f.bits + 7u) / 8u == container);
    if (!bitsFit || f.validBits > f.bits)
        return holds + " channel(s) of " + std::to_string(std::max(f.validBits, f.bits)) + "-bit samples.";
    layout.isFloat = isFloat;
    layout.sourceBytesPerSample = static_cast<uint16_t>(container);
    layout.format = SampleFormat::Make(f.rate, f.channels, static_cast<uint16_t>(isFloat ? 4 : container));
    layout.formatTag = f.effectiveTag;
    return "";
}

// Reads and checks the "fmt " chunk inside `riff`.
bool ParseFmt(RiffFile& file, RiffChunk& riff, WaveLayout& layout, std::string& reason) {
    RiffChunk fmt;
    fmt.id = kFourCCFmt;
    if (auto st = file.Descend(fmt, &riff, RiffFile::kFindChunk); st != RiffFile::Status::Ok) {
        reason = WalkProblem(st, file);
        return false;
    }
    if (fmt.size < 16) {
        reason = "the \"fmt \" chunk holds " + std::to_string(fmt.size) + " bytes, fewer than 16.";
        return false;
    }
    uint8_t b[40] = {};
    if (!file.ReadAt(fmt.dataOffset, b, std::min<uint32_t>(fmt.size, sizeof b))) {
        reason = WalkProblem(RiffFile::Status::IoError, file);
        return false;
    }
    FmtFields fields;
    reason = DecodeFmt(b, fmt.size, fields);
    if (reason.empty()) reason = CheckSampleShape(fields, layout);
    return reason.empty();
}

// Finds the one "data" chunk; a file cut short is taken as far as it goes.
bool FindData(RiffFile& file, RiffChunk& riff, RiffChunk& data, std::string& reason) {
    // "data" may come before "fmt ", so it is searched from the start of the form.
    file.Seek(static_cast<int64_t>(riff.dataOffset + 4), SEEK_SET);
    data.id = kFourCCData;
    if (auto st = file.Descend(data, &riff, RiffFile::kFindChunk | RiffFile::kAllowCutShort);
        st != RiffFile::Status::Ok) {
        const bool endsBefore = st == RiffFile::Status::NotFound && riff.cutShort;
        reason = endsBefore ? "the file ends before its \"data\" chunk." : WalkProblem(st, file);
        return false;
    }
    file.Ascend(data);
    RiffChunk second;
    second.id = kFourCCData;
    if (file.Descend(second, &riff, RiffFile::kFindChunk) == RiffFile::Status::Ok) {
        reason = "the file holds more than one \"data\" chunk.";
        return false;
    }
    return true;
}

}  // namespace

bool ParseWaveLayout(RiffFile& file, WaveLayout& layout, std::string& reason) {
    reason.clear();
    file.Seek(0, SEEK_SET);
    RiffChunk riff;
    riff.formType = kFourCCWave;
    // A file cut short ends inside its RIFF form and usually inside its "data" chunk; both are
    // taken as far as they go.
    if (auto st = file.Descend(riff, nullptr, RiffFile::kFindRiff | RiffFile::kAllowCutShort);
        st != RiffFile::Status::Ok) {
        reason = WalkProblem(st, file);
        return false;
    }
    RiffChunk data;
    if (!ParseFmt(file, riff, layout, reason) || !FindData(file, riff, data, reason)) return false;
    layout.riff = riff;
    layout.data = data;
    layout.cutShort = riff.cutShort || data.cutShort;
    return true;
}

}  // namespace zeltrak
