#include "link/windows/Transdatafrm.h"

#include "link/windows/Devmonidlg.h"
#include "link/jobs/Memcard.h"
#include "link/windows/Memcarddlg.h"

#include <string>
#include <vector>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "link/jobs/Programtransfer.h"
#include "link/engine/Transdata.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "shell/Machinesetfrm.h"
#include "shell/Progfrm.h"
#include "shell/Qellink.h"
#include "shell/Qelmain.h"

using qel::link::kMsgBadStepRange;
using qel::link::kMsgNoProgramForHandheld;

TTransDataForm* _TransDataForm = nullptr;

namespace {

// A step number typed into a range edit; false for anything but digits.
bool ParseStep(const QString& text, int& step) {
    bool ok = false;
    const QString t = text.trimmed();
    step = t.toInt(&ok, 10);
    return ok && !t.isEmpty() && !t.startsWith('-') && !t.startsWith('+');
}

}  // namespace

TTransDataForm::TTransDataForm(qel::link::TProgramTransfer& transfer, qel::link::THandheldLink& handheld,
                               QWidget* parent)
    : QDialog(parent), transfer_(transfer), handheld_(handheld) {
    setObjectName("TransData");
    setWindowTitle(QStringLiteral("通讯"));
    setWindowModality(Qt::ApplicationModal);

    Transfer_Lab = new QLabel(QStringLiteral("通讯模式"), this);
    Transfer_Lab->setObjectName("Transfer_Lab");
    WorkType = new QComboBox(this);
    WorkType->setObjectName("WorkType");
    WorkType->addItems({QStringLiteral("读取PLC"), QStringLiteral("写入PLC"), QStringLiteral("PC <==> HPP")});

    TransGroup = new QGroupBox(QStringLiteral("传送方式"), this);
    TransGroup->setObjectName("TransGroup");
    TransAll = new QRadioButton(QStringLiteral("全部传送"), TransGroup);
    TransAll->setObjectName("TransAll");
    TransPartial = new QRadioButton(QStringLiteral("部分传送"), TransGroup);
    TransPartial->setObjectName("TransPartial");
    transButtons_ = new QButtonGroup(this);
    transButtons_->addButton(TransAll, 0);
    transButtons_->addButton(TransPartial, 1);
    TransAll->setChecked(true);
    auto* transLayout = new QVBoxLayout(TransGroup);
    transLayout->addWidget(TransAll);
    transLayout->addWidget(TransPartial);

    GroupBox1 = new QGroupBox(QStringLiteral("传输范围"), this);
    GroupBox1->setObjectName("GroupBox1");
    StartStep_Lab = new QLabel(QStringLiteral("起始"), GroupBox1);
    StartStep_Lab->setObjectName("StartStep_Lab");
    StartStep_Txt = new QLineEdit(GroupBox1);
    StartStep_Txt->setObjectName("StartStep_Txt");
    EndStep_Lab = new QLabel(QStringLiteral("结束"), GroupBox1);
    EndStep_Lab->setObjectName("EndStep_Lab");
    EndStep_Txt = new QLineEdit(GroupBox1);
    EndStep_Txt->setObjectName("EndStep_Txt");
    auto* rangeLayout = new QGridLayout(GroupBox1);
    rangeLayout->addWidget(StartStep_Lab, 0, 0);
    rangeLayout->addWidget(StartStep_Txt, 0, 1);
    rangeLayout->addWidget(EndStep_Lab, 1, 0);
    rangeLayout->addWidget(EndStep_Txt, 1, 1);
    for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(StartStep_Lab),
                       static_cast<QWidget*>(StartStep_Txt), static_cast<QWidget*>(EndStep_Lab),
                       static_cast<QWidget*>(EndStep_Txt)})
        w->setEnabled(false);

    OkBtn = new QPushButton(QStringLiteral("确定"), this);
    OkBtn->setObjectName("OkBtn");
    OkBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName("CancelBtn");

    auto* top = new QHBoxLayout;
    top->addWidget(Transfer_Lab);
    top->addWidget(WorkType, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(TransGroup);
    middle->addWidget(GroupBox1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OkBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(middle);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    connect(WorkType, &QComboBox::activated, this, [this] { WorkTypeClick(); });
    connect(transButtons_, &QButtonGroup::idClicked, this, [this] { TransGroupClick(); });
    connect(OkBtn, &QPushButton::clicked, this, &TTransDataForm::OkBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TTransDataForm::CancelBtnClick);
}

TTransDataForm::~TTransDataForm() {
    if (_TransDataForm == this) _TransDataForm = nullptr;
}

int TTransDataForm::TransGroupIndex() const { return TransPartial->isChecked() ? 1 : 0; }

void TTransDataForm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TTransDataForm::FormShow() {
    // A window left in the hand-held mode opens as it was; otherwise the
    // choices are checked against the project anew.
    if (!handheld_.Running()) WorkTypeClick();
}

void TTransDataForm::WorkTypeClick() {
    const bool haveImage = gProgram != nullptr && gProgramCapacity != 0;
    WorkType->setEnabled(haveImage);
    if (!haveImage) WorkType->setCurrentIndex(kRead);
    const int item = WorkType->currentIndex();
    // Leaving the hand-held mode stops answering the programmer.
    if (item != kHandheld && handheld_.Running()) handheld_.Stop();
    const bool rangeOn = item == kWrite && TransGroupIndex() == 1;
    TransGroup->setEnabled(item != kHandheld);
    for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(StartStep_Lab),
                       static_cast<QWidget*>(StartStep_Txt), static_cast<QWidget*>(EndStep_Lab),
                       static_cast<QWidget*>(EndStep_Txt)})
        w->setEnabled(rangeOn);
    OkBtn->setEnabled(item != kHandheld);
    if (item == kWrite) TransGroupClick();
    if (item == kHandheld && !handheld_.Running()) {
        // The programmer may write a program into the PC, which replaces the
        // project: whatever would be lost is asked about first.
        const bool go = !MayReplaceProject || MayReplaceProject();
        // The programmer's requests are answered from now on, before OK, from
        // the program the editors show.
        if (!go || (CommitEdits && !CommitEdits()) || !handheld_.Start()) {
            WorkType->setCurrentIndex(kRead);
            if (!haveImage) hide();
            WorkTypeClick();
        }
    }
}

