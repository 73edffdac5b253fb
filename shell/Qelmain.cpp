// The frame window: creation, command routing, status bar, zoom, tool panels
// and the link lamp. The project commands and shut-down are in Qelproject.cpp.
#include "shell/Qelmain.h"

#include "project/Editorlink.h"

#include <algorithm>
#include <cstring>

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QTabWidget>
#include <QToolBar>

#include "platform/Messages.h"
#include "platform/Paths.h"
#include "shell/Machinesetfrm.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Viewcodes.h"
#include "project/Qelglobals.h"
#include "shell/Qellink.h"
#include "shell/Progfrm.h"
#include "project/Settings.h"
#include "shell/Startupforms.h"
#include "simulator/Simuplc.h"

TQelMain* _QelMain = nullptr;

namespace {

constexpr int kMsgStopMonitor = 184;
constexpr int kMsgStopWrite = 286;  // a write to the PLC runs: stop it (part of it sent) or let it end?
constexpr int kMsgStopRead = 288;   // a read or a verify runs: stop it (nothing kept, no result) or let it end?
constexpr int kMsgInsertMode = 28;
constexpr int kMsgProgramNotOk = 253;
constexpr int kMsgChartOrLadder = 254;  // both the chart and the ladder hold edits: keep which?
constexpr int kMsgOverwriteMode = 29;

int ClampZoom(int index) { return std::clamp(index, 0, static_cast<int>(kZoomCellWidths.size()) - 1); }

}  // namespace

QColor LampColor(TLampState state) {
    switch (state) {
    case TLampState::Sending: return Qt::white;
    case TLampState::PartialReply: return QColor(0, 255, 0);
    case TLampState::GoodReply: return Qt::red;
    case TLampState::ExceptionReply: return Qt::blue;
    case TLampState::BadFrame: return QColor(255, 0, 255);
    case TLampState::ShortReply: return Qt::black;
    case TLampState::MonitorRequest: return QColor(0, 255, 255);
    case TLampState::JobStep: return Qt::yellow;
    case TLampState::Off: break;
    }
    return QColor(192, 192, 192);
}

int ZoomForScreenWidth(int widthPx) {
    // A ladder row needs 15 cell widths (label column, 12 cells, rung comment)
    // plus the window frame and the vertical scroll bar.
    constexpr int kChrome = 60;
    for (int i = static_cast<int>(kZoomCellWidths.size()) - 1; i > 0; --i)
        if (15 * kZoomCellWidths[static_cast<size_t>(i)] + kChrome <= widthPx) return i;
    return 0;
}

// ---------------------------------------------------------------------------
// Creation

TQelMain::TQelMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName("QelMain");
    _QelMain = this;
    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName("MdiArea");
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(MdiArea);
    BuildMenus();
    BuildToolBars();
    BuildStatusBar();
    CoolBarAdd(LadPanel, CoolBarU);
    insertToolBarBreak(bands_[LadPanel]);  // the tool panels get a row of their own
    CoolBarAdd(SfcPanel, CoolBarU);
    CoolBarDelete(SfcPanel);
    // One view's tool page shows at a time, in a row as high for either page.
    const int pageHeight = std::max(LadPanel->sizeHint().height(), SfcPanel->sizeHint().height());
    for (QWidget* page : {LadPanel, SfcPanel}) page->setFixedHeight(pageHeight);
    MmLadTool->setChecked(true);
    MmSfcTool->setChecked(true);
    connect(MdiArea, &QMdiArea::subWindowActivated, this, &TQelMain::OnSubWindowActivated);
    RegisterFrameCommands();
    resize(1024, 720);
    // Every path that replaces the project clears it in one place.
    SetProjectClearedHook([this] { NotifyProject(TProjectEvent::Replaced); });
}

TQelMain::~TQelMain() {
    SetProjectClearedHook(nullptr);
    // Listener owners that are our own children are deleted after our members:
    // their destroyed signal must not reach the listener lists any more.
    for (const auto& l : zoomListeners_) QObject::disconnect(l.first, &QObject::destroyed, this, nullptr);
    for (const auto& l : projectListeners_) QObject::disconnect(l.first, &QObject::destroyed, this, nullptr);
    for (const TGuards* guards : {&projectGuards_, &leaveGuards_, &modelGuards_})
        for (const auto& g : *guards) QObject::disconnect(g.first, &QObject::destroyed, this, nullptr);
    for (const auto& h : jobHolders_) QObject::disconnect(h.first, &QObject::destroyed, this, nullptr);
    for (const auto& child : childViews_) QObject::disconnect(child.first, &QObject::destroyed, this, nullptr);
    // Editors still open must not reach the router once it is gone.
    for (TEditorLink* link : editorLinks_) {
        QObject::disconnect(link, nullptr, this, nullptr);
        link->DetachRouter();
    }
    editorLinks_.clear();
    // The simulator thread and the link's port go before anything they report
    // to; the editors before the link whose jobs they hold (a frame freed
    // without its shut-down, when leaving was cancelled, still has them).
    ShutdownSimulation();
    DestroyEditors();
    Link = {};
    delete link_;
    link_ = nullptr;
    if (created_) FreeSharedBuffers();
    if (_QelMain == this) _QelMain = nullptr;
}

