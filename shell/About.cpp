#include "shell/About.h"

#include <unistd.h>

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Dlgbuttons.h"
#include "project/Qelglobals.h"

TAbout* _About = nullptr;

TAbout::TAbout(QWidget* parent) : QDialog(parent) {
    setObjectName("About");
    setWindowTitle(QStringLiteral("关于"));
    auto* name = new QLabel(QStringLiteral("<b>QEL</b><br>PLC 程序编辑、模拟与传输"), this);
    name->setAlignment(Qt::AlignCenter);
    Version_Lab = new QLabel(this);
    Version_Lab->setObjectName("Version_Lab");
    Version_Lab->setAlignment(Qt::AlignCenter);
    Version_Lab->setText(QStringLiteral("Version %1.%2  (Qt %3)")
                             .arg(kProgramVersion / 100)
                             .arg(kProgramVersion % 100, 2, 10, QLatin1Char('0'))
                             .arg(QString::fromLatin1(qVersion())));
    Memory_Lab = new QLabel(this);
    Memory_Lab->setObjectName("Memory_Lab");
    Memory_Lab->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(Version_Lab);
    layout->addWidget(Memory_Lab);
    OkBtn = AddDlgButtons(this, layout, /*withCancel=*/false).OkBtn;
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
}

TAbout::~TAbout() {
    if (_About == this) _About = nullptr;
}

void TAbout::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TAbout::FormShow() {
    const long page = sysconf(_SC_PAGESIZE);
    const long total = sysconf(_SC_PHYS_PAGES);
    const long avail = sysconf(_SC_AVPHYS_PAGES);
    if (page > 0 && total > 0 && avail >= 0) {
        const long long mb = 1024LL * 1024LL;
        Memory_Lab->setText(QStringLiteral("可用内存: %1 MB / 共 %2 MB")
                                .arg(static_cast<long long>(avail) * page / mb)
                                .arg(static_cast<long long>(total) * page / mb));
    } else {
        Memory_Lab->clear();
    }
}
