#include "ladder/editor/Ladder.h"

#include <algorithm>
#include <cstring>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QWheelEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QContextMenuEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "instlist/EdDlg.h"
#include "ladder/editor/Ladderkeys.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "platform/Messages.h"
#include "project/Editorlink.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/model/Sfcelement.h"
#include "shell/Qelmain.h"
#include "simulator/SimLadder.h"
#include "simulator/Simuplc.h"
#include "tools/windows/Comdlg.h"
#include "tools/windows/Linecmt.h"
#include "tools/check/Comments.h"

TLDB* _LDB = nullptr;
TLDB* _InterLadder = nullptr;

namespace {

constexpr int kProgramView = kViewLadder;
constexpr int kInnerView = kViewInnerLadder;
constexpr int kBlockCommentView = kViewBlockComment;
constexpr int kGoToStepView = kViewGotoStepLadder;
constexpr int kMsgLadderCaption = 34;
constexpr int kMsgCompileFailed = 32;
constexpr int kMsgDropEdits = 252;
constexpr int kMsgCommentsDropped = 263;

// The ladder window whose go-to-step entry the input dialog is open for.
TLDB* gGoToStepLadder = nullptr;

// The element of each button Btn0..Btn10.
const TLadderClass kButtonClass[11] = {TLadderClass::Open,  TLadderClass::Close, TLadderClass::Rise,
                                       TLadderClass::Fall,  TLadderClass::Step,  TLadderClass::Box,
                                       TLadderClass::Coil,  TLadderClass::HLine, TLadderClass::VLine,
                                       TLadderClass::Inv,   TLadderClass::Compare};

// The instruction line an element button opens the dialog with.
const char* const kButtonPrefill[11] = {"LD ", "LDI ", "LDP ", "LDF ", "STL ", "", "OUT ", "", "", "", "LD= "};

std::string DeviceCommentOf(char letter, std::int32_t number) {
    const char* at = std::strchr(kCommentLetters, letter);
    if (!at || number < 0) return {};
    const auto& list = gQel.DevComments[static_cast<std::size_t>(at - kCommentLetters)];
    return static_cast<std::size_t>(number) < list.size() ? list[static_cast<std::size_t>(number)] : std::string();
}

bool TypedStartsInput(QChar ch) {
    const char16_t c = ch.unicode();
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '<' || c == '>' ||
           c == '=' || c == '+' || c == '-';
}

}  // namespace

TLDB::TLDB(QWidget* owner, bool inner)
    : QAbstractScrollArea(owner), View(inner ? kInnerView : kProgramView), Inner(inner) {
    setObjectName(inner ? "InterLadder" : "LDB");
    setWindowTitle(QString::fromStdString(gMsgTable.Get(kMsgLadderCaption)));
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    Link = new TEditorLink(View, this);
    edit_.BeforeChange = [this] { RecordUndo(); };
    BkSelTmr = new QTimer(this);
    BkSelTmr->setObjectName("BkSelTmr");
    BkSelTmr->setInterval(75);
    connect(BkSelTmr, &QTimer::timeout, this, &TLDB::BkSelTmrTimer);
    // Paste and insert-block follow what the clipboard holds.
    if (auto* cb = QGuiApplication::clipboard())
        connect(cb, &QClipboard::dataChanged, this, [this] { emit Link->commandsChanged(); });
    RegisterCommands();
    LDBPopup = new QMenu(this);
    LDBPopup->setObjectName("LDBPopup");
    int count = 0;
    const TLadderPopupItem* items = LadderPopupItems(count);
    for (int k = 0; k < count; ++k) {
        const TLadderPopupItem& item = items[k];
        if (item.separatorBefore) LDBPopup->addSeparator();
        QAction* a = LDBPopup->addAction(QString::fromUtf8(item.caption));
        a->setObjectName(item.name);
        a->setData(item.group);
        if (item.key) a->setShortcut(QKeySequence(item.key | item.modifiers.toInt()));
        // Shown in the menu only: the window takes the keys itself, so that
        // they never compete with the frame's own shortcuts.
        a->setShortcutContext(Qt::WidgetShortcut);
        const std::string command = item.command;
        connect(a, &QAction::triggered, this, [this, command] { Link->Run(command); });
    }
    connect(LDBPopup, &QMenu::aboutToShow, this, &TLDB::SwitchPopupMode);
    (inner ? _InterLadder : _LDB) = this;
}

TLDB::~TLDB() {
    if (_LDB == this) _LDB = nullptr;
    if (_InterLadder == this) _InterLadder = nullptr;
    if (gGoToStepLadder == this) gGoToStepLadder = nullptr;
    Link->DetachRouter();
    emit Link->statusText(1, {});
}

void TLDB::SetDoc(const TLadderDoc& doc) {
    edit_.SetDoc(doc);
    ResetView();
}

