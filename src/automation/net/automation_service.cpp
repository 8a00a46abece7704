#include "automation/net/automation_service.h"

#include "files/ini_store.h"
#include "platform/host.h"

namespace zeltrak {

std::unique_ptr<TAutomationServer> StartAutomationServer(const TIniStore& ini, TAutomationBackend& backend,
                                                         EnginePost post, Host& host) {
    if (!AutomationEnabled(ini)) return nullptr;
    AutomationServerOptions options = ReadAutomationSettings(ini);
    options.commands = AutomationCommandKeywords();
    auto server = std::make_unique<TAutomationServer>(backend, std::move(post), options);
    std::string error;
    if (!server->Start(error)) {
        ShowMessage(host, "The automation server could not start: " + error, MessageIcon::Warning);
        return nullptr;
    }
    return server;
}

}  // namespace zeltrak
