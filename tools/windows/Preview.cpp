#include "tools/windows/Preview.h"

#include <algorithm>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "tools/windows/Printfrm.h"

TPreviewForm* PreviewForm = nullptr;

TPreviewForm::~TPreviewForm() {
    if (PreviewForm == this) PreviewForm = nullptr;
}

namespace {
constexpr int kPortraitWidth = 425;  // a portrait page at 100 %
constexpr int kLandscapeWidth = 585;
constexpr int kZooms[] = {50, 75, 100, 150, 200, 300, 400};
// The page opens at the first zoom whose body text is at least this high on
// screen (pixels): device names and comments read without zooming in.
constexpr int kReadableTextPixels = 12;
}  // namespace

TPreviewForm::TPreviewForm(TPrintForm* print, QWidget* parent) : QDialog(parent), print_(print) {
    setObjectName(QStringLiteral("PreviewForm"));
    setWindowTitle(QStringLiteral("预览"));
    Page = new QLabel(this);
    Page->setAlignment(Qt::AlignCenter);
    Scroll = new QScrollArea(this);
    Scroll->setWidget(Page);
    Scroll->setWidgetResizable(true);
    Scroll->setBackgroundRole(QPalette::Dark);
    PrePage = new QPushButton(QStringLiteral("上页"), this);
    NextPage = new QPushButton(QStringLiteral("下页"), this);
    CurPageNum_Txt = new QLineEdit(this);
    PrnPageSum_Txt = new QLineEdit(this);
    for (QLineEdit* e : {CurPageNum_Txt, PrnPageSum_Txt}) {
        e->setReadOnly(true);
        e->setMaximumWidth(48);
    }
    Zoom = new QComboBox(this);
    for (int z : kZooms) Zoom->addItem(QStringLiteral("%1%").arg(z), z);
    Zoom->setCurrentIndex(2);
    PrintBtn = new QPushButton(QStringLiteral("打印"), this);
    PrintBtn->setDefault(true);
    Cancel = new QPushButton(QStringLiteral("关闭"), this);

    auto* bar = new QHBoxLayout;
    bar->addWidget(PrePage);
    bar->addWidget(NextPage);
    bar->addWidget(new QLabel(QStringLiteral("第"), this));
    bar->addWidget(CurPageNum_Txt);
    bar->addWidget(new QLabel(QStringLiteral("页"), this));
    bar->addWidget(new QLabel(QStringLiteral("共"), this));
    bar->addWidget(PrnPageSum_Txt);
    bar->addWidget(new QLabel(QStringLiteral("页"), this));
    bar->addStretch();
    bar->addWidget(Zoom);
    bar->addWidget(PrintBtn);
    bar->addWidget(Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(Scroll, 1);

    connect(PrePage, &QPushButton::clicked, this, &TPreviewForm::PrePageClick);
    connect(NextPage, &QPushButton::clicked, this, &TPreviewForm::NextPageClick);
    connect(Zoom, &QComboBox::currentIndexChanged, this, [this] { SetZoom(Zoom->currentData().toInt()); });
    connect(PrintBtn, &QPushButton::clicked, this, [this] {
        if (print_ && print_->PrintClick() > 0) close();
    });
    connect(Cancel, &QPushButton::clicked, this, &QDialog::close);
    resize(kPortraitWidth + 80, 585 + 90);  // until it opens over the frame
}

int TPreviewForm::SheetCount() const { return doc_.SheetCount(geometry_); }

int TPreviewForm::Sheet() const {
    // Page indexes count within the document (-1 the title page); sheets
    // count from the first sheet shown.
    const int first = doc_.Range(geometry_).first;
    return (doc_.settings.titlePage ? 1 : 0) + index_ - first;
}

void TPreviewForm::Open(const TPrintDocument& doc, const TPageFrame& frame, int pageIndex,
                        std::shared_ptr<TPageSource> source) {
    source_ = std::move(source);
    doc_ = doc;
    frame_ = frame;
    geometry_ = DocumentGeometry(doc_, frame_);
    index_ = doc_.settings.titlePage ? -1 : std::max(pageIndex, doc_.Range(geometry_).first);
    // Large: over the frame's work area (its editors' area), else the screen's.
    const auto* frameWindow = qobject_cast<const QMainWindow*>(parentWidget());
    const QWidget* area = frameWindow ? frameWindow->centralWidget() : nullptr;
    if (area && area->isVisible())
        setGeometry(QRect(area->mapToGlobal(QPoint(0, 0)), area->size()));
    else if (const QScreen* s = screen())
        setGeometry(s->availableGeometry());
    // The page itself as the printer gets it, scaled to a zoom at which its
    // body text reads.
    const int bodyPixels = geometry_.Pixels(geometry_.fontPoints);
    const int paperWidth = std::max(1, frame_.paper.width());
    int index = Zoom->count() - 1;
    for (int i = 0; i < Zoom->count(); ++i)
        if (bodyPixels * BaseWidth() * Zoom->itemData(i).toInt() / 100 >= kReadableTextPixels * paperWidth) {
            index = i;
            break;
        }
    {
        const QSignalBlocker block(Zoom);
        Zoom->setCurrentIndex(index);
    }
    zoom_ = Zoom->itemData(index).toInt();
    Render();
}

QImage TPreviewForm::RenderSheet(int sheet, QSize size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    PaintSheetImage(p, size, doc_, sheet, frame_);
    return image;
}

void TPreviewForm::SetZoom(int percent) {
    zoom_ = std::clamp(percent, 25, 400);
    Render();
}

int TPreviewForm::BaseWidth() const {
    return doc_.source && doc_.source->Landscape() ? kLandscapeWidth : kPortraitWidth;
}

void TPreviewForm::Render() {
    const int width = BaseWidth() * zoom_ / 100;
    const int height = frame_.paper.width() > 0 ? width * frame_.paper.height() / frame_.paper.width() : width;
    image_ = RenderSheet(Sheet(), QSize(width, height));
    Page->setPixmap(QPixmap::fromImage(image_));
    const auto [first, last] = doc_.Range(geometry_);
    CurPageNum_Txt->setText(index_ < 0 ? QString() : QString::number(index_ + 1));
    PrnPageSum_Txt->setText(QString::number(std::max(0, last - first + 1)));
    UpdateButtons();
}

void TPreviewForm::UpdateButtons() {
    const int sheet = Sheet();
    PrePage->setEnabled(sheet > 0);
    NextPage->setEnabled(sheet + 1 < SheetCount());
}

void TPreviewForm::PrePageClick() {
    if (Sheet() <= 0) return;
    const int first = doc_.Range(geometry_).first;
    index_ = index_ <= first ? -1 : index_ - 1;
    Render();
}

void TPreviewForm::NextPageClick() {
    if (Sheet() + 1 >= SheetCount()) return;
    index_ = index_ < 0 ? doc_.Range(geometry_).first : index_ + 1;
    Render();
}
