#pragma once
// What the register view and the file-register template window share: values
// kept in a file of their own, which the project's file set does not hold.
// Both windows have `Modified` and `SaveFileName`.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

#include "link/online/Devicewrite.h"
#include "platform/Messages.h"
#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "shell/Celledit.h"
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

// Whether a save of such values may replace the file `path`, judged as the
// program's own save judges its files: a read-only file is refused (message
// 278, nothing written); one that is not what this run last read or wrote
// there (another run's save) is asked about (message 277, OK or Cancel). Any
// other file there gets the window's overwrite question `overwrite` (Yes,
// No, Cancel), or with 0 none, where a file this run never saw is asked about
// as changed. Yes: write; No: choose another name; Cancel: write nothing.
inline qel::Answer MayReplaceSideFile(const std::string& path, int overwrite) {
    if (qelfile::ReplaceRefusal(path) == qelfile::Unreplaceable::ReadOnly) {
        ShowSaveFailed(path);
        return qel::Answer::Cancel;
    }
    const qelfile::DiskChange change = qelfile::ChangeSinceSeen(path);
    if (change == qelfile::DiskChange::Gone) return qel::Answer::Yes;
    if (change == qelfile::DiskChange::Changed || (change == qelfile::DiskChange::Unseen && overwrite == 0))
        return qel::AskQuestion(gMsgTable.Get(kMsgChangedOnDisk) + "\n" + path, qel::AskButtons::OkCancel) ==
                       qel::Answer::Ok
                   ? qel::Answer::Yes
                   : qel::Answer::Cancel;
    if (overwrite == 0) return qel::Answer::Yes;
    return qel::AskQuestion(gMsgTable.Get(overwrite) + "\n" + path, qel::AskButtons::YesNoCancel);
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

// The side files this run wrote while the project (gProjectSerial) had no
// name of the user's. Two runs of the program give their untitled projects
// the same first free name: a file under that name that this run did not
// write for this project is the other run's.
struct TUntitledSideFiles {
    std::uint64_t Project = 0;
    std::vector<std::string> Paths;
};
inline TUntitledSideFiles& UntitledSideFiles() {
    static TUntitledSideFiles files;
    return files;
}
inline void NoteSideFileWritten(const std::string& path) {
    TUntitledSideFiles& f = UntitledSideFiles();
    if (f.Project != gProjectSerial) f = {gProjectSerial, {}};
    f.Paths.push_back(path);
}
inline bool SideFileWrittenForThisProject(const std::string& path) {
    const TUntitledSideFiles& f = UntitledSideFiles();
    return f.Project == gProjectSerial && std::find(f.Paths.begin(), f.Paths.end(), path) != f.Paths.end();
}
// Whether a window opening reads the program's side file `path`: always for
// a project the user named; for an untitled one only a file this run wrote
// for it (a window's own Open reads any file the user chooses).
inline bool MayReadProgramSideFile(const std::string& path) {
    return gQel.Named || SideFileWrittenForThisProject(path);
}

// Where the program's side file stood when the project was last opened,
// started or saved, and which project that was (gProjectSerial).
struct TSideFilePlace {
    std::uint64_t Project = 0;
    std::string Path;
    bool Named = false;  // the program had a name of the user's then
    void Take(const char* ext) {
        Project = gProjectSerial;
        Path = ProgramSideFile(ext);
        Named = gQel.Named != 0;
    }
};

// After a save of the program: when it now has another name than `place`
// recorded (Save As), the side file it had in this project, to be carried to
// the new name; an empty path when it had none of its own: the project was
// replaced since (a program read from the PLC), or the file under its
// untitled name is not one this run wrote for it. Nothing when the name
// stayed. Records the new place.
inline std::optional<std::string> SideFileMovedFrom(TSideFilePlace& place, const char* ext) {
    const bool sameProject = place.Project == gProjectSerial;
    if (sameProject && place.Path == ProgramSideFile(ext)) return std::nullopt;
    const bool own = sameProject && (place.Named || SideFileWrittenForThisProject(place.Path));
    std::string from = own ? place.Path : std::string();
    place.Take(ext);
    return from;
}

// The backup of a side file that a Save As over another project replaces:
// "NAME.kl~" for register data, "NAME.qf~" for a template.
inline std::string SideFileBackup(const std::string& path) {
    std::filesystem::path p(path);
    const std::string ext = p.extension().string();
    return p.replace_extension(ext == kRegisterFileExt   ? kRegisterBackupExt
                               : ext == kTemplateFileExt ? kTemplateBackupExt
                                                         : ext + "~")
        .string();
}

// Before a save of the program under another name replaces or removes the
// side file `to` there (another project's), it is kept as its backup, as the
// set's own files are. False, with message 30 and the backup's path, when
// that failed: `to` must then stay as it is.
inline bool KeepSideFileBackup(const std::string& to) {
    std::vector<std::uint8_t> old;
    switch (qelfile::ReadWholeFile(to, old)) {
    case qelfile::ReadResult::Missing: return true;
    case qelfile::ReadResult::Ok:
        if (WriteBackupOfReplaced(SideFileBackup(to),
                                  std::string_view(reinterpret_cast<const char*>(old.data()), old.size()), to))
            return true;
        [[fallthrough]];
    default: ShowSaveFailed(SideFileBackup(to)); return false;
    }
}

// The side file `from` carried to `to` with the program: the values saved
// under the old name are the project's under the new one (written whole or
// not at all); where none were saved, a file of another project standing
// under the new name is removed, so that it never shows as this project's.
// False, with message 30 and the path, when that failed.
inline bool CarrySideFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::vector<std::uint8_t> bytes;
    const qelfile::ReadResult read =
        from.empty() ? qelfile::ReadResult::Missing : qelfile::ReadWholeFile(from, bytes);
    // The values carried are as private under the new name as under the old.
    if (read == qelfile::ReadResult::Ok &&
        qelfile::WriteFileReplacing(to, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                                    from))
        return true;
    if (read == qelfile::ReadResult::Missing && (std::filesystem::remove(to, ec), !ec)) return true;
    ShowSaveFailed(to);
    return false;
}

