#include "link/windows/Devreg.h"
#include "link/windows/Ownvalues.h"

#include <filesystem>

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPagedPaintDevice>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>

#include "link/jobs/Registertransfer.h"
#include "link/engine/Transdata.h"
#include "link/render/Registerpainter.h"
#include "platform/Messages.h"
#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Filedialogs.h"
#include "shell/Progfrm.h"
#include "shell/Qellink.h"
#include "shell/Qelmain.h"

TDevReg* _DevReg = nullptr;

namespace fs = std::filesystem;
using namespace qel::link;

namespace {

constexpr int kMsgCleared = 140;
constexpr int kMsgBadPrintRange = 141;
constexpr int kMsgOverwrite = 146;
constexpr int kMsgTitle = 218;
constexpr int kMsgClearAll = 219;

const char* const kPageCaptions[] = {"D 缓存器", "C 缓存器", "高速计数器", "T 缓存器"};

QString Msg(int id) { return QString::fromStdString(gMsgTable.Get(id)); }

int ParseInt(const std::string& text) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(text, &used);
        return used == text.size() ? v : 0;
    } catch (...) {
        return 0;  // not a number
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// The grid's model: the page's cells, ten per row, texts from the register data

class TRegGridModel final : public QAbstractTableModel {
public:
    explicit TRegGridModel(TDevReg* view) : QAbstractTableModel(view), view_(view) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : RegGridRows(view_->View().Page, gQel.Family) - 1;
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 10; }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
        return QString::fromStdString(RegCellText(view_->Data, view_->View(), index.row() * 10 + index.column()));
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        return QString::fromStdString(o == Qt::Horizontal ? RegColumnLabel(section + 1)
                                                          : RegRowLabel(view_->View().Page, section + 1));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole) return false;
        if (view_->CommitCellEntry(index.row() * 10 + index.column(), value.toString().toStdString())) return true;
        // Shown once the grid's editor has closed; the old value comes back.
        QMetaObject::invokeMethod(view_, [] { ShowMsg(kMsgInvalid); }, Qt::QueuedConnection);
        return false;
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void Refresh() {
        if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 9));
    }

private:
    TDevReg* view_;
};

// ---------------------------------------------------------------------------
// The cell editor: Up, Down, Page Up and Page Down commit the typed value and
// move on, as Enter does; Left and Right too once the caret is at the text's
// edge (inside the text they move the caret).

class TRegCellDelegate final : public QStyledItemDelegate {
public:
    TRegCellDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), view_(view) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* editor = qobject_cast<QLineEdit*>(object);
        if (editor && event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const int k = key->key();
            const bool leave = k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_PageUp || k == Qt::Key_PageDown ||
                               (k == Qt::Key_Left && editor->cursorPosition() == 0 && !editor->hasSelectedText()) ||
                               (k == Qt::Key_Right && editor->cursorPosition() == editor->text().size() &&
                                !editor->hasSelectedText());
            if (leave) {
                emit commitData(editor);
                emit closeEditor(editor, QAbstractItemDelegate::NoHint);
                QKeyEvent move(QEvent::KeyPress, k, key->modifiers());
                QCoreApplication::sendEvent(view_, &move);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }

private:
    QAbstractItemView* view_;
};

// ---------------------------------------------------------------------------
// What the transfer asks of the view

class TDevReg::Host final : public TRegisterHost {
public:
    explicit Host(TDevReg* view) : view_(view) {}
    bool CheckStopMonitor() override { return view_->link_->CheckStopMonitor(); }
    void StartProgress(int captionMsg, int maximum) override {
        if (!_ProgBar) return;
        _ProgBar->StartProgress(Msg(captionMsg), maximum, 1);
        _ProgBar->SetCancel([v = view_] {
            if (v->transfer_) v->transfer_->Cancel();
        });
    }
    void SetProgress(int position) override {
        if (!_ProgBar) return;
        _ProgBar->ProgBar->setValue(std::min(position, _ProgBar->ProgBar->maximum()));
        _ProgBar->UpdatePercent();
    }
    void TransferRunning(bool running, bool changed) override {
        if (running) {
            view_->SetMainMenuState(false);
            return;
        }
        if (changed) view_->Modified = 1;
        // An older PLC may have shortened the D page.
        view_->Layout();
        view_->SetMainMenuState(true);
    }

private:
    TDevReg* view_;
};