bool TQelMain::FormCreate() {
    // Defaults first, so that a missing or short settings file leaves every
    // setting at a sensible value.
    SetDefaultSettings();
    AllocateSharedBuffers();
    gQel.InstallFolder = qel::InstallDir().string() + "/";
    if (!LoadMessageTable()) return false;
    ReadSettings();
    // The settings may name another family or capacity than the defaults the
    // buffers were allocated with.
    const int family = gQel.Family, capacity = gQel.CapacityIndex;
    if (!SetModelFamily(family)) SetModelFamily(0);
    if (!SetProgramCapacity(capacity)) SetProgramCapacity(0);
    SetFileRegCount(FileRegCountFor(gQel.Family, false));

    // The editors exchange blocks under these clipboard formats.
    CfLadder = QStringLiteral("CF_LADDER");
    CfInst = QStringLiteral("CF_INST");
    CfSfc = QStringLiteral("CF_SFC");

    ClearProject();
    FitCommentLists();
    LoadDeviceCommentInit();
    MakeUntitledName();
    MakeFileNames();
    gQel.Modified = 0;
    gQel.ProgramPresent = 0;

    const int zoom = ClampZoom(gQel.Zoom);
    ApplyZoomIndex(zoom);
    SizeItems[static_cast<size_t>(zoom)]->setChecked(true);
    SetValueFormat(gQel.ValueFormat);
    MmMatchSize->setChecked(gQel.MatchSize != 0);
    if (gQel.MatchSize) MmMatchSizeClick();

    ShowViewState();  // no view yet: no insert or overwrite mode on show
    RebuildRecentMenu();
    UpdateCaption();
    CreateSimulator();
    CreateLink();
    CreateSfcCommands();
    created_ = true;
    RefreshCommands();
    return true;
}

void TQelMain::CreateForms() {
    for (const TStartupFormDef& def : StartupFormTable()) {
        if (!def.create) continue;  // that window is not part of this build yet
        QWidget* w = def.create(this);
        if (!w) continue;
        w->hide();
        startupForms_.emplace_back(def.name, w);
    }
}

// ---------------------------------------------------------------------------
// Command routing

void TQelMain::RegisterFrameCommands() {
    auto any = [this](const char* name, std::function<void()> fn, TCommandRouter::Condition when = {}) {
        router_.Register(name, TCommandRouter::kAnyView, std::move(fn), std::move(when));
    };
    auto programPresent = [] { return gQel.ProgramPresent != 0; };

    any("MmNew", [this] { NewClick(); });
    any("MmOpen", [this] { OpenClick(); });
    any("MmSave", [this] { SaveClick(); }, programPresent);
    any("MmSaveAs", [this] { SaveAsClick(); }, programPresent);
    any("MmTitle", [this] { TitlePageClick(); });
    any("MmExit", [this] { close(); });
    any("MmMachineSet", [this] { MachineSetClick(); });
    any("MmAbout", [this] { AboutClick(); });
    any("MmHelp", [this] { HelpClick(); });

    for (int i = 0; i < static_cast<int>(SizeItems.size()); ++i)
        any(SizeItems[static_cast<size_t>(i)]->objectName().toStdString().c_str(), [this, i] { Size50Click(i); });
    any("MmZoomIn", [this] { Size50Click(gQel.Zoom + 1); }, [] { return gQel.Zoom < 6; });
    any("MmZoomOut", [this] { Size50Click(gQel.Zoom - 1); }, [] { return gQel.Zoom > 0; });
    any("MmMatchSize", [this] {
        gQel.MatchSize = MmMatchSize->isChecked() ? 1 : 0;
        if (gQel.MatchSize) MmMatchSizeClick();
    });
    any("MmCmtType", [this] { BnCmtTypeClick(); });
    any("Dig10", [this] { SetValueFormat(0); });
    any("Dig16", [this] { SetValueFormat(1); });
    any("DigASCI", [this] { SetValueFormat(2); });
    // Each tool page belongs to its views: the chart's to the chart, the ladder's to the others.
    any("MmLadTool", [this] { ShowToolPage(); }, [] { return gActiveView != kViewSfc; });
    any("MmSfcTool", [this] { ShowToolPage(); }, [] { return gActiveView == kViewSfc; });
    auto hasChildren = [this] { return !MdiArea->subWindowList().isEmpty(); };
    any("MmCascade", [this] { MdiArea->cascadeSubWindows(); }, hasChildren);
    any("MmTile", [this] { MdiArea->tileSubWindows(); }, hasChildren);
}