void TLDB::RegisterCommands() {
    TEditorLink& r = *Link;
    // The element buttons are off while the ladder is monitored on line.
    for (int i = 0; i < 11; ++i)
        r.Register("Btn" + std::to_string(i), [this, i] { ElementButton(i); }, [] { return gMonitorMode == 0; });
    r.Register("MmLadToCode", [this] { MmLadToCodeClick(); });
    // Rebuilding the ladder from the code never throws away edits: they go
    // into the code first, and nothing happens while they do not compile.
    r.Register("MmCodeToLad", [this] { MmCodeToLadClick(); }, [this] { return !Inner; });
    r.Register("MmDelTk", [this] { PopDelTkClick(); }, [this] { return edit_.Col() >= 0; });
    r.Register("MmDelVline", [this] { PopDelVlineClick(); }, [this] { return edit_.Col() >= 0; });
    r.Register("MmDel", [this] { PopDelClick(); });
    r.Register("MmJump", [this] { MmJumpClick(); });
    auto editing = [] { return gMonitorMode == 0; };
    auto onCell = [this, editing] { return editing() && edit_.Col() >= 0; };
    auto marked = [this, onCell] { return onCell() && edit_.Selection().active; };
    auto clip = [this, onCell] { return onCell() && ClipboardBlock().has_value(); };
    // Nothing to undo over a program changed elsewhere (EndHistoryOverChangedCode).
    r.Register("MmUndo", [this] { PopUndoClick(); },
               [this, editing] { return editing() && history_.CanUndo() && !CodeChangedElsewhere(); });
    r.Register("MmRedo", [this] { PopRedoClick(); },
               [this, editing] { return editing() && history_.CanRedo() && !CodeChangedElsewhere(); });
    r.Register("MmCut", [this] { PopCutClick(); }, marked);
    r.Register("MmCopy", [this] { PopCopyClick(); }, marked);
    r.Register("MmPaste", [this] { PopPasteClick(); }, clip);
    r.Register("MmInsBk", [this] { PopInsBkClick(); }, clip);
    r.Register("MmSelAll", [this] { PopSelAllClick(); }, [this] { return edit_.LastRow() >= 0; });
    r.Register("MmInsLine", [this] { PopInsLineClick(); }, editing);
    r.Register("MmDelLine", [this] { PopDelLineClick(); }, editing);
    r.Register("PopDevCmt", [this] { PopDevCmtClick(); }, editing);
    if (!Inner) r.Register("PopLineCmt", [this] { PopLineCmtClick(); }, editing);
    // The keys the window takes itself: the frame's menus leave them alone
    // while the ladder is active (F1 is a contact here, Ctrl+Y deletes a row).
    int count = 0;
    const TLadderKey* keys = LadderKeyTable(count);
    for (int k = 0; k < count; ++k)
        r.OwnKeys.emplace_back(keys[k].modifiers, static_cast<Qt::Key>(keys[k].key));
    const TLadderPopupItem* items = LadderPopupItems(count);
    for (int k = 0; k < count; ++k)
        if (items[k].key) r.OwnKeys.emplace_back(items[k].modifiers, static_cast<Qt::Key>(items[k].key));
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_End})
        r.OwnKeys.emplace_back(Qt::ShiftModifier, key);
    r.Register("ShowCursorPos", [this] { UpdateStatusBar(); });
    r.Register("PopBkCmt", [this] { PopBkCmtClick(); }, [this] { return edit_.Col() >= 0 && !Inner; });
    r.Register("RepaintLadder", [this] { RepaintLadder(); });
    if (!Inner) r.Register("PaintSimLadder", [this] { PaintSimLadder(); });
    RegisterToolHooks();
}

void TLDB::RegisterToolHooks() {
    // The checking tools show a step at the network that holds it.
    Link->GoToStep = [this](long step) {
        if (Inner) return false;
        std::int32_t row = -1;
        for (const TStepMark& m : gMarkList) {
            if (m.step > step) break;
            row = m.row;
        }
        if (row < 0) return false;
        edit_.SetCursor(row, 0);
        AfterMove();
        return true;
    };
    // Find and replace walks the grid and brackets a replacement as one edit.
    Link->SearchTarget = [this] {
        TEditTarget t;
        t.grid = edit_.Doc().grid;
        t.lastRow = std::max(edit_.LastRow(), 0);
        t.cursorRow = edit_.Row();
        t.cursorCol = edit_.Col();
        t.pLabelRows = edit_.Doc().labels.pRows;
        t.iLabelRows = edit_.Doc().labels.iRows;
        return t;
    };
    Link->SelectPlace = [this](std::uint32_t, std::int32_t row, std::int32_t col) {
        edit_.SetCursor(row, col);
        AfterMove();
    };
    Link->BeginExternalEdit = [this] {
        if (edit_.BeforeChange) edit_.BeforeChange();
    };
    Link->EndExternalEdit = [this] {
        edit_.Refresh();
        TLadderEditResult r;
        r.changed = true;
        AfterEdit(r);
    };
}

// ---------------------------------------------------------------------------
// View

int TLDB::PageRows() const { return std::max(1, viewport()->height() / std::max(1, gCellHeight)); }

TLadderPaintView TLDB::PaintView() const {
    TLadderPaintView v;
    v.grid = edit_.Doc().grid;
    v.capacity = edit_.Doc().capacity;
    v.labels = edit_.Doc().labels;
    v.program = !Inner;
    if (!Inner) {
        v.marks = &gMarkList;
        v.rowComments = &gQel.RungComments;
    }
    v.deviceComment = DeviceCommentOf;
    return v;
}

TLadderPaintOptions TLDB::PaintOptions() const {
    TLadderPaintOptions o;
    o.cellWidth = gCellWidth;
    o.cellHeight = gCellHeight;
    o.fontPoints = kZoomFontSizes[static_cast<std::size_t>(std::clamp(gQel.Zoom, 0, 6))];
    o.comments = gShowComments != 0;
    o.hScroll = horizontalScrollBar()->value();
    o.vScroll = verticalScrollBar()->value();
    o.client = viewport()->size();
    o.cursorRow = edit_.Row();
    o.cursorCol = edit_.Col();
    o.showCursor = true;
    o.state = state_;
    if (edit_.Selection().active) o.selected = [this](std::int32_t row, std::int32_t col) {
        return edit_.Selection().Contains(row, col);
    };
    return o;
}

void TLDB::SetStateSource(TLadderStateFn fn) {
    state_ = std::move(fn);
    RepaintLadder();
}

void TLDB::RepaintLadder() {
    // After a simulation the ladder shows the program again.
    if (simShown_ && !gSimRunning) {
        simShown_ = false;
        state_ = {};
    }
    viewport()->update();
}

void TLDB::PaintSimLadder() {
    if (Inner || !gSimLadderMonitor) return;
    if (!sim_) sim_ = std::make_unique<TSimLadderDisplay>(SimPlc());
    sim_->TakeSnapshot();
    if (!simShown_) {
        simShown_ = true;
        state_ = [this](std::int32_t row, std::int32_t col) {
            const TSimCellView v = sim_->Cell(edit_.Doc().grid, row, col, SimValueFormat());
            return TLadderCellState{v.known, v.on, v.value};
        };
    }
    viewport()->update();
}

// A click on the simulated ladder moves the cursor to the cell and flips the
// cell's device, which is how inputs are driven.
bool TLDB::SimulationClick(QMouseEvent* event) {
    if (!simShown_ || !gSimLadderMonitor) return false;
    ClickToCell(event->position().toPoint().x(), event->position().toPoint().y());
    AfterMove();
    sim_->ToggleSimCellDevice(edit_.Doc().grid, edit_.Row(), edit_.Col());
    PaintSimLadder();
    return true;
}

