#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine_listener.h"

namespace zeltrak {

// The engine's listeners, kept in the order they are told (by role, then by arrival), and
// the caption and levels they hear about.
class TEngineAudience {
public:
    void Add(TEngineListener* listener, ListenerRole role);
    void Remove(TEngineListener* listener);
    bool Empty() const { return listeners_.empty(); }

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    int32_t LevelLeft() const { return levelLeft_; }
    int32_t LevelRight() const { return levelRight_; }
    // Tells the listeners only when a level changed.
    void SetLevels(int32_t left, int32_t right);
    // A new run starts from silence without telling anyone: its first frame will.
    void ForgetLevels() { levelLeft_ = levelRight_ = 0; }

    void Started();
    void Stopped();
    void Frame(const EngineFrame& frame);

private:
    struct Registered {
        TEngineListener* listener;
        ListenerRole role;
    };
    std::vector<Registered> listeners_;
    std::string caption_;
    int32_t levelLeft_ = 0;
    int32_t levelRight_ = 0;
};

}  // namespace zeltrak
