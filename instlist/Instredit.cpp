#include "instlist/Instredit.h"

#include "instlist/render/Instpaint.h"

#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "tools/windows/Comdlg.h"
#include "tools/check/Comments.h"
#include "tools/check/Instoperands.h"

#include "shell/Startupforms.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintDevice>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "instlist/EdDlg.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

TInst* _Inst = nullptr;
TInst* _InterInst = nullptr;

namespace {

// Width of the step-number column, in characters ("16000" and a gap).
constexpr int kStepColumnChars = 7;

const QColor kSelectionColor(173, 214, 255);

// The characters that open the input dialog already typed.
bool OpensInput(QChar c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '<' || c == '>' ||
           c == '=' || c == '+' || c == '-';
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation

TInst::TInst(QWidget* owner, int view) : QAbstractScrollArea(owner), View(view == kViewInnerInstList ? kViewInnerInstList : kViewInstList) {
    setObjectName(View == kViewInnerInstList ? "InterInst" : "Inst");
    setWindowTitle(View == kViewInnerInstList ? QStringLiteral("内部指令") : QStringLiteral("指令表"));
    setFocusPolicy(Qt::StrongFocus);
    QFont f(QStringLiteral("Monospace"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSize(10);
    setFont(f);
    LineHeight = QFontMetrics(f).height() + 2;
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAutoFillBackground(true);
    viewport()->setBackgroundRole(QPalette::Base);
    resize(420, 480);

    InstScrollTmr = new QTimer(this);
    InstScrollTmr->setObjectName("InstScrollTmr");
    InstScrollTmr->setInterval(kAutoScrollMs);
    connect(InstScrollTmr, &QTimer::timeout, this, &TInst::InstScrollTmrTimer);

    Link = new TEditorLink(View, this);
    edit_.Attach(nullptr, 0, 0);
    if (View == kViewInnerInstList)
        _InterInst = this;
    else
        _Inst = this;
    RegisterCommands();
    Link->FollowProgram = [this] { FollowCode(); };
    // An element's list: its code goes into the element before anything reads the program.
    if (View == kViewInnerInstList) {
        Link->CommitEdits = [this] {
            StoreInnerCode(false);
            return true;
        };
    }
}

TInst::~TInst() {
    Link->DetachRouter();
    emit Link->commandsChanged();
    if (_Inst == this) _Inst = nullptr;
    if (_InterInst == this) _InterInst = nullptr;
}

void TInst::SetCodeBuffer(std::uint8_t* code, std::uint32_t capacity, std::uint32_t used, std::uint32_t) {
    edit_.Attach(code, capacity, used);
    ClearSelection();
    CursorLine = 0;
    CursorOffset = 0;
    verticalScrollBar()->setValue(0);
    RefreshAll();
}

QScrollBar* TInst::VertScrollBar() const { return verticalScrollBar(); }

void TInst::RegisterCommands() {
    TEditorLink& r = *Link;
    auto hasBlock = [this] {
        int a, b;
        return Block(a, b);
    };
    r.Register("MmUndo", [this] { MmUndoClick(); }, [this] { return edit_.CanUndo(); });
    r.Register("MmRedo", [this] { MmRedoClick(); }, [this] { return edit_.CanRedo(); });
    // Cut and Copy take a selected block only, as in the ladder; Delete also
    // takes the cursor line.
    auto hasSelectedBlock = [this, hasBlock] { return selActive_ && hasBlock(); };
    r.Register("MmCut", [this] { MmCutClick(); }, hasSelectedBlock);
    r.Register("MmCopy", [this] { MmCopyClick(); }, hasSelectedBlock);
    r.Register("MmDel", [this] { MmDelClick(); }, hasBlock);
    r.Register("MmPaste", [this] { MmPasteClick(); }, [this] { return ClipboardHasInstructions(); });
    Link->GoToStep = [this](long step) {
        FollowCode();
        const int line = edit_.LineOfStep(step);
        if (line < 0) return false;
        ClearSelection();
        MoveCursorTo(line);
        return true;
    };
    Link->SearchTarget = [this] {
        FollowCode();
        TEditTarget t;
        t.code = edit_.Code();
        t.capacity = edit_.Capacity();
        t.end = edit_.LastOffset();
        t.cursorOffset = edit_.LineOffset(CursorLine);
        return t;
    };
    Link->SelectPlace = [this](std::uint32_t offset, std::int32_t, std::int32_t) {
        ClearSelection();
        MoveCursorTo(edit_.LineOfOffset(offset));
    };
    Link->BeginExternalEdit = [this] { edit_.RecordUndo(CursorLine); };
    Link->EndExternalEdit = [this] {
        edit_.TakeUpExternalEdit();
        AfterEdit();
    };
    r.Register("MmJump", [this] { MmJumpClick(); });
    // Asked whenever this list becomes the active view: the moment to notice a
    // program that another window wrote meanwhile.
    r.Register("ShowCursorPos", [this] {
        FollowCode();
        ShowCursorPos();
    });
    // Paste follows the clipboard, whichever window filled it. The clipboard
    // is asked once per change: asking on every cursor move could mean a round
    // trip to another program that owns it.
    clipHasInst_ = QueryClipboard();
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        clipHasInst_ = QueryClipboard();
        emit Link->commandsChanged();
    });
    emit Link->commandsChanged();
}

// ---------------------------------------------------------------------------
// Layout and painting

void TInst::UpdateScrollRange() {
    const int total = edit_.LineCount() * LineHeight;
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, total - viewport()->height()));
    bar->setPageStep(std::max(LineHeight, viewport()->height()));
    bar->setSingleStep(LineHeight);
}

