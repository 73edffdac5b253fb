#include "shell/Machinesetfrm.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Dlgbuttons.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

TMachineSet* _MachineSet = nullptr;

int FileRegCountFor(int family, bool extraMemory) {
    switch (family) {
    case 1: return extraMemory ? 10000 + 22768 : 10000;
    case 2: return 1600;
    default: return 0;
    }
}

TMachineSet::TMachineSet(QWidget* parent) : QDialog(parent) {
    setObjectName("MachineSet");
    setWindowTitle(QStringLiteral("机型设置"));
    MachineType_Box = new QComboBox(this);
    MachineType_Box->setObjectName("MachineType_Box");
    for (const char* name : kFamilyNames) MachineType_Box->addItem(QString::fromUtf8(name));
    Capacity_Box = new QComboBox(this);
    Capacity_Box->setObjectName("Capacity_Box");
    for (const char* name : kCapacityNames) Capacity_Box->addItem(QString::fromUtf8(name));
    ExtraMemChk = new QCheckBox(QStringLiteral("外部记忆卡文件寄存器"), this);
    ExtraMemChk->setObjectName("ExtraMemChk");

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("机型"), MachineType_Box);
    form->addRow(QStringLiteral("程序容量"), Capacity_Box);
    form->addRow(ExtraMemChk);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    const TDlgButtons buttons = AddDlgButtons(this, layout);
    OkBtn = buttons.OkBtn;
    CancelBtn = buttons.CancelBtn;

    connect(OkBtn, &QPushButton::clicked, this, &TMachineSet::OkBtnClick);
    connect(MachineType_Box, &QComboBox::currentIndexChanged, this, &TMachineSet::MachineType_BoxChange);
}

TMachineSet::~TMachineSet() {
    if (_MachineSet == this) _MachineSet = nullptr;
}

void TMachineSet::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TMachineSet::FormShow() {
    MachineType_Box->setCurrentIndex(std::clamp(gQel.Family, 0, kModelFamilyCount - 1));
    Capacity_Box->setCurrentIndex(std::clamp(gQel.CapacityIndex, 0, kCapacityCount - 1));
    ExtraMemChk->setChecked(gQel.Family == 1 && gFileRegCount > 10000);
    MachineType_BoxChange();
}

void TMachineSet::MachineType_BoxChange() {
    const bool family1 = MachineType_Box->currentIndex() == 1;
    ExtraMemChk->setEnabled(family1);
    if (!family1) ExtraMemChk->setChecked(false);
}

void TMachineSet::ExtraMemChkClick() {
    // The card of the project's own family applies at once, as the model
    // setting applies it (values it would drop are asked about first); for
    // another family the box waits for OK.
    if (_QelMain && MachineType_Box->currentIndex() == gQel.Family)
        _QelMain->ApplyModelSetting(gQel.Family, gQel.CapacityIndex, ExtraMemChk->isChecked());
}

void TMachineSet::OkBtnClick() {
    if (!_QelMain) return;
    if (_QelMain->ApplyModelSetting(MachineType_Box->currentIndex(), Capacity_Box->currentIndex(),
                                    ExtraMemChk->isChecked()))
        accept();
}
