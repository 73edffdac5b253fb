#include "link/windows/Devmonidlg.h"

#include <algorithm>

#include <QAction>
#include <QScrollBar>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QStatusBar>
#include <QVBoxLayout>

#include "link/windows/Colorstringgrid.h"
#include "link/windows/Devmoniinput.h"
#include "link/windows/Setvaldlg.h"
#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "tools/windows/Comdlg.h"

using qel::link::TDevMoniCells;
using qel::link::TDevMoniList;
using qel::link::TMoniFormat;

TDevMoniDlg* _DevMoniDlg = nullptr;

namespace {

constexpr int kMsgRow = 14;
const int kTitles[TDevMoniDlg::kColumns] = {7, 3, 8, 9, 10, 11, 12, 13};
const int kWidths[TDevMoniDlg::kColumns] = {68, 86, 71, 90, 106, 110, 81, 97};
const QColor kLampOn(0xFF, 0, 0);  // pure red

QString Msg(int id) { return QString::fromStdString(gMsgTable.Get(id)); }

QString FormatText(TMoniFormat f) {
    switch (f) {
    case TMoniFormat::Decimal: return Msg(qel::link::kMsgDecimal);
    case TMoniFormat::Hex: return Msg(qel::link::kMsgHex);
    case TMoniFormat::Ascii: return QStringLiteral("ASCII");
    default: return QString();
    }
}

}  // namespace

TDevMoniDlg::TDevMoniDlg(qel::link::TTransData* trans, QWidget* parent)
    : QWidget(parent), trans_(trans), link_(std::make_unique<TEditorLink>(kView)) {
    setObjectName("DevMoniDlg");
    setWindowTitle(QStringLiteral("装置监控 "));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(511, 315);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(15);
    setFont(f);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    DevGrid = new TColorStringGrid(this);
    DevGrid->setObjectName("DevGrid");
    DevGrid->setColumnCount(kColumns);
    QStringList titles;
    for (int id : kTitles) titles << Msg(id);
    DevGrid->setHorizontalHeaderLabels(titles);
    for (int c = 0; c < kColumns; ++c) DevGrid->setColumnWidth(c, kWidths[c]);
    DevGrid->verticalHeader()->hide();
    DevGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    DevGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
    DevGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DevGrid->setFrameShape(QFrame::NoFrame);
    DevGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    DevGrid->installEventFilter(this);
    DevGrid->viewport()->installEventFilter(this);
    layout->addWidget(DevGrid);
    StaBar = new QStatusBar(this);
    StaBar->setObjectName("StaBar");
    StaBar->setSizeGripEnabled(false);
    layout->addWidget(StaBar);

    DevPopup = new QMenu(this);
    DevPopup->setObjectName("DevPopup");
    auto add = [this](QAction*& a, const char* name, const char* text, void (TDevMoniDlg::*fn)()) {
        a = DevPopup->addAction(QString::fromUtf8(text));
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, fn);
    };
    add(PopON, "PopON", "强制 ON", &TDevMoniDlg::PopONClick);
    add(PopOFF, "PopOFF", "强制 OFF", &TDevMoniDlg::PopOFFClick);
    add(PopPulseUp, "PopPulseUp", "上升沿触发", &TDevMoniDlg::PopPulseUpClick);
    add(PopPulseDn, "PopPulseDn", "下降沿触发", &TDevMoniDlg::PopPulseDnClick);
    DevPopup->addSeparator();
    add(PopChgVal, "PopChgVal", "改变当前值", &TDevMoniDlg::PopChgValClick);
    DevPopup->addSeparator();
    add(PopDeci, "PopDeci", "10进制", &TDevMoniDlg::PopDeciClick);
    add(PopHexi, "PopHexi", "16进位", &TDevMoniDlg::PopHexiClick);
    add(PopAsci, "PopAsci", "ASCII", &TDevMoniDlg::PopAsciClick);
    DevPopup->addSeparator();
    add(PopDel, "PopDel", "删除", &TDevMoniDlg::PopDelClick);
    add(PopAllClr, "PopAllClr", "全部清除", &TDevMoniDlg::PopAllClrClick);
    add(PopDevCmt, "PopDevCmt", "装置批注", &TDevMoniDlg::PopDevCmtClick);
    connect(DevGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { DevPopup->popup(DevGrid->viewport()->mapToGlobal(p)); });
    connect(DevGrid->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        FillGrid();
        ShowRowStatus();
    });

    list_.OnValues = [this] { FillGrid(); };
    list_.CommentOf = [](const std::string& name) { return GetCommentByDeviceName(name); };
    if (trans_) trans_->RegisterMonitorClient("3", &list_);

    // The frame's Delete runs the row delete while the monitor is the active view.
    link_->Register("MmDel", [this] { PopDelClick(); });
    // The frame closes the window when the link stopped all monitoring.
    link_->Register("DevMoniClose", [this] { CloseWindow(); });
    _DevMoniDlg = this;
    ShowRows();
    commentListener_ = AddDeviceCommentListener([this] { RefreshComments(); });
}

