#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace zeltrak {

// What the access checks look at in a request; an absent header is empty.
struct RequestFacts {
    std::string_view host;
    std::string_view origin;
    bool hasOrigin = false;
    std::string_view authorization;
    std::string_view target;
};

struct AccessPolicy {
    const std::vector<std::string>* addresses = nullptr;       // the addresses served
    const std::vector<std::string>* allowedOrigins = nullptr;  // browser origins allowed
    const std::string* token = nullptr;
    bool queryToken = false;  // "?token=" also counts (the WebSocket upgrade: browsers cannot set headers)
};

// Whether the Host header names this machine's loopback or a served address: any other name
// may be a DNS-rebinding page in a browser.
bool IsAllowedHost(std::string_view host, const std::vector<std::string>& addresses);
bool IsAllowedOrigin(std::string_view origin, bool hasOrigin, const std::vector<std::string>& allowed);
bool HasToken(std::string_view authorization, std::string_view target, bool queryToken, const std::string& token);

// 0 when the request may proceed, else the refusal's status: Host (403), Origin (403), token (401), in that order.
int CheckAccess(const RequestFacts& facts, const AccessPolicy& policy);

struct Route {
    enum class Kind { Items, Item, Execute, OpenApi, Advise, NotFound, BadTarget };
    Kind kind = Kind::NotFound;
    std::string item;  // Item: the decoded name
};
// The endpoint a target names; the query is ignored.
Route MatchRoute(std::string_view target);

// %XX escapes decoded; false for a broken escape.
bool DecodePercent(std::string_view text, std::string& out);

// A command text with its line ends removed.
std::string_view TrimLineEnds(std::string_view text);

}  // namespace zeltrak
