#include "engine/engine_audience.h"

#include <algorithm>

namespace zeltrak {

void TEngineAudience::Add(TEngineListener* listener, ListenerRole role) {
    if (listener == nullptr) return;
    Remove(listener);
    auto at = std::find_if(listeners_.begin(), listeners_.end(),
                           [role](const Registered& r) { return static_cast<int>(r.role) > static_cast<int>(role); });
    listeners_.insert(at, Registered{listener, role});
}

void TEngineAudience::Remove(TEngineListener* listener) {
    std::erase_if(listeners_, [listener](const Registered& r) { return r.listener == listener; });
}

void TEngineAudience::SetCaption(const std::string& caption) {
    caption_ = caption;
    for (const Registered& r : listeners_) r.listener->OnCaption(caption_);
}

void TEngineAudience::SetLevels(int32_t left, int32_t right) {
    if (left == levelLeft_ && right == levelRight_) return;
    levelLeft_ = left;
    levelRight_ = right;
    for (const Registered& r : listeners_) r.listener->OnLevels(left, right);
}

void TEngineAudience::Started() {
    for (const Registered& r : listeners_) r.listener->OnStarted();
}

void TEngineAudience::Stopped() {
    for (const Registered& r : listeners_) r.listener->OnStopped();
}

void TEngineAudience::Frame(const EngineFrame& frame) {
    // Copied: a listener may add or remove listeners.
    const std::vector<Registered> audience = listeners_;
    for (const Registered& r : audience) r.listener->OnFrame(frame);
}

}  // namespace zeltrak