void TTransDataForm::TransGroupClick() {
    const bool partialWrite = WorkType->currentIndex() == kWrite && TransGroupIndex() == 1;
    for (QWidget* w : {static_cast<QWidget*>(GroupBox1), static_cast<QWidget*>(StartStep_Lab),
                       static_cast<QWidget*>(StartStep_Txt), static_cast<QWidget*>(EndStep_Lab),
                       static_cast<QWidget*>(EndStep_Txt)})
        w->setEnabled(partialWrite);
    if (!partialWrite) return;
    // The proposed range: the whole program through its END, as the editors
    // hold it (an edit that cannot go in yet stops OK with its message).
    if (CommitEdits) CommitEdits();
    const std::uint32_t end = gProgram ? qel::link::EndOfProgram(gProgram, gProgramCapacity) : 0;
    StartStep_Txt->setText(QStringLiteral("0"));
    EndStep_Txt->setText(QString::number((end ? end : gProgramCapacity) / 2));
}

void TTransDataForm::OkBtnClick() {
    switch (WorkType->currentIndex()) {
    case kRead: {
        // The program read replaces the project: a changed program, register
        // values or template values are asked about first; Cancel (or a
        // failed save) reads nothing.
        if (MayReplaceProject && !MayReplaceProject()) return;
        if (transfer_.StartRead(TransGroupIndex() == 1)) accept();
        break;
    }
    case kWrite: {
        int start = 0, end = static_cast<int>(gProgramCapacity / 2);
        if (TransGroupIndex() == 1 &&
            (!ParseStep(StartStep_Txt->text(), start) || !ParseStep(EndStep_Txt->text(), end))) {
            ShowMsg(kMsgBadStepRange, " " + StartStep_Txt->text().toStdString() + "-" + EndStep_Txt->text().toStdString());
            return;
        }
        // The PLC gets the program the editors show.
        if (CommitEdits && !CommitEdits()) return;
        if (transfer_.StartWrite(start, end)) accept();
        break;
    }
    default: break;  // the hand-held link runs since it was chosen
    }
}

