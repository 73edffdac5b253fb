#include "shell/Progfrm.h"

#include <algorithm>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

TProgBar* _ProgBar = nullptr;

TProgBar::TProgBar(QWidget* parent) : QDialog(parent) {
    setObjectName("ProgBar");
    setModal(false);
    setMinimumWidth(320);
    auto* layout = new QVBoxLayout(this);
    ProgBar = new QProgressBar(this);
    ProgBar->setObjectName("ProgBar");
    ProgBar->setTextVisible(false);
    Num_Lab = new QLabel("0%", this);
    Num_Lab->setObjectName("Num_Lab");
    Num_Lab->setAlignment(Qt::AlignCenter);
    Note_Lab = new QLabel(this);
    Note_Lab->setObjectName("Note_Lab");
    Note_Lab->setWordWrap(true);
    Note_Lab->hide();
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName("CancelBtn");
    CancelBtn->hide();
    layout->addWidget(ProgBar);
    layout->addWidget(Num_Lab);
    layout->addWidget(Note_Lab);
    layout->addWidget(CancelBtn, 0, Qt::AlignHCenter);
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        // Copied: the work may start another progress from its cancel.
        if (auto cancel = cancel_) cancel();
    });
}

TProgBar::~TProgBar() {
    if (_ProgBar == this) _ProgBar = nullptr;
}

void TProgBar::StartProgress(const QString& caption, int maximum, int step) {
    setWindowTitle(caption);
    ProgBar->setMinimum(0);
    ProgBar->setMaximum(maximum > 0 ? maximum : 0);
    ProgBar->setValue(0);
    Step = step;
    cancel_ = nullptr;
    CancelBtn->hide();
    show();
    UpdatePercent();
}

void TProgBar::EndProgress() {
    ending_ = true;
    close();
    ending_ = false;
}

void TProgBar::reject() {
    // Both the close button (through closeEvent) and Escape come here.
    if (!ending_ && isVisible() && !UserMayClose()) return;
    QDialog::reject();
}

bool TProgBar::UserMayClose() {
    if (!cancel_) return !WorkRuns || !WorkRuns();
    if (MayStopWork && !MayStopWork()) return false;
    // Copied: the work may start another progress from its cancel.
    if (auto cancel = cancel_) cancel();
    return true;
}

void TProgBar::SetCancel(std::function<void()> cancel) {
    cancel_ = std::move(cancel);
    CancelBtn->setVisible(static_cast<bool>(cancel_));
}

void TProgBar::UpdatePercent() {
    // A job with nothing to do (maximum 0) counts as complete rather than
    // dividing by zero.
    const long long max = ProgBar->maximum();
    const long long pos = ProgBar->value();
    const long long percent = max > 0 ? pos * 100 / max : 100;
    Num_Lab->setText(QString::number(percent) + "%");
}

void TProgBar::StepIt() {
    ProgBar->setValue(std::min(ProgBar->maximum(), ProgBar->value() + Step));
    UpdatePercent();
}


void TProgBar::SetNote(const QString& text) {
    Note_Lab->setText(text);
    Note_Lab->setVisible(!text.isEmpty());
}
