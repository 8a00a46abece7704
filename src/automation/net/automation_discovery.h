#pragma once
#include <cstdint>
#include <string>

namespace zeltrak {

// How a client finds a running automation server: what the discovery file holds.
struct DiscoveryRecord {
    long pid = 0;
    std::string address;  // the first address served
    uint16_t port = 0;
    std::string token;
    std::string url;  // "http://ADDRESS:PORT"
};

// $XDG_RUNTIME_DIR/zeltrak/automation.json; without XDG_RUNTIME_DIR /tmp/zeltrak-UID/automation.json.
std::string DefaultDiscoveryPath();

// Writes the record readable by the user only (a temporary file renamed into place, so a reader
// never sees half a file). The folder is made with mode 0700; one that is not ours, or that
// others can write to, is refused since they could swap the file.
bool WriteDiscoveryFile(const std::string& path, const DiscoveryRecord& record, std::string& error);
bool ReadDiscoveryFile(const std::string& path, DiscoveryRecord& record, std::string& error);
// Removes the file only while it still names this process: a later server may have replaced it.
void RemoveDiscoveryFileIfOurs(const std::string& path);

// "http://127.0.0.1:PORT", with brackets around an IPv6 address.
std::string ServerUrl(const std::string& address, uint16_t port);

}  // namespace zeltrak
