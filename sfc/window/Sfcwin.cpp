#include "sfc/window/Sfcwin.h"

#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include <QCloseEvent>
#include <QKeyEvent>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "instlist/Instredit.h"
#include "tools/windows/Comdlg.h"
#include "ladder/editor/Ladder.h"
#include "core/DeviceLimits.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "sfc/model/Codetosfc.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/render/Sfcpaint.h"
#include "sfc/model/Sfctocode.h"
#include "link/online/Sfcmoni.h"
#include "sfc/model/Sfcmonitor.h"
#include "shell/Qellink.h"
#include "shell/Qelmain.h"

TSfc* _Sfc = nullptr;
std::uint8_t gSfcMonitorOn = 0;

namespace {

constexpr int kMsgInnerOther = 78;    // the other inner window is open
constexpr int kMsgInnerElsewhere = 79;  // an inner window is open for another element
constexpr int kMsgNoInner = 80;       // no inner program here
constexpr int kSfcTmrMs = 1000;

qel::link::TTransData* Trans(TQelMain* frame) {
    return frame && frame->LinkFrame() ? &frame->LinkFrame()->Trans() : nullptr;
}

void CheckMonitorButtons(TQelMain* frame, bool down) {
    if (!frame) return;
    for (QAction* a : {frame->MmMonitorSfc, frame->BnMonitorSfc})
        if (a) a->setChecked(down);
}

}  // namespace

