#include "tools/windows/Toolsinstall.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableWidget>
#include <QTabWidget>

#include "project/Editorlink.h"
#include "project/Msgtable.h"

#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "shell/Filedialogs.h"
#include "shell/Qelmain.h"
#include "shell/Startupforms.h"
#include "tools/windows/Comdlg.h"
#include "tools/windows/Devcomment.h"
#include "tools/windows/Devuse.h"
#include "tools/windows/Filecompiletestfrm.h"
#include "tools/windows/Linecmt.h"
#include "tools/windows/Loopchk.h"
#include "tools/windows/Preview.h"
#include "tools/windows/Printfrm.h"
#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/Lad.h"
#include "tools/windows/Searchdlg.h"
#include "project/Projectfiles.h"
#include "sfc/window/Sfcwin.h"

namespace {

bool ProgramOpen() { return gProgram != nullptr && gQel.ProgramPresent != 0; }

void BindJumps(TQelMain* frame) {
    auto jump = [frame](long step) { return frame->GoToStep(step); };
    if (_DLChkFrm) _DLChkFrm->JumpToStep = jump;
    if (_DevUsed) _DevUsed->JumpToStep = jump;
    // The buttons of windows left open read the program as the editors hold
    // it, as the menu commands do.
    auto takeIn = [frame] { return frame->CommitEdits(); };
    if (_DLChkFrm) _DLChkFrm->TakeInEditors = takeIn;
    if (PrintForm) PrintForm->TakeInEditors = takeIn;
    if (SearchDlg) SearchDlg->TakeInEditors = takeIn;
}

void BindBatchTest(TQelMain* frame) {
    if (!_FileCompileTest) return;
    // The run opens its files to test them, not for the user: the recent
    // files stay the user's, and gain only the file the run leaves open.
    struct TRunRecent {
        std::vector<std::string> before;
        bool opened = false;
    };
    auto recent = std::make_shared<TRunRecent>();
    _FileCompileTest->BeforeRun = [frame, recent] {
        if (frame->CheckStopMonitor() || !frame->MayReplaceProject() ||
            !frame->MayEndJobOfWindows(TJobWindows::Closed))
            return false;
        // The project stays whole until a file read replaces it: a run whose
        // every file is refused leaves it as it was.
        frame->CloseEditorWindows();
        // Each file opened replaces the project without a question: nothing
        // may be edited in between, but the run's own window (brought back
        // by its command when closed) can stop it, and the frame can be left.
        frame->HoldEdits(true, kMsgBatchHoldsEdits, _FileCompileTest, {"MmExit", "MmFileCompileTest"});
        *recent = {gQel.RecentFiles, false};
        return true;
    };
    _FileCompileTest->LoadProject = [frame, recent](const std::string& path) {
        const bool opened = frame->OpenProgramFile(path);
        recent->opened = recent->opened || opened;
        return opened;
    };
    _FileCompileTest->AfterRun = [frame, recent] {
        gQel.RecentFiles = std::exchange(recent->before, {});
        if (std::exchange(recent->opened, false)) AddRecentFile(gQel.ProgramFileName);
        frame->RebuildRecentMenu();
        frame->HoldEdits(false, kMsgBatchHoldsEdits, _FileCompileTest);
        // The last file opened is the project, its chart included.
        frame->CloseEditorWindows();
        frame->UpdateCaption();
        frame->RefreshCommands();
    };
    // Leaving ends a run first: no file opens behind the questions of leaving.
    frame->AddLeaveGuard(_FileCompileTest, [] {
        _FileCompileTest->EndRunQuietly();
        return true;
    });
    _FileCompileTest->OpenResultFile = [frame](const std::string& path) {
        if (frame->CheckStopMonitor() || !frame->MayReplaceProject()) return;
        frame->OpenProgramFile(path);
    };
    _FileCompileTest->AskResultFileName = [frame] {
        return qel::FileDialogs().SaveFileName(_FileCompileTest, "測試結果儲存",
                                               _FileCompileTest->Folder().toStdString(), "Text files (*.txt)");
    };
}

std::unique_ptr<TPageSource> LadderSource(const TLDB* window) {
    if (!window) return nullptr;
    TLadderPaintView view = window->PaintView();
    if (!view.grid || view.capacity <= 0) return nullptr;
    const std::int32_t last = FindLastUsedRow(view.grid, kLdbRowBytes, view.capacity - 1);
    return std::make_unique<TLadderPageSource>(view, last);
}

// The printable kinds of the views; registers add theirs the same way.
void RegisterPageSources() {
    TPrintForm::SetSourceMaker(kViewLadder, [] { return LadderSource(_LDB); });
    TPrintForm::SetSourceMaker(kViewInnerLadder, [] { return LadderSource(_InterLadder); });
    TPrintForm::SetSourceMaker(kViewInstList, []() -> std::unique_ptr<TPageSource> {
        if (!_Inst) return nullptr;
        return std::make_unique<TInstPageSource>(_Inst->PrintedList());
    });
    TPrintForm::SetSourceMaker(kViewInnerInstList, []() -> std::unique_ptr<TPageSource> {
        if (!_InterInst) return nullptr;
        return std::make_unique<TInstPageSource>(_InterInst->PrintedList());
    });
    TPrintForm::SetSourceMaker(kViewSfc, []() -> std::unique_ptr<TPageSource> {
        // A chart without its window is not printed.
        if (!_Sfc || !gSfcGrid || gSfcRowCount <= 0) return nullptr;
        std::vector<std::uint8_t> grid(gSfcGrid, gSfcGrid + static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes);
        return std::make_unique<TSfcPageSource>(std::move(grid), gSfcRowCount,
                                                [](std::uint16_t n) { return GetDeviceComment('S', n); });
    });
    TPrintForm::SetSourceMaker(kViewDevComment, []() -> std::unique_ptr<TPageSource> {
        if (!_DevCom) return nullptr;
        return std::make_unique<TCommentPageSource>(_DevCom->PrintHeaders(), _DevCom->PrintRows());
    });
}

}  // namespace

