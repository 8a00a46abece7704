#pragma once
#include <cstddef>
#include <span>
#include <string>

namespace zeltrak {

// A configuration key outside the settings blocks, with the default that applies when the
// key or the file is missing. textBytes > 0 marks a text read into a field of that size.
struct ConfigKey {
    const char* section;
    const char* key;
    const char* defaultValue;
    std::size_t textBytes;
};

// Every key with a stated default of the sections that the settings blocks do not cover
// (paths, calibration, printing, markers, open views, filter, logging and the utilities),
// in file order within each section.
std::span<const ConfigKey> OtherConfigKeys();

// The default of one of those keys; nullptr when the table does not hold it.
const ConfigKey* FindConfigKey(const std::string& section, const std::string& key);

}  // namespace zeltrak