// ---------------------------------------------------------------------------
// Creation

TDevReg::TDevReg(TTransData* trans, QWidget* parent)
    : QWidget(parent), link_(std::make_unique<TEditorLink>(kView)), host_(std::make_unique<Host>(this)) {
    setObjectName("DevReg");
    setWindowTitle(QStringLiteral("寄存器检视"));
    _DevReg = this;
    if (trans) transfer_ = std::make_unique<TRegisterTransfer>(*trans, *host_);

    auto* layout = new QVBoxLayout(this);
    PgContrl = new QTabBar(this);
    PgContrl->setObjectName("PgContrl");
    for (const char* caption : kPageCaptions) PgContrl->addTab(QString::fromUtf8(caption));
    layout->addWidget(PgContrl);

    ActPanel = new QWidget(this);
    ActPanel->setObjectName("ActPanel");
    auto* panel = new QHBoxLayout(ActPanel);
    DigLenGp = new QGroupBox(QStringLiteral("数值形态"), ActPanel);
    DigLenGp->setObjectName("DigLenGp");
    auto* lenBox = new QHBoxLayout(DigLenGp);
    Len16 = new QRadioButton(QStringLiteral("16 bits"), DigLenGp);
    Len32 = new QRadioButton(QStringLiteral("32 bits"), DigLenGp);
    lenGroup_ = new QButtonGroup(this);
    lenGroup_->addButton(Len16, 0);
    lenGroup_->addButton(Len32, 1);
    lenBox->addWidget(Len16);
    lenBox->addWidget(Len32);
    DigTypeGp = new QGroupBox(QStringLiteral("显示模式"), ActPanel);
    DigTypeGp->setObjectName("DigTypeGp");
    auto* typeBox = new QHBoxLayout(DigTypeGp);
    TypeDec = new QRadioButton(QStringLiteral("10 进制"), DigTypeGp);
    TypeHex = new QRadioButton(QStringLiteral("16 进制"), DigTypeGp);
    TypeBin = new QRadioButton(QStringLiteral("2 进制"), DigTypeGp);
    typeGroup_ = new QButtonGroup(this);
    typeGroup_->addButton(TypeDec, kRegDecimal);
    typeGroup_->addButton(TypeHex, kRegHex);
    typeGroup_->addButton(TypeBin, kRegBinary);
    for (QRadioButton* b : {TypeDec, TypeHex, TypeBin}) typeBox->addWidget(b);
    CommBtn = new QPushButton(QStringLiteral("传输"), ActPanel);
    CommBtn->setObjectName("CommBtn");
    ClearAllBtn = new QPushButton(QStringLiteral("全部清除"), ActPanel);
    ClearAllBtn->setObjectName("ClearAllBtn");
    FunTitleBtn = new QPushButton(QStringLiteral("功能标题"), ActPanel);
    FunTitleBtn->setObjectName("FunTitleBtn");
    panel->addWidget(DigLenGp);
    panel->addWidget(DigTypeGp);
    panel->addStretch(1);
    panel->addWidget(CommBtn);
    panel->addWidget(ClearAllBtn);
    panel->addWidget(FunTitleBtn);
    layout->addWidget(ActPanel);

    RegGrid = new QTableView(this);
    RegGrid->setObjectName("RegGrid");
    model_ = new TRegGridModel(this);
    RegGrid->setModel(model_);
    RegGrid->setItemDelegate(new TRegCellDelegate(RegGrid));
    RegGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    RegGrid->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                             QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    RegGrid->verticalHeader()->setDefaultSectionSize(RegGrid->fontMetrics().height() + 6);
    layout->addWidget(RegGrid, 1);

    ViewStatus = new QLabel(this);
    ViewStatus->setObjectName("ViewStatus");
    layout->addWidget(ViewStatus);

    NumComm = new TDevNumComm(this);
    NumComm->Start = [this](bool read) { return StartTransfer(read); };
    Printing = DefaultPrintHooks(this);
    DevPrn = new TDevPrn(this);
    DevPrn->Print = [this](bool all, const std::string& s, const std::string& e) { PrintRegisters(all, s, e); };
    AskTitle = [this](const std::string& caption, const std::string& current) -> std::optional<std::string> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, QString::fromStdString(caption), QString(), QLineEdit::Normal,
                                                   QString::fromStdString(current), &ok);
        if (!ok) return std::nullopt;
        return text.toStdString();
    };

    connect(PgContrl, &QTabBar::currentChanged, this, [this](int page) { PgContrlChange(page); });
    connect(lenGroup_, &QButtonGroup::idClicked, this, [this] { ListTypeGpClick(); });
    connect(typeGroup_, &QButtonGroup::idClicked, this, [this] { ListTypeGpClick(); });
    connect(CommBtn, &QPushButton::clicked, this, [this] { CommBtnClick(); });
    connect(ClearAllBtn, &QPushButton::clicked, this, [this] { ClearAllBtnClick(); });
    connect(FunTitleBtn, &QPushButton::clicked, this, [this] { FunTitleBtnClick(); });

    // The register file that belongs to the program: NAME.kzl beside the
    // program file, loaded when it exists (a program whose registers were
    // never saved shows zeros).
    SaveFileName = ProgramSideFile(kRegisterFileExt);
    OpenFileName = SaveFileName;
    ClearRegisters();
    FormShow();
    if (MayReadProgramSideFile(OpenFileName)) ReadRegisterFile();
    ShowTitle();
    RegisterCommands();
    // Whatever the frame reads or replaces takes the value being typed in first.
    link_->CommitEdits = [this] { return TakeInTypedValue(); };
    resize(900, 560);
}

