#include "automation/net/automation_openapi.h"

#include <nlohmann/json.hpp>

#include "automation/automation_items.h"

namespace zeltrak {

namespace {

using nlohmann::json;

json TextResponse(const char* description) {
    return {{"description", description}, {"content", {{"text/plain", {{"schema", {{"type", "string"}}}}}}}};
}

json Refusals() {
    return {{"401", {{"description", "missing or wrong token"}}},
            {"403", {{"description", "Host or Origin not allowed"}}},
            {"503", {{"description", "the analyser did not answer in time, or too many connections"}}}};
}

json ItemNames() {
    json names = json::array();
    for (const char* name : AutomationItemNames()) names.push_back(name);
    return names;
}

// Where a command is carried out today: commands of tools still to come answer NACK, and
// the window and view commands need the desktop window.
const char* Availability(const CommandKeyword& c) {
    switch (c.id) {
        case CommandId::FileDecimate:
        case CommandId::FileMerge:
        case CommandId::Calibrate:
        case CommandId::Overlay:
        case CommandId::ViewPrint: return "not processed yet";
        case CommandId::ViewOpen:
        case CommandId::ViewClose:
        case CommandId::ViewRestore:
        case CommandId::ViewMaximize:
        case CommandId::FreqSpan:
            if (c.variant == kViewSpectrogram || c.variant == kViewSurface) return "not processed yet";
            return "desktop window";
        case CommandId::Furniture: return c.variant == kFurniturePlotToolbars ? "not processed yet" : "desktop window";
        case CommandId::MainWindow:
        case CommandId::Arrange:
        case CommandId::CopyBitmap:
        case CommandId::DelayFinder:
        case CommandId::Reverb:
        case CommandId::SaveReverb: return "desktop window";
        case CommandId::LogFile:
        case CommandId::Logging: return "headless";
        default: return "everywhere";
    }
}

json CommandList(const std::vector<CommandKeyword>& commands) {
    json list = json::array();
    for (const CommandKeyword& command : commands)
        list.push_back({{"keyword", command.keyword}, {"argument", command.argument},
                        {"available", Availability(command)}});
    return list;
}

json ItemsPath() {
    json ok = {{"description", "the service, the topic and the item names in table order"},
               {"content", {{"application/json", {{"schema", {{"$ref", "#/components/schemas/ItemList"}}}}}}}};
    json responses = Refusals();
    responses["200"] = ok;
    return {{"get", {{"summary", "The items"}, {"operationId", "listItems"}, {"responses", responses}}}};
}

json ItemPath() {
    json responses = Refusals();
    responses["200"] = TextResponse("the item's reply text");
    responses["404"] = {{"description", "not an item"}};
    json parameter = {{"name", "name"}, {"in", "path"}, {"required", true},
                      {"description", "the item name (case is ignored), URL-encoded"},
                      {"schema", {{"type", "string"}, {"enum", ItemNames()}}}};
    return {{"get", {{"summary", "Request an item"}, {"operationId", "requestItem"},
                     {"parameters", json::array({parameter})}, {"responses", responses}}}};
}

json ExecutePath(const std::vector<CommandKeyword>& commands) {
    json responses = Refusals();
    responses["200"] = TextResponse("ACK: the command was carried out");
    responses["409"] = TextResponse("NACK: not a command, a refused argument, or not carried out");
    responses["413"] = {{"description", "body too large"}};
    json body = {{"required", true},
                 {"description", "one command text such as [Run]; trailing line ends are ignored"},
                 {"content", {{"text/plain", {{"schema", {{"$ref", "#/components/schemas/Command"}}}}}}}};
    return {{"post", {{"summary", "Execute a command"}, {"operationId", "execute"}, {"requestBody", body},
                      {"responses", responses}, {"x-commands", CommandList(commands)}}}};
}

json AdvisePath() {
    json responses = Refusals();
    responses["101"] = {{"description", "switched to the WebSocket protocol"}};
    const char* protocol =
        "WebSocket upgrade (the token may also be given as ?token=). Text frames, JSON: the client sends "
        "{\"subscribe\": [names]} or {\"unsubscribe\": [names]} and receives {\"subscribed\": [names]}, or "
        "{\"error\": \"unknown item\", \"item\": name} with nothing changed; after every processed spectrum the "
        "server sends {\"item\": name, \"value\": text, \"seq\": n} for each subscribed item, n counting per "
        "connection (a gap means updates were dropped for a slow reader). Other messages get {\"error\": text}.";
    return {{"get", {{"summary", "Advise: subscribe to items"}, {"operationId", "advise"},
                     {"description", protocol}, {"responses", responses}}}};
}

json Components(const std::vector<CommandKeyword>& commands) {
    json keywords = json::array();
    for (const CommandKeyword& command : commands) keywords.push_back(command.keyword);
    return {{"securitySchemes", {{"token", {{"type", "http"}, {"scheme", "bearer"},
                                            {"description", "the token of the discovery file"}}}}},
            {"schemas",
             {{"ItemList", {{"type", "object"},
                            {"properties", {{"service", {{"type", "string"}}},
                                            {"topic", {{"type", "string"}}},
                                            {"items", {{"type", "array"}, {"items", {{"type", "string"}}}}}}}}},
              {"Command", {{"type", "string"},
                           {"description", "a keyword (case is ignored) followed by its argument and ']'"},
                           {"x-keywords", keywords}}}}}};
}

}  // namespace

std::string AutomationOpenApi(const std::vector<CommandKeyword>& commands) {
    json document = {
        {"openapi", "3.0.3"},
        {"info", {{"title", std::string(kAutomationService) + " automation"}, {"version", kAutomationVersion},
                  {"description", "Requests, commands and advise of the analyser on the loopback interface."}}},
        {"security", json::array({{{"token", json::array()}}})},
        {"paths", {{"/items", ItemsPath()}, {"/items/{name}", ItemPath()}, {"/execute", ExecutePath(commands)},
                   {"/openapi.json", {{"get", {{"summary", "This document"}, {"operationId", "openapi"},
                                               {"responses", {{"200", {{"description", "OpenAPI 3.0"}}}}}}}}},
                   {"/advise", AdvisePath()}}},
        {"components", Components(commands)}};
    return document.dump(2) + "\n";
}

}  // namespace zeltrak
