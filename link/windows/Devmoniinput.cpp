#include "link/windows/Devmoniinput.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "link/windows/Devmonidlg.h"
#include "platform/Messages.h"
#include "project/Msgtable.h"

TMoniInput* _MoniInput = nullptr;

TMoniInput::~TMoniInput() {
    if (_MoniInput == this) _MoniInput = nullptr;
}

TMoniInput::TMoniInput(QWidget* parent) : QDialog(parent) {
    setObjectName("DevMoniInput");
    setWindowTitle(QStringLiteral("装置监控输入"));
    resize(220, 134);
    auto* grid = new QGridLayout(this);
    DevName_Lab = new QLabel(QStringLiteral("装置名称&D"), this);
    DevInput = new QLineEdit(QStringLiteral(" "), this);
    DevInput->setObjectName("DevInput");
    DevName_Lab->setBuddy(DevInput);
    DevNum_Lab = new QLabel(QStringLiteral("装置个数&N"), this);
    DevNumber = new QLineEdit(QStringLiteral(" "), this);
    DevNumber->setObjectName("DevNumber");
    DevNum_Lab->setBuddy(DevNumber);
    BtnOk = new QPushButton(QStringLiteral("输入"), this);
    BtnOk->setObjectName("BtnOk");
    BtnOk->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("取消"), this);
    BtnCancel->setObjectName("BtnCancel");
    grid->addWidget(DevName_Lab, 0, 0);
    grid->addWidget(DevInput, 0, 1);
    grid->addWidget(DevNum_Lab, 1, 0);
    grid->addWidget(DevNumber, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnCancel);
    grid->addLayout(buttons, 2, 0, 1, 2);
    // Enter in either field is the default button; Escape rejects.
    connect(BtnOk, &QPushButton::clicked, this, [this] { BtnOkClick(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancelClick(); });
    connect(this, &QDialog::rejected, this, [this] {
        if (monitor_) monitor_->FillGrid();
        monitor_ = nullptr;
    });
}

void TMoniInput::OpenFor(TDevMoniDlg* monitor, const QString& name) {
    monitor_ = monitor;
    DevInput->setText(name);
    DevNumber->setText(QStringLiteral("1"));
    open();
    DevInput->setFocus();
    DevInput->deselect();
    DevInput->setCursorPosition(static_cast<int>(name.size()));
}

void TMoniInput::BtnOkClick() {
    TDevMoniDlg* m = monitor_;
    if (m) {
        int current = m->CurrentRow();
        std::vector<std::string> before;
        for (const auto& r : m->List().Rows) before.push_back(r.Name);
        const qel::link::TMsgBoxes boxes =
            m->List().AddDevices(current, DevInput->text().toStdString(), DevNumber->text().toStdString(), &current);
        for (const auto& box : boxes) {
            std::string text;
            for (int id : box) text += gMsgTable.Get(id);
            qel::ShowMessage(text, qel::MsgKind::Warning);
        }
        std::vector<std::string> after;
        for (const auto& r : m->List().Rows) after.push_back(r.Name);
        if (after != before) m->ListChanged();
        m->SetCurrentRow(current);
    }
    // The button closes the dialog also after a message.
    monitor_ = nullptr;
    accept();
}

void TMoniInput::BtnCancelClick() { reject(); }