TDevMoniDlg::~TDevMoniDlg() {
    RemoveDeviceCommentListener(commentListener_);
    Detach();
    if (_MoniInput && _MoniInput->Monitor() == this) _MoniInput->Detach();
    if (_DevMoniDlg == this) _DevMoniDlg = nullptr;
}

// ---------------------------------------------------------------------------
// Lifecycle

void TDevMoniDlg::FormShow() {
    if (DefaultFormat) list_.DefaultFormat = DefaultFormat();
    list_.LoadRecords();
    ShowRows();
    qel::link::gDevMonitorRefresh = 1;
}

void TDevMoniDlg::CloseWindow() {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget()))
        sub->close();
    else
        close();
}

void TDevMoniDlg::closeEvent(QCloseEvent* event) {
    if (_MoniInput && _MoniInput->Monitor() == this) {
        _MoniInput->Detach();
        _MoniInput->close();
    }
    Detach();
    event->accept();
}

// Leaves the link: client "3" goes, and when it was the last client the
// PLC's monitor coil is switched OFF. When the link itself stopped all
// monitoring (line lost) the client list is already empty and nothing is sent.
void TDevMoniDlg::Detach() {
    if (detached_) return;
    detached_ = true;
    list_.PollState = 0;
    qel::link::gDevMonitorRefresh = 0;
    if (_DevMoniDlg == this) _DevMoniDlg = nullptr;
    emit link_->commandsChanged();  // set value needs a monitor
    if (!trans_) return;
    trans_->RegisterMonitorClient("3", nullptr);
    const bool wasClient = std::find(trans_->MonitorClients.begin(), trans_->MonitorClients.end(), "3") !=
                           trans_->MonitorClients.end();
    trans_->RemoveMonitorClient("3");
    emit link_->statusText(3, QString());
    emit link_->statusText(6, QString());
    if (wasClient && trans_->MonitorClients.empty()) {
        trans_->QueueDeviceWrite(trans_->MonitorBase[0], 0x0000, 0, 5);
        trans_->StartComTmr();
        emit link_->statusText(7, QString());
    }
}

// ---------------------------------------------------------------------------
// Grid

void TDevMoniDlg::ShowRows() {
    QSignalBlocker block(DevGrid);
    DevGrid->setRowCount(static_cast<int>(list_.Rows.size()));
    for (int i = 0; i < DevGrid->rowCount(); ++i) {
        const qel::link::TDevMoniRow& r = list_.Rows[static_cast<std::size_t>(i)];
        const QString texts[kColumns] = {QString::fromStdString(r.Name), QString::fromStdString(r.Comment),
                                         {}, {}, {}, {}, FormatText(r.Format), QString::fromStdString(r.SetSource)};
        for (int c = 0; c < kColumns; ++c) {
            QTableWidgetItem* item = DevGrid->item(i, c);
            if (!item) DevGrid->setItem(i, c, item = new QTableWidgetItem);
            if (c < 2 || c > 5) item->setText(texts[c]);
            else item->setText(QString());
        }
        DevGrid->ClearCellMark(2, i);
    }
    FillGrid();
}

void TDevMoniDlg::FillGrid() {
    const int rows = std::min<int>(DevGrid->rowCount(), static_cast<int>(list_.Rows.size()));
    for (int i = 0; i < rows; ++i) {
        const qel::link::TDevMoniRow& r = list_.Rows[static_cast<std::size_t>(i)];
        const TDevMoniCells cells = list_.Cells(i + 1);
        auto set = [this, i](int col, const std::string& text) {
            QTableWidgetItem* item = DevGrid->item(i, col);
            if (!item) DevGrid->setItem(i, col, item = new QTableWidgetItem);
            const QString t = QString::fromStdString(text);
            if (item->text() != t) item->setText(t);
        };
        // The set-value source is known once the lists were built.
        set(7, r.SetSource);
        if (r.Empty()) continue;
        if (cells.On)
            DevGrid->DrawCellCircle(2, i, kLampOn);
        else
            DevGrid->ClearCellMark(2, i);
        if (r.Format == TMoniFormat::None) continue;
        set(3, cells.SetValue);
        set(4, cells.Value16);
        set(5, cells.Value32);
    }
}

void TDevMoniDlg::RefreshComments() {
    for (std::size_t i = 0; i < list_.Rows.size(); ++i) {
        qel::link::TDevMoniRow& r = list_.Rows[i];
        r.Comment = r.Empty() ? std::string() : GetCommentByDeviceName(r.Name);
        if (QTableWidgetItem* item = DevGrid->item(static_cast<int>(i), 1))
            item->setText(QString::fromStdString(r.Comment));
    }
}

int TDevMoniDlg::CurrentRow() const { return std::max(DevGrid->currentRow(), 0) + 1; }

void TDevMoniDlg::SetCurrentRow(int row) {
    DevGrid->setCurrentCell(std::clamp(row, 1, DevGrid->rowCount()) - 1, 0);
}

void TDevMoniDlg::ShowRowStatus() {
    emit link_->statusText(2, Msg(kMsgRow) + QStringLiteral(":%1").arg(CurrentRow() - 1));
}

