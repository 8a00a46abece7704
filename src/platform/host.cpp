#include "platform/host.h"

#include "base/strings.h"

namespace zeltrak {

void ShowStringMessage(Host& host, int id, MessageIcon icon) {
    host.MessageBox(LoadString(id), kProgramTitle, icon);
}

void ShowMessage(Host& host, const std::string& text, MessageIcon icon) {
    host.MessageBox(text, kProgramTitle, icon);
}

}  // namespace zeltrak