void TTransDataForm::CancelBtnClick() {
    if (_ProgBar && _ProgBar->isVisible()) _ProgBar->EndProgress();
    WorkType->setEnabled(true);
    if (handheld_.Running()) handheld_.Stop();
    QDialog::reject();
    // The port was opened for this window; nothing else may need it.
    if (qel::link::_TransData) qel::link::_TransData->ClosePortIfIdle();
}

void TTransDataForm::reject() { CancelBtnClick(); }

// ---------------------------------------------------------------------------
// The frame's side of the program jobs

namespace {

// The progress window, the link window and the editors for the program jobs.
class TFrameTransferHost final : public QObject, public qel::link::TTransferHost {
public:
    TFrameTransferHost(TQelMain* frame, qel::link::TTransData& link)
        : QObject(frame->LinkFrame()), frame_(frame), transfer(link, *this), handheld(link, *this), card(link, *this) {}

    void StartProgress(const std::string& caption, int maximum, int step) override {
        if (!_ProgBar) return;
        _ProgBar->StartProgress(QString::fromStdString(caption), maximum, step);
        // A write to the card is not stopped half-way; a read of it is.
        if (card.Running() && !card.Reading()) return;
        _ProgBar->SetCancel([this] {
            if (transfer.Running()) transfer.Cancel();
            if (card.Reading()) card.Cancel();
            if (handheld.Running()) {
                handheld.Stop();
                CloseLinkWindow();
            }
        });
    }
    void SetProgress(int position) override {
        if (!_ProgBar) return;
        _ProgBar->ProgBar->setValue(std::min(position, _ProgBar->ProgBar->maximum()));
        _ProgBar->UpdatePercent();
    }
    void CloseLinkWindow() override {
        if (_TransDataForm && _TransDataForm->isVisible()) _TransDataForm->done(QDialog::Accepted);
    }
    void BeforeProgramReplaced() override {
        // The program's windows come back over the new program, the active
        // one last so that it stays in front.
        reopen_.clear();
        const QMdiSubWindow* active = frame_->MdiArea->activeSubWindow();
        std::string activeCommand;
        for (QMdiSubWindow* sub : frame_->MdiArea->subWindowList()) {
            const QString name = sub->widget() ? sub->widget()->objectName() : QString();
            const char* command = name == "LDB" ? "MmLadWin" : name == "Inst" ? "MmInstWin" : nullptr;
            if (!command) continue;
            if (sub == active)
                activeCommand = command;
            else
                reopen_.push_back(command);
        }
        if (!activeCommand.empty()) reopen_.push_back(activeCommand);
        frame_->DestroyEditors();
    }
    void AfterProgramReplaced(bool familyChanged) override {
        // The file registers belong to the family, as in the model setting.
        if (familyChanged) SetFileRegCount(FileRegCountFor(gQel.Family, false));
        frame_->ResetEditors();
        frame_->UpdateCaption();
        frame_->RefreshCommands();
        // A program that cannot be drawn gets no ladder window; the job
        // reports it after its own message.
        if (gProgramUsed != 0 && !gQel.ProgramOk) return;
        for (const std::string& command : reopen_) frame_->RunCommand(command);
    }
    bool ProgramEditsPending() const override { return frame_->ProgramEditsPending(); }

private:
    TQelMain* frame_;
    std::vector<std::string> reopen_;

public:
    qel::link::TProgramTransfer transfer;
    qel::link::THandheldLink handheld;
    qel::link::TMemCard card;
};

}  // namespace

