#pragma once
// The frame window: the MDI frame with the menus, tool bars, tool panels and
// status bar, the project commands (New, Open, Save, Save As, recent files,
// Exit), start-up and shut-down, and the routing of every command to the
// active editor by gActiveView.
//
// Editors and tool windows plug in from their own folders:
//  - editor windows through AddEditor(window, link): the window's TEditorLink
//    carries its command handlers (a command nobody handles stays disabled)
//    and signals what changed;
//  - frame-level command handlers through Router(), followed by
//    RefreshCommands();
//  - zoom and comment-display changes through AddZoomListener();
//  - project events (new, opened, model changed, saving, shut-down) through
//    AddProjectListener();
//  - the PLC link's port and monitor control through Link;
//  - the ladder view's "PaintSimLadder" (new simulated scans) and
//    "RepaintLadder" (simulation or monitoring ended) handlers, which the
//    frame dispatches for view 2 whatever view is active.
#include <array>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QStatusBar>

#include "project/Commandrouter.h"

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QTabWidget;
class QToolBar;
class TQelLink;
class TEditorLink;

/// The status bar `QelStaBar` with its eight panels: 0 general, 1 insert or
/// overwrite, 2 cursor, 3 scan time, 4 steps used/total, 5 model, 6 RUN/STOP,
/// 7 "PLC COM: " and the PLC's port setting.
class TQelStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kPanelCount = 8;
    explicit TQelStatusBar(QWidget* parent = nullptr);
    void SetPanel(int index, const QString& text);
    QString Panel(int index) const;

private:
    std::array<QLabel*, kPanelCount> panels_{};
};

/// The link lamp states and their colours (white sending, green partial
/// reply, red good reply, blue exception reply, fuchsia bad frame and resend,
/// black too-short reply, aqua monitor request, yellow job step).
enum class TLampState { Off, Sending, PartialReply, GoodReply, ExceptionReply, BadFrame, ShortReply, MonitorRequest, JobStep };
QColor LampColor(TLampState state);

/// What the PLC link hands the frame. The link fills these in when it is
/// built; until then the port cannot be opened and no monitoring runs.
struct TLinkHooks {
    std::function<bool()> MonitorRunning;      ///< the link's monitor client list is not empty
    std::function<void()> StopAllMonitoring;   ///< removes every monitor client
    std::function<bool()> PortOpen;            ///< the link's serial port is open
    /// Opens it (reply time-out, triggers). On failure it has already told the
    /// user why (message 168 with the port) and throws.
    std::function<void()> OpenPort;
    std::function<void()> ClosePort;           ///< closes it; never throws
    std::function<bool()> JobRunning;          ///< a job (program, registers, card, password...) runs
    std::function<bool()> JobWrites;           ///< the running job sends data into the PLC or its card
    /// The running job brings something from the PLC a stop loses (a program,
    /// values or card contents read, a verify's result).
    std::function<bool()> JobReads;
    /// Ends the running job on the user's word, with its message of what did not happen.
    std::function<void()> StopJob;
};

/// What a command does to the windows of the work area that may own a PLC
/// job: closes them (another project, a new model) or changes the number of
/// file registers they show (the card setting alone).
enum class TJobWindows { Closed, FileRegCountChanged };

/// Project events the frame announces to the other windows.
enum class TProjectEvent {
    Cleared,        ///< New: an empty project
    Opened,         ///< a program file set was read
    Replaced,       ///< the project's values were cleared for another project (New,
                    ///< Open, a program read from the PLC): results shown of the
                    ///< old program are no longer true; sent before the new one is in
    ModelChanging,  ///< a new model setting is about to apply: save and close own files
    ModelChanged,   ///< family, capacity or file-register card changed in the model setting
    Saving,         ///< about to write the file set (the editors' edits are committed)
    Saved,          ///< the file set was written
    ShuttingDown,   ///< the frame is closing: stop timers, write own files
};

/// Cell sizes before and after a zoom or comment-display change.
struct TZoomChange {
    int OldCellWidth, OldCellHeight;
    int CellWidth, CellHeight;
    int FontSize;  ///< ladder font size in points
};

class TQelMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TQelMain(QWidget* parent = nullptr);
    ~TQelMain() override;

    // ---- start-up and shut-down -------------------------------------------
    /// Start-up step 2: defaults, shared buffers, message table, settings,
    /// clipboard formats. False when the message file is missing (the caller
    /// stops the program; the message has been shown).
    bool FormCreate();
    /// Start-up step 3: the windows that live, hidden, until exit, in their order.
    void CreateForms();
    /// Start-up step 5: opens a program file named on the command line.
    bool OpenStartupFile(const std::string& path);
    /// The shut-down questions and work; false when the user cancelled.
    bool FormCloseQuery();
    /// True once shut-down has run (temporary files deleted, settings written).
    bool ShutDownDone() const { return shutDownDone_; }

    /// The windows created at start-up, in creation order, by name.
    const std::vector<std::pair<std::string, QWidget*>>& StartupForms() const { return startupForms_; }

    // ---- command routing --------------------------------------------------
    TCommandRouter& Router() { return router_; }
    /// Runs a command as its menu item would; false when it is not available.
    bool RunCommand(const std::string& command);
    /// Recomputes every command's enabled state for gActiveView.
    void RefreshCommands();
    /// Makes `view` the active view code and refreshes the commands.
    void SetActiveView(int view);
    /// The menu item or button named `name` (nullptr when there is none).
    QAction* Action(const std::string& name) const;

    /// Adds an editor window as an MDI child with its view code; activating it
    /// makes that code the active view.
    QMdiSubWindow* AddChild(QWidget* window, int view);
    /// Adds an editor window (maximised in the client area) and binds its link:
    /// its commands join the router under its view code, its signals reach the
    /// status bar and the command states, and it may ask CheckStopMonitor.
    QMdiSubWindow* AddEditor(QWidget* window, TEditorLink* link);

    void AddZoomListener(QObject* owner, std::function<void(const TZoomChange&)> fn);
    void AddProjectListener(QObject* owner, std::function<void(TProjectEvent)> fn);
    /// A window holding values of its own that replacing the project would
    /// close (register values, a file-register template) is asked here first;
    /// false from any guard keeps the project and every window as they are.
    void AddProjectGuard(QObject* owner, std::function<bool()> mayLetGo);
    /// The same for leaving the program: asked before the program's own
    /// question; false from any guard keeps the program running.
    void AddLeaveGuard(QObject* owner, std::function<bool()> mayLeave);
    /// The same for a new model setting: false from any guard (a save of
    /// values the new model cannot keep failed or was cancelled) leaves the
    /// model and every window as they are.
    void AddModelGuard(QObject* owner, std::function<bool()> mayChange);
    /// A window of the work area that may own a PLC job tells here whether
    /// the job it runs ends when the windows are closed or changed as `how`
    /// says; MayEndJobOfWindows asks it.
    void AddJobHolder(QObject* owner, std::function<bool(TJobWindows how)> endsJob);
    /// Adds a maker of an editor window that ResetEditors runs (in the order
    /// added) to recreate the editors over a new or opened project.
    void AddEditorMaker(std::function<void()> make);

    TLinkHooks Link;

    // ---- frame operations -------------------------------------------------
    bool CheckStopMonitor();
    /// The one rule for a PLC job that a command would end (leaving the
    /// program, another project, a new model, closing the window that owns
    /// the job): a job that writes is asked about first (message 286), one
    /// that reads or verifies too (288), and Cancel keeps everything as it is
    /// while the job runs on to its end; OK, or a short query of the PLC's
    /// state, stops it with its message of what did not happen (285 for a
    /// write: the PLC holds part of what was sent, 284 for a program write
    /// among its blocks; 245 for a read, which keeps nothing; 289 for a
    /// verify, which gives no result). True when no job runs (any more).
    bool MayStopLinkJob();
    /// Only the question: true when no write to the PLC runs, or the user
    /// agrees to stop it (the caller stops it its own way).
    bool MayStopLinkWrite();
    /// The same for a job that reads from the PLC or verifies (message 288).
    bool MayStopLinkRead();
    /// The same, for a command that closes or changes the work area's
    /// windows as `how` says: only a job one of them owns is asked about.
    bool MayEndJobOfWindows(TJobWindows how);
    /// Whether a window of the work area runs a PLC job that closing or
    /// changing the windows as `how` says would end.
    bool JobOfWindowsEnds(TJobWindows how) const;
    void SetCommandsEnabled(bool enable);
    void SetQuickBarButtons(bool enable);
    void SetCommonBarButtons(bool enable);
    void SetLadderBarButtons(bool enable);
    void SetEditCommandsEnabled(bool enable = false);
    void SetMenusForLadder();
    void SetMenusForSfc();
    void SetMenusForDevMonitor();
    void SetMenusForFileReg();
    void ShowCursorPos();
    void ShowStepCount();
    void ShowModelName();
    void UpdateCaption();
    void Size50Click(int zoomIndex);
    void BnCmtTypeClick();
    void MmMatchSizeClick();
    void ApplyZoom();
    int LadderFontSize() const;
    std::string GetDeviceComment(char letter, int number) const;
    bool OpenComPort();
    void SetLamp(TLampState state);
    /// Paints the lamp in any colour (the link's own lamp colours).
    void SetLampColor(const QColor& color);
    QColor Lamp() const;

    // ---- simulator and PLC link (Qelsimulate.cpp, Qellink.cpp) -----------
    void BnSimuLadClick();
    void MmSimulateClick();
    void BnSimuSfcClick();
    void BnSfcToCodeClick();
    void BnCodeToSfcClick();
    /// The frame's side of the PLC link (null before FormCreate).
    TQelLink* LinkFrame() const { return link_; }
    /// RUN and STOP: open the port and queue the PLC's run/stop coil (M1072)
    /// ON or OFF; STOP also asks the monitor clients to write their lists again.
    void MmRunClick();
    void MmStopClick();
    /// Reads the PLC's scan time (D1010); the status poll shows it in panel 3.
    void RequestScanTime();

    void CoolBarAdd(QWidget* panel, Qt::ToolBarArea bar = CoolBarU);
    void CoolBarDelete(QWidget* panel);
    void CoolBarIconSize(QWidget* panel, int pixels = 24);

    void DestroyEditors();
    void ResetEditors();
    /// Closes every editor window; what they hold stays in the project (the
    /// chart and its elements' code included).
    void CloseEditorWindows();
    /// CloseEditorWindows, then empties the chart and its elements' code: for
    /// a project about to be replaced.
    void CloseProjectWindows();
    /// The File menu's recent files, as gQel.RecentFiles lists them.
    void RebuildRecentMenu();
    /// Asks whether to save a modified project; false when the user cancelled
    /// or the save failed (nothing may replace the project then).
    bool AskSaveModified();
    /// Before the project is replaced: every window's guard, then the
    /// program's own question; false when anything was kept.
    bool MayReplaceProject();
    /// Opens a program file as the project (the whole file set, the ladder
    /// rebuilt when it has none); false, the project unchanged, when refused.
    bool OpenProgramFile(const std::string& path);
    /// Moves the caret of the active editor (or of the instruction list, opened
    /// when needed) to a step; false when no window can show it.
    bool GoToStep(long step);
    /// The link of the editor window of the active view; null when none.
    TEditorLink* ActiveEditorLink() const;
    /// Every open editor puts its edits not yet in the program into it (an
    /// element's inner views into the chart's elements first, then the chart,
    /// then the ladder); true when the program now matches what the windows
    /// show. False when one cannot: it has shown why, with its cursor on the
    /// place, and is brought forward. The step count follows either way.
    /// When the chart and the program's ladder both hold edits, the user is
    /// asked first which to keep (SettleChartAndLadder). Then the windows
    /// drawn from the code (ladder, instruction list) catch up with it.
    /// Every command and every button of a window left open that reads the
    /// program calls this first.
    bool CommitEdits();
    /// Only the window showing `view` puts in its edits not yet in (a device
    /// comment being typed, say): for a job that replaces only what that view
    /// edits, so that another editor's edit that cannot go in yet does not
    /// stop it. True when no such window is open or its edits went in; false
    /// when they could not (it said why and is brought forward).
    bool CommitEditsOf(int view);
    /// Whether an editor (the ladder, the chart, an element's inner window)
    /// holds edits of the program that are not in the program image.
    bool ProgramEditsPending() const;
    /// While a read from the PLC runs whose result replaces the project
    /// (hold true, until it ends): the work area with every editor, the
    /// frame's commands and every other window left open take no input, the
    /// progress window excepted (its Cancel stops the read), and the status
    /// bar and the progress window say why (message 269).
    void HoldEditsForRead(bool hold);
    /// The same hold for other work that replaces the project (message `why`
    /// says which): `keep`, the window running the work, stays usable, and so
    /// do the frame's commands named in `stillOffered` (leaving the frame,
    /// bringing that window back).
    void HoldEdits(bool hold, int why, QWidget* keep, std::vector<std::string> stillOffered = {});
    /// CommitAll's outcome: Refused when an editor's edits could not go in,
    /// Cancelled when the user chose to change nothing (a question to keep the
    /// chart or the ladder, or the chart's over changed code): a save stops.
    enum class TCommit { Done, Refused, Cancelled };
    TCommit CommitAll();
    /// The chart and the program's ladder are two forms of one program: once
    /// one goes in, the other's edits no longer fit the code. When both hold
    /// edits, asks which to keep; the kept one goes into the program first and
    /// only then are the other's edits dropped. Done when at most one holds
    /// edits or the choice went in; Refused when the kept one could not go in
    /// (it has said why, nothing dropped); Cancelled when the user kept both,
    /// or cancelled the kept one's own question.
    TCommit SettleChartAndLadder();

    // Project commands
    void NewClick();
    void OpenClick();
    void SaveClick();
    void SaveAsClick();
    void OpenRecentFile(int index);
    void MachineSetClick();
    void TitlePageClick();
    void AboutClick();
    void HelpClick();
    /// Applies a model setting (family 0..2, capacity index 0..3, extra file
    /// registers); false when refused (out of range, monitoring kept running,
    /// or the program does not fit the capacity: message shown), or when the
    /// user kept the old setting rather than drop the comments of devices a
    /// new family lacks (message 261) or file-register values a card setting
    /// of the same family has no room for (message 262). A change of the card
    /// alone keeps every window; the template's follows it (ModelChanged).
    bool ApplyModelSetting(int family, int capacityIndex, bool extraMemory);
    /// The help file for the desktop's language.
    static std::string HelpFilePath();

    // ---- components -------------------------------------------------------
    static constexpr Qt::ToolBarArea CoolBarU = Qt::TopToolBarArea;
    static constexpr Qt::ToolBarArea CoolBarL = Qt::LeftToolBarArea;
    static constexpr Qt::ToolBarArea CoolBarR = Qt::RightToolBarArea;
    static constexpr Qt::ToolBarArea CoolBarD = Qt::BottomToolBarArea;

    QMdiArea* MdiArea = nullptr;
    TQelStatusBar* QelStaBar = nullptr;
    QFrame* MoniLight = nullptr;

    QMenu *FileMenu = nullptr, *EditMenu = nullptr, *ViewMenu = nullptr, *CompileMenu = nullptr,
          *CommentMenu = nullptr, *SearchMenu = nullptr, *CommMenu = nullptr, *OptionMenu = nullptr,
          *WindowMenu = nullptr, *HelpMenu = nullptr, *RecentMenu = nullptr;

    // File
    QAction *MmNew = nullptr, *MmOpen = nullptr, *MmSave = nullptr, *MmSaveAs = nullptr,
            *MmTitle = nullptr, *MmPrn = nullptr, *MmExit = nullptr;
    // Edit
    QAction *MmUndo = nullptr, *MmRedo = nullptr, *MmCut = nullptr, *MmCopy = nullptr,
            *MmPaste = nullptr, *MmDel = nullptr, *MmSelAll = nullptr, *MmInsBk = nullptr, *MmInsLine = nullptr,
            *MmDelLine = nullptr, *MmDelTk = nullptr, *MmDelVline = nullptr, *MmInsSp = nullptr,
            *MmBackSp = nullptr;
    // View
    QAction *MmInstWin = nullptr, *MmLadWin = nullptr, *MmSfcWin = nullptr, *MmCmtWin = nullptr,
            *MmLineCmtWin = nullptr, *MmViewReg = nullptr, *MmFileTmp = nullptr, *MmZoomIn = nullptr,
            *MmZoomOut = nullptr, *MmMatchSize = nullptr, *MmCmtType = nullptr, *MmLadTool = nullptr,
            *MmSfcTool = nullptr, *Dig10 = nullptr, *Dig16 = nullptr, *DigASCI = nullptr;
    QMenu* MmWinSize = nullptr;
    std::array<QAction*, 7> SizeItems{};  ///< Size50 .. Size200, data() = zoom index
    QAction *Size50 = nullptr, *Size75 = nullptr, *Size100 = nullptr, *Size125 = nullptr,
            *Size150 = nullptr, *Size175 = nullptr, *Size200 = nullptr;
    // Compile
    QAction *MmLadToCode = nullptr, *MmCodeToLad = nullptr, *MmCodeToSfc = nullptr,
            *MmSfcToCode = nullptr;
    // Search and check
    QAction *MmRep = nullptr, *MmFindCmd = nullptr, *MmJump = nullptr, *MmDevUsedWin = nullptr,
            *MmLoopChk = nullptr, *MmFileCompileTest = nullptr;
    // PLC
    QAction *MmTrans = nullptr, *MmCodeVerify = nullptr, *MmRun = nullptr, *MmStop = nullptr,
            *MmMonitorLad = nullptr, *MmMonitorSfc = nullptr, *MmMonitorDev = nullptr,
            *MmSetVal = nullptr, *MmForceDev = nullptr, *MmPassWd = nullptr, *MmSimulate = nullptr,
            *MmFileTmpTransfer = nullptr, *MmCardCodeRw = nullptr, *MmPlcToCard = nullptr,
            *MmCardCmtRw = nullptr, *MmUserInst = nullptr;
    // Options
    QAction *MmMachineSet = nullptr, *MmComPort = nullptr, *MmBaudRateTest = nullptr,
            *MmRunUpdate = nullptr;
    // Window and help
    QAction *MmCascade = nullptr, *MmTile = nullptr, *MmHelp = nullptr, *MmAbout = nullptr;

    // Tool bars and their buttons
    QToolBar *QuickBar = nullptr, *CommonBar = nullptr, *OnlineBar = nullptr, *LadToolBar = nullptr;
    QAction *BnNew = nullptr, *BnOpen = nullptr, *BnSave = nullptr, *BnPrn = nullptr,
            *BnUndo = nullptr, *BnRedo = nullptr, *BnCut = nullptr, *BnCopy = nullptr,
            *BnPaste = nullptr, *BnDel = nullptr, *BnRep = nullptr;
    QAction *BnInstWin = nullptr, *BnLadWin = nullptr, *BnCmtWin = nullptr, *BnCodeToLad = nullptr,
            *BnLadToCode = nullptr, *BnJump = nullptr, *BnZoomIn = nullptr, *BnZoomOut = nullptr,
            *BnCmtType = nullptr, *BnTrans = nullptr, *BnRun = nullptr, *BnStop = nullptr,
            *BnMonitorLad = nullptr, *BnMonitorSfc = nullptr, *BnMonitorDev = nullptr,
            *BnSimuLad = nullptr, *BnSimuSfc = nullptr, *BnSfcToCode = nullptr, *BnCodeToSfc = nullptr;
    std::array<QAction*, 11> Btn{};  ///< Btn0 .. Btn10, the ladder element buttons
    std::array<QAction*, 9> sBtn{};   ///< sBtn1 .. sBtn9, SFC elements
    std::array<QAction*, 9> ssBtn{};  ///< ssBtn1 .. ssBtn9, SFC auxiliary lines

    // Tool panels
    QWidget* LadPanel = nullptr;
    QWidget* SfcPanel = nullptr;
    QTabWidget* SfcPgCtrl = nullptr;
    QWidget* SfcPage1 = nullptr;
    QWidget* SfcPage2 = nullptr;

    // Clipboard formats (MIME names under which the editors exchange blocks)
    QString CfLadder, CfInst, CfSfc;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct ActionDef;
    void BuildMenus();
    void BuildToolBars();
    void BuildStatusBar();
    void RegisterFrameCommands();
    QAction* MakeAction(const ActionDef& def, QWidget* owner);
    void OnSubWindowActivated(QMdiSubWindow* window);
    /// The status panels and the tool page of the active view (none: cleared).
    void ShowViewState();
    /// No view is active any more: no edit commands, no view's status.
    void ClearActiveView();
    /// Shows the active view's tool page (when its menu item is checked) and hides the other.
    void ShowToolPage();
    /// Gives every frame command its shortcut back, except those the active
    /// editor's own key table takes (TEditorLink::OwnKeys).
    void ScopeShortcuts();
    void AfterProjectLoaded(TProjectEvent event);
    void NotifyProject(TProjectEvent event);
    void NotifyZoom(const TZoomChange& change);
    void SetValueFormat(int format);
    void ShutDown();
    bool SaveProgram();
    bool SaveProgramAs();
    // Save As onto `path` (a whole program-file path) writes the project's own set.
    static bool SavesOwnSet(const std::string& path);
    /// After a save: false, with a message naming the ladder file, when the
    /// program's ladder holds edits the saved code does not have.
    bool LadderEditsSaved();
    /// The same for the chart: false, with a message naming the chart file,
    /// when it (or an element's inner ladder) holds edits the saved code does
    /// not have; the project stays modified.
    bool ChartEditsSaved();
    static bool IsEditCommand(const std::string& command);
    /// A command that reads the program commits the editors first (CommitEdits);
    /// false when it must not start.
    bool CommitBeforeCommand(const std::string& command);
    /// Makes the window of an editor link the active one.
    void BringForward(const TEditorLink* link);
    /// The editor link of the window showing `view`; null when none does.
    TEditorLink* LinkOfView(int view) const;
    void CreateSimulator();
    void CreateSfcCommands();
    void ToggleSimulate(bool fromSfc);
    void SetSimulateButtons(bool running);
    /// Ends a simulator run (the program it runs is being replaced) and
    /// releases the simulate commands; nothing when none runs.
    void EndSimulation();
    /// Ends a simulator run that cannot go on with what the user changed, with
    /// message `id` saying why; nothing when none runs.
    void EndSimulationSaying(int id);
    /// A simulator run goes on with the program as the editors hold it now.
    void SimulationFollowsProgram();
    void CreateLink();
    void ConvertOpenedProgram();
    void DrawCommentedLadderForSave();

    TCommandRouter router_;
    std::map<std::string, QAction*> actions_;
    std::map<QAction*, std::string> commandOf_;
    std::vector<QAction*> quickButtons_, commonButtons_, ladderButtons_, editCommands_;
    std::map<QWidget*, QToolBar*> bands_;
    std::vector<std::pair<QObject*, std::function<void(const TZoomChange&)>>> zoomListeners_;
    std::vector<std::pair<QObject*, std::function<void(TProjectEvent)>>> projectListeners_;
    // Guards of windows holding values of their own, each dropped with its owner.
    using TGuards = std::vector<std::pair<QObject*, std::function<bool()>>>;
    void AddGuard(TGuards& guards, QObject* owner, std::function<bool()> guard);
    // True when every guard lets go; false from the first that refuses.
    static bool AllGuardsAgree(TGuards guards);
    TGuards projectGuards_;
    TGuards leaveGuards_;
    TGuards modelGuards_;
    std::vector<std::pair<QObject*, std::function<bool(TJobWindows)>>> jobHolders_;
    std::vector<std::pair<std::string, QWidget*>> startupForms_;
    std::map<QMdiSubWindow*, int> childViews_;
    std::vector<TEditorLink*> editorLinks_;
    bool settling_ = false;  // SettleChartAndLadder is asking or committing
    bool editsHeld_ = false;  // HoldEdits
    std::vector<std::string> offeredWhileHeld_;
    // Whether `command` stays off while the editors are held.
    bool HeldOff(const std::string& command) const;
    // Whether `menu` holds a command offered while the editors are held.
    bool MenuOffersWhileHeld(const QMenu* menu) const;
    std::vector<QPointer<QWidget>> heldWindows_;
    std::map<QMdiSubWindow*, TEditorLink*> linkOf_;
    std::map<QAction*, QKeySequence> shortcutOf_;  ///< each command's own shortcut
    std::vector<std::function<void()>> editorMakers_;
    bool commandsEnabled_ = true, quickEnabled_ = true, commonEnabled_ = true, ladderEnabled_ = true,
         editEnabled_ = true;
    QActionGroup* sizeGroup_ = nullptr;
    QActionGroup* digGroup_ = nullptr;
    QColor lampColor_;
    TQelLink* link_ = nullptr;
    class TSimMonitor* simMonitor_ = nullptr;
    bool created_ = false;
    bool shutDownDone_ = false;
};

/// The zoom index whose ladder rows (15 cell widths) fit a screen `widthPx` wide.
int ZoomForScreenWidth(int widthPx);

/// The frame of the run (null before start-up and after exit).
extern TQelMain* _QelMain;
