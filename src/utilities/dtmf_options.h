#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

class TIniStore;

// The live decoder's detection settings.
struct DtmfOptions {
    float thresholdDb = -40.0f;     // -80 .. 0
    int32_t minDurationMs = 20;     // 1 .. 1000
    int32_t minSpacingMs = 20;      // 1 .. 1000
};

// The "DTMF" section; values read are taken as they are (only the dialog checks ranges).
DtmfOptions ReadDtmfOptions(const TIniStore& ini);
void WriteDtmfOptions(TIniStore& ini, const DtmfOptions& options);

// The options dialog's three fields as text.
struct DtmfOptionTexts {
    std::string threshold;
    std::string duration;
    std::string spacing;
};
DtmfOptionTexts DtmfOptionsAsTexts(const DtmfOptions& options);  // threshold as "%6.2f"
DtmfOptionTexts DtmfOptionDefaults();                             // the Defaults button
// OK in the dialog: the values, or false with the message for the first field out of range
// (text that is not a number is out of range).
bool ValidateDtmfOptions(const DtmfOptionTexts& texts, DtmfOptions& out, std::string& message);

}  // namespace zeltrak