TDevReg::~TDevReg() {
    // A running transfer ends with the window (the transfer cancels itself).
    transfer_.reset();
    if (_ProgBar && _ProgBar->isVisible() && transferring_) _ProgBar->EndProgress();
    if (_DevReg == this) _DevReg = nullptr;
}

void TDevReg::RegisterCommands() {
    auto idle = [this] { return !transferring_; };
    link_->Register("MmOpen", [this] { OpenRegisterFile(); }, idle);
    link_->Register("MmSave", [this] { SaveRegisterFile(); }, idle);
    link_->Register("MmSaveAs", [this] { SaveRegisterFileAs(); }, idle);
    link_->Register("MmPrn", [this] {
        if (TakeInTypedValue()) DevPrn->open();
    }, idle);
    // Commands of the program's views have nothing to act on here.
    static const char* const kOff[] = {
        "MmMonitorLad", "MmCodeToLad", "MmLadToCode", "MmCmtType", "MmUndo", "MmRedo", "MmDel", "MmCut",
        "MmCopy", "MmPaste", "MmJump", "MmRep", "MmZoomIn", "MmZoomOut", "MmInsLine", "MmDelLine", "MmInsBk",
        "MmDelTk", "MmDelVline", "MmInsSp", "MmBackSp", "MmCodeToSfc", "MmSfcToCode", "MmLineCmtWin",
        "MmFindCmd", "MmDevUsedWin", "MmLoopChk", "MmFileCompileTest", "MmMachineSet", "MmComPort",
        "MmBaudRateTest", "MmRunUpdate"};
    for (const char* c : kOff) link_->Register(c, [] {}, [] { return false; });
}

bool TDevReg::MayClose() {
    return TakeInTypedValue() && qel::link::MayLetOwnValuesGo(*this, &TDevReg::SaveRegisterFile);
}

bool TDevReg::TakeInTypedValue() {
    return TakeInTypedCell(this, RegGrid, [this](int index, const QString& text) {
        return CommitCellEntry(index, text.toStdString());
    });
}