TSfc::TSfc(QWidget* owner) : QAbstractScrollArea(owner) {
    setObjectName("Sfc");
    setWindowTitle(QString::fromUtf8("SFC編輯"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    resize(638, 376);
    SfcEdit_Txt = new QLineEdit(viewport());
    SfcEdit_Txt->setObjectName("SfcEdit_Txt");
    SfcEdit_Txt->installEventFilter(this);
    // The up-down buttons beside the number; the editor keeps the focus.
    SfcEdit_UD = new QWidget(viewport());
    SfcEdit_UD->setObjectName("SfcEdit_UD");
    auto* udLayout = new QVBoxLayout(SfcEdit_UD);
    udLayout->setContentsMargins(0, 0, 0, 0);
    udLayout->setSpacing(0);
    for (const bool up : {true, false}) {
        auto* b = new QToolButton(SfcEdit_UD);
        b->setObjectName(up ? "Up" : "Down");
        b->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        udLayout->addWidget(b);
        connect(b, &QToolButton::clicked, this, [this, up] { SfcEdit_UDClick(up); });
    }
    HideNumberEditor();
    Link = new TEditorLink(kViewSfc, this);
    model_.StopMonitor = [this] { return Link->CheckStopMonitor(); };
    // What an element's open inner window stores goes to its element, which
    // the chart's edits may move.
    model_.InnerCell = [] {
        if (_InterLadder) return TSfcInnerCell{&_InterLadder->SfcRow, &_InterLadder->SfcCol};
        if (_InterInst) return TSfcInnerCell{&_InterInst->SfcRow, &_InterInst->SfcCol};
        return TSfcInnerCell{};
    };
    ApplyZoom(gQel.Zoom);
    SfcTmr = new QTimer(this);
    SfcTmr->setSingleShot(true);
    SfcTmr->setInterval(kSfcTmrMs);
    connect(SfcTmr, &QTimer::timeout, this, [this] { SfcTmrTimer(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { ViewMoved(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this] { ViewMoved(); });
    RegisterCommands();
    _Sfc = this;
}

TSfc::~TSfc() {
    // Closing the window ends its monitoring (while the frame's link still exists).
    StopSfcMonitor();
    Link->DetachRouter();
    if (_Sfc == this) _Sfc = nullptr;
}

bool TSfc::event(QEvent* e) {
    // The window's own Ctrl keys win over shortcuts of the frame and of the
    // MDI child frame (Ctrl+W redoes here; it does not close the window).
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if ((k->modifiers() & Qt::ControlModifier) &&
            (k->key() == Qt::Key_W || k->key() == Qt::Key_Y || k->key() == Qt::Key_I || k->key() == Qt::Key_B ||
             k->key() == Qt::Key_K || k->key() == Qt::Key_L || k->key() == Qt::Key_M)) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool TSfc::eventFilter(QObject* watched, QEvent* e) {
    // Enter commits the typed number, Esc keeps the element as it stands.
    if (watched == SfcEdit_Txt && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            Commit();
            return true;
        }
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            SfcEdit_UDClick(key == Qt::Key_Up);
            return true;
        }
        if (key == Qt::Key_Escape) {
            model_.CloseNumber();
            HideNumberEditor();
            setFocus();
            RedrawChart();
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, e);
}

void TSfc::HideNumberEditor() {
    SfcEdit_Txt->hide();
    SfcEdit_UD->hide();
}

void TSfc::SfcEdit_UDClick(bool up) {
    // The position runs round in 0 .. the family's highest S number; it is
    // the number after a leading "S", or the text's number, else 0.
    const int limit = std::max(DeviceLimitOf(CurrentFamily(), 'S'), 0);
    QString t = SfcEdit_Txt->text().trimmed().toUpper();
    if (t.startsWith('S')) t.remove(0, 1);
    bool ok = false;
    int n = std::clamp(t.toInt(&ok), -1, limit + 1);  // past either end: next to it
    if (!ok) n = 0;
    n = up ? (n >= limit ? 0 : n + 1) : (n <= 0 ? limit : n - 1);
    SfcEdit_Txt->setText(QString::number(n));
}

void TSfc::RegisterCommands() {
    TEditorLink& r = *Link;
    r.Register("MmUndo", [this] { Show({}); UndoRedo(false); }, [this] { return model_.CanUndo(); });
    r.Register("MmRedo", [this] { UndoRedo(true); }, [this] { return model_.CanRedo(); });
    r.Register("MmDel", [this] { Show(model_.DeleteElement()); });
    // The frame's Edit menu runs the same commands as the popup.
    r.Register("MmDelTk", [this] { Show(model_.DeleteElement()); });
    r.Register("MmInsLine", [this] { Show(model_.InsertRow()); });
    r.Register("MmDelLine", [this] { Show(model_.DeleteRow()); });
    r.Register("MmInsSp", [this] { Show(model_.InsertCell()); });
    r.Register("MmBackSp", [this] { Show(model_.DeleteCell()); });
    for (int i = 1; i <= 9; ++i) {
        r.Register("sBtn" + std::to_string(i), [this, i] { RunTool(0, i); }, [this] { return ToolsOn(); });
        r.Register("ssBtn" + std::to_string(i), [this, i] { RunTool(1, i); }, [this] { return ToolsOn(); });
    }
    r.Register("ShowCursorPos", [this] { ShowCursorPos(); });
    r.Register("RedrawChart", [this] { RedrawChart(); });
    // The frame's conversions left the chart and the program matching.
    r.Register("SfcSynced", [this] { MarkSynced(); });
    // The frame's chart-to-code command, told to keep the program.
    r.Register("SfcDrawFromProgram", [this] { DrawFromProgram(); });
    // The frame's code-to-chart command: the chart drawn anew from the program.
    r.Register("SfcDrawAnew", [this] { DrawAnew(false); });
    r.Register("SfcDrawAnewOverWork", [this] { DrawAnew(true); });
    // The frame's chart-to-code command found the chart cannot be converted.
    r.Register("ShowChartError", [this] {
        ShowChartError();
        if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()); sub && Frame)
            Frame->MdiArea->setActiveSubWindow(sub);
    });
    // The link stopped every monitor (line lost, stop command).
    r.Register("SfcMoniStop", [this] { StopSfcMonitor(); });
    for (int k = Qt::Key_F1; k <= Qt::Key_F9; ++k) r.OwnKeys.push_back(QKeyCombination(Qt::Key(k)));
    r.OwnKeys.push_back(QKeyCombination(Qt::ControlModifier, Qt::Key_Y));
}

void TSfc::ApplyZoom(int level) {
    level = std::clamp(level, 0, 6);
    const int oldW = cellW_, oldH = cellH_;
    cellW_ = 50 + 10 * level;
    cellH_ = cellW_ / 2;
    // The same rows and columns stay in view.
    const int v = verticalScrollBar()->value() / std::max(oldH, 1) * cellH_;
    const int h = horizontalScrollBar()->value() / std::max(oldW, 1) * cellW_;
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(6 + level);
    setFont(f);
    UpdateRanges();
    verticalScrollBar()->setValue(v);
    horizontalScrollBar()->setValue(h);
    viewport()->update();
}

void TSfc::UpdateRanges() {
    GrowSfcGridForView();
    verticalScrollBar()->setSingleStep(cellH_);
    verticalScrollBar()->setPageStep(std::max(viewport()->height(), cellH_));
    verticalScrollBar()->setRange(0, std::max(0, gSfcRowCount * cellH_ - viewport()->height()));
    horizontalScrollBar()->setSingleStep(cellW_);
    horizontalScrollBar()->setPageStep(std::max(viewport()->width(), cellW_));
    horizontalScrollBar()->setRange(0, std::max(0, kSfcColumns * Stride() - viewport()->width()));
}

void TSfc::RedrawChart() {
    model_.CursorRow = std::clamp(model_.CursorRow, 0, std::max(gSfcRowCount - 1, 0));
    UpdateRanges();
    viewport()->update();
    ShowCursorPos();
    emit Link->commandsChanged();
}

void TSfc::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    TSfcPaintView v;
    v.grid = gSfcGrid;
    v.rows = gSfcRowCount;
    v.cellWidth = cellW_;
    v.cellHeight = cellH_;
    v.vertPos = verticalScrollBar()->value();
    v.horzPos = horizontalScrollBar()->value();
    v.size = viewport()->size();
    v.cursorRow = model_.CursorRow;
    v.cursorCol = model_.CursorCol;
    v.font = font();
    v.commentMode = gShowComments != 0;
    v.stepComment = [](std::uint16_t n) { return GetDeviceComment('S', n); };
    // While the view waits for its new list, a reply to the old one (still on
    // the line) would colour the wrong steps: all stay white until then.
    static const std::array<std::uint8_t, qel::link::kSfcMoniReplyBytes> kAllOff{};
    if (gSfcMonitorOn && monitor_)
        v.monitorBits = SfcTmr->isActive() || qel::link::gSfcMonitorRefresh ? kAllOff.data() : monitor_->ReplyBits.data();
    v.hasCode = [](std::int32_t row, std::int32_t col) {
        const TSfcCodeRec* rec = FindSfcCodeRec(row, col * kSfcCellBytes);
        return rec && !rec->code.empty();
    };
    PaintSfcView(p, v);
}

void TSfc::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateRanges();
    ViewMoved();
}

std::vector<std::uint16_t> TSfc::VisibleSteps() const {
    // The rows the painter draws, in its order: bit k of the reply belongs to
    // the k-th step-like cell it draws.
    const int v = verticalScrollBar()->value();
    return SfcVisibleSteps(gSfcGrid, gSfcRowCount, v / cellH_, (viewport()->height() + v) / cellH_);
}

void TSfc::ViewMoved() {
    if (!gSfcMonitorOn || !monitor_) return;
    // Other rows on screen: every step shows off until the new list is read.
    monitor_->ClearBits();
    qel::link::gSfcMonitorRefresh = 0;
    SfcTmr->start();
    viewport()->update();
}

void TSfc::SfcTmrTimer() {
    SfcTmr->stop();
    if (gSfcMonitorOn) qel::link::gSfcMonitorRefresh = 1;
}

bool TSfc::StartSfcMonitor() {
    qel::link::TTransData* trans = Trans(Frame);
    if (!trans || !trans->MayPutRequests() || !Frame->OpenComPort()) return false;
    if (!monitor_) monitor_ = std::make_unique<qel::link::TSfcMonitor>();
    monitor_->ClearBits();
    monitor_->MonitorState = 0;
    monitor_->VisibleSteps = [this] { return VisibleSteps(); };
    monitor_->OnRedraw = [this] { viewport()->update(); };
    trans->RegisterMonitorClient("2", monitor_.get());
    gSfcMonitorOn = 1;
    qel::link::gSfcMonitorRefresh = 1;
    trans->AddMonitorClient("2");
    trans->StartComTmr();
    CheckMonitorButtons(Frame, true);
    viewport()->update();
    emit Link->commandsChanged();
    return true;
}

void TSfc::StopSfcMonitor() {
    if (SfcTmr) SfcTmr->stop();
    const bool wasOn = gSfcMonitorOn != 0;
    gSfcMonitorOn = 0;
    qel::link::gSfcMonitorRefresh = 0;
    if (qel::link::TTransData* trans = Trans(Frame)) {
        const bool wasClient = std::find(trans->MonitorClients.begin(), trans->MonitorClients.end(), "2") !=
                               trans->MonitorClients.end();
        trans->RemoveMonitorClient("2");
        trans->RegisterMonitorClient("2", nullptr);
        // The last client switches the PLC's monitor coil off.
        if (wasClient && trans->MonitorClients.empty()) {
            trans->QueueDeviceWrite(trans->MonitorBase[0], 0x0000, 0, 5);
            trans->StartComTmr();
        }
    }
    if (monitor_) monitor_->ClearBits();
    if (wasOn) {
        CheckMonitorButtons(Frame, false);
        viewport()->update();
        emit Link->commandsChanged();
    }
}

void TSfc::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    emit Link->activated(kViewSfc);
}

