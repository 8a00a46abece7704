#pragma once
#include <string>

#include "engine/processing_settings.h"

namespace zeltrak {

// The "Configuration Parameters" text: every setting with the words of its lists.
std::string SettingsReport(const ProcessingSettings& settings);

}  // namespace zeltrak