void TDevReg::closeEvent(QCloseEvent* event) {
    // The transfer this window runs is asked about as every command that
    // would end it asks (a write runs on unless the user stops it).
    if (!MayClose() || (transferring_ && _QelMain && !_QelMain->MayStopLinkJob())) {
        event->ignore();
        return;
    }
    if (transfer_ && transfer_->Running()) transfer_->Cancel();
    event->accept();
}

// ---------------------------------------------------------------------------
// Files

bool TDevReg::ReadRegisterFile() {
    const TRegFileResult r = qel::link::ReadRegisterFile(OpenFileName, gQel.Family, Data);
    if (r == TRegFileResult::Missing) return true;  // a program without register file
    if (r != TRegFileResult::Ok) {
        ShowMsg(RegisterFileMessage(r), " " + OpenFileName);
        return false;
    }
    FillGrid();
    Modified = 0;
    return true;
}

bool TDevReg::WriteRegisterFile() {
    if (qel::link::WriteRegisterFile(SaveFileName, Data, gQel.Family, gQel.CapacityIndex)) {
        NoteSideFileWritten(SaveFileName);
        return true;
    }
    ShowSaveFailed(SaveFileName);
    return false;
}

void TDevReg::OpenRegisterFile() {
    if (!MayClose()) return;  // nothing is replaced by an unsaved file
    const std::string path = qel::FileDialogs().OpenFileName(
        this, "打开", gQel.OpenDir, "Register data file (*.kzl);;Register data file (*.rvl)");
    if (!path.empty()) {
        if (!ChosenFileExists(path)) return;
        OpenFileName = path;
        if (!ReadRegisterFile()) return;
        ShowMsg(qel::link::kMsgRegReadDone);
    }
    ShowTitle();
    EnableControls();
}

bool TDevReg::SaveRegisterFile() {
    if (!TakeInTypedValue()) return false;
    switch (qel::link::MayReplaceSideFile(SaveFileName, kMsgOverwrite)) {
    case qel::Answer::Yes: break;
    case qel::Answer::No: return SaveRegisterFileAs();
    default: return false;
    }
    const bool ok = WriteRegisterFile();
    if (ok) {
        ShowMsg(qel::link::kMsgRegWriteDone);
        Modified = 0;
    }
    EnableControls();
    return ok;
}

bool TDevReg::SaveRegisterFileAs() {
    if (!TakeInTypedValue()) return false;
    std::string path = qel::FileDialogs().SaveFileName(this, "另存为", SaveFileName, "Register data file (*.kzl)");
    if (path.empty()) return false;
    if (fs::path(path).extension().empty()) path += kRegisterFileExt;
    SaveFileName = path;
    NameFollowsProgram = false;  // the user's own name from now on
    return SaveRegisterFile();
}

void TDevReg::ClearRegisters() { Data.ClearRegisters(); }

// ---------------------------------------------------------------------------
// Grid

TRegView TDevReg::View() const {
    TRegView v;
    v.Page = page_;
    v.Is32 = Len32 && Len32->isChecked();
    v.Radix = typeGroup_ && typeGroup_->checkedId() >= 0 ? typeGroup_->checkedId() : kRegDecimal;
    v.Family = gQel.Family;
    return v;
}

void TDevReg::Layout() {
    const TRegView v = View();
    const bool hsc = v.Page == kRegPageC32;
    if (hsc) Len32->setChecked(true);
    DigLenGp->setEnabled(!hsc);
    static_cast<TRegGridModel*>(model_)->Reset();
    const bool is32 = Len32->isChecked();
    const int width = v.Radix == kRegBinary ? (is32 ? 300 : 150) : (is32 ? 100 : 64);
    for (int c = 0; c < 10; ++c) RegGrid->setColumnWidth(c, width);
}

