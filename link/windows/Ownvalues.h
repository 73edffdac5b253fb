#pragma once
// What the register view and the file-register template window share: values
// kept in a file of their own, which the project's file set does not hold.
// Both windows have `Modified` and `SaveFileName`.
#include <string>

#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

namespace qel::link {

// Changed values: Yes saves them through `save` (false, the window kept, when
// that failed), No gives them up, Cancel keeps them. True when they may go.
template <class Window>
bool MayLetOwnValuesGo(Window& w, bool (Window::*save)()) {
    if (!w.Modified) return true;
    switch (qel::AskQuestion(gMsgTable.Get(kMsgSaveChanges) + "\n" + w.SaveFileName + "?",
                             qel::AskButtons::YesNoCancel)) {
    case qel::Answer::Yes: return (w.*save)();
    case qel::Answer::No: return true;
    default: return false;
    }
}

// The frame's part for such a window, `window` being its global pointer: a
// project replacing the windows asks first (mayLetGo); a new model setting
// saves changed values (saveForModel) before the window goes with the others;
// at shut-down the user is asked whether to write them (write).
template <class Window>
void GuardOwnValues(TQelMain* frame, Window* const& window, bool (Window::*mayLetGo)(),
                    bool (Window::*saveForModel)(), bool (Window::*write)()) {
    frame->AddProjectGuard(frame->MdiArea, [&window, mayLetGo] { return !window || (window->*mayLetGo)(); });
    frame->AddProjectListener(frame->MdiArea, [&window, saveForModel, write](TProjectEvent event) {
        if (!window || !window->Modified) return;
        if (event == TProjectEvent::ModelChanging) {
            (window->*saveForModel)();
        } else if (event == TProjectEvent::ShuttingDown) {
            const std::string text = gMsgTable.Get(kMsgSaveChanges) + "\n" + window->SaveFileName + "?";
            if (qel::AskQuestion(text, qel::AskButtons::YesNo) == qel::Answer::Yes) (window->*write)();
        }
    });
}

}  // namespace qel::link
