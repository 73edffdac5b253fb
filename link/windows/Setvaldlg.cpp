#include "link/windows/Setvaldlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "link/online/Devicewrite.h"
#include "link/engine/Transdata.h"
#include "project/Msgtable.h"

TValSet* _ValSet = nullptr;

TValSet::~TValSet() {
    if (_ValSet == this) _ValSet = nullptr;
}

TValSet::TValSet(QWidget* parent) : QDialog(parent) {
    setObjectName("ValSet");
    setWindowTitle(QStringLiteral("设定当前值"));
    auto* grid = new QGridLayout(this);
    Label1 = new QLabel(QStringLiteral("装置名称"), this);
    DevSetText = new QLineEdit(this);
    DevSetText->setObjectName("DevSetText");
    Label2 = new QLabel(QStringLiteral("当前值"), this);
    CurValText = new QLineEdit(this);
    CurValText->setObjectName("CurValText");
    op16 = new QRadioButton(QStringLiteral("16 bits"), this);
    op16->setObjectName("op16");
    op16->setChecked(true);
    op32 = new QRadioButton(QStringLiteral("32 bits"), this);
    op32->setObjectName("op32");
    BOK = new QPushButton(QStringLiteral("确定"), this);
    BOK->setObjectName("BOK");
    BOK->setDefault(true);
    BCancel = new QPushButton(QStringLiteral("取消"), this);
    BCancel->setObjectName("BCancel");
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(DevSetText, 0, 1);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(CurValText, 1, 1);
    auto* bits = new QHBoxLayout;
    bits->addWidget(op16);
    bits->addWidget(op32);
    grid->addLayout(bits, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BOK);
    buttons->addWidget(BCancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    connect(BOK, &QPushButton::clicked, this, [this] { BOKClick(); });
    connect(BCancel, &QPushButton::clicked, this, [this] { BCancelClick(); });
    DevSetText->installEventFilter(this);
    CurValText->installEventFilter(this);
}

void TValSet::ShowEmpty() {
    DevSetText->clear();
    CurValText->clear();
    show();
    raise();
    activateWindow();
    DevSetText->setFocus();
}

void TValSet::ShowFor(const QString& device, const QString& value) {
    DevSetText->setText(device);
    CurValText->setText(value);
    open();
    CurValText->setFocus();
}

bool TValSet::eventFilter(QObject* watched, QEvent* event) {
    // Enter moves on from the device to the value and from the value to OK.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == DevSetText) {
                CurValText->setFocus();
                return true;
            }
            if (watched == CurValText) {
                BOK->setFocus();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool TValSet::BOKClick() {
    const qel::link::TSetValueWrite w = qel::link::CheckSetValue(
        DevSetText->text().toStdString(), CurValText->text().toStdString(), op32->isChecked());
    DevSetText->setText(QString::fromStdString(w.Device));
    CurValText->setText(QString::fromStdString(w.Value));
    if (w.Msg >= 0) {
        ShowMsg(w.Msg);
        return false;
    }
    if (!Trans || !Trans->MayPutRequests() || (OpenPort && !OpenPort())) return false;
    return qel::link::QueueSetValue(*Trans, w);
}