void TLDB::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    PaintLadder(p, PaintView(), PaintOptions());
}

void TLDB::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TLDB::scrollContentsBy(int, int dy) {
    // Scrolled by the user: the cursor keeps its place on the screen.
    if (dy != 0 && followScroll_ && gCellHeight > 0) {
        const std::int32_t rows = -dy / gCellHeight;
        if (rows != 0) {
            edit_.SetCursor(std::clamp(edit_.Row() + rows, 0, edit_.RowLimit()), edit_.Col());
            UpdateStatusBar();
        }
    }
    viewport()->update();
}

void TLDB::UpdateScrollRange() {
    edit_.Refresh();
    edit_.SetPageRows(PageRows());
    const int cw = std::max(1, gCellWidth), ch = std::max(1, gCellHeight);
    // One page past the last used row, never past the grid; the cursor row
    // is always inside.
    const std::int32_t rows = std::min(edit_.Doc().capacity,
                                       std::max(edit_.LastRow(), edit_.Row()) + 1 + PageRows());
    QScrollBar* v = verticalScrollBar();
    v->setSingleStep(ch);
    v->setPageStep(std::max(ch, viewport()->height() / ch * ch));
    v->setRange(0, std::max(0, rows * ch - viewport()->height()));
    QScrollBar* h = horizontalScrollBar();
    h->setSingleStep(cw);
    h->setPageStep(std::max(cw, viewport()->width()));
    h->setRange(0, std::max(0, 15 * cw - viewport()->width()));
}

void TLDB::ScrollCursorIntoView() {
    followScroll_ = false;
    struct Restore {
        bool& flag;
        ~Restore() { flag = true; }
    } restore{followScroll_};
    UpdateScrollRange();
    const int cw = std::max(1, gCellWidth), ch = std::max(1, gCellHeight);
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const int top = edit_.Row() * ch;
    if (top < v->value()) v->setValue(top);
    else if (top + ch > v->value() + viewport()->height())
        v->setValue((top + ch - viewport()->height() + ch - 1) / ch * ch);
    const int span = edit_.Col() < 0 ? 1 : edit_.CellSpan(edit_.Row(), edit_.Col());
    const int left = edit_.Col() < 0 ? 0 : (edit_.Col() / kLdbCellBytes + 1) * cw;
    const int right = left + span * cw;
    if (edit_.Col() <= 0) h->setValue(0);
    else if (left < h->value()) h->setValue(left / cw * cw);
    else if (right > h->value() + viewport()->width())
        h->setValue(std::min(left, (right - viewport()->width() + cw - 1) / cw * cw));
}

void TLDB::ResetView() {
    followScroll_ = false;
    edit_.SetCursor(0, 0);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateScrollRange();
    followScroll_ = true;
    UpdateStatusBar();
    RepaintLadder();
}

void TLDB::UpdateStatusBar() {
    const std::string text = gMsgTable.Get(14) + ":" + std::to_string(edit_.Row()) + " " + gMsgTable.Get(15) + ":" +
                             std::to_string(edit_.Col() / kLdbCellBytes + 1);
    emit Link->statusText(2, QString::fromStdString(text));
}

void TLDB::ShowInsertMode() {
    emit Link->statusText(1, QString::fromStdString(gMsgTable.Get(gQel.InsertMode ? 28 : 29)));
}

void TLDB::ClickToCell(int x, int y) {
    const int cw = std::max(1, gCellWidth), ch = std::max(1, gCellHeight);
    const int c = (horizontalScrollBar()->value() + x) / cw;
    const std::int32_t col = c == 0 ? kLabelColumn : std::min((c - 1) * kLdbCellBytes, kLdbLastColumn);
    const std::int32_t row = std::min((verticalScrollBar()->value() + y) / ch, edit_.RowLimit());
    edit_.SetCursor(row, col);
}

void TLDB::AfterMove() {
    ScrollCursorIntoView();
    UpdateStatusBar();
    RepaintLadder();
    emit Link->commandsChanged();
}

// ---------------------------------------------------------------------------
// Edits

bool TLDB::EditRefused() {
    // Every edit asks the frame first whether on-line monitoring must stop
    // (it does nothing either way when monitoring ran), and none goes ahead
    // while the ladder is monitored.
    return Link->CheckStopMonitor() || gMonitorMode != 0;
}

void TLDB::AfterEdit(const TLadderEditResult& r) {
    if (r.message != LadMsg::None) ShowMsg(r.message, r.detail);
    if (r.changed) {
        MarkEdited();
        // The step numbers belong to the code the ladder was drawn from.
        // (Rows inserted or emptied rows deleted leave them true: the marks moved with their rows.)
        if (Inner && !keepMarks_) InnerMarks.clear();
        if (!Inner && !keepMarks_) FreeMarkList();
        emit Link->modified();
    }
    AfterMove();
}

void TLDB::StartInstructionInput(QChar first) {
    if (!_EditDlg || !edit_.Doc().grid) return;
    _EditDlg->ILabel->clear();
    _EditDlg->IEdit->clear();
    if (!first.isSpace() && !first.isNull()) _EditDlg->IEdit->setText(QString(first));
    gActiveView = View;
    _EditDlg->ShowModal();
}

void TLDB::ElementButton(int index) {
    if (index < 0 || index > 10 || EditRefused()) return;
    const TLadderClass cls = kButtonClass[index];
    if (cls == TLadderClass::HLine || cls == TLadderClass::VLine || cls == TLadderClass::Inv) {
        edit_.insertMode = gQel.InsertMode != 0;
        const TLadderEditResult r = edit_.Place(cls);
        if (r.changed && cls == TLadderClass::VLine && keyRepeat_) edit_.Down();
        keyRepeat_ = false;
        AfterEdit(r);
        return;
    }
    if (edit_.Col() < 0) {
        ShowMsg(LadMsg::NotHere);
        return;
    }
    pendingClass_ = cls;
    if (!_EditDlg) return;
    _EditDlg->ILabel->clear();
    _EditDlg->IEdit->setText(QString::fromLatin1(kButtonPrefill[index]));
    gActiveView = View;
    _EditDlg->ShowModal();
}