void TInst::RefreshAll() {
    if (edit_.Code()) edit_.Relayout();
    CursorLine = std::clamp(CursorLine, 0, edit_.LastLine());
    CursorOffset = edit_.LineOffset(CursorLine);
    if (selActive_) selAnchor_ = std::clamp(selAnchor_, 0, edit_.LastLine());
    UpdateScrollRange();
    DrawLines();
}

void TInst::DrawLines() { viewport()->update(); }

void TInst::FollowCode() {
    if (edit_.ChangedElsewhere()) RefreshAll();
}

int TInst::PageLines() const { return std::max(1, viewport()->height() / LineHeight); }

int TInst::LineAt(int y) const {
    const int line = (verticalScrollBar()->value() + std::max(0, y)) / LineHeight;
    return std::clamp(line, 0, edit_.LastLine());
}

void TInst::paintEvent(QPaintEvent*) {
    FollowCode();
    QPainter p(viewport());
    p.setFont(font());
    TInstScreenOptions o;
    o.size = viewport()->size();
    o.scrollY = verticalScrollBar()->value();
    o.lineHeight = LineHeight;
    o.stepColumnWidth = QFontMetrics(font()).horizontalAdvance(QLatin1Char('0')) * kStepColumnChars;
    o.cursorLine = CursorLine;
    if (selActive_) {
        o.selFirst = std::min(selAnchor_, CursorLine);
        o.selLast = std::max(selAnchor_, CursorLine);
    }
    o.text = palette().color(QPalette::Text);
    o.cursor = palette().color(QPalette::Highlight);
    o.selection = kSelectionColor;
    TopLine = PaintInstScreen(p, edit_, o);
}

void TInst::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void TInst::scrollContentsBy(int, int) {
    TopLine = verticalScrollBar()->value() / LineHeight;
    viewport()->update();
}

int TInst::PrintPage(TInst* window, QPainter& canvas, int pageIndex) {
    if (!window || pageIndex < 0 || !canvas.device()) return 0;
    // Printing may follow a compile that the window has not painted yet.
    window->FollowCode();
    return PaintInstPage(canvas, window->edit_, pageIndex, QSize(canvas.device()->width(), canvas.device()->height()));
}

const TInstEdit& TInst::PrintedList() {
    FollowCode();
    return edit_;
}

// ---------------------------------------------------------------------------
// Cursor and selection

void TInst::EnsureCursorVisible() {
    QScrollBar* bar = verticalScrollBar();
    const int y = CursorLine * LineHeight;
    if (y < bar->value())
        bar->setValue(y);
    else if (y + LineHeight > bar->value() + viewport()->height())
        bar->setValue((CursorLine - PageLines() + 1) * LineHeight);
}

void TInst::MoveCursorTo(int line) {
    CursorLine = std::clamp(line, 0, edit_.LastLine());
    CursorOffset = edit_.LineOffset(CursorLine);
    EnsureCursorVisible();
    DrawLines();
    ShowCursorPos();
    emit Link->commandsChanged();
}

void TInst::ClearSelection() {
    if (!selActive_) return;
    selActive_ = false;
    DrawLines();
    emit Link->commandsChanged();
}

void TInst::SelectLines(int anchor, int cursor) {
    selAnchor_ = std::clamp(anchor, 0, edit_.LastLine());
    selActive_ = true;
    MoveCursorTo(cursor);
}

