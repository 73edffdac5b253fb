#pragma once
// The program's message boxes: every message and question of the system goes
// through platform/Messages.h, and this is the window implementation the
// program installs at start-up.
#include "platform/Messages.h"

class QWidget;

namespace qel {

/// Moves a message box (before it is shown) so that the text field being
/// edited in `parent`'s window stays in sight: below the field, or above it
/// when the screen has no room below. A refusal then never hides the line it
/// refuses. Does nothing when no text field of that window has the focus.
void PlaceClearOfInputField(QWidget* box, QWidget* parent);

class TWidgetMessages final : public MessageService {
public:
    void Show(const std::string& text, MsgKind kind) override;
    Answer Ask(const std::string& text, AskButtons buttons) override;
};

}  // namespace qel