void TDevReg::PgContrlChange(int page) {
    // The grid still shows the page left: a value being typed there goes in
    // first, and one its check refuses keeps that page up.
    if (page != page_ && !TakeInTypedValue()) {
        const QSignalBlocker quiet(PgContrl);
        PgContrl->setCurrentIndex(page_);
        return;
    }
    page_ = std::max(0, page);
    Layout();
}

void TDevReg::ListTypeGpClick() { Layout(); }

void TDevReg::FillGrid() { static_cast<TRegGridModel*>(model_)->Refresh(); }

QString TDevReg::CellText(int row, int column) const {
    return model_->data(model_->index(row - 1, column - 1), Qt::DisplayRole).toString();
}

bool TDevReg::CommitCellEntry(int index, const std::string& text) {
    const TRegCommit result = CommitRegisterEntry(Data, View(), index, text);
    // The register file's own change, not the program's. "No Use" shows its
    // old text again.
    if (result == TRegCommit::Stored) Modified = 1;
    // The PLC's special registers are never written: say so rather than drop
    // the value without a word (the old text comes back; nothing waits on it).
    if (result == TRegCommit::Protected)
        QMetaObject::invokeMethod(this, [] { ShowMsg(kMsgSpecialRegister); }, Qt::QueuedConnection);
    FillGrid();
    return result != TRegCommit::Invalid;
}

void TDevReg::ClearAllBtnClick() {
    if (qel::AskQuestion(gMsgTable.Get(kMsgClearAll), qel::AskButtons::YesNo) != qel::Answer::Yes) return;
    ClearRegisterPage(Data, View().Page);
    // The file still holds the old values: a cleared page is a change to save.
    Modified = 1;
    FillGrid();
    ShowMsg(kMsgCleared);
    EnableControls();
}

void TDevReg::FunTitleBtnClick() {
    if (!AskTitle) return;
    auto title = AskTitle(FunTitleBtn->text().toStdString(), Data.Title);
    // The register file keeps this many bytes of it: the title shown is the
    // one the file gives back.
    if (title) title = qelfile::CutUtf8(*title, qelfile::kHeaderTitleBytes);
    if (title && *title != Data.Title) {
        Data.Title = *title;
        Modified = 1;  // the title is saved with the values
    }
    ShowTitle();
}

void TDevReg::ShowTitle() { ViewStatus->setText(Msg(kMsgTitle) + ":" + QString::fromStdString(Data.Title)); }

void TDevReg::CommBtnClick() {
    if (Transferring()) return;
    // Another job keeps the line to its end: said once, by the link.
    if (qel::link::_TransData && !qel::link::_TransData->MayPutRequests()) return;
    if ((_ProgBar && _ProgBar->isVisible()) || !TakeInTypedValue()) return;
    NumComm->open();
}

void TDevReg::SetMainMenuState(bool enable) {
    transferring_ = !enable;
    ActPanel->setEnabled(enable);
    RegGrid->setEnabled(enable);
    PgContrl->setEnabled(enable);
    emit link_->commandsChanged();
}

void TDevReg::EnableControls() {
    RegGrid->setEnabled(!transferring_);
    PgContrl->setEnabled(!transferring_);
}

void TDevReg::FormShow() {
    Len16->setChecked(true);
    TypeDec->setChecked(true);
    Layout();
}

// ---------------------------------------------------------------------------
// Transfer and print

bool TDevReg::StartTransfer(bool read) {
    if (!transfer_ || !TakeInTypedValue()) return false;
    // Values read replace those typed: unsaved ones are asked about first,
    // as before File > Open; Cancel keeps them and reads nothing.
    if (read && !MayClose()) return false;
    return transfer_->Start(Data, View().Page, read, gQel.Family);
}

