// The frame's project commands: New, Open, Save, Save As, the recent files,
// the model setting, the title page, about and help, and shut-down. A modified
// program is never dropped: every command that would replace it asks first,
// and Cancel (or a failed save) leaves it open as it was.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLocale>
#include <QMenu>
#include <QUrl>

#include "platform/Messages.h"
#include "platform/Paths.h"
#include "shell/About.h"
#include "shell/Filedialogs.h"
#include "shell/Machinesetfrm.h"
#include "project/Editorlink.h"
#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "project/Settings.h"
#include "project/Viewcodes.h"
#include "shell/Titlepage.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMsgNoRoom = 20;        // the program does not fit the capacity
constexpr int kMsgHelpMissing = 147;  // the help file is not installed

constexpr char kProgramFilter[] = "程序文件 (*.kzp)";

std::string ParentDir(const std::string& path) { return fs::path(path).parent_path().string(); }

}  // namespace

// ---------------------------------------------------------------------------
// Saving

bool TQelMain::AskSaveModified() {
    if (!gQel.Modified) return true;
    const std::string text = gMsgTable.Get(kMsgSaveChanges) + "\n" + gQel.ProgramFileName;
    switch (qel::AskQuestion(text, qel::AskButtons::YesNoCancel)) {
    case qel::Answer::Yes: return SaveProgram();
    case qel::Answer::No: return true;
    default: return false;
    }
}

bool TQelMain::MayReplaceProject() {
    return AllGuardsAgree(projectGuards_) && AskSaveModified();
}

bool TQelMain::SaveProgram() {
    // A program opened from a backup or under another extension has no set
    // of its own to be saved into: the files beside it are another
    // version's. It is saved under a name the user chooses.
    if (!gQel.Named || !IsProgramFileName(gQel.ProgramFileName)) return SaveProgramAs();
    // The program saved is the one the editors show, as far as their edits
    // go in; edits that do not are kept in the editors' own files. Keeping
    // both the chart's and the ladder's edits cancels the save.
    if (CommitAll() == TCommit::Cancelled) return false;
    DrawCommentedLadderForSave();
    NotifyProject(TProjectEvent::Saving);
    if (!SaveProject()) return false;  // SaveProject showed why
    AddRecentFile(gQel.ProgramFileName);
    NotifyProject(TProjectEvent::Saved);
    RebuildRecentMenu();
    const bool ladderWhole = LadderEditsSaved();
    const bool whole = ChartEditsSaved() && ladderWhole;
    UpdateCaption();
    return whole;
}

bool TQelMain::LadderEditsSaved() {
    TEditorLink* ladder = LinkOfView(kViewLadder);
    if (!ladder || !ladder->HoldsEdits || !ladder->HoldsEdits()) return true;
    // The ladder file holds rows the program file's code does not: the user
    // hears of it, and the project stays modified, so that leaving it asks
    // again instead of taking the save for done.
    ShowMsg(kMsgLadderEditsNotSaved, " " + SiblingPath(".lad"));
    gQel.Modified = 1;
    return false;
}

