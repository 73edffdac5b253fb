#pragma once
// The SFC window: the chart at the frame's zoom, a cell cursor moved by keys
// and clicks, the tools of both pages on F1-F9 and on the frame's SFC buttons,
// the step-number editor over the cursor cell, rows and cells, undo and redo,
// and the inner ladder or instruction list of the element under the cursor.
// The editing itself is TSfcEditModel's; this window turns events into its
// calls, shows its messages and repaints.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <QAbstractScrollArea>

#include "project/Editorlink.h"
#include "project/Qelglobals.h"
#include "sfc/model/Sfcedit.h"

class QLineEdit;
class QTimer;
namespace qel::link {
class TSfcMonitor;
}
class TQelMain;

class TSfc : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TSfc(QWidget* owner = nullptr);
    ~TSfc() override;

    TEditorLink* Link = nullptr;
    TSfcEditModel& Model() { return model_; }
    // The tool page the frame's SFC page control shows (0 elements, 1 lines).
    std::function<int()> AskToolPage;

    // Cell size from the frame's zoom level 0..6 (50 x 25 .. 110 x 55).
    void ApplyZoom(int level);
    int CellWidth() const { return cellW_; }
    int CellHeight() const { return cellH_; }
    // Width of one column: twice the cell width while comments are shown.
    int Stride() const { return gShowComments ? 2 * cellW_ : cellW_; }
    void RedrawChart();
    // The tool of a page (0 or 1) and index 1..9, as its button or F-key.
    void RunTool(int page, int index);
    // Opens the inner ladder or the inner list of the element under the cursor.
    void PopInterLadWinClick();
    void PopInterInstWinClick();
    // The device comment of the step-like element under the cursor.
    void PopDevCmtClick();
    // Converts the chart into the program when it (or an element's code)
    // holds edits the program does not have: when the view changes and when
    // the window closes. Refused when the chart does not convert; Cancelled
    // when the user chose to change nothing (question 259).
    enum class TConvert { Done, Refused, Cancelled };
    TConvert ConvertIfEdited();
    // The chart as it stands now is the one its edits are dropped back to
    // (unless it holds edits itself).
    void MarkSynced();
    // Leaving the chart for another view: the chart goes into the program
    // (ConvertIfEdited), after the frame has asked which to keep when the
    // program's ladder holds edits too. False when nothing went in.
    bool LeaveChart();
    // Edits the program does not have yet: a number being typed, or a chart
    // (or element code) changed since it last went into the program.
    bool HoldsEdits() const;
    // Those edits dropped: the chart as it last went into the program (or as
    // the window opened on it, or else as the code draws it) comes back, as
    // one undo step; open inner views of its elements close without storing.
    void DropEdits();
    // The program kept over the chart's edits: the chart is drawn from the
    // program as it stands, as one undo step.
    void DrawFromProgram();
    // The frame's code-to-chart: the chart drawn anew from the program; its
    // history ends there, and `overWork` keeps the chart replaced (which held
    // work of its own) as the one undo step.
    void DrawAnew(bool overWork);
    // A number being typed goes in; false when it was refused.
    bool TakeNumber();
    // An element's inner window stores its code for good: one undo step.
    void RecordInnerStore();
    // After a failed conversion: the cursor to the cell that could not be
    // converted (the frame's command also brings the window forward).
    void ShowChartError();
    // The frame's commit before anything reads the program: a number being
    // typed is taken, then the chart converted when it changed. False when
    // the chart did not go in; CommitCancelled() then tells whether the user
    // cancelled (the command that asked stops too).
    bool CommitEdits();
    bool CommitCancelled() const { return commitCancelled_; }

    QLineEdit* SfcEdit_Txt = nullptr;
    // The up-down buttons of the number editor (children "Up" and "Down");
    // the editor's arrow keys do the same.
    QWidget* SfcEdit_UD = nullptr;
    void SfcEdit_UDClick(bool up);
    TQelMain* Frame = nullptr;
    // The popup and the frame's element and line buttons are off while the
    // PLC is monitored (ladder, chart or device monitor) or the register
    // view talks to it.
    bool ToolsOn() const;

    // SFC monitoring: the window is monitor client "2" of the PLC link while
    // gSfcMonitorOn is set. The step list is the step-like cells of the rows
    // on screen; after a scroll or resize every step shows off and the new
    // list goes out when SfcTmr (one second) has run out.
    bool StartSfcMonitor();
    void StopSfcMonitor();
    qel::link::TSfcMonitor* Monitor() const { return monitor_.get(); }
    std::vector<std::uint16_t> VisibleSteps() const;
    void SfcTmrTimer();
    QTimer* SfcTmr = nullptr;

protected:
    void paintEvent(QPaintEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool event(QEvent* e) override;

private:
    void Show(const TSfcEditResult& r);
    void UndoRedo(bool redo);
    // The number being typed entered; false when it was refused (message shown).
    bool Commit(bool takeFocus = true);
    void HideNumberEditor();
    // The chart drawn anew from the program as it stands, one step of its
    // history (`replaced`, when given, the step back). Code that cannot be
    // drawn leaves the chart, its history and a number being typed as they
    // were (message shown): false.
    bool DrawFromCode(std::optional<TSfcSnapshot> replaced);
    // Message 78 or 79 (msg < 0: none, the window is brought up) for an inner
    // window open for the element at (row, sfcCol): the cursor goes back there.
    void BackToInnerCell(const QWidget* inner, int row, int sfcCol, int msg);
    void MoveCursor(int row, int col);
    void ScrollToCursor();
    void UpdateRanges();
    void ShowCursorPos();
    void RegisterCommands();

    bool Edited() const;
    // Leaving the chart: what an element's open inner window holds is lent to
    // its element first, as for any command that reads the program (not when
    // that window is the one taking over). A rung that does not compile says
    // so once and stays in its window.
    void LendInnerEdits();
    // Closes the elements' inner windows, each asking as it does alone.
    // False when one of them stays open.
    bool CloseInnerWindows();

    TSfcEditModel model_;
    int cellW_ = 90, cellH_ = 45;
    std::optional<TSfcChart> syncedChart_;  // the chart as it last stood for the program
    bool closing_ = false;
    bool commitCancelled_ = false;
    std::unique_ptr<qel::link::TSfcMonitor> monitor_;
    void ViewMoved();
};

// The SFC window (null while closed).
extern TSfc* _Sfc;

// Opens (or brings forward) the SFC window; the chart is the project's own
// when it describes the program or holds edits of its own, else (empty, or
// only a drawing of code changed since) drawn from the code.
TSfc* OpenSfcWindow(TQelMain* frame);
// Flag of SFC monitoring (GUI thread only): set while the chart polls the PLC.
extern std::uint8_t gSfcMonitorOn;

// Hooks the SFC window into the frame: MmSfcWin, MmMonitorSfc.
void InstallSfc(TQelMain* frame);
