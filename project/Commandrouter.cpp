#include "project/Commandrouter.h"

void TCommandRouter::Register(const std::string& command, int view, Handler handler, Condition when,
                              const void* owner) {
    if (!handler) {
        Unregister(command, view);
        return;
    }
    entries_[{command, view}] = Entry{std::move(handler), std::move(when), owner};
}

void TCommandRouter::Unregister(const std::string& command, int view) { entries_.erase({command, view}); }

void TCommandRouter::UnregisterView(int view) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->first.second == view)
            it = entries_.erase(it);
        else
            ++it;
    }
}

void TCommandRouter::UnregisterOwner(const void* owner) {
    if (!owner) return;
    std::erase_if(entries_, [owner](const auto& e) { return e.second.owner == owner; });
}

const TCommandRouter::Entry* TCommandRouter::Find(const std::string& command, int view) const {
    // The active view's own handler first; when it exists but its condition
    // fails, the command is unavailable there rather than falling through to
    // the frame's handler, which would act on the wrong document.
    if (view != kAnyView) {
        if (auto it = entries_.find({command, view}); it != entries_.end()) return &it->second;
    }
    if (auto it = entries_.find({command, kAnyView}); it != entries_.end()) return &it->second;
    return nullptr;
}

bool TCommandRouter::Available(const std::string& command, int view) const {
    const Entry* e = Find(command, view);
    return e && (!e->when || e->when());
}

bool TCommandRouter::Dispatch(const std::string& command, int view) const {
    const Entry* e = Find(command, view);
    if (!e || (e->when && !e->when())) return false;
    // Copy: the handler may re-register commands (an editor opening or closing).
    Handler h = e->handler;
    h();
    return true;
}