void TDevMoniDlg::ListChanged() {
    ShowRows();
    qel::link::gDevMonitorRefresh = 1;
    emit link_->modified();
}

// ---------------------------------------------------------------------------
// Popup commands

bool TDevMoniDlg::QueueCoil(const std::string& name, bool on) {
    std::uint16_t address = 0;
    if (!trans_ || !qel::link::MoniBitAddress(name, address)) return false;
    if (OpenPort && !OpenPort()) return false;
    return trans_->QueueDeviceWrite(address, on ? 0xFF00 : 0x0000, 0, 5);
}

void TDevMoniDlg::Force(bool on) {
    const int row = CurrentRow();
    if (row >= DevGrid->rowCount() + 1) return;
    QueueCoil(list_.Rows[static_cast<std::size_t>(row - 1)].Name, on);
}

void TDevMoniDlg::Pulse(bool rising) {
    const int row = CurrentRow();
    if (row >= DevGrid->rowCount() + 1) return;
    const std::string& name = list_.Rows[static_cast<std::size_t>(row - 1)].Name;
    if (name.size() < 2) return;
    if (QueueCoil(name, !rising)) QueueCoil(name, rising);
}

void TDevMoniDlg::PopONClick() { Force(true); }
void TDevMoniDlg::PopOFFClick() { Force(false); }
void TDevMoniDlg::PopPulseUpClick() { Pulse(true); }
void TDevMoniDlg::PopPulseDnClick() { Pulse(false); }

void TDevMoniDlg::PopChgValClick() {
    const int row = CurrentRow() - 1;
    if (!_ValSet || row >= DevGrid->rowCount()) return;
    const QTableWidgetItem* name = DevGrid->item(row, 0);
    const QTableWidgetItem* value = DevGrid->item(row, 4);
    _ValSet->ShowFor(name ? name->text() : QString(), value ? value->text() : QString());
}

void TDevMoniDlg::SetRowFormat(TMoniFormat format) {
    if (list_.SetFormat(CurrentRow(), format)) {
        if (QTableWidgetItem* item = DevGrid->item(CurrentRow() - 1, 6)) item->setText(FormatText(format));
        FillGrid();
    }
}

void TDevMoniDlg::PopDeciClick() { SetRowFormat(TMoniFormat::Decimal); }
void TDevMoniDlg::PopHexiClick() { SetRowFormat(TMoniFormat::Hex); }
void TDevMoniDlg::PopAsciClick() { SetRowFormat(TMoniFormat::Ascii); }

void TDevMoniDlg::PopDelClick() {
    int top = CurrentRow(), bottom = top;
    const QModelIndexList sel = DevGrid->selectionModel()->selectedRows();
    if (!sel.isEmpty()) {
        top = bottom = sel.front().row() + 1;
        for (const QModelIndex& i : sel) {
            top = std::min(top, i.row() + 1);
            bottom = std::max(bottom, i.row() + 1);
        }
    }
    if (!list_.DeleteRows(top, bottom)) return;
    ListChanged();
    SetCurrentRow(top);
}

void TDevMoniDlg::PopDevCmtClick() {
    const int row = CurrentRow();
    if (row >= DevGrid->rowCount() + 1) return;
    qel::link::TDevMoniRow& r = list_.Rows[static_cast<std::size_t>(row - 1)];
    if (r.Empty()) return;
    ShowDeviceCommentDialog({r.Name});
    r.Comment = GetCommentByDeviceName(r.Name);
    if (QTableWidgetItem* item = DevGrid->item(row - 1, 1)) item->setText(QString::fromStdString(r.Comment));
}

void TDevMoniDlg::PopAllClrClick() {
    list_.ClearAll();
    ListChanged();
    SetCurrentRow(1);
}

// ---------------------------------------------------------------------------
// Keys and mouse

void TDevMoniDlg::OpenInput(const QString& name) {
    if (_MoniInput) _MoniInput->OpenFor(this, name);
}

bool TDevMoniDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == DevGrid && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        const QString text = k->text().toUpper();
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            const QTableWidgetItem* item = DevGrid->item(CurrentRow() - 1, 0);
            OpenInput(item ? item->text() : QString());
            return true;
        }
        if (k->key() == Qt::Key_Delete) {
            PopDelClick();
            return true;
        }
        if (text == QLatin1String("+") || text == QLatin1String("-")) {
            Force(text == QLatin1String("+"));
            return true;
        }
        if (text.size() == 1 && ((text[0] >= 'A' && text[0] <= 'Z') || text[0].isDigit()) &&
            !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            OpenInput(text);
            return true;
        }
    }
    if (watched == DevGrid && event->type() == QEvent::KeyRelease) ShowRowStatus();
    if (watched == DevGrid->viewport() && event->type() == QEvent::MouseButtonPress) ShowRowStatus();
    if (watched == DevGrid->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) {
        const QTableWidgetItem* item = DevGrid->item(CurrentRow() - 1, 0);
        const QString name = item ? item->text() : QString();
        OpenInput(name.size() < 2 ? QString() : name);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