bool TQelMain::RunCommand(const std::string& command) {
    // While the frame's commands are switched off (a transfer runs), none runs,
    // whether it comes from a menu, a button or a caller.
    const bool available = commandsEnabled_ && !HeldOff(command) && router_.Available(command, gActiveView);
    const bool refused = available && !CommitBeforeCommand(command);
    const bool ran = available && !refused && router_.Dispatch(command, gActiveView);
    if (refused) {
        // Nothing started: none of the command's items shows it running.
        for (auto& [action, c] : commandOf_)
            if (c == command && action->isCheckable()) action->setChecked(false);
    } else if (!ran) {
        // Not available here: undo the automatic check of a checkable item.
        if (auto it = actions_.find(command); it != actions_.end() && it->second->isCheckable())
            it->second->setChecked(!it->second->isChecked());
    }
    // The frame may be closing; a command can change what is available.
    RefreshCommands();
    return ran;
}

void TQelMain::RefreshCommands() {
    for (auto& [action, command] : commandOf_) {
        bool groupOn = commandsEnabled_;
        if (std::find(commonButtons_.begin(), commonButtons_.end(), action) != commonButtons_.end())
            groupOn = commonEnabled_;
        else if (std::find(ladderButtons_.begin(), ladderButtons_.end(), action) != ladderButtons_.end())
            groupOn = ladderEnabled_;
        else if (std::find(quickButtons_.begin(), quickButtons_.end(), action) != quickButtons_.end())
            groupOn = quickEnabled_;
        if (!editEnabled_ && IsEditCommand(command)) groupOn = false;
        if (HeldOff(command)) groupOn = false;
        action->setEnabled(groupOn && router_.Available(command, gActiveView));
    }
    for (QMenu* menu : {FileMenu, EditMenu, ViewMenu, CompileMenu, CommentMenu, SearchMenu, CommMenu,
                        OptionMenu, WindowMenu, HelpMenu})
        menu->menuAction()->setEnabled(commandsEnabled_ && (!editsHeld_ || MenuOffersWhileHeld(menu)));
    for (QAction* a : RecentMenu->actions()) a->setEnabled(commandsEnabled_ && !editsHeld_);
    RecentMenu->menuAction()->setEnabled(commandsEnabled_ && !editsHeld_ && !gQel.RecentFiles.empty());
}

bool TQelMain::IsEditCommand(const std::string& command) {
    static const char* const kEdit[] = {"MmUndo", "MmRedo", "MmCut", "MmCopy", "MmPaste", "MmDel"};
    return std::any_of(std::begin(kEdit), std::end(kEdit), [&](const char* c) { return command == c; });
}

void TQelMain::SetActiveView(int view) {
    gActiveView = view;
    RefreshCommands();
    ShowViewState();
    ScopeShortcuts();
}

void TQelMain::ClearActiveView() {
    gActiveView = kViewNone;
    SetEditCommandsEnabled(false);
    ShowViewState();  // nothing's cursor or mode stays on show
}

void TQelMain::ShowViewState() {
    // Insert or overwrite concerns the views that take instructions; the other
    // views, and a frame without any, show no mode.
    const int v = gActiveView;
    const bool takesInstructions = v == kViewInstList || v == kViewLadder || v == kViewInnerInstList ||
                                   v == kViewInnerLadder;
    QelStaBar->SetPanel(1, takesInstructions ? QString::fromStdString(gMsgTable.Get(
                                                   gQel.InsertMode ? kMsgInsertMode : kMsgOverwriteMode))
                                             : QString());
    ShowCursorPos();
    ShowToolPage();
}

void TQelMain::ShowToolPage() {
    const bool chart = gActiveView == kViewSfc;
    QWidget* page = chart ? SfcPanel : LadPanel;
    CoolBarDelete(chart ? LadPanel : SfcPanel);
    if ((chart ? MmSfcTool : MmLadTool)->isChecked()) {
        page->show();
        bands_[page]->show();
    } else {
        CoolBarDelete(page);
    }
}