bool TQelMain::SaveProgramAs() {
    const std::string dir = gQel.SaveDir.empty() ? ParentDir(gQel.ProgramFileName) : gQel.SaveDir;
    // Offered: the project's own program file, or its name as one ("plant.kzp"
    // for a program opened from "plant.kz~").
    const std::string offered = IsProgramFileName(gQel.ProgramFileName) || gQel.BaseName.empty()
                                    ? gQel.ProgramFileName
                                    : ProgramFileNameFor(gQel.BaseName);
    const std::string start = (fs::path(dir) / fs::path(offered).filename()).string();
    const std::string typed = qel::FileDialogs().SaveProjectName(this, "另存为", start, kProgramFilter);
    if (typed.empty()) return false;
    // The name carried from now on is the program file written, whatever
    // was typed; a set already there is written over only when the user
    // says so (the project's own set is simply saved).
    const std::string path = ProgramFileNameFor(typed);
    const bool ownSet = SavesOwnSet(path);
    if (!ownSet) {
        const std::vector<std::string> there = ExistingSetFiles(path);
        // A read-only set is refused before the user is asked to replace it.
        for (const std::string& file : there)
            if (qelfile::ReplaceRefusal(file) == qelfile::Unreplaceable::ReadOnly) {
                ShowSaveFailed(file);
                return false;
            }
        if (!there.empty() &&
            qel::AskQuestion(gMsgTable.Get(kMsgReplaceProject) + " " + there.front(), qel::AskButtons::OkCancel) !=
                qel::Answer::Ok)
            return false;
    }

    // A failed save keeps the project under its old name, so that the next
    // Save does not write to a place the user never saw succeed.
    const std::string oldName = gQel.ProgramFileName;
    const std::uint8_t oldNamed = gQel.Named;
    SetProjectPath(path);
    const TCommit commit = CommitAll();
    if (commit != TCommit::Cancelled) {
        DrawCommentedLadderForSave();
        NotifyProject(TProjectEvent::Saving);
    }
    // Another project's files there were asked about just now; the
    // project's own set is judged against what it read or wrote.
    if (commit == TCommit::Cancelled || !SaveProject(!ownSet)) {
        gQel.Named = oldNamed;
        SetProjectPath(oldName);
        return false;
    }
    gQel.SaveDir = ParentDir(gQel.ProgramFileName);
    AddRecentFile(gQel.ProgramFileName);
    NotifyProject(TProjectEvent::Saved);
    RebuildRecentMenu();
    const bool ladderWhole = LadderEditsSaved();
    const bool whole = ChartEditsSaved() && ladderWhole;
    UpdateCaption();
    return whole;
}

bool TQelMain::SavesOwnSet(const std::string& path) {
    if (!gQel.Named || !IsProgramFileName(gQel.ProgramFileName)) return false;
    return fs::path(WholePath(gQel.ProgramFileName)) == fs::path(path);
}

void TQelMain::SaveClick() { SaveProgram(); }

void TQelMain::SaveAsClick() { SaveProgramAs(); }

// ---------------------------------------------------------------------------
// New and Open

void TQelMain::NewClick() {
    if (CheckStopMonitor()) return;
    if (!MayReplaceProject()) return;
    // A PLC job of a window that closes with the project is asked about last,
    // so that it runs on while any earlier question can still be cancelled.
    if (!MayEndJobOfWindows(TJobWindows::Closed)) return;
    CloseProjectWindows();
    ClearProject();
    // A new project watches no device of the one before.
    ClearMonitorList();
    FitCommentLists();
    LoadDeviceCommentInit();
    gQel.Title.clear();
    gQel.Company.clear();
    gQel.Designer.clear();
    MakeUntitledName();
    MakeFileNames();
    gQel.Modified = 0;
    AfterProjectLoaded(TProjectEvent::Cleared);
}

void TQelMain::OpenClick() {
    if (CheckStopMonitor()) return;
    if (!MayReplaceProject()) return;
    const std::string dir = gQel.OpenDir.empty() ? ParentDir(gQel.ProgramFileName) : gQel.OpenDir;
    const std::string path = qel::FileDialogs().OpenFileName(this, "打开", dir, kProgramFilter);
    if (path.empty()) return;
    OpenProgramFile(path);
}

void TQelMain::OpenRecentFile(int index) {
    if (index < 0 || index >= static_cast<int>(gQel.RecentFiles.size())) return;
    const std::string path = gQel.RecentFiles[static_cast<size_t>(index)];
    if (CheckStopMonitor()) return;
    if (!MayReplaceProject()) return;
    OpenProgramFile(path);
}

bool TQelMain::OpenStartupFile(const std::string& path) {
    if (path.empty()) return false;
    return OpenProgramFile(path);
}

