#include "automation/net/automation_discovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "automation/automation_items.h"

namespace zeltrak {

namespace {

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// The folder exists (made now with 0700), is ours and nobody else may write into it.
bool PrepareFolder(const std::filesystem::path& folder, std::string& error) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = SystemError("cannot create " + folder.string());
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        error = SystemError("cannot examine " + folder.string());
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 022) != 0) {
        error = folder.string() + " is not a private folder of this user";
        return false;
    }
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string DefaultDiscoveryPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && runtime[0] != '\0'
                                   ? std::string(runtime) + "/zeltrak"
                                   : "/tmp/zeltrak-" + std::to_string(::getuid());
    return folder + "/automation.json";
}

std::string ServerUrl(const std::string& address, uint16_t port) {
    const bool v6 = address.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

bool WriteDiscoveryFile(const std::string& path, const DiscoveryRecord& record, std::string& error) {
    const std::filesystem::path target(path);
    if (!PrepareFolder(target.parent_path().empty() ? "." : target.parent_path(), error)) return false;
    const nlohmann::json json = {{"service", kAutomationService}, {"topic", kAutomationTopic},
                                 {"pid", record.pid},             {"address", record.address},
                                 {"port", record.port},           {"token", record.token},
                                 {"url", record.url}};
    const std::string temporary = path + "." + std::to_string(::getpid()) + ".tmp";
    ::unlink(temporary.c_str());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = SystemError("cannot create " + temporary);
        return false;
    }
    const bool written = WriteAll(fd, json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n") && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = SystemError("cannot write " + path);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

bool ReadDiscoveryFile(const std::string& path, DiscoveryRecord& record, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "no discovery file at " + path;
        return false;
    }
    const nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
    const auto has = [&json](const char* key, bool (nlohmann::json::*is)() const noexcept) {
        return json.is_object() && json.contains(key) && (json[key].*is)();
    };
    using J = nlohmann::json;
    if (!has("port", &J::is_number_unsigned) || json["port"].get<uint64_t>() > 65535 ||
        !has("token", &J::is_string) || !has("address", &J::is_string)) {
        error = "the discovery file " + path + " is not readable";
        return false;
    }
    record.pid = has("pid", &J::is_number_integer) ? json["pid"].get<long>() : 0;
    record.address = json["address"].get<std::string>();
    record.port = json["port"].get<uint16_t>();
    record.token = json["token"].get<std::string>();
    record.url = has("url", &J::is_string) ? json["url"].get<std::string>() : ServerUrl(record.address, record.port);
    return true;
}

void RemoveDiscoveryFileIfOurs(const std::string& path) {
    DiscoveryRecord record;
    std::string ignored;
    if (ReadDiscoveryFile(path, record, ignored) && record.pid == static_cast<long>(::getpid()))
        ::unlink(path.c_str());
}

}  // namespace zeltrak
