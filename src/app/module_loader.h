#pragma once
#include <string>

#include "module_entries.h"

namespace zeltrak {

// The desktop and sound modules, opened on first use and kept open for the life of the process
// (objects they made may live until exit). Null, with the reason in error, when the module is
// missing, cannot be loaded or belongs to another build.
const DesktopModuleEntry* DesktopModule(std::string& error);
const SoundModuleEntry* SoundModule(std::string& error);

}  // namespace zeltrak