void TInst::ExtendSelectionTo(int line) {
    if (!selActive_) {
        selActive_ = true;
        selAnchor_ = CursorLine;
    }
    MoveCursorTo(line);
}

bool TInst::Block(int& first, int& last) const {
    if (selActive_) {
        first = std::min(selAnchor_, CursorLine);
        last = std::min(std::max(selAnchor_, CursorLine), edit_.LastLine() - 1);
        return first <= last;
    }
    first = last = CursorLine;
    return CursorLine < edit_.LastLine();
}

bool TInst::AutoScrollActive() const { return InstScrollTmr->isActive(); }

void TInst::ShowCursorPos() {
    emit Link->statusText(
        2, QStringLiteral("%1: %2").arg(QString::fromStdString(gMsgTable.Get(kMsgRowLabel))).arg(CursorLine));
}

// ---------------------------------------------------------------------------
// Keyboard and mouse

void TInst::keyPressEvent(QKeyEvent* event) {
    FollowCode();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods == Qt::ShiftModifier;
    auto move = [&](int line) {
        if (shift)
            ExtendSelectionTo(line);
        else {
            ClearSelection();
            MoveCursorTo(line);
        }
    };
    if (mods == Qt::NoModifier || shift) {
        switch (event->key()) {
        case Qt::Key_Up: move(CursorLine - 1); return;
        case Qt::Key_Down: move(CursorLine + 1); return;
        case Qt::Key_PageUp: move(CursorLine - PageLines()); return;
        case Qt::Key_PageDown: move(CursorLine + PageLines()); return;
        case Qt::Key_Home: move(0); return;
        case Qt::Key_End: move(edit_.LastLine()); return;
        default: break;
        }
    }
    if (mods == Qt::ControlModifier && event->key() == Qt::Key_F2) {
        PopDevCmtClick();
        return;
    }
    if (mods == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            ClearSelection();
            StartInstructionInput(QLatin1Char(' '));
            return;
        case Qt::Key_Insert:
            ClearSelection();
            if (gMonitorMode) return;
            gQel.InsertMode = gQel.InsertMode ? 0 : 1;
            emit Link->statusText(
                1, QString::fromStdString(gMsgTable.Get(gQel.InsertMode ? kMsgInsertMode : kMsgOverwriteMode)));
            return;
        case Qt::Key_Delete: MmDelClick(); return;
        default: break;
        }
    }
    if ((mods == Qt::NoModifier || shift) && event->text().size() == 1 && OpensInput(event->text().at(0))) {
        ClearSelection();
        StartInstructionInput(event->text().at(0));
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void TInst::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    FollowCode();
    const int line = LineAt(event->position().toPoint().y());
    ClearSelection();
    selAnchor_ = line;
    dragging_ = true;
    dragDir_ = 0;
    MoveCursorTo(line);
}

void TInst::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) return;
    const int y = event->position().toPoint().y();
    // Above or below the window the selection keeps growing on the timer.
    dragDir_ = y < 0 ? -1 : y >= viewport()->height() ? 1 : 0;
    if (dragDir_ == 0) {
        InstScrollTmr->stop();
        const int line = LineAt(y);
        if (line != CursorLine || selActive_) {
            selActive_ = true;
            MoveCursorTo(line);
        }
    } else if (!InstScrollTmr->isActive()) {
        InstScrollTmr->start();
    }
}

void TInst::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    dragDir_ = 0;
    InstScrollTmr->stop();
}

void TInst::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    FollowCode();
    ClearSelection();
    MoveCursorTo(LineAt(event->position().toPoint().y()));
    StartInstructionInput(QLatin1Char(' '));
}

void TInst::InstScrollTmrTimer() {
    if (!dragging_ || dragDir_ == 0) {
        InstScrollTmr->stop();
        return;
    }
    selActive_ = true;
    MoveCursorTo(CursorLine + dragDir_);
}

// ---------------------------------------------------------------------------
// Entries

void TInst::PopDevCmtClick() {
    FollowCode();
    std::vector<std::string> names;
    if (CursorLine < edit_.LastLine()) {
        ForEachInstructionOperand(edit_.Code(), edit_.Capacity(), edit_.LineOffset(CursorLine),
                                  [&](const TDeviceRecord& rec) {
                                      int list = -1;
                                      const char letter = DeviceLetterFromType(rec.type);
                                      for (int i = 0; letter && kCommentLetters[i]; ++i)
                                          if (kCommentLetters[i] == letter) list = i;
                                      if (list < 0) return;
                                      const std::string name = DeviceNameOf(list, rec.number);
                                      if (std::find(names.begin(), names.end(), name) == names.end())
                                          names.push_back(name);
                                  });
    }
    ShowDeviceCommentDialog(names);
    DrawLines();
}