void TSfc::ShowCursorPos() {
    emit Link->statusText(2, QStringLiteral("%1:%2").arg(model_.CursorRow).arg(model_.CursorCol));
}

void TSfc::Show(const TSfcEditResult& r) {
    if (r.msg >= 0) ShowMsg(r.msg, r.detail);
    if (r.changed) emit Link->modified();
    if (r.openEditor) {
        const int x = model_.CursorCol * Stride() - horizontalScrollBar()->value();
        const int y = model_.CursorRow * cellH_ - verticalScrollBar()->value();
        SfcEdit_Txt->setGeometry(x + 6, y + cellH_ / 4, cellW_ - 12, cellH_ / 3 * 2);
        SfcEdit_Txt->setText(QString::fromStdString(r.editorText));
        SfcEdit_Txt->selectAll();
        SfcEdit_Txt->show();
        SfcEdit_UD->setGeometry(x + cellW_ - 10, y + cellH_ / 4 - 1, 16, cellH_ / 3 * 2 + 2);
        SfcEdit_UD->show();
        SfcEdit_UD->raise();
        SfcEdit_Txt->setFocus();
    } else if (!model_.EditorOpen()) {
        HideNumberEditor();
    }
    RedrawChart();
}

bool TSfc::Commit(bool takeFocus) {
    if (!model_.EditorOpen()) return true;
    const std::string text = SfcEdit_Txt->text().toStdString();
    HideNumberEditor();
    if (takeFocus) setFocus();
    const TSfcEditResult r = model_.CommitNumber(text);
    Show(r);
    return r.msg < 0;
}