void TQelMain::ScopeShortcuts() {
    const auto it = linkOf_.find(MdiArea->currentSubWindow());
    const TEditorLink* active = it == linkOf_.end() ? nullptr : it->second;
    for (const auto& [action, own] : shortcutOf_) {
        const bool taken = active && own.count() == 1 && active->OwnsKey(own[0]);
        const QKeySequence wanted = taken ? QKeySequence() : own;
        if (action->shortcut() != wanted) action->setShortcut(wanted);
    }
}

QAction* TQelMain::Action(const std::string& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

QMdiSubWindow* TQelMain::AddChild(QWidget* window, int view) {
    QMdiSubWindow* sub = MdiArea->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    childViews_[sub] = view;
    connect(sub, &QObject::destroyed, this, [this, sub] {
        childViews_.erase(sub);
        linkOf_.erase(sub);
        if (childViews_.empty() && !shutDownDone_) {
            ClearActiveView();
        }
        if (!shutDownDone_) ScopeShortcuts();
    });
    window->show();
    MdiArea->setActiveSubWindow(sub);
    // Activation is signalled only for a visible frame; take the view at once.
    SetActiveView(view);
    return sub;
}

QMdiSubWindow* TQelMain::AddEditor(QWidget* window, TEditorLink* link) {
    link->AttachRouter(&router_);
    link->AskStopMonitor = [this] { return CheckStopMonitor(); };
    connect(link, &TEditorLink::commandsChanged, this, &TQelMain::RefreshCommands);
    connect(link, &TEditorLink::statusText, this, [this](int panel, const QString& text) {
        if (QelStaBar) QelStaBar->SetPanel(panel, text);
    });
    connect(link, &TEditorLink::programChanged, this, [this] {
        gQel.Modified = 1;
        ShowStepCount();
        RefreshCommands();
        SimulationFollowsProgram();
    });
    // The program lacks what the window shows: a run cannot follow it.
    connect(link, &TEditorLink::editsRefused, this, [this] { EndSimulationSaying(kMsgSimEditsRefused); });
    connect(link, &TEditorLink::modified, this, [this] {
        gQel.Modified = 1;
        RefreshCommands();
    });
    connect(link, &TEditorLink::activated, this, &TQelMain::SetActiveView);
    editorLinks_.push_back(link);
    connect(link, &QObject::destroyed, this, [this, link] {
        std::erase(editorLinks_, link);
        std::erase_if(linkOf_, [link](const auto& entry) { return entry.second == link; });
        ScopeShortcuts();
        // What a closed window allowed or held back (the device monitor holds
        // back transfer and password) is decided anew.
        if (!shutDownDone_) RefreshCommands();
    });
    QMdiSubWindow* sub = AddChild(window, link->View());
    linkOf_[sub] = link;
    sub->showMaximized();
    ScopeShortcuts();
    return sub;
}

namespace {

// The commands that read the program (run it, send it, compare it, monitor
// it, check, search, print or convert it). `stops` is when the command ends
// something already running instead, which reads nothing.
struct TProgramReader {
    const char* command;
    bool (*stops)();
};
bool Never() { return false; }
bool SimulationRuns() { return gSimRunning != 0; }
bool LadderMonitors() { return gMonitorMode != 0; }
bool PrintsOwnValues() { return gActiveView == kViewRegister || gActiveView == kViewFileTemplate; }
constexpr TProgramReader kProgramReaders[] = {
    {"MmSimulate", SimulationRuns}, {"BnSimuLad", SimulationRuns}, {"BnSimuSfc", SimulationRuns},
    {"MmCodeVerify", Never},        {"MmMonitorLad", LadderMonitors}, {"MmMonitorDev", Never},
    {"MmLoopChk", Never},           {"MmDevUsedWin", Never},         {"MmRep", Never},
    {"MmFindCmd", Never},           {"MmPrn", PrintsOwnValues},      {"MmCodeToLad", Never},
    {"MmSfcToCode", Never},         {"MmCodeToSfc", Never},          {"MmFileCompileTest", Never},
};

// Inner views of a chart element go into the element, the chart into the
// program, the program's ladder last.
// A commit that did not go through: cancelled by the user, or refused.
TQelMain::TCommit CommitOutcome(const TEditorLink* link) {
    return link->CommitCancelled && link->CommitCancelled() ? TQelMain::TCommit::Cancelled : TQelMain::TCommit::Refused;
}

int CommitRank(const TEditorLink* link) {
    const int v = link->View();
    return v == kViewInnerLadder || v == kViewInnerInstList ? 0 : v == kViewSfc ? 1 : 2;
}

}  // namespace

bool TQelMain::CommitBeforeCommand(const std::string& command) {
    for (const TProgramReader& r : kProgramReaders)
        if (command == r.command) return r.stops() || CommitEdits();
    return true;
}

bool TQelMain::CommitEdits() {
    if (CommitAll() != TCommit::Done) return false;
    // The windows drawn from the code catch up with what the others put in.
    const std::vector<TEditorLink*> links = editorLinks_;
    for (TEditorLink* link : links)
        if (link->FollowProgram) link->FollowProgram();
    return true;
}

bool TQelMain::ProgramEditsPending() const {
    return std::any_of(editorLinks_.begin(), editorLinks_.end(),
                       [](const TEditorLink* l) { return l->HoldsEdits && l->HoldsEdits(); });
}

bool TQelMain::CommitEditsOf(int view) {
    TEditorLink* link = LinkOfView(view);
    if (!link || !link->CommitEdits || link->CommitEdits()) return true;
    BringForward(link);
    return false;
}

TQelMain::TCommit TQelMain::CommitAll() {
    std::vector<TEditorLink*> links = editorLinks_;
    std::stable_sort(links.begin(), links.end(),
                     [](const TEditorLink* a, const TEditorLink* b) { return CommitRank(a) < CommitRank(b); });
    TCommit result = TCommit::Done;
    bool settled = false;
    for (TEditorLink* link : links) {
        // The elements' inner views go into the chart first: what the chart
        // holds is then known before the question.
        if (!settled && CommitRank(link) > 0) {
            settled = true;
            result = SettleChartAndLadder();
            if (result != TCommit::Done) break;
        }
        if (!link->CommitEdits || link->CommitEdits()) continue;
        BringForward(link);
        result = CommitOutcome(link);
        break;
    }
    ShowStepCount();
    return result;
}

TQelMain::TCommit TQelMain::SettleChartAndLadder() {
    TEditorLink* chart = LinkOfView(kViewSfc);
    TEditorLink* ladder = LinkOfView(kViewLadder);
    auto holds = [](TEditorLink* l) { return l && l->HoldsEdits && l->DropEdits && l->HoldsEdits(); };
    if (!holds(ladder) || !holds(chart)) return TCommit::Done;  // the ladder's answer is the cheap one
    // Bringing the refused one forward changes the view, and leaving the
    // chart settles again: that one puts nothing in.
    if (settling_) return TCommit::Refused;
    const QScopedValueRollback<bool> guard(settling_, true);
    TEditorLink* kept = nullptr;
    TEditorLink* dropped = nullptr;
    switch (qel::AskQuestion(gMsgTable.Get(kMsgChartOrLadder), qel::AskButtons::YesNoOrCancel)) {
    case qel::Answer::Yes: kept = chart, dropped = ladder; break;
    case qel::Answer::No: kept = ladder, dropped = chart; break;
    default: return TCommit::Cancelled;
    }
    if (kept->CommitEdits && !kept->CommitEdits()) {
        BringForward(kept);
        ShowStepCount();
        return CommitOutcome(kept);
    }
    dropped->DropEdits();
    ShowStepCount();
    return TCommit::Done;
}

void TQelMain::HoldEditsForRead(bool hold) {
    if (hold == editsHeld_) return;
    HoldEdits(hold, kMsgReadHoldsEdits, _ProgBar);
    if (_ProgBar) _ProgBar->SetNote(QelStaBar->Panel(0));
}

void TQelMain::HoldEdits(bool hold, int why, QWidget* keep, std::vector<std::string> stillOffered) {
    if (hold == editsHeld_) return;
    editsHeld_ = hold;
    offeredWhileHeld_ = hold ? std::move(stillOffered) : std::vector<std::string>{};
    if (hold) {
        // The editors live in the work area; the tool windows (find and
        // replace, comments, checks, print) are windows of their own.
        MdiArea->setEnabled(false);
        heldWindows_.clear();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w == this || w == keep || !w->isVisible() || !w->isEnabled()) continue;
            w->setEnabled(false);
            heldWindows_.emplace_back(w);
        }
    } else {
        MdiArea->setEnabled(true);
        for (const QPointer<QWidget>& w : heldWindows_)
            if (w) w->setEnabled(true);
        heldWindows_.clear();
    }
    QelStaBar->SetPanel(0, hold ? QString::fromStdString(gMsgTable.Get(why)) : QString());
    RefreshCommands();
}