bool TLDB::EnterLine(const std::string& text) {
    const std::optional<TLadderClass> cls = pendingClass_;
    if (EditRefused()) return true;
    edit_.insertMode = gQel.InsertMode != 0;
    TLadderEditResult r;
    if (cls) {
        // A button chose the element; the typed line gives its device or instruction.
        r = edit_.Place(*cls, text);
    } else {
        r = edit_.PlaceTyped(text);
    }
    AfterEdit(r);
    if (r.message == LadMsg::None) pendingClass_.reset();
    return r.message == LadMsg::None;
}

bool TLDB::EnterBlockComment(const std::string& text) {
    if (EditRefused()) return true;
    const TLadderEditResult r = edit_.SetBlockComment(text);
    AfterEdit(r);
    return r.message == LadMsg::None;
}

void TLDB::MmJumpClick() {
    if (!_EditDlg) return;
    _EditDlg->ILabel->setText(QStringLiteral("步号:"));
    _EditDlg->IEdit->clear();
    gGoToStepLadder = this;
    gActiveView = kGoToStepView;
    _EditDlg->ShowModal(View);
}

bool TLDB::GoToStep(const std::string& text) {
    // A step of the code the ladder's step marks number.
    const long step = TakeJumpStep(text, Inner ? gProgramCopyUsed : gProgramUsed);
    if (step < 0) {
        RepaintLadder();
        return false;
    }
    // The last network starting at or before the step, its first row at the top.
    std::int32_t row = -1;
    for (const TStepMark& m : Inner ? InnerMarks : gMarkList) {
        if (m.step > step) break;
        row = m.row;
    }
    if (row >= 0) {
        edit_.SetCursor(row, edit_.Col());
        followScroll_ = false;
        UpdateScrollRange();
        verticalScrollBar()->setValue(row * gCellHeight);
        followScroll_ = true;
    }
    AfterMove();
    return true;
}

void TLDB::PopDelTkClick() {
    if (EditRefused()) return;
    AfterEdit(edit_.DeleteElement());
}

void TLDB::PopDelVlineClick() {
    if (EditRefused()) return;
    AfterEdit(edit_.DeleteVLine());
}

void TLDB::PopBkCmtClick() {
    if (EditRefused() || !_EditDlg) return;
    const std::uint8_t* row = edit_.RowAt(edit_.Row());
    const bool comment = IsBlockCommentRow(row);
    if (!comment && !std::all_of(row, row + kLdbRowBytes, [](std::uint8_t b) { return b == 0; })) {
        ShowMsg(LadMsg::CommentRowBusy);
        return;
    }
    _EditDlg->ILabel->clear();
    _EditDlg->IEdit->setText(comment ? QString::fromStdString(BlockCommentText(row)) : QString());
    gActiveView = kBlockCommentView;
    _EditDlg->ShowModal();
}

// ---------------------------------------------------------------------------
// Undo and redo

TLadderSnapshot TLDB::Snapshot() {
    TLadderSnapshot s = edit_.TakeSnapshot();
    s.vScroll = verticalScrollBar()->value();
    s.hScroll = horizontalScrollBar()->value();
    return s;
}

void TLDB::RecordUndo() {
    // An edit made while the ladder stays open over code changed elsewhere (a
    // chart converted into the program) is the first of a new history.
    EndHistoryOverChangedCode();
    CarryTypedComments();
    history_.Record(Snapshot());
    MarkEdited();
}

void TLDB::MarkEdited() {
    dirty_ = true;
    unstored_ = Inner;
    leaveReported_ = false;
    // The program's own ladder no longer matches the program (an inner
    // ladder's edits are the chart's, which the program gets on conversion).
    if (!Inner) gQel.ProgramOk = 0;
}

void TLDB::Restore(const TLadderSnapshot& s) {
    const std::size_t lost = edit_.RestoreSnapshot(s);
    followScroll_ = false;
    UpdateScrollRange();
    verticalScrollBar()->setValue(s.vScroll);
    horizontalScrollBar()->setValue(s.hScroll);
    followScroll_ = true;
    MarkEdited();
    emit Link->modified();
    UpdateStatusBar();
    RepaintLadder();
    emit Link->commandsChanged();
    // Comments typed beside rows the undo (or redo) takes away: the step
    // back brings them again.
    if (lost > 0) ShowMsg(kMsgCommentsDropped, " " + std::to_string(lost));
}

void TLDB::CarryTypedComments() {
    // A comment typed since the last edit stays through every step back and
    // forth, not only the next: each state kept has it beside its row.
    const auto typed = edit_.CommentsTypedSince();
    if (typed.empty()) return;
    history_.ForEach([&](TLadderSnapshot& s) { ::CarryTypedComments(s, typed); });
}

void TLDB::PopUndoClick() {
    if (EditRefused()) return;
    TLadderSnapshot now = Snapshot();
    CarryTypedComments();
    if (std::optional<TLadderSnapshot> s = history_.Undo(std::move(now))) Restore(*s);
}

void TLDB::PopRedoClick() {
    if (EditRefused()) return;
    TLadderSnapshot now = Snapshot();
    CarryTypedComments();
    if (std::optional<TLadderSnapshot> s = history_.Redo(std::move(now))) Restore(*s);
}

// ---------------------------------------------------------------------------
// Selection and the clipboard

void TLDB::Finish(const TLadderEditResult& r) {
    UpdateScrollRange();
    AfterEdit(r);
}

std::optional<TLadderBlock> TLDB::ClipboardBlock() const {
    const QClipboard* cb = QGuiApplication::clipboard();
    const QMimeData* data = cb ? cb->mimeData() : nullptr;
    if (!data || !data->hasFormat(QString::fromLatin1(kLadderClipFormat))) return std::nullopt;
    const QByteArray raw = data->data(QString::fromLatin1(kLadderClipFormat));
    TLadderBlock b;
    if (!DecodeLadderBlock(reinterpret_cast<const std::uint8_t*>(raw.constData()), static_cast<std::size_t>(raw.size()),
                           edit_.Doc().capacity, b))
        return std::nullopt;
    // The labels and rung comments of its whole rows, when it was copied here;
    // a list that does not fit the block is not taken.
    const QString beside = QString::fromLatin1(kLadderBesideClipFormat);
    if (data->hasFormat(beside)) {
        const QByteArray list = data->data(beside);
        DecodeBlockBeside(reinterpret_cast<const std::uint8_t*>(list.constData()), static_cast<std::size_t>(list.size()),
                          b);
    }
    return b;
}