bool TQelMain::OpenProgramFile(const std::string& path) {
    // The editors go first: they hand back what they hold into the shared
    // buffers, which the reader then replaces only when the whole file set
    // was read. On a refusal the editors come back over the old project.
    // A PLC job is asked about only for an open that can go ahead: a file
    // that is not there, or not a program, is named first and the job runs on.
    if (JobOfWindowsEnds(TJobWindows::Closed) && !ProgramFileOpens(path)) {
        RebuildRecentMenu();
        return false;
    }
    if (!MayEndJobOfWindows(TJobWindows::Closed)) return false;
    DestroyEditors();
    gQel.OpenFileName = path;  // made a whole path by the reader
    const int family = gQel.Family;
    if (!ReadProgramFile()) {
        ResetEditors();
        RebuildRecentMenu();
        RefreshCommands();
        return false;
    }
    gQel.OpenDir = ParentDir(gQel.ProgramFileName);
    // The file registers belong to the family, as in the model setting.
    if (gQel.Family != family) SetFileRegCount(FileRegCountFor(gQel.Family, false));
    AfterProjectLoaded(TProjectEvent::Opened);
    return true;
}

void TQelMain::AfterProjectLoaded(TProjectEvent event) {
    gQel.ProgramPresent = 1;
    // A program opened without its ladder file gets its ladder from the code
    // before any editor shows it.
    if (event == TProjectEvent::Opened) ConvertOpenedProgram();
    ResetEditors();
    UpdateCaption();
    NotifyProject(event);
    RebuildRecentMenu();
    RefreshCommands();
}

void TQelMain::RebuildRecentMenu() {
    RecentMenu->clear();
    for (int i = 0; i < static_cast<int>(gQel.RecentFiles.size()); ++i) {
        QAction* a = RecentMenu->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QString::fromStdString(gQel.RecentFiles[static_cast<size_t>(i)])));
        a->setObjectName(QStringLiteral("Recent%1").arg(i));
        connect(a, &QAction::triggered, this, [this, i] {
            OpenRecentFile(i);
            RefreshCommands();
        });
    }
    RecentMenu->menuAction()->setEnabled(!gQel.RecentFiles.empty());
}

// ---------------------------------------------------------------------------
// Model setting, title page, about, help

bool TQelMain::ApplyModelSetting(int family, int capacityIndex, bool extraMemory) {
    if (family < 0 || family >= kModelFamilyCount || capacityIndex < 0 || capacityIndex >= kCapacityCount) return false;
    const bool familyChanged = family != gQel.Family;
    const bool capacityChanged = capacityIndex != gQel.CapacityIndex;
    const int fileRegs = FileRegCountFor(family, extraMemory);
    // Within the family the card decides how many file-register values the
    // template holds: values it would drop go only when the user lets them.
    // (A new family's template is another one: its window goes, saved first.)
    auto mayDropFileRegs = [&] {
        if (familyChanged || fileRegs >= gFileRegCount) return true;
        const std::string lost = FileRegValuesBeyond(fileRegs);
        return lost.empty() || qel::AskQuestion(gMsgTable.Get(kMsgFileRegsBeyondSetting) + " " + lost,
                                                qel::AskButtons::OkCancel) == qel::Answer::Ok;
    };
    if (!familyChanged && !capacityChanged) {
        if (fileRegs == gFileRegCount) return true;
        if (!mayDropFileRegs()) return false;
        if (!MayEndJobOfWindows(TJobWindows::FileRegCountChanged)) return false;
        // Only the card: the program and its windows stay; the template's
        // window follows the new count.
        SetFileRegCount(fileRegs);
        NotifyProject(TProjectEvent::ModelChanged);
        RefreshCommands();
        return true;
    }
    if (CheckStopMonitor()) return false;
    // The editors close with the old buffers: what they hold goes into the
    // program first, as for a save. Edits that cannot go in keep the old
    // model, so that no window closes over them.
    if (CommitAll() != TCommit::Done) return false;

    // A smaller capacity must still hold the program: refuse rather than cut it.
    if (capacityChanged && !ProgramFitsCapacity(capacityIndex)) {
        ShowMsg(kMsgNoRoom);
        return false;
    }

    if (!mayDropFileRegs()) return false;
    // Comments and device-monitor entries of devices the new family does not
    // have go only when the user lets them, in one question; Cancel keeps the
    // old model, every comment and every entry.
    if (familyChanged) {
        const std::string comments = CommentsBeyondFamily(family), entries = MonitorEntriesBeyondFamily(family);
        std::string question;
        if (!comments.empty()) question = gMsgTable.Get(kMsgCommentsBeyondFamily) + " " + comments;
        if (!entries.empty())
            question += (question.empty() ? "" : "\n") + gMsgTable.Get(kMsgMonitorBeyondFamily) + " " + entries;
        // The program stays as it is (as a file or a PLC may hold it), but the
        // user hears what the new family will not run before choosing it.
        if (const std::string program = ProgramBeyondFamily(family); !program.empty())
            question += (question.empty() ? "" : "\n") + gMsgTable.Get(kMsgProgramBeyondFamily) + " " + program;
        if (!question.empty() && qel::AskQuestion(question, qel::AskButtons::OkCancel) != qel::Answer::Ok) return false;
    }

    // Values of the old model kept in files of their own are saved first; a
    // save that fails or is cancelled keeps the old model, so that closing
    // their windows loses nothing.
    if (!AllGuardsAgree(modelGuards_)) return false;
    if (!MayEndJobOfWindows(TJobWindows::Closed)) return false;
    NotifyProject(TProjectEvent::ModelChanging);
    DestroyEditors();
    if (capacityChanged) CarryProgramToCapacity(capacityIndex);
    if (familyChanged) {
        // Monitor-list entries of devices the new family lacks would be polled
        // at addresses the PLC does not have; the others stay listed.
        DropMonitorEntriesBeyondFamily(family);
        SetModelFamily(family);
    }
    SetFileRegCount(fileRegs);
    gQel.Modified = 1;
    ResetEditors();
    UpdateCaption();
    NotifyProject(TProjectEvent::ModelChanged);
    RefreshCommands();
    return true;
}

