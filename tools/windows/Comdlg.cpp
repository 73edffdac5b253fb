#include "tools/windows/Comdlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/DeviceLimits.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "tools/check/Comments.h"

TCommentDlg* _CommentDlg = nullptr;

TCommentDlg::~TCommentDlg() {
    if (_CommentDlg == this) _CommentDlg = nullptr;
}
int gCommentDlgCount = 0;

TCommentDlg::TCommentDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("CommentDlg");
    setWindowTitle(QStringLiteral("批注"));
    DeviceListBox = new QListWidget(this);
    DeviceListBox->setObjectName("DeviceListBox");
    DevCmt_Txt = new QLineEdit(this);
    DevCmt_Txt->setObjectName("DevCmt_Txt");
    CancelBtn = new QPushButton(QStringLiteral("关闭"), this);
    CancelBtn->setObjectName("CancelBtn");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("指定装置"), this));
    layout->addWidget(DeviceListBox, 1);
    layout->addWidget(new QLabel(QStringLiteral("输入批注"), this));
    layout->addWidget(DevCmt_Txt);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(CancelBtn);
    layout->addLayout(row);
    resize(300, 260);
    connect(DeviceListBox, &QListWidget::itemClicked, this, &TCommentDlg::DeviceListBoxClick);
    connect(DeviceListBox, &QListWidget::currentRowChanged, this, &TCommentDlg::DeviceListBoxClick);
    connect(DevCmt_Txt, &QLineEdit::textEdited, this, &TCommentDlg::DevCmt_TxtEdited);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::accept);
}

void TCommentDlg::Disable() {
    // Nothing chosen: typing must not land in a device chosen earlier.
    letter_ = number_ = -1;
    accepted_.clear();
    DevCmt_Txt->clear();
    DevCmt_Txt->setEnabled(false);
}

void TCommentDlg::FormShow() {
    if (gCommentDlgCount >= 1 && DeviceListBox->count() > 0) {
        DeviceListBox->setCurrentRow(0);
        DeviceListBoxClick();
    } else {
        Disable();
    }
}

void TCommentDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TCommentDlg::DeviceListBoxClick() {
    const QListWidgetItem* item = DeviceListBox->currentItem();
    int list = -1, number = -1;
    if (!item || !ParseDeviceName(item->text().toStdString(), list, number)) {
        Disable();
        return;
    }
    if (number > DeviceLimitOf(gQel.Family, kCommentLetters[list])) {
        Disable();
        ShowMsg(kMsgBadDevice);
        return;
    }
    letter_ = list;
    number_ = number;
    accepted_ = QString::fromStdString(GetDeviceComment(kCommentLetters[list], number));
    DevCmt_Txt->setEnabled(true);
    DevCmt_Txt->setText(accepted_);
    DevCmt_Txt->setFocus();
}

void TCommentDlg::DevCmt_TxtEdited(const QString& text) {
    if (letter_ < 0) return;
    const std::string bytes = text.toStdString();
    if (!CommentAcceptable(bytes, kDeviceCommentMaxBytes)) {
        // Refused whole: the stored comment and the field stay as they were.
        const int cursor = std::min(DevCmt_Txt->cursorPosition(), static_cast<int>(accepted_.size()));
        DevCmt_Txt->setText(accepted_);
        DevCmt_Txt->setCursorPosition(cursor);
        ShowMsg(kMsgCommentTooLong, std::to_string(kDeviceCommentMaxBytes));
        return;
    }
    accepted_ = text;
    SetDeviceComment(DeviceNameOf(letter_, number_), bytes);
}

bool ShowDeviceCommentDialog(const std::vector<std::string>& names) {
    if (names.empty()) {
        ShowMsg(kMsgNoDevice);
        return false;
    }
    if (!_CommentDlg) _CommentDlg = new TCommentDlg;
    _CommentDlg->DeviceListBox->clear();
    _CommentDlg->DevCmt_Txt->clear();
    gCommentDlgCount = 0;
    for (const std::string& n : names) {
        _CommentDlg->DeviceListBox->addItem(QString::fromStdString(n));
        ++gCommentDlgCount;
    }
    _CommentDlg->exec();
    return true;
}