bool TLDB::PutOnClipboard(const TLadderBlock& block) {
    const std::vector<std::uint8_t> bytes = EncodeLadderBlock(block);
    if (bytes.empty()) return false;
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kLadderClipFormat),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    const std::vector<std::uint8_t> beside = EncodeBlockBeside(block);
    data->setData(QString::fromLatin1(kLadderBesideClipFormat),
                  QByteArray(reinterpret_cast<const char*>(beside.data()), static_cast<qsizetype>(beside.size())));
    QGuiApplication::clipboard()->setMimeData(data);
    emit Link->commandsChanged();
    return true;
}

void TLDB::PopSelAllClick() {
    edit_.SelectAll();
    RepaintLadder();
    emit Link->commandsChanged();
}

void TLDB::PopCopyClick() {
    if (Link->CheckStopMonitor()) return;
    if (edit_.Col() < 0) {
        ShowMsg(LadMsg::CopyLabelColumn);
        return;
    }
    PutOnClipboard(edit_.CopyBlock());
}

void TLDB::PopCutClick() {
    if (EditRefused()) return;
    if (edit_.Col() < 0) {
        ShowMsg(LadMsg::CutLabelColumn);
        return;
    }
    if (!edit_.Selection().active) return;
    // The rows' labels and rung comments go into the clipboard with them.
    if (!PutOnClipboard(edit_.CopyBlock())) return;
    Finish(edit_.CutBlock());
}

void TLDB::PopPasteClick() {
    if (EditRefused()) return;
    if (edit_.Col() < 0) {
        ShowMsg(LadMsg::PasteLabelColumn);
        return;
    }
    const std::optional<TLadderBlock> b = ClipboardBlock();
    if (!b) return;
    Finish(edit_.PasteBlock(*b));
}

void TLDB::PopDelClick() {
    if (EditRefused()) return;
    Finish(edit_.DeleteBlock());
}

void TLDB::PopInsBkClick() {
    if (EditRefused()) return;
    const std::optional<TLadderBlock> b = ClipboardBlock();
    if (!b) return;
    if (edit_.Col() < 0) {
        ShowMsg(LadMsg::PasteLabelColumn);
        return;
    }
    Finish(edit_.InsertBlock(*b));
}

// ---------------------------------------------------------------------------
// Rows and comments

void TLDB::PopInsLineClick() {
    if (EditRefused()) return;
    keepMarks_ = true;
    Finish(edit_.InsertRow());
    keepMarks_ = false;
}

void TLDB::PopDelLineClick() {
    if (EditRefused()) return;
    const std::uint8_t* row = edit_.RowAt(edit_.Row());
    keepMarks_ = std::all_of(row, row + kLdbRowBytes, [](std::uint8_t b) { return b == 0; });
    Finish(edit_.DeleteRow());
    keepMarks_ = false;
}

void TLDB::PopDevCmtClick() {
    if (EditRefused()) return;
    std::vector<std::string> names;
    for (const auto& [letter, number] : edit_.CursorDevices()) {
        const char* at = std::strchr(kCommentLetters, letter);
        if (!at) continue;
        const std::string name = DeviceNameOf(static_cast<int>(at - kCommentLetters), number);
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    if (names.empty()) {
        ShowMsg(LadMsg::NoDevice);
        RepaintLadder();
        return;
    }
    ShowDeviceCommentDialog(names);
    RepaintLadder();
}

void TLDB::PopLineCmtClick() {
    if (Inner || EditRefused()) return;
    if (!_OutCmt) return;
    _OutCmt->ShowForRow(edit_.Row());
    RepaintLadder();
}

// ---------------------------------------------------------------------------
// Drag selection

void TLDB::DragSelectTo(int x, int y) {
    const int cw = std::max(1, gCellWidth), ch = std::max(1, gCellHeight);
    const int c = (horizontalScrollBar()->value() + x) / cw;
    const std::int32_t col = c <= 0 ? kLabelColumn : std::min((c - 1) * kLdbCellBytes, kLdbLastColumn);
    const int py = verticalScrollBar()->value() + y;
    const std::int32_t row = std::clamp(py < 0 ? 0 : py / ch, 0, std::max(0, edit_.Doc().capacity - 1));
    edit_.SelectTo(row, col);
    RepaintLadder();
}

void TLDB::BkSelTmrTimer() {
    if (!dragging_) {
        BkSelTmr->stop();
        return;
    }
    const int cw = std::max(1, gCellWidth), ch = std::max(1, gCellHeight);
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    followScroll_ = false;
    int x = dragPoint_.x(), y = dragPoint_.y();
    if (x > viewport()->width()) {
        h->setValue(h->value() + cw);
        x -= cw;
    } else if (x < 0) {
        h->setValue(h->value() - cw);
        x += cw;
    }
    if (y > viewport()->height()) {
        // The drag may reach one page past the last used row, never past the grid.
        const int before = v->value();
        if (v->value() >= v->maximum()) {
            const std::int32_t lastVisible = (v->value() + viewport()->height()) / ch;
            if (lastVisible < edit_.Doc().capacity - 1) {
                v->setMaximum(std::min(edit_.Doc().capacity * ch - viewport()->height(), v->maximum() + ch));
            }
        }
        v->setValue(before + ch);
        y -= ch;
    } else if (y < 0) {
        v->setValue(v->value() - ch);
        y += ch;
    }
    followScroll_ = true;
    DragSelectTo(x, y);
    emit Link->commandsChanged();
}

void TLDB::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint p = event->position().toPoint();
    if (viewport()->rect().contains(p)) {
        BkSelTmr->stop();
        DragSelectTo(p.x(), p.y());
    } else {
        dragPoint_ = p;
        if (!BkSelTmr->isActive()) BkSelTmr->start();
    }
}

void TLDB::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    BkSelTmr->stop();
    emit Link->commandsChanged();
}

void TLDB::wheelEvent(QWheelEvent* event) {
    // One row per notch, up or down.
    const int dy = event->angleDelta().y();
    if (dy == 0) return;
    QScrollBar* v = verticalScrollBar();
    v->setValue(v->value() + (dy < 0 ? 1 : -1) * std::max(1, gCellHeight));
    event->accept();
}

