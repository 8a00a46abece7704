#include "files/calibration_record.h"

#include <bit>
#include <cstring>

namespace zeltrak {

namespace {

void PutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
void PutI32(uint8_t* p, int32_t v) { PutU32(p, static_cast<uint32_t>(v)); }
int32_t GetI32(const uint8_t* p) { return static_cast<int32_t>(GetU32(p)); }
void PutF32(uint8_t* p, float v) { PutU32(p, std::bit_cast<uint32_t>(v)); }
float GetF32(const uint8_t* p) { return std::bit_cast<float>(GetU32(p)); }

void PutText(uint8_t* p, const char* field, size_t size) {
    // Bytes after the terminator are written as zero so that equal texts give equal records.
    size_t n = strnlen(field, size);
    std::memcpy(p, field, n);
    std::memset(p + n, 0, size - n);
}
void GetText(char* field, const uint8_t* p, size_t size) {
    std::memcpy(field, p, size);
    field[size - 1] = '\0';  // a file may hold an unterminated field
}

}  // namespace

CalibrationRecord CalibrationRecord::Defaults() {
    CalibrationRecord r;
    r.IsEnabled = 0;
    r.SetFilename("default.cal");
    r.RefLevel = 1.0f;
    r.RefType = 0;
    r.RefUnits = 0;
    r.SetLabelLinear("Volts rms");
    r.SetLabelLog("dBV rms");
    r.LabelType = 1;
    r.PctFullScaleLeft = 0.50f;
    r.PctFullScaleRight = 0.50f;
    r.CalRatioLeft = 1.0f;
    r.CalRatioRight = 1.0f;
    r.ConversionType = 0;
    r.IntegrationType = 0;
    r.SetLeftChannelName("Left");
    r.SetRightChannelName("Right");
    return r;
}

void CalibrationRecord::SetText(char* field, size_t fieldSize, const std::string& text) {
    size_t n = text.size() < fieldSize - 1 ? text.size() : fieldSize - 1;
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, fieldSize - n);
}

std::array<uint8_t, CalibrationRecord::kSize> CalibrationRecord::Serialize() const {
    std::array<uint8_t, kSize> out{};
    uint8_t* p = out.data();
    PutI32(p + 0, IsEnabled);
    PutText(p + 4, Filename, kFilenameSize);
    PutF32(p + 264, RefLevel);
    PutI32(p + 268, RefType);
    PutI32(p + 272, RefUnits);
    PutText(p + 276, LabelLinear, kLabelSize);
    PutText(p + 336, LabelLog, kLabelSize);
    PutI32(p + 396, LabelType);
    PutF32(p + 400, PctFullScaleLeft);
    PutF32(p + 404, PctFullScaleRight);
    PutF32(p + 408, CalRatioLeft);
    PutF32(p + 412, CalRatioRight);
    PutI32(p + 416, ConversionType);
    PutI32(p + 420, IntegrationType);
    PutText(p + 424, LeftChannelName, kChannelNameSize);
    PutText(p + 464, RightChannelName, kChannelNameSize);
    return out;  // 504 ... 1023 stay zero
}

CalibrationRecord CalibrationRecord::Deserialize(const uint8_t* p) {
    CalibrationRecord r;
    r.IsEnabled = GetI32(p + 0);
    GetText(r.Filename, p + 4, kFilenameSize);
    r.RefLevel = GetF32(p + 264);
    r.RefType = GetI32(p + 268);
    r.RefUnits = GetI32(p + 272);
    GetText(r.LabelLinear, p + 276, kLabelSize);
    GetText(r.LabelLog, p + 336, kLabelSize);
    r.LabelType = GetI32(p + 396);
    r.PctFullScaleLeft = GetF32(p + 400);
    r.PctFullScaleRight = GetF32(p + 404);
    r.CalRatioLeft = GetF32(p + 408);
    r.CalRatioRight = GetF32(p + 412);
    r.ConversionType = GetI32(p + 416);
    r.IntegrationType = GetI32(p + 420);
    GetText(r.LeftChannelName, p + 424, kChannelNameSize);
    GetText(r.RightChannelName, p + 464, kChannelNameSize);
    return r;
}

}  // namespace zeltrak
