#pragma once
#include <string>
#include <vector>

#include "automation/automation_commands.h"

namespace zeltrak {

// The OpenAPI 3.0 description of the automation server: every item, every command keyword
// with what its argument is, and the advise protocol.
std::string AutomationOpenApi(const std::vector<CommandKeyword>& commands);

}  // namespace zeltrak