// ---------------------------------------------------------------------------
// Code

std::string TLDB::CompileFailure() {
    // The cursor goes to the first row of the rung that failed.
    edit_.SetCursor(std::max(0, gNetworkStartRow), 0);
    AfterMove();
    return gMsgTable.Get(kMsgCompileFailed) + "\n" + CompileFailureText();
}

bool TLDB::Compile(std::string* failure) {
    const TLadderDoc& d = edit_.Doc();
    if (!d.grid) return false;
    std::uint8_t result;
    if (!Inner) {
        result = CompileProgramLadder();
    } else {
        TCompileTarget t;
        t.grid = d.grid;
        t.gridRows = d.capacity;
        t.lastRow = FindLastUsedRow(d.grid, kLdbRowBytes, d.capacity - 1);
        t.labels = d.labels;
        t.code = gProgramCopy;
        t.capacity = gProgramCopySize;
        t.condition = Condition;
        result = CompileLadder(t);
    }
    if (result != 0) {
        const std::string why = CompileFailure();
        if (failure) {
            *failure = why;  // the caller asks what becomes of the edits
            return false;
        }
        qel::ShowMessage(why, qel::MsgKind::Error);
        emit Link->editsRefused();
        return false;
    }
    dirty_ = false;
    if (!Inner) {
        syncedCode_.assign(gProgram, gProgram + gProgramCapacity);
        LocateProgramEnd();
        gQel.ProgramOk = 1;
        emit Link->programChanged();
    } else {
        LocateProgramCopyEnd();
        emit Link->modified();
    }
    UpdateScrollRange();
    RepaintLadder();
    return true;
}

bool TLDB::CommitEdits() {
    if (!Inner) return !dirty_ || Compile();
    return !unstored_ || StoreInnerCode(false);
}

bool TLDB::MayDropEdits() {
    if (Inner || !dirty_) return true;
    // Edits that compile into the program as it stands are not lost.
    std::string why;
    if (Compile(&why)) return true;
    if (qel::AskQuestion(why + "\n\n" + gMsgTable.Get(kMsgDropEdits), qel::AskButtons::YesNo) != qel::Answer::Yes)
        return false;
    DropEdits();
    return true;
}

void TLDB::DropEdits() {
    history_.Clear();
    if (!ConvertFromCode()) {
        // Code the ladder cannot show: the grid is left as the conversion
        // left it, and the edits are gone all the same.
        dirty_ = false;
    }
    emit Link->programChanged();  // the step count shows the program matched again
    emit Link->commandsChanged();
}

void TLDB::FollowCode() {
    if (Inner || !gProgram || !edit_.Doc().grid) return;
    if (dirty_) {
        // The program changed elsewhere while the ladder held edits it does
        // not have: they are dropped only when the user says so.
        const std::uint64_t stamp = ProgramImageStamp();
        if (stamp == keptOver_ || LadderStandsForProgram()) return;
        keptOver_ = stamp;  // asked once for this code
        if (qel::AskQuestion(gMsgTable.Get(kMsgDropEdits), qel::AskButtons::YesNo) == qel::Answer::Yes) DropEdits();
        return;
    }
    if (!CodeChangedElsewhere()) return;
    EndHistoryOverChangedCode();
    // A ladder that no longer stands for the code is a drawing of other code:
    // it is drawn again from the code.
    if (!LadderStandsForProgram()) ConvertFromCode();
    syncedCode_.assign(gProgram, gProgram + gProgramCapacity);
    emit Link->commandsChanged();
}

bool TLDB::CodeChangedElsewhere() const {
    if (Inner || dirty_ || !gProgram) return false;
    return syncedCode_.size() != gProgramCapacity || !std::equal(syncedCode_.begin(), syncedCode_.end(), gProgram);
}

void TLDB::EndHistoryOverChangedCode() {
    // An undo would put back a drawing of the code as it was, and the next
    // compile would take that other window's work out of the program.
    if (CodeChangedElsewhere()) history_.Clear();
}

bool TLDB::ConvertFromCode() {
    if (!Inner) {
        ConvertCodeToLadder();
    } else {
        ConvertSfcCodeToLadder(StepCode ? 1 : 0, Condition, &InnerMarks);
    }
    if (ReportConvertAbort()) return false;
    if (!Inner) {
        gQel.ProgramOk = 1;
        syncedCode_.assign(gProgram, gProgram + gProgramCapacity);
    }
    dirty_ = false;
    // The rows and comments are the conversion's: an undo after it keeps them
    // as the state it steps back from.
    edit_.TakeRows();
    ResetView();
    return true;
}

void TLDB::MmLadToCodeClick() {
    if (EditRefused()) return;
    Compile();
}

void TLDB::MmCodeToLadClick() {
    if (EditRefused() || !CommitEdits()) return;
    EndHistoryOverChangedCode();
    ConvertFromCode();
}

// ---------------------------------------------------------------------------
// Events