bool TInst::StopForMonitor() const { return Link->CheckStopMonitor(); }

void TInst::StartInstructionInput(QChar first) {
    if (!_EditDlg || StopForMonitor()) return;
    _EditDlg->ILabel->setText(QStringLiteral("指令:"));
    _EditDlg->IEdit->setText(first.isSpace() ? QString() : QString(first));
    gActiveView = View;
    _EditDlg->ShowModal();
}

void TInst::MmJumpClick() {
    if (!_EditDlg) return;
    _EditDlg->ILabel->setText(QStringLiteral("步号:"));
    _EditDlg->IEdit->clear();
    gActiveView = View == kViewInnerInstList ? kViewGotoStepInnerList : kViewGotoStepInstList;
    _EditDlg->ShowModal();
}

bool TInst::EnterLine(const std::string& text) {
    if (StopForMonitor()) return true;
    FollowCode();
    const int line = std::clamp(CursorLine, 0, edit_.LastLine());
    const TInstEditResult r = edit_.EnterLine(line, text, gQel.InsertMode != 0);
    if (r == TInstEditResult::Empty) return true;
    if (r != TInstEditResult::Ok) {
        ShowResult(r, TrimLine(text));
        // A line that is no instruction, or a label used already, stays in
        // the dialog to be corrected.
        return r != TInstEditResult::BadLine && r != TInstEditResult::LabelTaken;
    }
    ClearSelection();
    CursorLine = std::min(line + 1, edit_.LastLine());
    AfterEdit();
    return true;
}

bool TInst::GoToStep(const std::string& text) {
    FollowCode();
    const long step = TakeJumpStep(text, edit_.Used());
    const int line = step < 0 ? -1 : edit_.LineOfStep(step);
    if (line < 0) return false;
    ClearSelection();
    MoveCursorTo(line);
    return true;
}

void TInst::ShowResult(TInstEditResult result, const std::string& line) {
    switch (result) {
    case TInstEditResult::TooLong: ShowMsg(kMsgTextTooLong); break;
    case TInstEditResult::BadLine: {
        // An operand the model has, refused for its 32-bit pair, is named as such.
        const TAssembly a = AssembleLine(line, CurrentFamily());
        if (a.refusal == TAsmRefusal::NoPair) ShowMsg(kMsgNoPair, " " + a.operandText);
        else ShowMsg(kMsgBadInstLine, " " + line);
        break;
    }
    case TInstEditResult::NoRoom: ShowMsg(kMsgNoRoomInst); break;
    case TInstEditResult::BadPayload: ShowMsg(kMsgBadInstClip); break;
    case TInstEditResult::LabelTaken: line.empty() ? ShowMsg(kMsgLabelUsed) : ShowMsg(kMsgLabelUsed, " " + line); break;
    case TInstEditResult::Ok:
    case TInstEditResult::Empty: break;
    }
}

void TInst::SyncGlobals() {
    if (edit_.Code() && edit_.Code() == gProgram) gProgramUsed = edit_.Used();
    if (edit_.Code() && edit_.Code() == gProgramCopy) {
        gProgramCopyUsed = edit_.Used();
        gProgramCopyLastOffset = edit_.LastOffset();
    }
}

void TInst::AfterEdit() {
    SyncGlobals();
    gQel.Modified = 1;
    unstored_ = View == kViewInnerInstList;
    CursorLine = std::clamp(CursorLine, 0, edit_.LastLine());
    CursorOffset = edit_.LineOffset(CursorLine);
    UpdateScrollRange();
    EnsureCursorVisible();
    DrawLines();
    ShowCursorPos();
    emit Link->programChanged();
    emit Link->commandsChanged();
}

// ---------------------------------------------------------------------------
// Edit commands

void TInst::MmUndoClick() {
    if (StopForMonitor()) return;
    FollowCode();
    int cursor = CursorLine;
    if (!edit_.Undo(cursor)) return;
    selActive_ = false;
    CursorLine = cursor;
    AfterEdit();
}

void TInst::MmRedoClick() {
    if (StopForMonitor()) return;
    FollowCode();
    int cursor = CursorLine;
    if (!edit_.Redo(cursor)) return;
    selActive_ = false;
    CursorLine = cursor;
    AfterEdit();
}

QString TInst::ClipboardFormat() const {
    return QStringLiteral("CF_INST");
}

bool TInst::QueryClipboard() const {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasFormat(ClipboardFormat());
}

