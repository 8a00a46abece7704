#pragma once
#include "automation/automation_commands.h"

namespace zeltrak {

class TSignalGenerator;

// The generator's automation commands carried out on an open generator: start and stop
// ("[Start Generator]", "[Stop Generator]"), the signal type, a tone, a wave file to play, and
// saving the signal. False when the command is none of these or its argument is refused. The
// window and the headless program both come here.
bool CarryGeneratorCommand(TSignalGenerator& generator, const AutomationCommand& command);

}  // namespace zeltrak