void TSfc::UndoRedo(bool redo) {
    // A whole earlier chart may hold the open inner window's element elsewhere.
    if (model_.InnerOpen()) {
        ShowMsg(kSfcMsgInnerOpen);
        return;
    }
    // Undoing or redoing changes the chart as an edit does: the project holds
    // what the last save does not.
    if (redo ? model_.Redo() : model_.Undo()) emit Link->modified();
    RedrawChart();
}

void TSfc::RunTool(int page, int index) {
    if (gMonitorMode) return;
    if (model_.EditorOpen()) HideNumberEditor();
    Show(model_.Tool(page, index));
    if (!model_.EditorOpen()) setFocus();
}

void TSfc::MoveCursor(int row, int col) {
    if (model_.EditorOpen()) Commit();
    model_.CursorRow = std::clamp(row, 0, std::max(gSfcRowCount - 1, 0));
    model_.CursorCol = std::clamp(col, 0, kSfcColumns - 1);
    ScrollToCursor();
    viewport()->update();
    ShowCursorPos();
}

void TSfc::ScrollToCursor() {
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const int y = model_.CursorRow * cellH_, x = model_.CursorCol * Stride();
    if (y < v->value()) v->setValue(y);
    if (y + cellH_ > v->value() + viewport()->height()) v->setValue(y + cellH_ - viewport()->height());
    if (x < h->value()) h->setValue(x);
    if (x + Stride() > h->value() + viewport()->width()) h->setValue(x + Stride() - viewport()->width());
    model_.VertPos = v->value();
    model_.HorzPos = h->value();
}

