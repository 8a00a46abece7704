#pragma once
#include <memory>

#include "automation/automation_backend.h"
#include "automation/net/automation_server.h"

namespace zeltrak {

class Host;
class TIniStore;

// The automation server of a running analyser, as the settings file configures it: started
// on the loopback interface with a new token and the discovery file written. Null when the
// settings switch it off or it cannot start (said through the host; the analyser runs on
// without it).
std::unique_ptr<TAutomationServer> StartAutomationServer(const TIniStore& ini, TAutomationBackend& backend,
                                                         EnginePost post, Host& host);

}  // namespace zeltrak