void OpenDevComWindow(TQelMain* frame) {
    if (_DevCom) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_DevCom->parentWidget())) frame->MdiArea->setActiveSubWindow(sub);
        frame->SetActiveView(TDevCom::kView);
        return;
    }
    auto* window = new TDevCom;
    frame->AddEditor(window, window->Link);
    // New, Open and Exit take in a comment typed and not yet entered first:
    // the save question then knows of it.
    frame->AddProjectGuard(window, [window] { return window->CommitOpenCell(); });
    frame->AddLeaveGuard(window, [window] { return window->CommitOpenCell(); });
    window->CommentGrid->setFocus();
}

void RegisterToolForms() {
    SetStartupFormMaker("PrintForm", [](TQelMain* frame) -> QWidget* {
        if (!PrintForm) PrintForm = new TPrintForm(frame);
        return PrintForm;
    });
    SetStartupFormMaker("PreviewForm", [](TQelMain* frame) -> QWidget* {
        if (!PreviewForm) PreviewForm = new TPreviewForm(PrintForm, frame);
        return PreviewForm;
    });
    SetStartupFormMaker("LineCmt", [](TQelMain* frame) -> QWidget* {
        if (!_OutCmt) _OutCmt = new TOutCmt(frame);
        return _OutCmt;
    });
    SetStartupFormMaker("SearchDlg", [](TQelMain* frame) -> QWidget* {
        if (!SearchDlg) SearchDlg = new TSearchDlg(frame);
        return SearchDlg;
    });
    SetStartupFormMaker("ComDlg", [](TQelMain* frame) -> QWidget* {
        if (!_CommentDlg) _CommentDlg = new TCommentDlg(frame);
        return _CommentDlg;
    });
    SetStartupFormMaker("LoopChk", [](TQelMain* frame) -> QWidget* {
        if (!_DLChkFrm) _DLChkFrm = new TDLChkFrm(frame);
        return _DLChkFrm;
    });
    SetStartupFormMaker("DevUse", [](TQelMain* frame) -> QWidget* {
        if (!_DevUsed) _DevUsed = new TDevUsed(frame);
        return _DevUsed;
    });
    SetStartupFormMaker("FileCompileTest", [](TQelMain* frame) -> QWidget* {
        if (!_FileCompileTest) _FileCompileTest = new TFileCompileTest(frame);
        return _FileCompileTest;
    });
}

