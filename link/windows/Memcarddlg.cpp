#include "link/windows/Memcarddlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "link/jobs/Memcard.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Filedialogs.h"

TMemCardDlg* _MemCardDlg = nullptr;

TMemCardDlg::~TMemCardDlg() {
    if (_MemCardDlg == this) _MemCardDlg = nullptr;
}

namespace {
constexpr int kMsgAskWrite = 233;
constexpr int kMsgAskRead = 234;
constexpr int kMsgMismatch = 56;

bool AskYes(int msg) {
    return qel::AskQuestion(gMsgTable.Get(msg), qel::AskButtons::YesNo) == qel::Answer::Yes;
}
}  // namespace

TMemCardDlg::TMemCardDlg(qel::link::TMemCard& card, QWidget* parent) : QDialog(parent), card_(card) {
    setObjectName("MemCard");
    setWindowTitle(QStringLiteral("记忆卡设定"));
    auto* layout = new QVBoxLayout(this);

    MemCard_Code_Rw_Grp = new QGroupBox(QStringLiteral("记忆卡程序读取"), this);
    auto* code = new QVBoxLayout(MemCard_Code_Rw_Grp);
    WriteRdo = new QRadioButton(QStringLiteral("PLC程序写入"), MemCard_Code_Rw_Grp);
    ReadRdo = new QRadioButton(QStringLiteral("PLC程序读出"), MemCard_Code_Rw_Grp);
    WriteRdo->setChecked(true);
    code->addWidget(WriteRdo);
    code->addWidget(ReadRdo);
    code->addWidget(new QLabel(QStringLiteral("密码设定"), MemCard_Code_Rw_Grp));
    Pwd_Txt = new QLineEdit(MemCard_Code_Rw_Grp);
    code->addWidget(Pwd_Txt);
    Confirm_Lab = new QLabel(QStringLiteral("再次确认"), MemCard_Code_Rw_Grp);
    code->addWidget(Confirm_Lab);
    Confirm_Txt = new QLineEdit(MemCard_Code_Rw_Grp);
    code->addWidget(Confirm_Txt);
    for (QLineEdit* e : {Pwd_Txt, Confirm_Txt}) {
        e->setEchoMode(QLineEdit::Password);
        e->setToolTip(QStringLiteral("请输入4个字符"));
        e->setMaxLength(4);
    }
    OkBtn = new QPushButton(QStringLiteral("确定"), MemCard_Code_Rw_Grp);
    code->addWidget(OkBtn);
    layout->addWidget(MemCard_Code_Rw_Grp);

    PLC_MemCard_Rw_Grp = new QGroupBox(QStringLiteral("记忆卡与PLC内部程序传输"), this);
    auto* inter = new QVBoxLayout(PLC_MemCard_Rw_Grp);
    PlcToCardRdo = new QRadioButton(QStringLiteral("PLC传输至记忆卡"), PLC_MemCard_Rw_Grp);
    CardToPlcRdo = new QRadioButton(QStringLiteral("记忆卡传输至PLC"), PLC_MemCard_Rw_Grp);
    PlcToCardRdo->setChecked(true);
    inter->addWidget(PlcToCardRdo);
    inter->addWidget(CardToPlcRdo);
    InterOK_Btn = new QPushButton(QStringLiteral("确定"), PLC_MemCard_Rw_Grp);
    inter->addWidget(InterOK_Btn);
    layout->addWidget(PLC_MemCard_Rw_Grp);

    MemCard_Cmt_Rw_Grp = new QGroupBox(QStringLiteral("记忆卡批注读写"), this);
    auto* cmt = new QVBoxLayout(MemCard_Cmt_Rw_Grp);
    CmtWriteRdo = new QRadioButton(QStringLiteral("PLC批注写入"), MemCard_Cmt_Rw_Grp);
    CmtReadRdo = new QRadioButton(QStringLiteral("PLC批注读出"), MemCard_Cmt_Rw_Grp);
    CmtWriteRdo->setChecked(true);
    cmt->addWidget(CmtWriteRdo);
    cmt->addWidget(CmtReadRdo);
    DevGpBox = new QGroupBox(QStringLiteral("装置选择"), MemCard_Cmt_Rw_Grp);
    auto* devs = new QHBoxLayout(DevGpBox);
    for (int i = 0; i < 9; ++i) {
        DevChk[i] = new QCheckBox(QString(QChar::fromLatin1("XYMSTCDPI"[i])), DevGpBox);
        devs->addWidget(DevChk[i]);
    }
    cmt->addWidget(DevGpBox);
    CmtOk_Btn = new QPushButton(QStringLiteral("确定"), MemCard_Cmt_Rw_Grp);
    cmt->addWidget(CmtOk_Btn);
    layout->addWidget(MemCard_Cmt_Rw_Grp);
    connect(CmtWriteRdo, &QRadioButton::toggled, this, [this](bool on) { DevGpBox->setEnabled(on); });
    connect(CmtOk_Btn, &QPushButton::clicked, this, [this] { CmtOk_BtnClick(); });

    Card_UserFun_Grp = new QGroupBox(QStringLiteral("使用者指令写入"), this);
    auto* user = new QVBoxLayout(Card_UserFun_Grp);
    UserFun1Rdo = new QRadioButton(QStringLiteral("使用者指令-1"), Card_UserFun_Grp);
    UserFun2Rdo = new QRadioButton(QStringLiteral("使用者指令-2"), Card_UserFun_Grp);
    UserFun1Rdo->setChecked(true);
    user->addWidget(UserFun1Rdo);
    user->addWidget(UserFun2Rdo);
    CmdSet_Btn = new QPushButton(QStringLiteral("命令程序指定"), Card_UserFun_Grp);
    user->addWidget(CmdSet_Btn);
    UserFunOk_Btn = new QPushButton(QStringLiteral("确定"), Card_UserFun_Grp);
    user->addWidget(UserFunOk_Btn);
    layout->addWidget(Card_UserFun_Grp);
    connect(CmdSet_Btn, &QPushButton::clicked, this, [this] { CmdSet_BtnClick(); });
    connect(UserFunOk_Btn, &QPushButton::clicked, this, [this] { UserFunOk_BtnClick(); });

    auto* cancel = new QPushButton(QStringLiteral("取消"), this);
    layout->addWidget(cancel);
    CardMemStaBar = new QStatusBar(this);
    CardMemStaBar->setSizeGripEnabled(false);
    layout->addWidget(CardMemStaBar);

    connect(WriteRdo, &QRadioButton::clicked, this, [this] { FunSetGrpClick(); });
    connect(ReadRdo, &QRadioButton::clicked, this, [this] { FunSetGrpClick(); });
    connect(OkBtn, &QPushButton::clicked, this, [this] { OkBtnClick(); });
    connect(InterOK_Btn, &QPushButton::clicked, this, [this] { InterOK_BtnClick(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    card_.StatusChanged = [this] { ShowStatus(); };
}

void TMemCardDlg::ShowMode(Mode mode) {
    MemCard_Code_Rw_Grp->setVisible(mode == kCodeRw);
    PLC_MemCard_Rw_Grp->setVisible(mode == kPlcCard);
    MemCard_Cmt_Rw_Grp->setVisible(mode == kCmtRw);
    Card_UserFun_Grp->setVisible(mode == kUserFun);
    CardMemStaBar->clearMessage();
    show();
    raise();
    FunSetGrpClick();
}

void TMemCardDlg::FunSetGrpClick() {
    const bool write = WriteRdo->isChecked();
    Confirm_Lab->setVisible(write);
    Confirm_Txt->setVisible(write);
    Pwd_Txt->clear();
    Confirm_Txt->clear();
    card_.QueryStatus();
}

void TMemCardDlg::ShowStatus() {
    // Nothing known about the card's protection: nothing shown.
    if (card_.StatusMsg >= 0)
        CardMemStaBar->showMessage(QString::fromStdString(gMsgTable.Get(card_.StatusMsg)));
    else
        CardMemStaBar->clearMessage();
}

void TMemCardDlg::hideEvent(QHideEvent* event) {
    Pwd_Txt->clear();
    Confirm_Txt->clear();
    QDialog::hideEvent(event);
}

bool TMemCardDlg::OkBtnClick() {
    if (card_.Running()) return false;
    std::string pwd = Pwd_Txt->text().toStdString();
    const std::string confirm = Confirm_Txt->text().toStdString();
    Pwd_Txt->clear();
    Confirm_Txt->clear();
    bool started = false;
    if (WriteRdo->isChecked()) {
        if (pwd != confirm) {
            ShowMsg(kMsgMismatch);
            Pwd_Txt->setFocus();
            return false;
        }
        // The card gets the program the editors show.
        if ((!CommitEdits || CommitEdits()) && AskYes(kMsgAskWrite)) started = card_.WriteProgram(pwd);
    } else if (AskYes(kMsgAskRead) && (!MayReplaceProject || MayReplaceProject())) {
        started = card_.ReadProgram(pwd);
        if (started) hide();
    }
    std::fill(pwd.begin(), pwd.end(), '\0');
    return started;
}

bool TMemCardDlg::InterOK_BtnClick() {
    if (card_.Running()) return false;
    const bool plcToCard = PlcToCardRdo->isChecked();
    if (!AskYes(plcToCard ? kMsgAskWrite : kMsgAskRead)) return false;
    return card_.CopyInternal(plcToCard);
}

bool TMemCardDlg::CmtOk_BtnClick() {
    if (card_.Running()) return false;
    if (CmtReadRdo->isChecked()) {
        // A comment typed and not yet entered is taken in first, so that the
        // question knows of it.
        if ((TakeInComments && !TakeInComments()) || (AskSaveModified && !AskSaveModified())) return false;
        return card_.ReadComments();
    }
    bool chosen[9];
    for (int i = 0; i < 9; ++i) chosen[i] = DevChk[i]->isChecked();
    return card_.WriteComments(chosen);
}

void TMemCardDlg::CmdSet_BtnClick() {
    const std::string path = qel::FileDialogs().OpenFileName(this, "命令程序指定", gQel.InstallFolder, "Function Files (*.Bin)");
    if (!path.empty()) UserFile = path;
}

bool TMemCardDlg::UserFunOk_BtnClick() {
    if (card_.Running()) return false;
    const int which = UserFun2Rdo->isChecked() ? 1 : 0;
    const std::string question = gMsgTable.Get(236) + UserFile + gMsgTable.Get(237) + std::to_string(which + 1) + gMsgTable.Get(238);
    if (UserFile.empty()) {
        ShowMsg(qel::link::kMsgCardUserFileBad);
        return false;
    }
    if (qel::AskQuestion(question, qel::AskButtons::YesNo) != qel::Answer::Yes) return false;
    return card_.WriteUserInstruction(UserFile, which);
}