bool TQelMain::HeldOff(const std::string& command) const {
    return editsHeld_ && std::find(offeredWhileHeld_.begin(), offeredWhileHeld_.end(), command) == offeredWhileHeld_.end();
}

bool TQelMain::MenuOffersWhileHeld(const QMenu* menu) const {
    const QList<QAction*> actions = menu->actions();
    return std::any_of(actions.begin(), actions.end(), [this](QAction* a) {
        const auto it = commandOf_.find(a);
        return it != commandOf_.end() && !HeldOff(it->second);
    });
}

void TQelMain::BringForward(const TEditorLink* link) {
    for (const auto& [sub, l] : linkOf_)
        if (l == link) MdiArea->setActiveSubWindow(sub);
}

TEditorLink* TQelMain::LinkOfView(int view) const {
    for (TEditorLink* link : editorLinks_)
        if (link->View() == view) return link;
    return nullptr;
}

TEditorLink* TQelMain::ActiveEditorLink() const { return LinkOfView(gActiveView); }

bool TQelMain::GoToStep(long step) {
    auto tryView = [&](int view) {
        TEditorLink* link = LinkOfView(view);
        return link && link->GoToStep && link->GoToStep(step);
    };
    if (gActiveView != kViewNone && tryView(gActiveView)) return true;
    // Otherwise the program's instruction list shows it, opened or brought up.
    router_.Dispatch("MmInstWin", gActiveView);
    return tryView(kViewInstList);
}