bool TInst::ClipboardHasInstructions() const { return clipHasInst_; }

void TInst::MmCopyClick() {
    FollowCode();
    int first, last;
    if (!Block(first, last)) return;
    const std::vector<std::uint8_t> bytes = edit_.CopyLines(first, last);
    auto* data = new QMimeData;
    data->setData(ClipboardFormat(), QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())));
    QApplication::clipboard()->setMimeData(data);
    emit Link->commandsChanged();
}

void TInst::MmCutClick() {
    int first, last;
    if (StopForMonitor()) return;
    FollowCode();
    if (!Block(first, last)) return;
    MmCopyClick();
    if (edit_.DeleteLines(first, last) != TInstEditResult::Ok) return;
    selActive_ = false;
    CursorLine = first;
    AfterEdit();
}

void TInst::MmDelClick() {
    int first, last;
    if (StopForMonitor()) return;
    FollowCode();
    if (!Block(first, last)) return;
    if (edit_.DeleteLines(first, last) != TInstEditResult::Ok) return;
    selActive_ = false;
    CursorLine = first;
    AfterEdit();
}

void TInst::MmPasteClick() {
    if (StopForMonitor()) return;
    FollowCode();
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (!data || !data->hasFormat(ClipboardFormat())) return;
    const QByteArray raw = data->data(ClipboardFormat());
    const std::vector<std::uint8_t> payload(raw.begin(), raw.end());
    int first = CursorLine, last = CursorLine;
    if (selActive_) Block(first, last);
    const int line = std::clamp(first, 0, edit_.LastLine());
    const std::uint32_t at = edit_.LineOffset(line);
    const TInstEditResult r = edit_.PasteAt(line, payload);
    if (r != TInstEditResult::Ok) {
        ShowResult(r, {});
        return;
    }
    selActive_ = false;
    CursorLine = edit_.LineOfOffset(at + static_cast<std::uint32_t>(payload.size()));
    AfterEdit();
}

// ---------------------------------------------------------------------------
// Closing

bool TInst::FormClose() {
    if (View != kViewInnerInstList) return true;
    // The inner list edits a copy of an SFC element's code: it goes back into
    // the element's record only when the user says so.
    const qel::Answer a = qel::AskQuestion(gMsgTable.Get(kMsgStoreInnerCode), qel::AskButtons::YesNoCancel);
    if (a == qel::Answer::Cancel) return false;
    if (a == qel::Answer::Yes) StoreInnerCode(true);
    // No: what a command reading the program took from the list goes back
    // out of the element.
    if (a == qel::Answer::No && InnerStore.TakeBack(SfcRow, SfcCol)) gQel.Modified = 1;
    _InterInst = nullptr;
    return true;
}

void TInst::StoreInnerCode(bool forGood) {
    if (!edit_.Code()) return;
    // The list as it was opened changes nothing of the element.
    if (InnerStore.Store(SfcRow, SfcCol, edit_.Code(), edit_.Used(), forGood, false)) gQel.Modified = 1;
    unstored_ = false;
}

void TInst::closeEvent(QCloseEvent* event) {
    if (!FormClose()) {
        event->ignore();
        return;
    }
    event->accept();
    // Closed by a call rather than by its frame: the frame goes too, so that
    // no empty child window is left behind and the list is freed.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
}

// ---------------------------------------------------------------------------
// The frame's side

TInst* OpenInstWindow(TQelMain* frame) {
    if (!frame || !gProgram) return nullptr;
    if (_Inst) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_Inst->parentWidget())) frame->MdiArea->setActiveSubWindow(sub);
        frame->SetActiveView(kViewInstList);
        return _Inst;
    }
    auto* list = new TInst(nullptr, kViewInstList);
    list->SetCodeBuffer(gProgram, gProgramCapacity, LocateProgramEnd());
    frame->AddEditor(list, list->Link);
    list->setFocus();
    return list;
}

void RegisterInstListForms() {
    SetStartupFormMaker("EditDlg", [](TQelMain* frame) -> QWidget* {
        if (!_EditDlg) _EditDlg = new TEditDlg(frame);
        return _EditDlg;
    });
}

void InstallInstList(TQelMain* frame) {
    if (!frame) return;
    if (!_EditDlg) {
        _EditDlg = new TEditDlg(frame);
        _EditDlg->hide();
    }
    frame->Router().Register("MmInstWin", TCommandRouter::kAnyView, [frame] { OpenInstWindow(frame); },
                             [] { return gProgram != nullptr && gQel.ProgramPresent != 0; });
    frame->RefreshCommands();
}
