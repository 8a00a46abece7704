#pragma once

namespace zeltrak {

// The automation transport's own texts.
inline constexpr const char* kNetAck = "ACK";
inline constexpr const char* kNetNack = "NACK";
inline constexpr const char* kNetUnknownItem = "unknown item";
inline constexpr const char* kNetNotJson = "not a JSON text message";
inline constexpr const char* kNetBadMessage = "expected {\"subscribe\": [names]} or {\"unsubscribe\": [names]}";
inline constexpr const char* kNetUnauthorized = "missing or wrong token";
inline constexpr const char* kNetBadHost = "host not allowed";
inline constexpr const char* kNetBadOrigin = "origin not allowed";
inline constexpr const char* kNetTooLarge = "request body too large";
inline constexpr const char* kNetMalformed = "malformed request";
inline constexpr const char* kNetNotFound = "not found";
inline constexpr const char* kNetBadMethod = "method not allowed";
inline constexpr const char* kNetBusy = "the analyser did not answer in time";
inline constexpr const char* kNetFull = "too many connections";
inline constexpr const char* kNetUpgrade = "a WebSocket upgrade is expected here";

}  // namespace zeltrak