void TSfc::keyPressEvent(QKeyEvent* e) {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const int key = e->key();
    if (key == Qt::Key_F2 && ctrl) {
        PopDevCmtClick();
        return;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F9 && !ctrl) {
        RunTool(AskToolPage ? AskToolPage() : 0, key - Qt::Key_F1 + 1);
        return;
    }
    const int page = std::max(viewport()->height() / cellH_, 1);
    const int row = model_.CursorRow, col = model_.CursorCol;
    if (ctrl) {
        switch (key) {
            case Qt::Key_Z: UndoRedo(false); return;
            case Qt::Key_W: UndoRedo(true); return;
            case Qt::Key_I: Show(model_.InsertRow()); return;
            case Qt::Key_Y: Show(model_.DeleteRow()); return;
            case Qt::Key_B: Show(model_.InsertCell()); return;
            case Qt::Key_K: Show(model_.DeleteCell()); return;
            case Qt::Key_L: PopInterLadWinClick(); return;
            case Qt::Key_M: PopInterInstWinClick(); return;
            case Qt::Key_PageUp: MoveCursor(0, col); return;
            case Qt::Key_PageDown: MoveCursor(gSfcRowCount - 1, col); return;
            default: break;
        }
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    switch (key) {
        case Qt::Key_Left: MoveCursor(row, col - 1); return;
        case Qt::Key_Right: MoveCursor(row, col + 1); return;
        case Qt::Key_Up: MoveCursor(row - 1, col); return;
        case Qt::Key_Down: MoveCursor(row + 1, col); return;
        case Qt::Key_PageUp: MoveCursor(row - page, col); return;
        case Qt::Key_PageDown: MoveCursor(row + page, col); return;  // within the grid, however far it grew
        case Qt::Key_Home: MoveCursor(row, 0); return;
        case Qt::Key_End: MoveCursor(row, kSfcColumns - 1); return;
        case Qt::Key_Delete: Show(model_.DeleteElement()); return;
        case Qt::Key_Return:
        case Qt::Key_Enter: Show(model_.BeginNumber()); return;
        case Qt::Key_Escape:
            if (model_.EditorOpen()) {
                model_.CloseNumber();
                HideNumberEditor();
                RedrawChart();
            }
            return;
        default: QAbstractScrollArea::keyPressEvent(e);
    }
}

void TSfc::mousePressEvent(QMouseEvent* e) {
    // In comment display every column is two cells wide.
    const int col = (e->position().toPoint().x() + horizontalScrollBar()->value()) / Stride();
    const int row = (e->position().toPoint().y() + verticalScrollBar()->value()) / cellH_;
    MoveCursor(row, col);
    setFocus();
}

bool TSfc::ToolsOn() const {
    if (gMonitorMode || gSfcMonitorOn) return false;
    const qel::link::TTransData* trans = Trans(Frame);
    if (!trans) return true;
    const auto& clients = trans->MonitorClients;
    const bool deviceMonitor = std::find(clients.begin(), clients.end(), "3") != clients.end();
    return !deviceMonitor && trans->JobNo != kJobRegisterView;
}

void TSfc::contextMenuEvent(QContextMenuEvent* e) {
    if (!ToolsOn()) return;
    QMenu menu(this);
    menu.setObjectName("SfcPopup");
    auto item = [&](const char* name, const char* caption, std::function<void()> fn, bool enabled = true) {
        QAction* a = menu.addAction(QString::fromUtf8(caption));
        a->setObjectName(name);
        a->setEnabled(enabled);
        connect(a, &QAction::triggered, this, std::move(fn));
    };
    item("PopInterLadWin", "内部梯形图模式", [this] { PopInterLadWinClick(); });
    item("PopInterInstWin", "内部指令模式", [this] { PopInterInstWinClick(); });
    menu.addSeparator();
    item("PopUndo", "恢复", [this] { UndoRedo(false); }, model_.CanUndo());
    item("PopRedo", "撤消", [this] { UndoRedo(true); }, model_.CanRedo());
    menu.addSeparator();
    item("PopDelTk", "删除一元件", [this] { Show(model_.DeleteElement()); });
    item("PopInsLine", "插入一行", [this] { Show(model_.InsertRow()); });
    item("PopDelLine", "删除一行", [this] { Show(model_.DeleteRow()); });
    item("PopInsSp", "插入一空格", [this] { Show(model_.InsertCell()); });
    item("PopBackSp", "删除一空格", [this] { Show(model_.DeleteCell()); });
    item("PopDevCmt", "装置批注", [this] { PopDevCmtClick(); });
    menu.addSeparator();
    item("PopSfcToCode", "SFC → 指令表", [this] {
        // In the frame, the frame's own command: what the open editors hold
        // (an element's inner window first) goes in before the chart is read.
        if (Frame) {
            Frame->RunCommand("MmSfcToCode");
            return;
        }
        switch (AskChartOverChangedCode()) {
        case TChartOverChangedCode::Go: break;
        case TChartOverChangedCode::KeepProgram: DrawFromProgram(); return;
        case TChartOverChangedCode::Cancel: return;
        }
        if (SfcToCode()) {
            MarkSynced();
            emit Link->programChanged();
        } else {
            ShowChartError();
        }
    }, !Frame || Frame->Router().Available("MmSfcToCode", kViewSfc));  // an empty chart would wipe the program
    menu.exec(e->globalPos());
}

void TSfc::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) return;
    mousePressEvent(e);
    Show(model_.BeginNumber());
}