bool TLDB::event(QEvent* e) {
    if (e->type() == QEvent::ShortcutOverride) {
        // The keys of the ladder's key table and its popup's shortcuts belong
        // to the ladder, not to the frame's menu shortcuts (F4 is the
        // falling-edge contact here, Ctrl+Y deletes a row).
        auto* k = static_cast<QKeyEvent*>(e);
        if (FindLadderKey(k->key(), k->modifiers()) || FindLadderPopupShortcut(k->key(), k->modifiers())) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

void TLDB::keyPressEvent(QKeyEvent* event) {
    if (!edit_.Doc().grid) return;
    if (const TLadderPopupItem* item = FindLadderPopupShortcut(event->key(), event->modifiers())) {
        Link->Run(item->command);
        return;
    }
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
        // Shift with a cursor key marks a block from where the marking started.
        static const std::pair<int, TLadderEdit::SelectKey> kShiftKeys[] = {
            {Qt::Key_Left, TLadderEdit::SelectKey::Left}, {Qt::Key_Right, TLadderEdit::SelectKey::Right},
            {Qt::Key_Up, TLadderEdit::SelectKey::Up},     {Qt::Key_Down, TLadderEdit::SelectKey::Down},
            {Qt::Key_End, TLadderEdit::SelectKey::End}};
        for (const auto& [k, sk] : kShiftKeys) {
            if (k != event->key()) continue;
            edit_.SetPageRows(PageRows());
            edit_.ExtendSelection(sk);
            AfterMove();
            return;
        }
    }
    const TLadderKey* key = FindLadderKey(event->key(), event->modifiers());
    if (key && key->action <= TLadderKeyAction::End) edit_.ClearSelection();
    if (!key) {
        // Typed characters open the instruction input holding them.
        const QString text = event->text();
        const Qt::KeyboardModifiers mods = event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
        // While monitoring on line, + and - force the cursor's device ON and OFF.
        if (gMonitorMode && mods == Qt::NoModifier && (text == QLatin1String("+") || text == QLatin1String("-"))) {
            Link->Run(text == QLatin1String("+") ? "PopON" : "PopOFF");
            return;
        }
        if (mods == Qt::NoModifier && text.size() == 1 && TypedStartsInput(text[0])) {
            if (!EditRefused()) {
                pendingClass_.reset();
                StartInstructionInput(text[0]);
            }
            return;
        }
        // Any other key leaves the view alone (the area would scroll it away
        // from the cursor); Shift with the cursor keys is the block selection's.
        event->ignore();
        return;
    }
    edit_.SetPageRows(PageRows());
    switch (key->action) {
        case TLadderKeyAction::Left: edit_.Left(); break;
        case TLadderKeyAction::Right: edit_.Right(); break;
        case TLadderKeyAction::Up: edit_.Up(); break;
        case TLadderKeyAction::Down: edit_.Down(); break;
        case TLadderKeyAction::PageUp: edit_.PageUp(); break;
        case TLadderKeyAction::PageDown: edit_.PageDown(); break;
        case TLadderKeyAction::Home: edit_.Home(); break;
        case TLadderKeyAction::End: edit_.End(); break;
        case TLadderKeyAction::Enter:
            if (EditRefused()) break;
            pendingClass_.reset();
            if (IsBlockCommentRow(edit_.RowAt(edit_.Row())) && !Inner)
                PopBkCmtClick();
            else
                StartInstructionInput(QChar(' '));
            return;
        case TLadderKeyAction::Insert:
            if (gMonitorMode) break;
            gQel.InsertMode = gQel.InsertMode ? 0 : 1;
            ShowInsertMode();
            break;
        case TLadderKeyAction::Delete: PopDelClick(); return;
        case TLadderKeyAction::Backspace:
            if (gMonitorMode) break;
            edit_.Left();
            PopDelTkClick();
            return;
        case TLadderKeyAction::Element:
            // The falling-edge contact's key does nothing at all while the
            // ladder is monitored, not even ask to stop.
            if (key->button == 3 && gMonitorMode) return;
            ElementButton(key->button);
            return;
        case TLadderKeyAction::VLineDown:
            keyRepeat_ = true;
            ElementButton(key->button);
            keyRepeat_ = false;
            return;
        case TLadderKeyAction::Nothing: break;
    }
    AfterMove();
}

void TLDB::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !edit_.Doc().grid) return;
    setFocus(Qt::MouseFocusReason);
    if (SimulationClick(event)) return;
    ClickToCell(event->position().toPoint().x(), event->position().toPoint().y());
    // A drag from here marks a block (not while the ladder is monitored).
    edit_.ClearSelection();
    dragging_ = gMonitorMode == 0;
    AfterMove();
}

void TLDB::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !edit_.Doc().grid) return;
    // While simulating, the second click of a double click flips the device back.
    if (SimulationClick(event)) return;
    if (EditRefused()) return;
    ClickToCell(event->position().toPoint().x(), event->position().toPoint().y());
    AfterMove();
    pendingClass_.reset();
    if (IsBlockCommentRow(edit_.RowAt(edit_.Row())) && !Inner)
        PopBkCmtClick();
    else
        StartInstructionInput(QChar(' '));
}

void TLDB::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    ShowInsertMode();
    UpdateStatusBar();
    emit Link->activated(View);
}

void TLDB::SwitchPopupMode() {
    const bool online = gMonitorMode != 0;
    for (QAction* a : LDBPopup->actions()) {
        if (a->isSeparator()) continue;
        const int group = a->data().toInt();
        a->setVisible(a->objectName() != "PopDelTk" && (group == 2) == online);
        int count = 0;
        const TLadderPopupItem* items = LadderPopupItems(count);
        for (int k = 0; k < count; ++k)
            if (a->objectName() == items[k].name) a->setEnabled(Link->Available(items[k].command));
    }
}

void TLDB::contextMenuEvent(QContextMenuEvent* event) {
    SwitchPopupMode();
    LDBPopup->popup(event->globalPos());
}

void TLDB::closeEvent(QCloseEvent* event) {
    if (!Inner) {
        // The program's ladder goes into the program before the window goes.
        // Edits that do not go in are dropped only when the user says so;
        // otherwise the window stays open on them.
        if (!MayDropEdits()) {
            event->ignore();
            return;
        }
        event->accept();
        return;
    }
    gActiveView = kInnerView;
    const qel::Answer a = qel::AskQuestion(gMsgTable.Get(kMsgStoreInnerCode), qel::AskButtons::YesNoCancel);
    if (a == qel::Answer::Cancel) {
        event->ignore();
        return;
    }
    if (a == qel::Answer::Yes && !StoreInnerCode(true)) {
        event->ignore();
        return;
    }
    // No: what a command reading the program took from the window goes back
    // out of the element.
    if (a == qel::Answer::No && InnerStore.TakeBack(SfcRow, SfcCol)) emit Link->modified();
    emit Link->statusText(3, {});
    event->accept();
}

bool TLDB::StoreInnerCode(bool forGood) {
    std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    if (!Compile()) return false;
    const std::uint32_t used = LocateProgramCopyEnd();
    // A label another element of the chart holds would stand twice in the
    // program: the window stays open to change it.
    if (const std::string label = SfcLabelHeldElsewhere(gProgramCopy, used, SfcRow, SfcCol / kSfcCellBytes);
        !label.empty()) {
        std::memset(gProgramCopy, 0xFF, gProgramCopySize);
        ShowMsg(kMsgLabelUsed, " " + label);
        emit Link->editsRefused();
        return false;
    }
    // The element's record takes the code; an empty ladder removes it.
    InnerStore.Store(SfcRow, SfcCol, gProgramCopy, used, forGood, true);
    std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    unstored_ = false;
    emit Link->modified();
    return true;
}

