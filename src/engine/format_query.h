#pragma once
#include <cstdint>
namespace zeltrak {
// What the settings dialogs ask of the input device: would it open this format, and its rate limits.
class TFormatQuery {
public:
    virtual ~TFormatQuery() = default;
    virtual bool QueryFormat(uint32_t rate, uint16_t bytesPerSample, uint16_t channels) = 0;
    virtual bool StandardRatesOnly() const = 0;
    virtual uint32_t MaxRate() const = 0;   // maxFormat rate
    virtual uint32_t MinRate() const = 0;   // minFormat rate (lowest selectable)
};
}  // namespace zeltrak