void TSfc::MarkSynced() {
    if (SfcChartState() == TSfcChartState::Edited)
        syncedChart_.reset();
    else
        syncedChart_ = CaptureSfcChart();
}

bool TSfc::Edited() const {
    // Only a chart (or element code) holding edits the program does not have
    // goes into the program: never an empty chart, nor a drawing of code that
    // was changed elsewhere since (that would undo those changes).
    return SfcChartState() == TSfcChartState::Edited;
}

TSfc::TConvert TSfc::ConvertIfEdited() {
    if (!Edited()) return TConvert::Done;
    // The chart's edits were made on an older program: the user says which
    // one stays before the chart's code replaces what was changed since.
    switch (AskChartOverChangedCode()) {
    case TChartOverChangedCode::Go: break;
    case TChartOverChangedCode::KeepProgram:
        DrawFromProgram();
        return TConvert::Done;
    case TChartOverChangedCode::Cancel: return TConvert::Cancelled;
    }
    if (!SfcToCode()) {
        ShowChartError();
        emit Link->editsRefused();
        return TConvert::Refused;
    }
    MarkSynced();
    emit Link->programChanged();
    return TConvert::Done;
}

void TSfc::DrawFromProgram() {
    syncedChart_.reset();  // drawn from the program as it stands, not as the chart last matched it
    DropEdits();
}

bool TSfc::DrawFromCode(std::optional<TSfcSnapshot> replaced) {
    LocateProgramEnd();
    if (!ConvertCodeToSfc()) return false;
    HideNumberEditor();
    model_.DrawnAnew(std::move(replaced));
    MarkSynced();
    return true;
}

void TSfc::DrawAnew(bool overWork) {
    if (!DrawFromCode(overWork ? std::optional<TSfcSnapshot>(model_.Current()) : std::nullopt)) return;
    RedrawChart();
    emit Link->modified();
    emit Link->commandsChanged();
}

bool TSfc::TakeNumber() { return Commit(); }

void TSfc::RecordInnerStore() {
    // A number being typed is the edit before the store: its own undo step.
    if (model_.EditorOpen()) Commit();
    model_.RecordInnerStore();
    emit Link->modified();
}

void TSfc::ShowChartError() {
    if (gSfcChartErrorRow >= 0) MoveCursor(gSfcChartErrorRow, gSfcChartErrorCol);
}

bool TSfc::CommitEdits() {
    if (model_.EditorOpen()) Commit();
    const TConvert done = ConvertIfEdited();
    commitCancelled_ = done == TConvert::Cancelled;
    return done == TConvert::Done;
}

bool TSfc::HoldsEdits() const { return model_.EditorOpen() || Edited(); }

void TSfc::DropEdits() {
    if (syncedChart_) {
        if (model_.EditorOpen()) HideNumberEditor();
        model_.Revert(*syncedChart_);
    } else if (!DrawFromCode(model_.Current())) {
        // The window opened on edits: the program's code draws what they go
        // back to, the edits one undo step away. Code that cannot be drawn
        // replaces none of them: the chart stays as it is, with its message.
        return;
    }
    // The elements' inner views edit the chart's elements: what they hold
    // goes with the chart's other edits. They close without the store question.
    for (QWidget* inner : {static_cast<QWidget*>(_InterLadder), static_cast<QWidget*>(_InterInst)}) {
        if (!inner) continue;
        QWidget* sub = inner->parentWidget() ? inner->parentWidget() : inner;
        sub->hide();
        sub->deleteLater();
    }
    RedrawChart();
    emit Link->modified();
    emit Link->commandsChanged();
}

void TSfc::LendInnerEdits() {
    // Not to the window taking over (its edit goes on there), nor to one going
    // away: closed on No, or dropped with the chart's edits, it lends nothing.
    const QMdiSubWindow* next = Frame ? Frame->MdiArea->activeSubWindow() : nullptr;
    auto lends = [next](const QWidget* inner) {
        const QWidget* sub = inner && inner->parentWidget() ? inner->parentWidget() : inner;
        return inner && !inner->isHidden() && !sub->isHidden() && !(next && next->widget() == inner);
    };
    if (lends(_InterInst) && _InterInst->Link->CommitEdits) _InterInst->Link->CommitEdits();
    // A rung that did not compile when its window was left has said so once;
    // it stays in its window, and the chart's other edits go in.
    if (!lends(_InterLadder) || _InterLadder->LeaveReported()) return;
    if (!_InterLadder->Link->CommitEdits()) _InterLadder->SetLeaveReported();
}