// The program just saved: where Save As gave it another name, the window's
// values go with it. A window `w` (may be null) whose file follows the
// program takes the new name and, when what it shows is saved, writes it
// there through `write` (a failed write leaves the values changed, so that
// they are asked about); otherwise the file saved last is carried
// (CarrySideFile). `renamed` hears the new name first.
template <class Window>
void SideValuesFollowProgram(TSideFilePlace& place, const char* ext, Window* w, bool (Window::*write)(),
                             const std::function<void(const std::string&)>& renamed = {}) {
    const std::optional<std::string> from = SideFileMovedFrom(place, ext);
    if (!from) return;
    const std::string to = ProgramSideFile(ext);
    if (renamed) renamed(to);
    // A read-only file under the new name stays as it is, backup included:
    // the window keeps its values as changed, to be saved elsewhere.
    if (qelfile::ReplaceRefusal(to) == qelfile::Unreplaceable::ReadOnly) {
        ShowSaveFailed(to);
        if (w && w->NameFollowsProgram) {
            w->SaveFileName = to;
            w->Modified = 1;
        }
        return;
    }
    const bool kept = KeepSideFileBackup(to);
    if (w && w->NameFollowsProgram) {
        w->SaveFileName = to;
        if (!w->Modified) {
            // The saved values go first, so that the window's write replaces
            // a file as private as theirs rather than making a new one.
            if (!kept || (!from->empty() && !CarrySideFile(*from, to)) || !(w->*write)()) w->Modified = 1;
            return;
        }
    }
    if (kept) CarrySideFile(*from, to);
}

// A file the user chose to open that is not there says so (message 26 with
// the path), rather than reading as an empty file; false then.
inline bool ChosenFileExists(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return true;
    ShowMsg(kMsgFileOpenFailed, " " + path);
    return false;
}

// The value being typed in `window`'s grid of ten values a row (its editor
// open, no Enter yet) goes in through `commit`, the cell's check and store
// (false when the check refuses the text). A refused text stays in its cell
// and the window comes to the front with message 0, so that the user can
// mend it; whatever was to read the values waits. True when nothing was
// being typed or it went in.
inline bool TakeInTypedCell(QWidget* window, QAbstractItemView* grid,
                            const std::function<bool(int index, const QString& text)>& commit) {
    auto* editor = qobject_cast<QLineEdit*>(OpenCellEditor(grid));
    if (!editor) return true;
    const QModelIndex cell = grid->currentIndex();
    const QString typed = editor->text();
    if (commit(cell.row() * 10 + cell.column(), typed)) {
        CloseOpenCell(grid);
        return true;
    }
    editor->setText(typed);  // a refill of the grid shows the old value in it
    if (auto* sub = qobject_cast<QMdiSubWindow*>(window->parentWidget()); sub && sub->mdiArea())
        sub->mdiArea()->setActiveSubWindow(sub);
    ShowMsg(kMsgInvalid);
    editor->setFocus();
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
