#include "link/windows/Filetmp.h"
#include "link/windows/Ownvalues.h"

#include <filesystem>

#include <QAbstractTableModel>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

#include "link/jobs/Fileregs.h"
#include "link/engine/Transdata.h"
#include "platform/Messages.h"
#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Filedialogs.h"
#include "shell/Progfrm.h"
#include "shell/Qellink.h"
#include "shell/Qelmain.h"

namespace fs = std::filesystem;
using namespace qel::link;

TFileTmp* _FileTmp = nullptr;

namespace {

constexpr int kMsgOverwrite = 146;
constexpr const char* kFilter = "Qel File Tmp (*.qft)";

QString Msg(int id) { return QString::fromStdString(gMsgTable.Get(id)); }

// Changes a window took with it when the frame freed it before they were
// saved or given up (an Open let go of them, then could not read its file):
// the values stay in gFileRegValues, these are the rest a save of
// them needs. The next window takes them back; they go with their project
// when another replaces it (the frame's "project replaced" event).
struct TLeftChanges {
    std::string Title, OpenFileName, SaveFileName;
    bool NameFollowsProgram = true;
};
std::optional<TLeftChanges> sLeft;

// The card is in use when the template holds the card's count of values.
bool CardInUse() { return gQel.Family == 1 && gFileRegCount == FileRegisterCount(1, true); }

// The template file of the values in gFileRegValues, its card flag the one
// of their count; message 30 on failure.
bool WriteTemplate(const std::string& path, const std::string& title) {
    TFileTemplate t;
    t.version = gQel.Version;
    t.family = static_cast<std::uint16_t>(gQel.Family);
    t.capacityIndex = static_cast<std::uint16_t>(gQel.CapacityIndex);
    t.extraMemory = CardInUse();
    t.title = title;
    t.values.assign(gFileRegValues.begin(), gFileRegValues.begin() + std::min<std::size_t>(gFileRegValues.size(), gFileRegCount));
    if (WriteQftFile(path, t)) {
        qel::link::NoteSideFileWritten(path);
        return true;
    }
    ShowSaveFailed(path);
    return false;
}

bool SaveLeftChanges() {
    if (qel::link::MayReplaceSideFile(sLeft->SaveFileName, 0) != qel::Answer::Yes ||
        !WriteTemplate(sLeft->SaveFileName, sLeft->Title))
        return false;
    sLeft.reset();
    return true;
}

// The template's changes, in its window or left behind by one: asked about
// before anything lets them go.
bool MayLetTemplateGo() {
    if (_FileTmp) return _FileTmp->MayLetGo();
    return !sLeft || qel::link::MayLetChangesGo(true, sLeft->SaveFileName, SaveLeftChanges);
}

bool ParseValue(const QString& text, int radix, std::uint16_t& v) {
    const QString t = text.trimmed();
    bool ok = false;
    switch (radix) {
    case TFileTmp::kSigned: {
        if (t.size() > 6) return false;
        const int x = t.toInt(&ok, 10);
        if (!ok || x < -32768 || x > 32767) return false;
        v = static_cast<std::uint16_t>(x);
        return true;
    }
    case TFileTmp::kHex: {
        // Capital digits only, at most four.
        if (t.isEmpty() || t.size() > 4) return false;
        for (QChar c : t)
            if (!(c.isDigit() || (c >= QLatin1Char('A') && c <= QLatin1Char('F')))) return false;
        v = static_cast<std::uint16_t>(t.toUInt(&ok, 16));
        return ok;
    }
    default: {
        if (t.isEmpty() || t.size() > 5) return false;
        for (QChar c : t)
            if (!c.isDigit()) return false;
        const unsigned x = t.toUInt(&ok, 10);
        if (!ok || x > 65535) return false;
        v = static_cast<std::uint16_t>(x);
        return true;
    }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Grid model: ten values a row, the row's first register number as its label.

class TFileTmp::Model final : public QAbstractTableModel {
public:
    explicit Model(TFileTmp* view) : QAbstractTableModel(view), view_(view) {}
    int rowCount(const QModelIndex& p = {}) const override {
        return p.isValid() ? 0 : (gFileRegCount + 9) / 10;
    }
    int columnCount(const QModelIndex& p = {}) const override { return p.isValid() ? 0 : 10; }
    QVariant data(const QModelIndex& i, int role) const override {
        if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
        return view_->CellText(i.row() * 10 + i.column());
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override {
        if (role != Qt::DisplayRole) return {};
        return o == Qt::Horizontal ? QString::number(section) : QString::number(section * 10);
    }
    Qt::ItemFlags flags(const QModelIndex& i) const override {
        const int index = i.row() * 10 + i.column();
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (index < gFileRegCount && !view_->Transferring()) f |= Qt::ItemIsEditable;
        return f;
    }
    bool setData(const QModelIndex& i, const QVariant& value, int role) override {
        if (role != Qt::EditRole) return false;
        const bool ok = view_->SetCellText(i.row() * 10 + i.column(), value.toString());
        emit dataChanged(i, i);
        // A text that is no value says so once the editor has closed; the old value shows again.
        if (!ok) QMetaObject::invokeMethod(view_, [] { ShowMsg(kMsgInvalid); }, Qt::QueuedConnection);
        return ok;
    }
    void Reset() {
        beginResetModel();
        endResetModel();
    }
    void Refresh() {
        if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 9));
    }

private:
    TFileTmp* view_;
};

// ---------------------------------------------------------------------------
// What the transfer asks of the window

class TFileTmp::Host final : public TFileRegHost {
public:
    explicit Host(TFileTmp* view) : view_(view) {}
    void StartProgress(int maximum) override {
        view_->SetMainMenuState(false);
        if (!_ProgBar) return;
        _ProgBar->StartProgress(QStringLiteral("档案缓存器通讯"), maximum, 1);
        _ProgBar->SetCancel([v = view_] {
            if (v->transfer_) v->transfer_->Cancel();
        });
    }
    void SetProgress(int position) override {
        if (!_ProgBar) return;
        _ProgBar->ProgBar->setValue(std::min(position, _ProgBar->ProgBar->maximum()));
        _ProgBar->UpdatePercent();
    }
    void TransferEnded(bool stored) override {
        // Values read from the PLC are the template's change, not the program's.
        if (stored) view_->Modified = 1;
        view_->FillGrid();
        view_->SetMainMenuState(true);
    }

private:
    TFileTmp* view_;
};

// ---------------------------------------------------------------------------
// The transfer dialog

TFileTmpComm::TFileTmpComm(QWidget* parent) : QDialog(parent) {
    setObjectName("FileTmpComm");
    setWindowTitle(QStringLiteral("档案缓存器通讯"));
    auto* layout = new QVBoxLayout(this);
    CommType_Box = new QComboBox(this);
    CommType_Box->addItems({QStringLiteral("PLC读出"), QStringLiteral("PLC写入")});
    CommType_Box->setCurrentIndex(0);
    layout->addWidget(CommType_Box);
    PartChk = new QCheckBox(QStringLiteral("部分传输"), this);
    layout->addWidget(PartChk);
    PartGrp = new QGroupBox(QStringLiteral("部分传输"), this);
    auto* part = new QHBoxLayout(PartGrp);
    part->addWidget(new QLabel(QStringLiteral("起始装置"), PartGrp));
    StartPost_Txt = new QLineEdit(PartGrp);
    part->addWidget(StartPost_Txt);
    part->addWidget(new QLabel(QStringLiteral("结束装置"), PartGrp));
    EndPost_Txt = new QLineEdit(PartGrp);
    part->addWidget(EndPost_Txt);
    PartGrp->setEnabled(false);
    layout->addWidget(PartGrp);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    connect(PartChk, &QCheckBox::toggled, this, [this] { PartChkClick(); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TFileTmpComm::PartChkClick() {
    const bool on = PartChk->isChecked();
    PartGrp->setEnabled(on);
    StartPost_Txt->setText(on ? QStringLiteral("0") : QString());
    EndPost_Txt->setText(on ? QString::number(Count - 1) : QString());
}

bool TFileTmpComm::OkBtnClick() {
    int first = 0, end = Count;
    if (PartChk->isChecked() &&
        !ParseFileRegRange(StartPost_Txt->text().trimmed().toStdString(), EndPost_Txt->text().trimmed().toStdString(),
                           Count, first, end)) {
        ShowMsg(0);
        return false;
    }
    if (!Start || !Start(CommType_Box->currentIndex() == 1, first, end)) return false;
    accept();
    return true;
}

// ---------------------------------------------------------------------------
// The window

TFileTmp::TFileTmp(TTransData* trans, QWidget* parent)
    : QWidget(parent), link_(std::make_unique<TEditorLink>(kView)), host_(std::make_unique<Host>(this)) {
    _FileTmp = this;
    setObjectName("FileTmp");
    setWindowTitle(QStringLiteral("档案缓存器"));
    if (trans) transfer_ = std::make_unique<TFileRegTransfer>(*trans, *host_);
    auto* layout = new QVBoxLayout(this);
    auto* panel = new QHBoxLayout;
    UnsignRdo = new QRadioButton(QStringLiteral("无号10进制"), this);
    SignRdo = new QRadioButton(QStringLiteral("有号10进制"), this);
    HexRdo = new QRadioButton(QStringLiteral("16 进制"), this);
    UnsignRdo->setChecked(true);
    auto* radix = new QButtonGroup(this);
    radix->addButton(UnsignRdo, kUnsigned);
    radix->addButton(SignRdo, kSigned);
    radix->addButton(HexRdo, kHex);
    ClearBtn = new QPushButton(QStringLiteral("全部清除"), this);
    ExtraMemChk = new QCheckBox(QStringLiteral("外插记忆卡"), this);
    CommBtn = new QPushButton(QStringLiteral("传输"), this);
    FunTitleBtn = new QPushButton(QStringLiteral("功能标题"), this);
    for (QWidget* w : std::initializer_list<QWidget*>{UnsignRdo, SignRdo, HexRdo, ClearBtn, ExtraMemChk, CommBtn, FunTitleBtn})
        panel->addWidget(w);
    panel->addStretch();
    layout->addLayout(panel);
    PgRegGrid = new QTableView(this);
    PgRegGrid->setObjectName("PgRegGrid");
    model_ = new Model(this);
    PgRegGrid->setModel(model_);
    PgRegGrid->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed);
    PgRegGrid->verticalHeader()->setDefaultSectionSize(PgRegGrid->fontMetrics().height() + 6);
    layout->addWidget(PgRegGrid, 1);
    ViewStatus = new QLabel(this);
    ViewStatus->setObjectName("ViewStatus");
    layout->addWidget(ViewStatus);
    Comm = new TFileTmpComm(this);
    Comm->Start = [this](bool write, int first, int end) {
        // A read replaces the values typed: unsaved ones are asked about
        // first, as before File > Open; Cancel keeps them and reads nothing.
        if (!transfer_ || !TakeInTypedValue() || (!write && !MayLetGo())) return false;
        return transfer_->Start(gFileRegValues, write, first, end);
    };
    AskTitle = [this](const std::string& caption, const std::string& current) -> std::optional<std::string> {
        bool ok = false;
        const QString text = QInputDialog::getText(this, QString::fromStdString(caption), QString(), QLineEdit::Normal,
                                                   QString::fromStdString(current), &ok);
        if (!ok) return std::nullopt;
        return text.toStdString();
    };
    connect(radix, &QButtonGroup::idClicked, this, [this] { FillGrid(); });
    connect(ClearBtn, &QPushButton::clicked, this, [this] { ClearBtnClick(); });
    connect(ExtraMemChk, &QCheckBox::clicked, this, [this] { ExtraMemChkClick(); });
    connect(CommBtn, &QPushButton::clicked, this, [this] { CommBtnClick(); });
    connect(FunTitleBtn, &QPushButton::clicked, this, [this] { FunTitleBtnClick(); });

    // The template that belongs to the program: NAME.qft beside the program file.
    SaveFileName = ProgramSideFile(kTemplateFileExt);
    OpenFileName = SaveFileName;
    ExtraMemChk->setEnabled(gQel.Family == 1);
    ExtraMemChk->setChecked(CardInUse());
    if (sLeft) {
        // Unsaved changes of an earlier window: its file would replace them.
        Title = sLeft->Title;
        OpenFileName = sLeft->OpenFileName;
        SaveFileName = sLeft->SaveFileName;
        NameFollowsProgram = sLeft->NameFollowsProgram;
        Modified = 1;
        sLeft.reset();
    } else if (qel::link::MayReadProgramSideFile(OpenFileName)) {
        ReadQft();
    }
    model_->Reset();
    ShowTitle();

    auto idle = [this] { return !Transferring(); };
    link_->Register("MmOpen", [this] { OpenWithPrompt(); }, idle);
    link_->Register("MmSave", [this] { SaveWithPrompt(); }, idle);
    link_->Register("MmSaveAs", [this] { SaveAs(); }, idle);
    // Whatever the frame reads or replaces takes the value being typed in first.
    link_->CommitEdits = [this] { return TakeInTypedValue(); };
    resize(900, 560);
}

TFileTmp::~TFileTmp() {
    transfer_.reset();
    // Freed by the frame with its changes neither saved nor given up: the
    // values outlive the window, and so does the question about them.
    if (Modified) sLeft = TLeftChanges{Title, OpenFileName, SaveFileName, NameFollowsProgram};
    if (_FileTmp == this) _FileTmp = nullptr;
}

bool TFileTmp::Transferring() const { return transfer_ && transfer_->Running(); }

int TFileTmp::CurrentRadix() const { return SignRdo->isChecked() ? kSigned : HexRdo->isChecked() ? kHex : kUnsigned; }

QString TFileTmp::CellText(int index) const {
    if (index < 0 || index >= gFileRegCount || index >= static_cast<int>(gFileRegValues.size()))
        return QStringLiteral("No Use");
    const std::uint16_t v = gFileRegValues[static_cast<std::size_t>(index)];
    switch (CurrentRadix()) {
    case kSigned: return QString::number(static_cast<std::int16_t>(v));
    case kHex: return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
    default: return QString::number(v);
    }
}

bool TFileTmp::SetCellText(int index, const QString& text) {
    if (Transferring() || index < 0 || index >= gFileRegCount) return false;
    std::uint16_t v = 0;
    // A text that is no value of the radix changes nothing.
    if (!ParseValue(text, CurrentRadix(), v)) return false;
    // The values are kept in the template's file, not in the program's files:
    // the program stays as it was.
    if (gFileRegValues[static_cast<std::size_t>(index)] != v) {
        gFileRegValues[static_cast<std::size_t>(index)] = v;
        Modified = 1;
    }
    return true;
}

bool TFileTmp::TakeInTypedValue() {
    if (!TakeInTypedCell(this, PgRegGrid, [this](int index, const QString& text) { return SetCellText(index, text); }))
        return false;
    FillGrid();
    return true;
}

void TFileTmp::FillGrid() { model_->Refresh(); }

void TFileTmp::ShowTitle() { ViewStatus->setText(Msg(kMsgFileRegTitle) + ":" + QString::fromStdString(Title)); }

void TFileTmp::SetMainMenuState(bool enabled) {
    PgRegGrid->setEnabled(enabled);
    for (QWidget* w : std::initializer_list<QWidget*>{ClearBtn, ExtraMemChk, CommBtn, FunTitleBtn}) w->setEnabled(enabled);
    if (enabled) ExtraMemChk->setEnabled(gQel.Family == 1);
    emit link_->commandsChanged();
}

bool TFileTmp::ReadQft() {
    TFileTemplate t;
    switch (ReadQftFile(OpenFileName, gQel.Family, t)) {
    case TQftRead::Missing: return true;
    case TQftRead::Unreadable: ShowMsg(kMsgFileOpenFailed, " " + OpenFileName); return false;
    case TQftRead::OtherFamily: ShowMsg(kMsgFileRegOtherFamily, " " + OpenFileName); return false;
    case TQftRead::Damaged: ShowMsg(kMsgFileRegBadFile, " " + OpenFileName); return false;
    case TQftRead::Ok: break;
    }
    // The whole file was sound: card setting, count, title and values.
    ExtraMemChk->setChecked(t.extraMemory);
    SetFileRegCount(static_cast<std::int32_t>(t.values.size()));
    gFileRegValues = t.values;
    Title = t.title;
    Modified = 0;
    model_->Reset();
    ShowTitle();
    return true;
}

bool TFileTmp::WriteQft() { return WriteTemplate(SaveFileName, Title); }

bool TFileTmp::MayLetGo() {
    return TakeInTypedValue() && qel::link::MayLetOwnValuesGo(*this, &TFileTmp::SaveWithPrompt);
}

void TFileTmp::OpenWithPrompt() {
    if (!MayLetGo()) return;
    const std::string path = qel::FileDialogs().OpenFileName(this, "打开", gQel.OpenDir, kFilter);
    if (path.empty() || !ChosenFileExists(path)) return;
    OpenFileName = path;
    if (ReadQft()) ShowMsg(kMsgFileRegReadDone);
}

bool TFileTmp::SaveWithPrompt() {
    if (!TakeInTypedValue()) return false;
    switch (qel::link::MayReplaceSideFile(SaveFileName, kMsgOverwrite)) {
    case qel::Answer::Yes: break;
    case qel::Answer::No: return SaveAs();  // another name, not this file
    default: return false;
    }
    if (!WriteQft()) return false;
    Modified = 0;
    ShowMsg(kMsgFileRegWriteDone);
    return true;
}

bool TFileTmp::SaveAs() {
    if (!TakeInTypedValue()) return false;
    std::string path = qel::FileDialogs().SaveFileName(this, "另存为", SaveFileName, kFilter);
    if (path.empty()) return false;
    if (fs::path(path).extension().empty()) path += kTemplateFileExt;
    SaveFileName = path;
    NameFollowsProgram = false;  // the user's own name from now on
    return SaveWithPrompt();
}

void TFileTmp::ClearBtnClick() {
    if (qel::AskQuestion(gMsgTable.Get(kMsgFileRegClear), qel::AskButtons::YesNo) == qel::Answer::Yes) {
        std::fill(gFileRegValues.begin(), gFileRegValues.end(), std::uint16_t{0});
        Modified = 1;
    }
    FillGrid();
}

void TFileTmp::ExtraMemChkClick() {
    // The box is the model setting's card: it changes as the model setting
    // does (values it would drop are asked about), and FollowFileRegCount
    // shows the outcome; a refused change leaves the box as it was.
    const bool card = ExtraMemChk->isChecked();
    ExtraMemChk->setChecked(CardInUse());
    if (card != CardInUse() && gQel.Family == 1 && SetCard) SetCard(card);
}

void TFileTmp::FollowFileRegCount() {
    // A read from the PLC would store into values of the old count.
    if (Transferring()) transfer_->Cancel();
    if (ExtraMemChk->isChecked() != CardInUse()) {
        ExtraMemChk->setChecked(CardInUse());
        Modified = 1;  // the card is saved with the values: the file no longer matches
    }
    model_->Reset();
}

void TFileTmp::CommBtnClick() {
    if (Transferring() || !TakeInTypedValue()) return;
    if (FileRegisterCount(gQel.Family, false) == 0) {
        ShowMsg(kMsgFileRegNone);
        return;
    }
    Comm->Count = gFileRegCount;
    Comm->PartChkClick();
    Comm->open();
}

void TFileTmp::FunTitleBtnClick() {
    if (!AskTitle) return;
    if (auto t = AskTitle(FunTitleBtn->text().toStdString(), Title)) {
        // The file keeps this many bytes of it, never half a character.
        const std::string title = qelfile::CutUtf8(*t, kQftTitleMax);
        if (title != Title) {
            Title = title;
            Modified = 1;  // the title is saved with the values
        }
        ShowTitle();
    }
}

void TFileTmp::closeEvent(QCloseEvent* event) {
    // The transfer this window runs is asked about as every command that
    // would end it asks (a write runs on unless the user stops it).
    if (!MayLetGo() || (Transferring() && _QelMain && !_QelMain->MayStopLinkJob())) {
        event->ignore();
        return;
    }
    Modified = 0;  // saved, or given up by the user: nothing is left behind
    if (Transferring()) transfer_->Cancel();
    event->accept();
}

// ---------------------------------------------------------------------------
// The frame

TFileTmp* MmFileTmpClick(TQelMain* frame) {
    if (FileRegisterCount(gQel.Family, false) == 0) {
        ShowMsg(kMsgFileRegNone);
        return nullptr;
    }
    if (_FileTmp) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_FileTmp->parentWidget())) {
            frame->MdiArea->setActiveSubWindow(sub);
            sub->showMaximized();
        }
        _FileTmp->show();
        return _FileTmp;
    }
    TTransData* trans = frame->LinkFrame() ? &frame->LinkFrame()->Trans() : nullptr;
    auto* view = new TFileTmp(trans);
    view->SetCard = [frame](bool card) { return frame->ApplyModelSetting(gQel.Family, gQel.CapacityIndex, card); };
    frame->AddEditor(view, view->Link());
    // Its transfer ends when the project's windows close and when the number
    // of file registers changes under it.
    frame->AddJobHolder(view, [view](TJobWindows) { return view->Transferring(); });
    return view;
}

void InstallFileTemplate(TQelMain* frame) {
    if (!frame) return;
    constexpr int any = TCommandRouter::kAnyView;
    frame->Router().Register("MmFileTmp", any, [frame] { MmFileTmpClick(frame); });
    frame->Router().Register("MmFileTmpTransfer", any, [frame] {
        if (TFileTmp* w = MmFileTmpClick(frame)) w->CommBtnClick();
    });
    // A new frame starts with no template changes; another project lets go
    // of those the user did not keep, asked before it came.
    sLeft.reset();
    qel::link::GuardOwnValues(frame, MayLetTemplateGo, [] {
        if (_FileTmp && _FileTmp->Modified) return _FileTmp->SaveWithPrompt();
        // Only this project's are left here: another project's were given up
        // with it (its values are gone, and its file is not this project's).
        if (!_FileTmp && sLeft) return SaveLeftChanges();
        return true;
    });
    static TSideFilePlace place;
    place.Take(kTemplateFileExt);
    frame->AddProjectListener(frame->MdiArea, [](TProjectEvent event) {
        // Every path that replaces the project (New, Open, a program read
        // from the PLC) sends this before the new project is in.
        if (event == TProjectEvent::Replaced) sLeft.reset();
        if (event == TProjectEvent::Cleared || event == TProjectEvent::Opened) place.Take(kTemplateFileExt);
        // A new card setting keeps the window: it shows the new count.
        if (event == TProjectEvent::ModelChanged && _FileTmp) _FileTmp->FollowFileRegCount();
        if (event != TProjectEvent::Saved) return;
        // The program saved under another name takes its template along: the
        // values the window shows, saved, are written beside it; changed ones
        // stay changed (asked about when they would go) over those last saved.
        SideValuesFollowProgram(place, kTemplateFileExt, _FileTmp, &TFileTmp::WriteQft, [](const std::string& to) {
            if (sLeft && sLeft->NameFollowsProgram) sLeft->SaveFileName = to;
        });
    });
    frame->RefreshCommands();
}