bool TSfc::LeaveChart() {
    if (closing_) return true;  // the close has settled the chart already
    // A number being typed is part of the chart's edit (the view taking over keeps the focus).
    if (!Commit(false)) return false;
    LendInnerEdits();
    // Converting the chart while the program's ladder holds edits would
    // leave those edits behind for good: the frame asks which to keep.
    if (Frame && Frame->SettleChartAndLadder() != TQelMain::TCommit::Done) return false;
    return ConvertIfEdited() == TConvert::Done;
}

bool TSfc::CloseInnerWindows() {
    // An element's inner window stores into the element's record, which only
    // this window's chart holds: it never outlives the chart.
    for (QWidget* inner : {static_cast<QWidget*>(_InterInst), static_cast<QWidget*>(_InterLadder)})
        if (inner && !inner->close()) {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(inner->parentWidget()); sub && Frame)
                Frame->MdiArea->setActiveSubWindow(sub);
            return false;
        }
    return true;
}

void TSfc::closeEvent(QCloseEvent* e) {
    // The inner windows go first, each asking whether to store; one that
    // stays open (its ladder does not compile) keeps the chart open too.
    // Then the chart goes into the program; a chart that cannot be converted
    // leaves the program as it was (its message shown once) and stays in the
    // project with its edits. Keeping both the chart's and the ladder's edits
    // keeps the window open.
    if (closing_) {
        e->accept();
        return;
    }
    if (model_.EditorOpen()) Commit();
    if (!CloseInnerWindows()) {
        e->ignore();
        return;
    }
    const TQelMain::TCommit settled = Frame ? Frame->SettleChartAndLadder() : TQelMain::TCommit::Done;
    if (settled == TQelMain::TCommit::Cancelled) {
        e->ignore();
        return;
    }
    closing_ = true;
    // Cancel on the question of a chart edited before the program changed
    // elsewhere changes nothing: the window stays open.
    if (settled == TQelMain::TCommit::Done && ConvertIfEdited() == TConvert::Cancelled) {
        closing_ = false;
        e->ignore();
        return;
    }
    e->accept();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
}

void TSfc::PopDevCmtClick() {
    const TSfcEditResult r = model_.StepDevice();
    if (r.msg >= 0) {
        ShowMsg(r.msg);
        return;
    }
    ShowDeviceCommentDialog({r.detail});
    RedrawChart();
}

void TSfc::BackToInnerCell(const QWidget* inner, int row, int sfcCol, int msg) {
    // The cursor goes back to the element the open inner window edits.
    MoveCursor(row, sfcCol / kSfcCellBytes);
    if (msg >= 0) {
        ShowMsg(msg);
    } else if (auto* sub = qobject_cast<QMdiSubWindow*>(inner->parentWidget()); sub && Frame) {
        Frame->MdiArea->setActiveSubWindow(sub);  // the same element's: shown
    }
}

void TSfc::PopInterLadWinClick() {
    const int row = model_.CursorRow, col = model_.CursorCol;
    if (Frame && Frame->SfcPgCtrl) Frame->SfcPgCtrl->setCurrentIndex(0);
    if (_InterInst) return BackToInnerCell(_InterInst, _InterInst->SfcRow, _InterInst->SfcCol, kMsgInnerOther);
    if (_InterLadder) {
        const bool other = _InterLadder->SfcRow != row || _InterLadder->SfcCol != col * kSfcCellBytes;
        return BackToInnerCell(_InterLadder, _InterLadder->SfcRow, _InterLadder->SfcCol, other ? kMsgInnerElsewhere : -1);
    }
    if (!LoadSfcElementCode(row, col)) {
        ShowMsg(kMsgNoInner);
        return;
    }
    if (!Frame) return;
    TLDB* inner = OpenInterLadderWindow(Frame, row, col * kSfcCellBytes, SfcInnerStepFlag(row, col) != 0,
                                        SfcInnerIsCondition(row, col));
    // What the element's ladder holds and has not stored is an edit of the chart.
    if (!inner) return;
    inner->Link->HoldsEdits = [inner] { return inner->Unstored(); };
    inner->InnerStore.BeforeStore = [w = QPointer<TSfc>(this)] {
        if (w) w->RecordInnerStore();
    };
}