void TQelMain::OnSubWindowActivated(QMdiSubWindow* window) {
    if (!window) {
        // Also signalled when the frame itself loses activation (a message box
        // opens); only a frame without children has no active view.
        if (MdiArea->subWindowList().isEmpty()) {
            ClearActiveView();
            ScopeShortcuts();
        }
        return;
    }
    // The window left puts its edits in first: the one taking over then
    // shows the program they went into (its own handlers run after this).
    std::vector<TEditorLink*> leaving;
    for (const auto& [sub, link] : linkOf_)
        if (sub != window && link->Leave) leaving.push_back(link);
    for (TEditorLink* link : leaving)
        if (std::find(editorLinks_.begin(), editorLinks_.end(), link) != editorLinks_.end()) link->Leave();
    if (auto it = childViews_.find(window); it != childViews_.end()) {
        editEnabled_ = true;
        SetActiveView(it->second);
    }
}

void TQelMain::AddZoomListener(QObject* owner, std::function<void(const TZoomChange&)> fn) {
    zoomListeners_.emplace_back(owner, std::move(fn));
    connect(owner, &QObject::destroyed, this, [this, owner] {
        std::erase_if(zoomListeners_, [owner](const auto& l) { return l.first == owner; });
    });
}

void TQelMain::AddProjectListener(QObject* owner, std::function<void(TProjectEvent)> fn) {
    projectListeners_.emplace_back(owner, std::move(fn));
    connect(owner, &QObject::destroyed, this, [this, owner] {
        std::erase_if(projectListeners_, [owner](const auto& l) { return l.first == owner; });
    });
}

void TQelMain::AddGuard(TGuards& guards, QObject* owner, std::function<bool()> guard) {
    guards.emplace_back(owner, std::move(guard));
    connect(owner, &QObject::destroyed, this, [&guards, owner] {
        std::erase_if(guards, [owner](const auto& g) { return g.first == owner; });
    });
}

bool TQelMain::AllGuardsAgree(TGuards guards) {
    // A copy: a guard may close its window, which removes its guards.
    for (auto& [owner, mayLetGo] : guards)
        if (!mayLetGo()) return false;
    return true;
}

void TQelMain::AddProjectGuard(QObject* owner, std::function<bool()> mayLetGo) {
    AddGuard(projectGuards_, owner, std::move(mayLetGo));
}

void TQelMain::AddLeaveGuard(QObject* owner, std::function<bool()> mayLeave) {
    AddGuard(leaveGuards_, owner, std::move(mayLeave));
}

void TQelMain::AddModelGuard(QObject* owner, std::function<bool()> mayChange) {
    AddGuard(modelGuards_, owner, std::move(mayChange));
}

void TQelMain::AddJobHolder(QObject* owner, std::function<bool(TJobWindows)> endsJob) {
    jobHolders_.emplace_back(owner, std::move(endsJob));
    connect(owner, &QObject::destroyed, this, [this, owner] {
        std::erase_if(jobHolders_, [owner](const auto& h) { return h.first == owner; });
    });
}

void TQelMain::AddEditorMaker(std::function<void()> make) { editorMakers_.push_back(std::move(make)); }

void TQelMain::NotifyProject(TProjectEvent event) {
    // Copy: a listener may add or remove listeners (windows created or freed).
    auto listeners = projectListeners_;
    for (auto& [owner, fn] : listeners) fn(event);
}

void TQelMain::NotifyZoom(const TZoomChange& change) {
    auto listeners = zoomListeners_;
    for (auto& [owner, fn] : listeners) fn(change);
}

// ---------------------------------------------------------------------------
// Command groups

