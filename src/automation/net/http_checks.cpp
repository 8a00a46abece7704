#include "automation/net/http_checks.h"

#include <algorithm>
#include <cctype>

namespace zeltrak {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The host name without its ":port"; nothing when what follows the name is not a port.
bool SplitHostName(std::string_view host, std::string_view& name) {
    std::size_t end = host.size();
    if (!host.empty() && host.front() == '[') {
        end = host.find(']');
        if (end == std::string_view::npos) return false;
        ++end;
    } else {
        end = std::min(end, host.find(':'));
    }
    name = host.substr(0, end);
    const std::string_view rest = host.substr(end);
    return rest.empty() || (rest.front() == ':' && AllDigits(rest.substr(1)));
}

// Compares in time independent of where the texts differ, so that the token cannot be guessed byte by byte.
bool SameSecret(std::string_view given, const std::string& secret) {
    if (given.size() != secret.size() || secret.empty()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < secret.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ secret[i]);
    return difference == 0;
}

std::string_view QueryValue(std::string_view target, std::string_view key) {
    const std::size_t question = target.find('?');
    if (question == std::string_view::npos) return {};
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        if (pair.size() > key.size() && pair.substr(0, key.size()) == key && pair[key.size()] == '=')
            return pair.substr(key.size() + 1);
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return {};
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool IsAllowedHost(std::string_view host, const std::vector<std::string>& addresses) {
    std::string_view name;
    if (!SplitHostName(host, name) || name.empty()) return false;
    for (const char* loopback : {"127.0.0.1", "localhost", "[::1]"})
        if (SameIgnoringCase(name, loopback)) return true;
    return std::any_of(addresses.begin(), addresses.end(), [name](const std::string& address) {
        const bool v6 = address.find(':') != std::string::npos;
        return SameIgnoringCase(name, v6 ? "[" + address + "]" : address);
    });
}

bool IsAllowedOrigin(std::string_view origin, bool hasOrigin, const std::vector<std::string>& allowed) {
    if (!hasOrigin) return true;  // not a browser
    return std::any_of(allowed.begin(), allowed.end(),
                       [origin](const std::string& one) { return SameIgnoringCase(origin, one); });
}

bool HasToken(std::string_view authorization, std::string_view target, bool queryToken, const std::string& token) {
    constexpr std::string_view kBearer = "Bearer ";
    if (authorization.size() > kBearer.size() && SameIgnoringCase(authorization.substr(0, kBearer.size()), kBearer) &&
        SameSecret(authorization.substr(kBearer.size()), token))
        return true;
    return queryToken && SameSecret(QueryValue(target, "token"), token);
}

int CheckAccess(const RequestFacts& facts, const AccessPolicy& policy) {
    if (!IsAllowedHost(facts.host, *policy.addresses)) return 403;
    if (!IsAllowedOrigin(facts.origin, facts.hasOrigin, *policy.allowedOrigins)) return 403;
    if (!HasToken(facts.authorization, facts.target, policy.queryToken, *policy.token)) return 401;
    return 0;
}

Route MatchRoute(std::string_view target) {
    const std::string_view path = target.substr(0, target.find('?'));
    Route route;
    constexpr std::string_view kItemPrefix = "/items/";
    if (path == "/items") route.kind = Route::Kind::Items;
    else if (path == "/execute") route.kind = Route::Kind::Execute;
    else if (path == "/openapi.json") route.kind = Route::Kind::OpenApi;
    else if (path == "/advise") route.kind = Route::Kind::Advise;
    else if (path.size() > kItemPrefix.size() && path.substr(0, kItemPrefix.size()) == kItemPrefix)
        route.kind = DecodePercent(path.substr(kItemPrefix.size()), route.item) ? Route::Kind::Item
                                                                                : Route::Kind::BadTarget;
    return route;
}

bool DecodePercent(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int high = HexDigit(text[i + 1]), low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::string_view TrimLineEnds(std::string_view text) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
    return text;
}

}  // namespace zeltrak