void TQelMain::MachineSetClick() {
    if (!_MachineSet) return;
    _MachineSet->open();  // window-modal without a nested event loop
}

void TQelMain::TitlePageClick() {
    if (_TitlePage) _TitlePage->open();
}

void TQelMain::AboutClick() {
    if (_About) _About->open();
}

std::string TQelMain::HelpFilePath() {
    const QLocale locale = QLocale::system();
    const char* name = "QEL_eng.chm";
    if (locale.language() == QLocale::Chinese) {
        const bool traditional = locale.script() == QLocale::TraditionalChineseScript ||
                                 locale.territory() == QLocale::Taiwan || locale.territory() == QLocale::HongKong ||
                                 locale.territory() == QLocale::Macao;
        name = traditional ? "QEL_cht.chm" : "QEL_chs.chm";
    }
    return (qel::InstallDir() / "hlp" / name).string();
}

void TQelMain::HelpClick() {
    const std::string path = HelpFilePath();
    std::error_code ec;
    if (!fs::is_regular_file(path, ec) ||
        !QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
        ShowMsg(kMsgHelpMissing, " " + path);
}

// ---------------------------------------------------------------------------
// Shut-down

void TQelMain::closeEvent(QCloseEvent* event) {
    if (shutDownDone_) {
        event->accept();
        return;
    }
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    ShutDown();
    event->accept();
}

bool TQelMain::FormCloseQuery() {
    // Values kept in files of their own are asked about while leaving can
    // still be cancelled: a save of them that fails keeps the program open.
    // A PLC job running is asked about last: leaving ends every one.
    return AllGuardsAgree(leaveGuards_) && AskSaveModified() && MayStopLinkJob();
}

void TQelMain::ShutDown() {
    // The other windows stop their timers and write their own files first.
    NotifyProject(TProjectEvent::ShuttingDown);
    if (Link.MonitorRunning && Link.MonitorRunning() && Link.StopAllMonitoring) Link.StopAllMonitoring();
    if (Link.ClosePort) Link.ClosePort();
    shutDownDone_ = true;
    DestroyEditors();
    DeleteTempFiles();
    if (!WriteSettings()) {
        std::string detail(" ");
        detail += SettingsFilePath().string();
        ShowMsg(kMsgFileSaveFailed, detail);
    }
}
