#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zeltrak {

// The calibration state as one fixed 1024-byte record. The same bytes travel in the wave
// file's calibration chunk, so the layout below is a file format and must not change.
struct CalibrationRecord {
    static constexpr size_t kSize = 1024;
    static constexpr size_t kFilenameSize = 260;
    static constexpr size_t kLabelSize = 60;
    static constexpr size_t kChannelNameSize = 40;

    int32_t IsEnabled = 0;
    char Filename[kFilenameSize] = {};
    float RefLevel = 0.0f;
    int32_t RefType = 0;
    int32_t RefUnits = 0;
    char LabelLinear[kLabelSize] = {};
    char LabelLog[kLabelSize] = {};
    int32_t LabelType = 0;
    float PctFullScaleLeft = 0.0f;
    float PctFullScaleRight = 0.0f;
    float CalRatioLeft = 0.0f;   // full-scale units of the left channel
    float CalRatioRight = 0.0f;
    int32_t ConversionType = 0;
    int32_t IntegrationType = 0;
    char LeftChannelName[kChannelNameSize] = {};
    char RightChannelName[kChannelNameSize] = {};
    uint8_t Reserved[520] = {};  // always written as zero

    // The values a fresh configuration starts from.
    static CalibrationRecord Defaults();

    // Explicit little-endian (de)serialisation; text fields are copied as stored and
    // always read back NUL-terminated.
    std::array<uint8_t, kSize> Serialize() const;
    static CalibrationRecord Deserialize(const uint8_t* bytes);

    // Copies text into a fixed field, cutting it so that the terminating NUL always fits.
    static void SetText(char* field, size_t fieldSize, const std::string& text);
    void SetFilename(const std::string& s) { SetText(Filename, kFilenameSize, s); }
    void SetLabelLinear(const std::string& s) { SetText(LabelLinear, kLabelSize, s); }
    void SetLabelLog(const std::string& s) { SetText(LabelLog, kLabelSize, s); }
    void SetLeftChannelName(const std::string& s) { SetText(LeftChannelName, kChannelNameSize, s); }
    void SetRightChannelName(const std::string& s) { SetText(RightChannelName, kChannelNameSize, s); }

    bool operator==(const CalibrationRecord& other) const { return Serialize() == other.Serialize(); }
};

static_assert(offsetof(CalibrationRecord, Filename) == 4);
static_assert(offsetof(CalibrationRecord, RefLevel) == 264);
static_assert(offsetof(CalibrationRecord, LabelLinear) == 276);
static_assert(offsetof(CalibrationRecord, LabelLog) == 336);
static_assert(offsetof(CalibrationRecord, LabelType) == 396);
static_assert(offsetof(CalibrationRecord, CalRatioLeft) == 408);
static_assert(offsetof(CalibrationRecord, LeftChannelName) == 424);
static_assert(offsetof(CalibrationRecord, RightChannelName) == 464);
static_assert(offsetof(CalibrationRecord, Reserved) == 504);
static_assert(sizeof(CalibrationRecord) == CalibrationRecord::kSize);

}  // namespace zeltrak