void InstallProgramTransfer(TQelMain* frame) {
    if (!frame || !frame->LinkFrame() || _TransDataForm) return;
    qel::link::TTransData& link = frame->LinkFrame()->Trans();
    auto* host = new TFrameTransferHost(frame, link);
    host->transfer.WriteCaption = "写入PLC";
    host->transfer.ReadCaption = "读取PLC";
    _TransDataForm = new TTransDataForm(host->transfer, host->handheld, frame);
    _TransDataForm->hide();
    _TransDataForm->MayReplaceProject = [frame] { return frame->MayReplaceProject(); };
    _TransDataForm->CommitEdits = [frame] { return frame->CommitEdits(); };

    // Not while the device monitor polls the PLC.
    frame->Router().Register(
        "MmTrans", TCommandRouter::kAnyView,
        [frame] {
            // Not over a running job (the hand-held link is this window's
            // own, and ends when another direction is chosen). The port
            // opens first; the window shows only when it did.
            qel::link::TTransData& trans = frame->LinkFrame()->Trans();
            if (trans.JobNo != kJobHandheld && !trans.MayPutRequests()) return;
            if (!frame->OpenComPort() || !_TransDataForm) return;
            _TransDataForm->open();
        },
        [] { return _DevMoniDlg == nullptr; });
    // The memory card: the program to and from the card, and the PLC's copies.
    _MemCardDlg = new TMemCardDlg(host->card, frame);
    _MemCardDlg->hide();
    _MemCardDlg->MayReplaceProject = [frame] { return frame->MayReplaceProject(); };
    _MemCardDlg->CommitEdits = [frame] { return frame->CommitEdits(); };
    // The card's comments replace device comments and nothing else.
    _MemCardDlg->TakeInComments = [frame] { return frame->CommitEditsOf(kViewDevComment); };
    _MemCardDlg->AskSaveModified = [frame] { return frame->AskSaveModified(); };
    frame->Router().Register("MmCardCodeRw", TCommandRouter::kAnyView, [] { _MemCardDlg->ShowMode(TMemCardDlg::kCodeRw); });
    frame->Router().Register("MmPlcToCard", TCommandRouter::kAnyView, [] {
        if (gQel.Family != 1) {
            ShowMsg(qel::link::kMsgCardNotFamily);
            return;
        }
        _MemCardDlg->ShowMode(TMemCardDlg::kPlcCard);
    });
    frame->Router().Register("MmCardCmtRw", TCommandRouter::kAnyView, [] {
        if (gQel.Family != 1) {
            ShowMsg(qel::link::kMsgCardNotFamily);
            return;
        }
        _MemCardDlg->ShowMode(TMemCardDlg::kCmtRw);
    });
    frame->Router().Register("MmUserInst", TCommandRouter::kAnyView, [] {
        if (gQel.Family != 1) {
            ShowMsg(qel::link::kMsgCardNotFamily);
            return;
        }
        _MemCardDlg->ShowMode(TMemCardDlg::kUserFun);
    });
    frame->Router().Register(
        "MmCodeVerify", TCommandRouter::kAnyView,
        [host] { host->transfer.StartVerify(); },
        [] { return gQel.ProgramPresent != 0 && gProgram != nullptr; });
    // A verify's result is about the program it compares: a command that
    // closes the project (another project, a new model) ends it, asked about
    // first as a read is. The editors stay open to it: the verify changes
    // nothing, and an edit made meanwhile only takes its result away.
    frame->AddJobHolder(host, [host](TJobWindows how) {
        return how == TJobWindows::Closed && host->transfer.Verifying();
    });
    frame->RefreshCommands();
}
