#pragma once
#include <string>
#include <vector>

namespace zeltrak {

// `zeltrak ctl request ITEM | execute TEXT | advise ITEM... | items | openapi`: a client of a running
// analyser's automation server, found through its discovery file.
struct CtlOptions {
    enum class Action { None, Request, Execute, Advise, Items, OpenApi };
    Action action = Action::None;
    std::vector<std::string> arguments;  // the item(s) or the command text
    std::string discovery;               // empty: the default discovery file
};

}  // namespace zeltrak