// ---------------------------------------------------------------------------
// The frame

namespace {

// Another view taking over compiles the window's edits into its own code
// first. A ladder that does not compile lets the view go all the same: its
// message is shown once, the window keeps its edits and the status bar shows
// that the program does not have them; whatever reads the program commits
// first (the frame's CommitEdits) and does not start until they compile.
void CompileOnLeave(TQelMain* frame, TLDB* w) {
    w->Link->CommitEdits = [w] { return w->CommitEdits(); };
    QObject::connect(frame->MdiArea, &QMdiArea::subWindowActivated, w, [frame, w](QMdiSubWindow* sub) {
        if (sub && sub->widget() == w) {
            w->FollowCode();
            return;
        }
        if (!sub || !w->Dirty() || w->LeaveReported()) return;
        if (!w->Compile()) w->SetLeaveReported();
        frame->ShowStepCount();
    });
}

}  // namespace

TLDB* OpenLadderWindow(TQelMain* frame) {
    if (!frame || !gLadderRows) return nullptr;
    if (_LDB) {
        _LDB->FollowCode();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_LDB->parentWidget())) frame->MdiArea->setActiveSubWindow(sub);
        frame->SetActiveView(kProgramView);
        _LDB->setFocus();
        return _LDB;
    }
    auto* w = new TLDB(nullptr, false);
    w->SetDoc(TLadderDoc{gLadderRows, kLadderRows, TLabelTables{gPLabelRows, gILabelRows}, true, &gQel.RungComments,
                         &gMarkList, &gQel.RungRowIds});
    // Rows read from the ladder file that the program does not have are the
    // user's edits, held from now on as if drawn in this session.
    if (TakeLadderFileEdits()) w->TakeEdits();
    w->FollowCode();
    frame->AddEditor(w, w->Link);
    CompileOnLeave(frame, w);
    w->Link->HoldsEdits = [w] { return w->Dirty(); };
    w->Link->FollowProgram = [w] { w->FollowCode(); };
    w->Link->DropEdits = [w] { w->DropEdits(); };
    // Replacing the project would drop edits the program does not have.
    frame->AddProjectGuard(w, [w] { return w->MayDropEdits(); });
    w->UpdateScrollRange();
    w->setFocus();
    return w;
}

TLDB* OpenInterLadderWindow(TQelMain* frame, int sfcRow, int sfcCol, bool stepCode, bool condition) {
    if (!frame || !gInterLadderGrid || _InterLadder) return _InterLadder;
    std::memset(gInterLadderGrid, 0, static_cast<std::size_t>(gInterLadderRowCapacity) * kLdbRowBytes);
    ResetLabelTables(TLabelTables{gInterPLabelRows, gInterILabelRows});
    std::vector<TStepMark> marks;
    if (gProgramCopyUsed > 0) {
        ConvertSfcCodeToLadder(stepCode ? 1 : 0, condition, &marks);
        if (ReportConvertAbort()) return nullptr;
    }
    auto* w = new TLDB(nullptr, true);
    w->InnerMarks = std::move(marks);
    w->SfcRow = sfcRow;
    w->SfcCol = sfcCol;
    w->StepCode = stepCode;
    w->Condition = condition;
    w->SetDoc(TLadderDoc{gInterLadderGrid, gInterLadderRowCapacity, TLabelTables{gInterPLabelRows, gInterILabelRows},
                         false, nullptr, &w->InnerMarks});
    frame->AddEditor(w, w->Link);
    CompileOnLeave(frame, w);
    w->setFocus();
    return w;
}

void InstallLadder(TQelMain* frame) {
    if (!frame) return;
    auto programOpen = [] { return gLadderRows != nullptr && gQel.ProgramPresent != 0; };
    frame->Router().Register("MmLadWin", TCommandRouter::kAnyView, [frame] { OpenLadderWindow(frame); }, programOpen);
    // New and Open (and a program read in) open the program's main view on it,
    // unless the code cannot be drawn (that has its own message, and an empty
    // ladder would hide it); a ladder read with edits of its own opens on them.
    frame->AddEditorMaker([frame, programOpen] {
        if (programOpen() && (gProgramUsed == 0 || gQel.ProgramOk || LadderHoldsFileEdits())) OpenLadderWindow(frame);
    });
    // From any other view the conversions open the ladder on their result.
    frame->Router().Register("MmCodeToLad", TCommandRouter::kAnyView, [frame] {
        if (TLDB* w = OpenLadderWindow(frame)) w->MmCodeToLadClick();
    }, programOpen);
    frame->Router().Register("MmLadToCode", TCommandRouter::kAnyView, [] {
        if (_LDB) {
            _LDB->MmLadToCodeClick();
        } else if (CompileProgramLadder() != 0) {
            qel::ShowMessage(gMsgTable.Get(kMsgCompileFailed) + "\n" + CompileFailureText(), qel::MsgKind::Error);
        } else {
            LocateProgramEnd();
            gQel.ProgramOk = 1;
        }
    }, programOpen);
    auto window = [](int view) { return view == kInnerView ? _InterLadder : _LDB; };
    for (int view : {kProgramView, kInnerView})
        TEditDlg::SetViewHandler(view, [window, view](const std::string& text) {
            TLDB* w = window(view);
            return w ? w->EnterLine(text) : true;
        });
    TEditDlg::SetViewHandler(kBlockCommentView, [](const std::string& text) {
        return _LDB ? _LDB->EnterBlockComment(text) : true;
    });
    TEditDlg::SetViewHandler(kGoToStepView, [](const std::string& text) {
        TLDB* w = gGoToStepLadder ? gGoToStepLadder : _LDB;
        return w ? w->GoToStep(text) : true;
    });
    frame->AddZoomListener(frame->MdiArea, [](const TZoomChange& z) {
        for (TLDB* w : {_LDB, _InterLadder}) {
            if (!w) continue;
            QScrollBar* v = w->verticalScrollBar();
            const int row = z.OldCellHeight > 0 ? v->value() / z.OldCellHeight : 0;
            w->UpdateScrollRange();
            v->setValue(row * z.CellHeight);
            w->ScrollCursorIntoView();
            w->RepaintLadder();
        }
    });
    frame->RefreshCommands();
}
