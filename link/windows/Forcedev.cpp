#include "link/windows/Forcedev.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "link/online/Devicewrite.h"
#include "link/engine/Transdata.h"
#include "project/Msgtable.h"

TDevForce* _DevForce = nullptr;

TDevForce::~TDevForce() {
    if (_DevForce == this) _DevForce = nullptr;
}

TDevForce::TDevForce(QWidget* parent) : QDialog(parent) {
    setObjectName("DevForce");
    setWindowTitle(QStringLiteral("装置强制ON/OFF "));
    resize(209, 123);
    auto* grid = new QGridLayout(this);
    Label1 = new QLabel(QStringLiteral("装置名称"), this);
    DevName = new QLineEdit(this);
    DevName->setObjectName("DevName");
    SetOn = new QRadioButton(QStringLiteral("强制 ON"), this);
    SetOn->setObjectName("SetOn");
    SetOn->setChecked(true);
    SetOff = new QRadioButton(QStringLiteral("强制 OFF"), this);
    SetOff->setObjectName("SetOff");
    SetOK = new QPushButton(QStringLiteral("确定"), this);
    SetOK->setObjectName("SetOK");
    SetOK->setDefault(true);
    SetCancel = new QPushButton(QStringLiteral("取消"), this);
    SetCancel->setObjectName("SetCancel");
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(DevName, 0, 1);
    grid->addWidget(SetOn, 1, 0);
    grid->addWidget(SetOff, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SetOK);
    buttons->addWidget(SetCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(SetOK, &QPushButton::clicked, this, [this] { SetOKClick(); });
    connect(SetCancel, &QPushButton::clicked, this, [this] { SetCancelClick(); });
    connect(SetOn, &QRadioButton::clicked, this, [this] { SetOnClick(); });
    connect(SetOff, &QRadioButton::clicked, this, [this] { SetOffClick(); });
}

void TDevForce::SetOnClick() {
    SetOn->setChecked(true);
    SetOff->setChecked(false);
}

void TDevForce::SetOffClick() {
    SetOff->setChecked(true);
    SetOn->setChecked(false);
}

bool TDevForce::SetOKClick() {
    std::uint16_t address = 0;
    std::string checked;
    const bool ok = qel::link::CheckForceDevice(DevName->text().toStdString(), address, &checked);
    DevName->setText(QString::fromStdString(checked));
    if (!ok) {
        ShowMsg(qel::link::kMsgInvalid);
        return false;
    }
    if (!Trans || !Trans->MayPutRequests() || (OpenPort && !OpenPort())) return false;
    return Trans->QueueDeviceWrite(address, SetOn->isChecked() ? 0xFF00 : 0x0000, 0, 5);
}
