#include "project/Editorlink.h"

#include <algorithm>

#include "project/Commandrouter.h"

TEditorLink::TEditorLink(int view, QObject* parent) : QObject(parent), view_(view) {}

TEditorLink::~TEditorLink() { DetachRouter(); }

void TEditorLink::Register(const std::string& command, Handler handler, Condition when) {
    auto it = std::find_if(commands_.begin(), commands_.end(), [&](const Command& c) { return c.name == command; });
    if (it != commands_.end())
        *it = Command{command, handler, when};
    else
        commands_.push_back(Command{command, handler, when});
    if (router_) router_->Register(command, view_, std::move(handler), std::move(when), this);
}

const TEditorLink::Command* TEditorLink::Find(const std::string& name) const {
    auto it = std::find_if(commands_.begin(), commands_.end(), [&](const Command& c) { return c.name == name; });
    return it == commands_.end() ? nullptr : &*it;
}

bool TEditorLink::Available(const std::string& command) const {
    const Command* c = Find(command);
    return c && (!c->when || c->when());
}

bool TEditorLink::Run(const std::string& command) const {
    const Command* c = Find(command);
    if (!c || (c->when && !c->when())) return false;
    Handler h = c->handler;  // the handler may register again
    h();
    return true;
}

void TEditorLink::AttachRouter(TCommandRouter* router) {
    DetachRouter();
    router_ = router;
    if (!router_) return;
    for (const Command& c : commands_) router_->Register(c.name, view_, c.handler, c.when, this);
}

void TEditorLink::DetachRouter() {
    if (router_) router_->UnregisterOwner(this);
    router_ = nullptr;
}

bool TEditorLink::OwnsKey(QKeyCombination key) const {
    return std::find(OwnKeys.begin(), OwnKeys.end(), key) != OwnKeys.end();
}