bool TQelMain::CheckStopMonitor() {
    const bool running = Link.MonitorRunning && Link.MonitorRunning();
    if (!running) return false;
    if (qel::AskQuestion(gMsgTable.Get(kMsgStopMonitor), qel::AskButtons::YesNo) == qel::Answer::Yes &&
        Link.StopAllMonitoring)
        Link.StopAllMonitoring();
    return true;
}

bool TQelMain::MayStopLinkWrite() {
    return !Link.JobRunning || !Link.JobRunning() || !Link.JobWrites || !Link.JobWrites() ||
           qel::AskQuestion(gMsgTable.Get(kMsgStopWrite), qel::AskButtons::OkCancel) == qel::Answer::Ok;
}

bool TQelMain::MayStopLinkRead() {
    return !Link.JobRunning || !Link.JobRunning() || !Link.JobReads || !Link.JobReads() ||
           qel::AskQuestion(gMsgTable.Get(kMsgStopRead), qel::AskButtons::OkCancel) == qel::Answer::Ok;
}

bool TQelMain::MayStopLinkJob() {
    if (!Link.JobRunning || !Link.JobRunning()) return true;
    if (!MayStopLinkWrite() || !MayStopLinkRead()) return false;
    // The job may have ended on its own while the question was open.
    if (Link.JobRunning() && Link.StopJob) Link.StopJob();
    return true;
}

bool TQelMain::JobOfWindowsEnds(TJobWindows how) const {
    const auto holders = jobHolders_;
    return std::any_of(holders.begin(), holders.end(), [how](const auto& h) { return h.second(how); });
}

bool TQelMain::MayEndJobOfWindows(TJobWindows how) { return !JobOfWindowsEnds(how) || MayStopLinkJob(); }

void TQelMain::SetCommandsEnabled(bool enable) {
    commandsEnabled_ = enable;
    SetQuickBarButtons(enable);
    SetCommonBarButtons(enable);
    SetLadderBarButtons(enable);
}

void TQelMain::SetQuickBarButtons(bool enable) {
    quickEnabled_ = enable;
    RefreshCommands();
}

void TQelMain::SetCommonBarButtons(bool enable) {
    commonEnabled_ = enable;
    RefreshCommands();
}

void TQelMain::SetLadderBarButtons(bool enable) {
    ladderEnabled_ = enable;
    RefreshCommands();
}

void TQelMain::SetEditCommandsEnabled(bool enable) {
    editEnabled_ = enable;
    RefreshCommands();
}

void TQelMain::SetMenusForLadder() {
    MmLadTool->setChecked(true);
    ShowToolPage();
    SetLadderBarButtons(true);
}

void TQelMain::SetMenusForSfc() {
    MmSfcTool->setChecked(true);
    ShowToolPage();
    RefreshCommands();
}

void TQelMain::SetMenusForDevMonitor() { RefreshCommands(); }

void TQelMain::SetMenusForFileReg() { RefreshCommands(); }

// ---------------------------------------------------------------------------
// Status bar

void TQelMain::ShowCursorPos() {
    // The active view writes its own cursor text (panel 2) through its
    // "ShowCursorPos" handler; without one the panel stays empty.
    if (!router_.Dispatch("ShowCursorPos", gActiveView) || gActiveView == kViewNone) QelStaBar->SetPanel(2, {});
}

void TQelMain::ShowStepCount() {
    QString text = QStringLiteral("Steps: %1/%2").arg(gProgramUsed / 2).arg(gProgramCapacity / 2);
    // The ladder holds edits the program does not have (they did not compile).
    if (gQel.ProgramPresent && !gQel.ProgramOk) text += " " + QString::fromStdString(gMsgTable.Get(kMsgProgramNotOk));
    QelStaBar->SetPanel(4, text);
}

void TQelMain::ShowModelName() {
    const int family = std::clamp(gQel.Family, 0, kModelFamilyCount - 1);
    const int capacity = std::clamp(gQel.CapacityIndex, 0, kCapacityCount - 1);
    QelStaBar->SetPanel(5, QString::fromUtf8(kFamilyNames[family]) + " " + QString::fromUtf8(kCapacityNames[capacity]));
}

void TQelMain::UpdateCaption() {
    ShowStepCount();
    ShowModelName();
    // The program's name ends the title, where the desktop would otherwise add it a second time.
    setWindowTitle(QStringLiteral("[%1] - QEL").arg(QString::fromStdString(gQel.ProgramFileName)));
}

// ---------------------------------------------------------------------------
// Zoom and comment display

