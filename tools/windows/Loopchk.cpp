#include "tools/windows/Loopchk.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>

#include "project/Qelglobals.h"
#include "tools/check/Doublecoil.h"

TDLChkFrm* _DLChkFrm = nullptr;

TDLChkFrm::~TDLChkFrm() {
    if (_DLChkFrm == this) _DLChkFrm = nullptr;
}

TDLChkFrm::TDLChkFrm(QWidget* parent) : QDialog(parent) {
    setObjectName("DLChkFrm");
    setWindowTitle(QStringLiteral("双回路检查"));
    auto* kinds = new QGroupBox(QStringLiteral("检查命令"), this);
    auto* grid = new QHBoxLayout(kinds);
    QCheckBox** boxes[] = {&Chk1, &Chk2, &Chk3, &Chk4, &Chk5, &Chk6};
    const char* names[] = {"OUT", "CNT", "TMR", "DCNT", "SET", "RST"};
    for (int i = 0; i < 6; ++i) {
        *boxes[i] = new QCheckBox(QString::fromLatin1(names[i]), kinds);
        (*boxes[i])->setObjectName(QStringLiteral("Chk%1").arg(i + 1));
        grid->addWidget(*boxes[i]);
    }
    Chkstart = new QPushButton(QStringLiteral("确定"), this);
    Chkstart->setObjectName("Chkstart");
    Chkstart->setDefault(true);
    Chkcancel = new QPushButton(QStringLiteral("取消"), this);
    Chkcancel->setObjectName("Chkcancel");
    auto* out = new QGroupBox(QStringLiteral("输出窗口"), this);
    auto* outLayout = new QVBoxLayout(out);
    Chkout = new QPlainTextEdit(out);
    Chkout->setObjectName("Chkout");
    Chkout->setReadOnly(true);
    Chkout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Chkout->viewport()->installEventFilter(this);
    outLayout->addWidget(Chkout);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Chkstart);
    buttons->addWidget(Chkcancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(kinds);
    layout->addLayout(buttons);
    layout->addWidget(out, 1);
    resize(420, 360);

    connect(Chkstart, &QPushButton::clicked, this, &TDLChkFrm::ChkstartClick);
    connect(Chkcancel, &QPushButton::clicked, this, &TDLChkFrm::ChkcancelClick);
}

void TDLChkFrm::ChkstartClick() {
    // A report of older code would lead its double-clicks to other steps.
    Chkout->clear();
    if (TakeInEditors && !TakeInEditors()) return;
    TDoubleCoilKinds kinds;
    kinds.out = Chk1->isChecked();
    kinds.cnt = Chk2->isChecked();
    kinds.tmr = Chk3->isChecked();
    kinds.dcnt = Chk4->isChecked();
    kinds.set = Chk5->isChecked();
    kinds.rst = Chk6->isChecked();
    if (!kinds.Any() || !gProgram) return;
    QStringList lines;
    for (const std::string& line : FindDoubleCoils(gProgram, gProgramCapacity, gQel.Family, kinds))
        lines << QString::fromStdString(line);
    Chkout->setPlainText(lines.join(QLatin1Char('\n')));
}

void TDLChkFrm::ChkcancelClick() {
    for (QCheckBox* box : {Chk1, Chk2, Chk3, Chk4, Chk5, Chk6}) box->setChecked(false);
    Chkout->clear();
    reject();
}

void TDLChkFrm::ProjectReplaced() { Chkout->clear(); }

bool TDLChkFrm::JumpToLine(int line) {
    const QTextBlock block = Chkout->document()->findBlockByNumber(line);
    if (!block.isValid()) return false;
    const long step = StepOfReportLine(block.text().toStdString());
    return step >= 0 && JumpToStep && JumpToStep(step);
}

bool TDLChkFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Chkout->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* me = static_cast<QMouseEvent*>(event);
        JumpToLine(Chkout->cursorForPosition(me->position().toPoint()).blockNumber());
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