void TSfc::PopInterInstWinClick() {
    const int row = model_.CursorRow, col = model_.CursorCol;
    if (_InterLadder) return BackToInnerCell(_InterLadder, _InterLadder->SfcRow, _InterLadder->SfcCol, kMsgInnerOther);
    if (_InterInst) {
        const bool other = _InterInst->SfcRow != row || _InterInst->SfcCol != col * kSfcCellBytes;
        return BackToInnerCell(_InterInst, _InterInst->SfcRow, _InterInst->SfcCol, other ? kMsgInnerElsewhere : -1);
    }
    if (!LoadSfcElementCode(row, col)) {
        ShowMsg(kMsgNoInner);
        return;
    }
    if (!Frame) return;
    auto* list = new TInst(nullptr, kViewInnerInstList);
    list->SfcRow = row;
    list->SfcCol = col * kSfcCellBytes;
    list->SetCodeBuffer(gProgramCopy, gProgramCopySize, gProgramCopyUsed);
    // A label the other elements hold is refused here as in the program's list.
    list->Edit().OtherCode = [row, col] { return SfcOtherElementCode(row, col); };
    list->InnerStore.BeforeStore = [w = QPointer<TSfc>(this)] {
        if (w) w->RecordInnerStore();
    };
    // What the element's list holds and has not stored is an edit of the chart.
    list->Link->HoldsEdits = [list] { return list->Unstored(); };
    Frame->AddEditor(list, list->Link);
    list->setFocus();
}

TSfc* OpenSfcWindow(TQelMain* frame) {
    if (!frame) return nullptr;
    if (_Sfc) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_Sfc->parentWidget())) frame->MdiArea->setActiveSubWindow(sub);
        frame->SetActiveView(kViewSfc);
        return _Sfc;
    }
    // With "match the zoom to the screen" checked, the zoom is chosen first.
    if (gQel.MatchSize) frame->MmMatchSizeClick();
    if (gProgramCopy) std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    PrepareSfcChartForView();
    auto* w = new TSfc(nullptr);
    w->Frame = frame;
    w->AskToolPage = [frame] { return frame->SfcPgCtrl ? frame->SfcPgCtrl->currentIndex() : 0; };
    w->Link->CommitEdits = [w] { return w->CommitEdits(); };
    w->Link->CommitCancelled = [w] { return w->CommitCancelled(); };
    w->Link->HoldsEdits = [w] { return w->HoldsEdits(); };
    w->Link->DropEdits = [w] { w->DropEdits(); };
    // Leaving the chart for another view puts the edited chart into the
    // program, before that view catches up with it.
    w->Link->Leave = [w] { w->LeaveChart(); };
    frame->AddEditor(w, w->Link);
    // A number being typed is the user's edit: replacing the project or
    // leaving takes it in first (the save question then sees it).
    frame->AddProjectGuard(w, [w] { return w->TakeNumber(); });
    frame->AddLeaveGuard(w, [w] { return w->TakeNumber(); });
    frame->SetMenusForSfc();
    // The frame's zoom applies to the chart too.
    frame->AddZoomListener(w, [w](const TZoomChange&) { w->ApplyZoom(gQel.Zoom); });
    w->MarkSynced();
    w->setFocus();
    w->RedrawChart();
    return w;
}

void InstallSfc(TQelMain* frame) {
    if (!frame) return;
    frame->Router().Register("MmSfcWin", TCommandRouter::kAnyView, [frame] { OpenSfcWindow(frame); },
                             [] { return gSfcGrid != nullptr && gQel.ProgramPresent != 0; });
    // SFC monitoring: on in the chart's window (opened when needed), off again.
    frame->Router().Register("MmMonitorSfc", TCommandRouter::kAnyView, [frame] {
        if (gSfcMonitorOn && _Sfc) {
            _Sfc->StopSfcMonitor();
            return;
        }
        // The PLC's steps are shown on the chart the program was made from.
        TSfc* w = frame->CommitEdits() ? OpenSfcWindow(frame) : nullptr;
        if (!w || !w->StartSfcMonitor()) CheckMonitorButtons(frame, false);
    }, [] { return gSfcGrid != nullptr && gQel.ProgramPresent != 0; });
}