void TQelMain::Size50Click(int zoomIndex) {
    const int index = ClampZoom(zoomIndex);
    TZoomChange change{gCellWidth, gCellHeight, 0, 0, 0};
    ApplyZoomIndex(index);
    SizeItems[static_cast<size_t>(index)]->setChecked(true);
    change.CellWidth = gCellWidth;
    change.CellHeight = gCellHeight;
    change.FontSize = LadderFontSize();
    NotifyZoom(change);
    RefreshCommands();
}

void TQelMain::BnCmtTypeClick() {
    TZoomChange change{gCellWidth, gCellHeight, 0, 0, 0};
    gShowComments = gShowComments ? 0 : 1;
    ApplyZoomIndex(gQel.Zoom);  // doubles or halves the cell height
    MmCmtType->setChecked(gShowComments != 0);
    BnCmtType->setChecked(gShowComments != 0);
    change.CellWidth = gCellWidth;
    change.CellHeight = gCellHeight;
    change.FontSize = LadderFontSize();
    NotifyZoom(change);
}

void TQelMain::MmMatchSizeClick() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    Size50Click(ZoomForScreenWidth(screen->availableGeometry().width()));
}

void TQelMain::ApplyZoom() { ApplyZoomIndex(ClampZoom(gQel.Zoom)); }

int TQelMain::LadderFontSize() const { return kZoomFontSizes[static_cast<size_t>(ClampZoom(gQel.Zoom))]; }

void TQelMain::SetValueFormat(int format) {
    gQel.ValueFormat = std::clamp(format, 0, 2);
    QAction* items[3] = {Dig10, Dig16, DigASCI};
    items[gQel.ValueFormat]->setChecked(true);
}

std::string TQelMain::GetDeviceComment(char letter, int number) const { return ::GetDeviceComment(letter, number); }

// ---------------------------------------------------------------------------
// Serial port and lamp

bool TQelMain::OpenComPort() {
    // The link tells the user itself why its port did not open (message 168
    // with the port); the frame speaks only when there is no link to ask.
    if (!Link.OpenPort) {
        ShowMsg(168, "!! (COM" + std::to_string(gQel.ComPort) + ")");
        return false;
    }
    try {
        Link.OpenPort();  // also re-arms the reply time-out when already open
        return true;
    } catch (const std::exception&) {
        if (Link.ClosePort) Link.ClosePort();
        return false;
    }
}

void TQelMain::SetLamp(TLampState state) { SetLampColor(LampColor(state)); }

void TQelMain::SetLampColor(const QColor& color) {
    lampColor_ = color;
    QPalette pal = MoniLight->palette();
    pal.setColor(QPalette::Window, color);
    MoniLight->setPalette(pal);
    MoniLight->update();
    if (QelStaBar) QelStaBar->update();  // repainted after every lamp change
}

QColor TQelMain::Lamp() const { return lampColor_; }

// ---------------------------------------------------------------------------
// Tool panels (bands of the cool bars)

void TQelMain::CoolBarAdd(QWidget* panel, Qt::ToolBarArea bar) {
    if (!panel) return;
    QToolBar*& band = bands_[panel];
    if (!band) {
        band = new QToolBar(this);
        band->setObjectName(panel->objectName() + "Band");
        band->addWidget(panel);
        addToolBar(bar, band);
    } else if (toolBarArea(band) != bar) {
        addToolBar(bar, band);
    }
    panel->show();
    band->show();
}

void TQelMain::CoolBarDelete(QWidget* panel) {
    if (auto it = bands_.find(panel); it != bands_.end()) it->second->hide();
}

void TQelMain::CoolBarIconSize(QWidget* panel, int pixels) {
    if (!panel) return;
    const QSize size(pixels, pixels);
    for (QToolBar* bar : panel->findChildren<QToolBar*>()) bar->setIconSize(size);
    if (auto it = bands_.find(panel); it != bands_.end()) it->second->setIconSize(size);
}

// ---------------------------------------------------------------------------
// Editor windows

void TQelMain::DestroyEditors() {
    // Deleted at once: the shared buffers are replaced right after this, and
    // an editor must not outlive the buffers it points into.
    const auto children = MdiArea->subWindowList();
    for (QMdiSubWindow* sub : children) delete sub;
}

void TQelMain::ResetEditors() {
    for (auto& make : editorMakers_) make();
}

void TQelMain::CloseEditorWindows() {
    DestroyEditors();
    ClearActiveView();
}

void TQelMain::CloseProjectWindows() {
    CloseEditorWindows();
    gSfcCodeList.clear();
    if (gSfcGrid && gSfcRowCount > 0)
        std::memset(gSfcGrid, 0xFF, static_cast<size_t>(gSfcRowCount) * kSfcRowBytes);
}
