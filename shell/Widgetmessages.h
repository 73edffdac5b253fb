#pragma once
// The program's message boxes: every message and question of the system goes
// through platform/Messages.h, and this is the window implementation the
// program installs at start-up.
#include "platform/Messages.h"

namespace qel {

class TWidgetMessages final : public MessageService {
public:
    void Show(const std::string& text, MsgKind kind) override;
    Answer Ask(const std::string& text, AskButtons buttons) override;
};

}  // namespace qel