bool TDevReg::PrintRegisters(bool all, const std::string& start, const std::string& end) {
    if (!TakeInTypedValue()) return false;
    const TRegView v = View();
    const int cells = RegPageCells(v.Page, v.Family);
    int first = 0, last = 0;
    if (!RegPrintRange(all, ParseInt(start), ParseInt(end), cells, first, last)) {
        ShowMsg(kMsgBadPrintRange);
        return false;
    }
    TRegPrintSheet sheet;
    sheet.ProgramName = fs::path(gQel.BaseName).filename().string();
    sheet.PageCaption = kPageCaptions[v.Page];
    sheet.Is32 = v.Is32 || v.Page == kRegPageC32;
    sheet.Binary = v.Radix == kRegBinary;
    const int rows = RegGridRows(v.Page, v.Family);
    sheet.Rows.resize(static_cast<std::size_t>(rows));
    for (int c = 0; c <= 10; ++c) sheet.Rows[0][static_cast<std::size_t>(c)] = RegColumnLabel(c);
    for (int r = 1; r < rows; ++r) {
        auto& row = sheet.Rows[static_cast<std::size_t>(r)];
        row[0] = RegRowLabel(v.Page, r);
        for (int c = 1; c <= 10; ++c) row[static_cast<std::size_t>(c)] = RegCellText(Data, v, (r - 1) * 10 + c - 1);
    }
    return PrintPages(Printing, true, [&](QPagedPaintDevice& d) { return PrintRegisterPages(d, sheet, first, last); }) >
           0;
}

// ---------------------------------------------------------------------------
// Dialogs

TDevNumComm::TDevNumComm(QWidget* parent) : QDialog(parent) {
    setObjectName("DevNumComm");
    setWindowTitle(QStringLiteral("装置值通讯"));
    auto* layout = new QVBoxLayout(this);
    ReadPlcReg_Rdo = new QRadioButton(QStringLiteral("读取PLC资料缓存器"), this);
    WritePlcReg_Rdo = new QRadioButton(QStringLiteral("写入PLC资料缓存器"), this);
    ReadPlcReg_Rdo->setChecked(true);
    layout->addWidget(ReadPlcReg_Rdo);
    layout->addWidget(WritePlcReg_Rdo);
    auto* buttons = new QHBoxLayout;
    Ok_Btn = new QPushButton(QStringLiteral("确认"), this);
    Cancel_Btn = new QPushButton(QStringLiteral("取消"), this);
    buttons->addWidget(Ok_Btn);
    buttons->addWidget(Cancel_Btn);
    layout->addLayout(buttons);
    connect(Ok_Btn, &QPushButton::clicked, this, [this] { Ok_BtnClick(); });
    connect(Cancel_Btn, &QPushButton::clicked, this, [this] { Cancel_BtnClick(); });
}

void TDevNumComm::Ok_BtnClick() {
    // A port that does not open keeps the dialog open (the link said why).
    if (Start && Start(ReadPlcReg_Rdo->isChecked())) accept();
}

void TDevNumComm::Cancel_BtnClick() { reject(); }

