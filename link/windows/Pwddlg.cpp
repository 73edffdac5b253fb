#include "link/windows/Pwddlg.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "link/engine/Transdata.h"
#include "shell/Qelmain.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"

TPwdDlg* _PwdDlg = nullptr;

TPwdDlg::TPwdDlg(qel::link::TTransData& link, QWidget* parent) : QDialog(parent) {
    setObjectName("PwdDlg");
    setWindowTitle(QStringLiteral("密码检查"));
    auto* grid = new QGridLayout(this);
    Label1 = new QLabel(QStringLiteral("输入密码"), this);
    Password = new QLineEdit(this);
    Password->setObjectName("Password");
    Password->setEchoMode(QLineEdit::Password);
    Confirm_Lab = new QLabel(QStringLiteral("密码再次确认"), this);
    Confirm_Txt = new QLineEdit(this);
    Confirm_Txt->setObjectName("Confirm_Txt");
    Confirm_Txt->setEchoMode(QLineEdit::Password);
    for (QLineEdit* e : {Password, Confirm_Txt}) {
        // Four characters; the edits keep no undo history of the text.
        e->setMaxLength(8);
        e->setContextMenuPolicy(Qt::NoContextMenu);
    }
    PwdGrp = new QGroupBox(QStringLiteral("密码种类"), this);
    auto* kinds = new QVBoxLayout(PwdGrp);
    auto* plcKind = new QRadioButton(QStringLiteral("PLC 密码设定"), PwdGrp);
    plcKind->setChecked(true);
    kinds->addWidget(plcKind);
    kinds->addWidget(new QRadioButton(QStringLiteral("Memory Card 密码设定"), PwdGrp));
    PwdGrp->setVisible(false);
    OKBtn = new QPushButton(QStringLiteral("确定"), this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName("CancelBtn");
    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Password, 0, 1);
    grid->addWidget(Confirm_Lab, 1, 0);
    grid->addWidget(Confirm_Txt, 1, 1);
    grid->addWidget(PwdGrp, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    grid->addLayout(buttons, 3, 0, 1, 2);
    grid->addWidget(StatusBar, 4, 0, 1, 2);
    connect(OKBtn, &QPushButton::clicked, this, [this] { OKBtnClick(); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { close(); });
    job_ = std::make_unique<qel::link::TPlcPassword>(link, static_cast<qel::link::TPasswordHost&>(*this));
    // The frame's link may go before its child windows do.
    connect(&link, &QObject::destroyed, this, [this] { job_->LinkGone(); });
}

TPwdDlg::~TPwdDlg() {
    job_.reset();
    if (_PwdDlg == this) _PwdDlg = nullptr;
}

void TPwdDlg::ShowAndQuery() {
    PrepareShow();
    StatusBar->clearMessage();
    show();
    raise();
    activateWindow();
    if (!job_->Running()) job_->Query();
}

void TPwdDlg::ClearEdits() {
    Password->clear();
    Confirm_Txt->clear();
}

void TPwdDlg::PrepareShow() {
    ClearEdits();
    const bool newPassword = job_ && job_->EnterMode == 0;
    Confirm_Txt->setVisible(newPassword);
    Confirm_Lab->setVisible(newPassword);
    if (isVisible()) Password->setFocus();
}

void TPwdDlg::OKBtnClick() {
    std::string typed = Password->text().toStdString();
    std::string confirm = Confirm_Txt->text().toStdString();
    const int r = job_->Apply(typed, confirm);
    std::fill(typed.begin(), typed.end(), '\0');
    std::fill(confirm.begin(), confirm.end(), '\0');
    // Whatever the outcome, the typed text does not stay in the edits.
    if (r == qel::link::kMsgPwdMismatch || r == qel::link::kMsgPwdWrong) {
        ClearEdits();
        (job_->EnterMode == 0 && r == qel::link::kMsgPwdWrong ? Confirm_Txt : Password)->setFocus();
        return;
    }
    if (r == qel::link::kMsgPwdConfirm) {
        Confirm_Txt->clear();
        Confirm_Txt->setFocus();
        return;
    }
    ClearEdits();
    Password->setFocus();
}

void TPwdDlg::StatusText(int msgId) {
    if (msgId < 0)
        StatusBar->clearMessage();
    else
        StatusBar->showMessage(QString::fromStdString(gMsgTable.Get(msgId)));
}

bool TPwdDlg::Ask(int msgId) {
    return qel::AskQuestion(gMsgTable.Get(msgId), qel::AskButtons::YesNo) == qel::Answer::Yes;
}

void TPwdDlg::Finished() {
    OKBtn->setEnabled(true);
}

void TPwdDlg::closeEvent(QCloseEvent* event) {
    // A password being written is asked about as every command that would
    // end a PLC job asks; the lock state being read ends with a word.
    if (job_->Running() && _QelMain && !_QelMain->MayStopLinkJob()) {
        event->ignore();
        return;
    }
    job_->Close();
    ClearEdits();
    QDialog::closeEvent(event);
}

void TPwdDlg::hideEvent(QHideEvent* event) {
    ClearEdits();
    QDialog::hideEvent(event);
}
