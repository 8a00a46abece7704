#include <string>
#include <vector>

#include "automation/net/automation_server.h"
#include "files/ini_store.h"

namespace zeltrak {

namespace {

constexpr const char* kSection = "Automation";

std::vector<std::string> CommaList(const std::string& text) {
    std::vector<std::string> list;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        std::string one = text.substr(start, comma - start);
        one.erase(0, one.find_first_not_of(" \t"));
        one.erase(one.find_last_not_of(" \t") + 1);
        if (!one.empty()) list.push_back(one);
        start = comma + 1;
    }
    return list;
}

}  // namespace

AutomationServerOptions ReadAutomationSettings(const TIniStore& ini) {
    AutomationServerOptions options;
    const std::vector<std::string> addresses = CommaList(ini.GetString(kSection, "Address", "127.0.0.1,::1"));
    if (!addresses.empty()) options.addresses = addresses;
    const int64_t port = ini.GetInt(kSection, "Port", 0);
    options.port = port > 0 && port <= 65535 ? static_cast<uint16_t>(port) : 0;
    options.allowedOrigins = CommaList(ini.GetString(kSection, "AllowedOrigins", ""));
    options.discoveryPath = DefaultDiscoveryPath();
    return options;
}

bool AutomationEnabled(const TIniStore& ini) { return ini.GetInt(kSection, "Enabled", 1) != 0; }

}  // namespace zeltrak