TDevPrn::TDevPrn(QWidget* parent) : QDialog(parent) {
    setObjectName("DevPrn");
    setWindowTitle(QStringLiteral("装置打印"));
    auto* layout = new QVBoxLayout(this);
    DevPrnAll_Rdo = new QRadioButton(QStringLiteral("全部打印"), this);
    DevPrnPart_Rdo = new QRadioButton(QStringLiteral("部分打印"), this);
    layout->addWidget(DevPrnAll_Rdo);
    layout->addWidget(DevPrnPart_Rdo);
    PrnGp = new QGroupBox(QStringLiteral("打印范围"), this);
    auto* range = new QHBoxLayout(PrnGp);
    PrnStart_Lab = new QLabel(QStringLiteral("起点"), PrnGp);
    PrnStart_Txt = new QLineEdit(PrnGp);
    PrnEnd_Lab = new QLabel(QStringLiteral("终点"), PrnGp);
    PrnEnd_Txt = new QLineEdit(PrnGp);
    for (QWidget* w : {static_cast<QWidget*>(PrnStart_Lab), static_cast<QWidget*>(PrnStart_Txt),
                       static_cast<QWidget*>(PrnEnd_Lab), static_cast<QWidget*>(PrnEnd_Txt)})
        range->addWidget(w);
    layout->addWidget(PrnGp);
    auto* buttons = new QHBoxLayout;
    OkBtn = new QPushButton(QStringLiteral("打印"), this);
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    DevPrnAll_Rdo->setChecked(true);
    DevPrnAll_RdoClick();
    connect(DevPrnAll_Rdo, &QRadioButton::clicked, this, [this] { DevPrnAll_RdoClick(); });
    connect(DevPrnPart_Rdo, &QRadioButton::clicked, this, [this] { DevPrnPart_RdoClick(); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
}

void TDevPrn::DevPrnAll_RdoClick() {
    PrnGp->setEnabled(false);
    PrnStart_Txt->clear();
    PrnEnd_Txt->clear();
}

void TDevPrn::DevPrnPart_RdoClick() { PrnGp->setEnabled(true); }

void TDevPrn::OkBtnClick() {
    if (Print)
        Print(DevPrnAll_Rdo->isChecked(), PrnStart_Txt->text().trimmed().toStdString(),
              PrnEnd_Txt->text().trimmed().toStdString());
}

void TDevPrn::CancelBtnClick() { reject(); }

// ---------------------------------------------------------------------------
// The frame

void MmViewRegClick(TQelMain* frame) {
    if (_DevReg) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_DevReg->parentWidget())) {
            frame->MdiArea->setActiveSubWindow(sub);
            sub->showMaximized();
        }
        _DevReg->show();
        return;
    }
    TTransData* trans = frame->LinkFrame() ? &frame->LinkFrame()->Trans() : nullptr;
    auto* view = new TDevReg(trans);
    view->FrameCommand = [frame](const std::string& command, bool run) {
        return run ? frame->Router().Dispatch(command, TCommandRouter::kAnyView)
                   : frame->Router().Available(command, TCommandRouter::kAnyView);
    };
    // File > New asks about the view's transfer as from any other window
    // (TQelMain::MayEndJobOfWindows); file and PLC commands wait for it.
    view->Link()->Register("MmNew", [view] { view->FrameCommand("MmNew", true); },
                           [view] { return view->FrameCommand("MmNew", false); });
    for (const char* c : {"MmTitle", "MmTrans", "MmCodeVerify", "MmRun", "MmStop", "MmMonitorDev",
                          "MmInstWin", "MmLadWin", "MmCmtWin", "MmPassWd", "MmFileTmpTransfer"}) {
        const std::string command = c;
        view->Link()->Register(
            command, [view, command] { view->FrameCommand(command, true); },
            [view, command] { return !view->Transferring() && view->FrameCommand(command, false); });
    }
    frame->AddEditor(view, view->Link());
    // Its transfer ends when the project's windows close.
    frame->AddJobHolder(view, [view](TJobWindows how) { return how == TJobWindows::Closed && view->Transferring(); });
}

void InstallRegisterView(TQelMain* frame) {
    if (!frame) return;
    frame->Router().Register("MmViewReg", TCommandRouter::kAnyView, [frame] { MmViewRegClick(frame); });
    // The values belong to the program's model: asked about before another
    // project and before leaving, saved before a new model.
    qel::link::GuardOwnValues(
        frame, [] { return !_DevReg || _DevReg->MayClose(); },
        [] { return !_DevReg || !_DevReg->Modified || _DevReg->SaveRegisterFile(); });
    // The program saved under another name takes its register values along:
    // those the view shows, saved, are written beside it; changed ones stay
    // changed (asked about when the view closes) over the values last saved.
    static TSideFilePlace place;
    place.Take(kRegisterFileExt);
    frame->AddProjectListener(frame->MdiArea, [](TProjectEvent event) {
        if (event == TProjectEvent::Opened || event == TProjectEvent::Cleared) place.Take(kRegisterFileExt);
        if (event == TProjectEvent::Saved)
            SideValuesFollowProgram(place, kRegisterFileExt, _DevReg, &TDevReg::WriteRegisterFile);
    });
    frame->RefreshCommands();
}
