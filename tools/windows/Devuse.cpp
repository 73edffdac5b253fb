#include "tools/windows/Devuse.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "core/DeviceLimits.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderGrid.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"

TDevUsed* _DevUsed = nullptr;

TDevUsed::~TDevUsed() {
    if (_DevUsed == this) _DevUsed = nullptr;
}

namespace {
constexpr int kCharWidth = 8;
constexpr int kCharHeight = 20;
constexpr int kLadderView = kViewLadder;
}  // namespace

TUseMapImage::TUseMapImage(QWidget* parent) : QWidget(parent) {
    page_.fill(std::string(kUseMapColumns, ' '));
    setFixedSize(kUseMapColumns * kCharWidth + 4, kUseMapRows * kCharHeight + 4);
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPixelSize(13);
    setFont(f);
}

void TUseMapImage::SetPage(const TUseMapPage& page) {
    page_ = page;
    update();
}

void TUseMapImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(Qt::black);
    const int ascent = p.fontMetrics().ascent();
    for (int r = 0; r < kUseMapRows; ++r)
        for (int c = 0; c < kUseMapColumns; ++c) {
            const char ch = page_[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
            if (ch != ' ') p.drawText(c * kCharWidth + 2, r * kCharHeight + 2 + ascent, QString(QLatin1Char(ch)));
        }
}

void TUseMapImage::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    emit cellClicked((pos.y() - 2) / kCharHeight, (pos.x() - 2) / kCharWidth);
}

TDevUsed::TDevUsed(QWidget* parent) : QDialog(parent) {
    setObjectName("DevUsed");
    setWindowTitle(QStringLiteral("已使用装置窗口"));
    DevUseImage = new TUseMapImage(this);
    DevUseImage->setObjectName("DevUseImage");
    Label1 = new QLabel(QStringLiteral("装置名称"), this);
    DevSel = new QComboBox(this);
    DevSel->setObjectName("DevSel");
    for (const char* l : {"X", "Y", "M", "S", "T", "C", "D"}) DevSel->addItem(QString::fromLatin1(l));
    Label2 = new QLabel(QStringLiteral("装置范围"), this);
    prepage = new QPushButton(QStringLiteral("上页"), this);
    prepage->setObjectName("prepage");
    nextpage = new QPushButton(QStringLiteral("下页"), this);
    nextpage->setObjectName("nextpage");
    CancelBtn = new QPushButton(QStringLiteral("关闭"), this);
    CancelBtn->setObjectName("CancelBtn");
    DevUseStatus = new QStatusBar(this);
    DevUseStatus->setObjectName("DevUseStatus");
    DevUseStatus->setSizeGripEnabled(false);

    auto* controls = new QVBoxLayout;
    controls->addWidget(Label1);
    controls->addWidget(DevSel);
    controls->addWidget(Label2);
    controls->addWidget(prepage);
    controls->addWidget(nextpage);
    controls->addStretch(1);
    controls->addWidget(CancelBtn);
    auto* top = new QHBoxLayout;
    top->addWidget(DevUseImage);
    top->addLayout(controls);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(DevUseStatus);

    connect(DevSel, &QComboBox::currentIndexChanged, this, &TDevUsed::DevSelChange);
    connect(prepage, &QPushButton::clicked, this, &TDevUsed::prepageClick);
    connect(nextpage, &QPushButton::clicked, this, &TDevUsed::nextpageClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(DevUseImage, &TUseMapImage::cellClicked, this, &TDevUsed::ClickCell);
}

char TDevUsed::Letter() const {
    const QString t = DevSel->currentText();
    return t.isEmpty() ? 'X' : t.at(0).toLatin1();
}

int TDevUsed::Highest() const { return DeviceLimitOf(gQel.Family, Letter()); }

void TDevUsed::ShowDeviceType() {
    pageSize_ = UseMapPageSize(Letter());
    DrawUsedMap(Letter(), pageStart_ / pageSize_, Highest());
}

void TDevUsed::DrawUsedMap(char letter, int page, int highest) {
    std::vector<bool> used;
    if (gActiveView == kLadderView && gLadderRows) {
        DevUseStatus->showMessage(QString::fromStdString(gMsgTable.Get(18)));
        gLadderRowCount = FindLastUsedRow(gLadderRows, kLdbRowBytes, kLadderRows - 1);
        used = DevicesUsedInLadder(gLadderRows, gLadderRowCount, letter, highest);
    } else {
        DevUseStatus->showMessage(QString::fromStdString(gMsgTable.Get(19)));
        used = DevicesUsedInCode(gProgram, gProgramCapacity, letter, highest);
    }
    DevUseImage->SetPage(BuildUseMapPage(letter, page, highest, used));
}

void TDevUsed::DevSelChange() {
    pageStart_ = 0;
    ShowDeviceType();
}

void TDevUsed::prepageClick() {
    if (pageStart_ > 0) pageStart_ -= pageSize_;
    ShowDeviceType();
}

void TDevUsed::nextpageClick() {
    if (Highest() >= pageStart_ + pageSize_) pageStart_ += pageSize_;
    ShowDeviceType();
}

bool TDevUsed::ClickCell(int row, int column) {
    const int device = DeviceAtUseMapCell(Letter(), pageStart_ / pageSize_, Highest(), row, column);
    if (device < 0 || !gProgram) return false;
    const long step = FirstStepUsing(gProgram, gProgramCapacity, Letter(), device);
    return step >= 0 && JumpToStep && JumpToStep(step);
}

void TDevUsed::showEvent(QShowEvent* event) {
    // Every showing starts at the first page and draws it.
    pageStart_ = 0;
    ShowDeviceType();
    QDialog::showEvent(event);
}
