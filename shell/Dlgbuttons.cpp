#include "shell/Dlgbuttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

TDlgButtons AddDlgButtons(QDialog* dialog, QVBoxLayout* layout, bool withCancel) {
    auto* box = new QDialogButtonBox(dialog);
    TDlgButtons b;
    b.OkBtn = box->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    b.OkBtn->setObjectName("OkBtn");
    if (withCancel) {
        b.CancelBtn = box->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
        b.CancelBtn->setObjectName("CancelBtn");
        QObject::connect(b.CancelBtn, &QPushButton::clicked, dialog, &QDialog::reject);
    }
    layout->addWidget(box);
    return b;
}
