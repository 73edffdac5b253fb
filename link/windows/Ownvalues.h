#pragma once
// What the register view and the file-register template window share: values
// kept in a file of their own, which the project's file set does not hold.
// Both windows have `Modified` and `SaveFileName`.
#include <filesystem>
#include <functional>
#include <string>

#include <QMdiArea>

#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

namespace qel::link {

// Changed values kept under `fileName`: Yes saves them through `save` (false,
// everything kept, when that failed), No gives them up, Cancel keeps them.
// True when they may go.
inline bool MayLetChangesGo(bool modified, const std::string& fileName, const std::function<bool()>& save) {
    if (!modified) return true;
    switch (qel::AskQuestion(gMsgTable.Get(kMsgSaveChanges) + "\n" + fileName + "?", qel::AskButtons::YesNoCancel)) {
    case qel::Answer::Yes: return save();
    case qel::Answer::No: return true;
    default: return false;
    }
}

// The file of such values that belongs to the program: the program file's
// name with `ext`, beside the program file the user opened or saved last,
// found as the set's companions are in any letter case ("PLANT.KZL").
inline std::string ProgramSideFile(const char* ext) {
    // The name earlier saves used ("PLANT.kzl" for "PLANT.KZP") comes first.
    const std::string saved = gQel.BaseName + ext;
    std::error_code ec;
    if (gQel.BaseName.empty() || std::filesystem::exists(saved, ec)) return saved;
    return CompanionPath(gQel.BaseName + std::filesystem::path(gQel.ProgramFileName).extension().string(), ext);
}

// A file the user chose to open that is not there says so (message 26 with
// the path), rather than reading as an empty file; false then.
inline bool ChosenFileExists(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return true;
    ShowMsg(kMsgFileOpenFailed, " " + path);
    return false;
}

template <class Window>
bool MayLetOwnValuesGo(Window& w, bool (Window::*save)()) {
    return MayLetChangesGo(w.Modified != 0, w.SaveFileName, [&w, save] { return (w.*save)(); });
}

// The frame's part for such values: another project, and leaving the
// program, ask first (mayLetGo: true when nothing unsaved is left or the user
// let it go); a new model setting saves changed values (saveForModel: false
// when that failed or was cancelled, and the model stays) before the windows
// go with the others.
inline void GuardOwnValues(TQelMain* frame, std::function<bool()> mayLetGo, std::function<bool()> saveForModel) {
    frame->AddProjectGuard(frame->MdiArea, mayLetGo);
    frame->AddLeaveGuard(frame->MdiArea, std::move(mayLetGo));
    frame->AddModelGuard(frame->MdiArea, std::move(saveForModel));
}

}  // namespace qel::link