void InstallTools(TQelMain* frame) {
    if (!frame) return;
    if (!_DLChkFrm) _DLChkFrm = new TDLChkFrm(frame);
    if (!_DevUsed) _DevUsed = new TDevUsed(frame);
    if (!_FileCompileTest) _FileCompileTest = new TFileCompileTest(frame);
    if (!_OutCmt) _OutCmt = new TOutCmt(frame);
    if (!_CommentDlg) _CommentDlg = new TCommentDlg(frame);
    if (!SearchDlg) SearchDlg = new TSearchDlg(frame);
    if (!PrintForm) PrintForm = new TPrintForm(frame);
    if (!PreviewForm) PreviewForm = new TPreviewForm(PrintForm, frame);
    RegisterPageSources();
    SearchDlg->ActiveLink = [frame] { return frame->ActiveEditorLink(); };
    QObject::connect(_OutCmt, &TOutCmt::commentsChanged, frame, [frame] {
        // The ladder draws the rung comments beside its rows.
        frame->Router().Dispatch("RepaintLadder", 2);
        frame->RefreshCommands();
    });
    BindJumps(frame);
    BindBatchTest(frame);
    // A report left open is of the program checked, not of one put in its place.
    frame->AddProjectListener(_DLChkFrm, [window = _DLChkFrm](TProjectEvent event) {
        if (event == TProjectEvent::Replaced) window->ProjectReplaced();
    });
    TCommandRouter& r = frame->Router();
    r.Register("MmLoopChk", TCommandRouter::kAnyView, [] {
        _DLChkFrm->show();
        _DLChkFrm->raise();
    }, ProgramOpen);
    r.Register("MmDevUsedWin", TCommandRouter::kAnyView, [] { _DevUsed->exec(); }, ProgramOpen);
    r.Register("MmFileCompileTest", TCommandRouter::kAnyView, [] {
        _FileCompileTest->show();
        _FileCompileTest->raise();
    });
    // Find and replace works in instruction lists and ladders whose window is open.
    auto searchable = [frame] {
        const int v = gActiveView;
        const TEditorLink* link = frame->ActiveEditorLink();
        return (v == 1 || v == 18 || v == 2 || v == 17) && link && link->SearchTarget;
    };
    r.Register("MmRep", TCommandRouter::kAnyView, [] {
        if (SearchDlg->SearchPage->currentIndex() == 2) SearchDlg->SearchPage->setCurrentIndex(0);
        SearchDlg->ShowFor(gActiveView);
    }, searchable);
    r.Register("MmFindCmd", TCommandRouter::kAnyView, [] {
        SearchDlg->SearchPage->setCurrentIndex(2);
        SearchDlg->ShowFor(gActiveView);
    });
    // Printing and its preview: whenever the active view has something to print
    // (the register view prints through its own window).
    r.Register("MmPrn", TCommandRouter::kAnyView, [] {
        PrintForm->ShowFor(gActiveView);
        PrintForm->show();
        PrintForm->raise();
    }, [] { return gActiveView != kViewRegister && TPrintForm::CanPrint(gActiveView); });
    r.Register("MmCmtWin", TCommandRouter::kAnyView, [frame] { OpenDevComWindow(frame); }, ProgramOpen);
    r.Register("MmLineCmtWin", TCommandRouter::kAnyView, [] { _OutCmt->ShowForRow(0); }, ProgramOpen);
    frame->RefreshCommands();
}
