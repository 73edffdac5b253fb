#include "tools/windows/Printfrm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/Messages.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "shell/Printtarget.h"
#include "tools/windows/Preview.h"

TPrintForm* PrintForm = nullptr;

namespace {

constexpr int kMsgBadRange = 141;  // "Invalid print range."

bool ReadPage(const QLineEdit* edit, int& value) {
    bool ok = false;
    value = edit->text().trimmed().toInt(&ok);
    return ok;
}

}  // namespace

std::map<int, TPrintForm::SourceMaker>& TPrintForm::Makers() {
    static std::map<int, SourceMaker> makers;
    return makers;
}

void TPrintForm::SetSourceMaker(int view, SourceMaker maker) { Makers()[view] = std::move(maker); }

std::unique_ptr<TPageSource> TPrintForm::MakeSource(int view) {
    auto it = Makers().find(view);
    return it != Makers().end() && it->second ? it->second() : nullptr;
}

bool TPrintForm::CanPrint(int view) {
    const std::unique_ptr<TPageSource> source = MakeSource(view);
    if (!source) return false;
    const TPageFrame frame = DefaultFrame(source->Landscape());
    return source->PageCount(PrintGeometry(frame.paint.size(), frame.dpi, 0, source->Landscape()), {}) > 0;
}

TPrintForm::TPrintForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PrintForm"));
    setWindowTitle(QStringLiteral("打印"));
    PrnItemGp = new QGroupBox(QStringLiteral("打印选项"), this);
    DevCmtPrnCheck = new QCheckBox(QStringLiteral("打印装置注释"), PrnItemGp);
    BkCmtPrnCheck = new QCheckBox(QStringLiteral("打印区段注释"), PrnItemGp);
    OutCmtPrnCheck = new QCheckBox(QStringLiteral("打印输出注释"), PrnItemGp);
    TitlePrnChk = new QCheckBox(QStringLiteral("程序标题"), PrnItemGp);
    auto* items = new QVBoxLayout(PrnItemGp);
    for (QCheckBox* c : {DevCmtPrnCheck, BkCmtPrnCheck, OutCmtPrnCheck, TitlePrnChk}) items->addWidget(c);

    auto* type = new QGroupBox(QStringLiteral("打印方式"), this);
    PrnTypeAll = new QRadioButton(QStringLiteral("全部打印"), type);
    PrnTypePart = new QRadioButton(QStringLiteral("部份打印"), type);
    auto* typeLayout = new QVBoxLayout(type);
    typeLayout->addWidget(PrnTypeAll);
    typeLayout->addWidget(PrnTypePart);

    auto* ratio = new QGroupBox(QStringLiteral("打印比例"), this);
    auto* ratioLayout = new QVBoxLayout(ratio);
    const char* const ratios[3] = {"150%", "100%", "75%"};
    for (int k = 0; k < 3; ++k) {
        PrnRatio[k] = new QRadioButton(QString::fromLatin1(ratios[k]), ratio);
        ratioLayout->addWidget(PrnRatio[k]);
    }

    auto* colour = new QGroupBox(QStringLiteral("打印颜色"), this);
    PrnColorBw = new QRadioButton(QStringLiteral("黑白"), colour);
    PrnColorColour = new QRadioButton(QStringLiteral("彩色"), colour);
    auto* colourLayout = new QVBoxLayout(colour);
    colourLayout->addWidget(PrnColorBw);
    colourLayout->addWidget(PrnColorColour);

    PartPrnGp = new QGroupBox(QStringLiteral("打印范围"), this);
    StartPage = new QLineEdit(PartPrnGp);
    EndPage = new QLineEdit(PartPrnGp);
    auto* range = new QGridLayout(PartPrnGp);
    range->addWidget(new QLabel(QStringLiteral("起始页"), PartPrnGp), 0, 0);
    range->addWidget(StartPage, 0, 1);
    range->addWidget(new QLabel(QStringLiteral("结束页"), PartPrnGp), 1, 0);
    range->addWidget(EndPage, 1, 1);

    Print = new QPushButton(QStringLiteral("打印"), this);
    Print->setDefault(true);
    Preview = new QPushButton(QStringLiteral("预览"), this);
    PdfButton = new QPushButton(QStringLiteral("PDF..."), this);
    Cancel = new QPushButton(QStringLiteral("取消"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(PrnItemGp, 0, 0);
    grid->addWidget(type, 0, 1);
    grid->addWidget(ratio, 1, 0);
    grid->addWidget(colour, 1, 1);
    grid->addWidget(PartPrnGp, 2, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {Print, Preview, PdfButton, Cancel}) buttons->addWidget(b);
    grid->addLayout(buttons, 3, 0, 1, 2);

    connect(PrnTypeAll, &QRadioButton::clicked, this, &TPrintForm::PrnTypeClick);
    connect(PrnTypePart, &QRadioButton::clicked, this, &TPrintForm::PrnTypeClick);
    connect(Print, &QPushButton::clicked, this, [this] { PrintClick(); });
    connect(Preview, &QPushButton::clicked, this, &TPrintForm::PreviewClick);
    connect(PdfButton, &QPushButton::clicked, this, [this] {
        if (!TakeIn()) return;
        const QString path = AskPdfFile ? AskPdfFile() : QString();
        if (!path.isEmpty() && PrintToPdf(path) > 0) close();
    });
    connect(Cancel, &QPushButton::clicked, this, &QDialog::close);

    const TPrintHooks desktop = DefaultPrintHooks(this);
    HasPrinter = desktop.HasPrinter;
    AskPdfFile = desktop.AskPdfFile;
    AskPrinter = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, this);
        return dialog.exec() == QDialog::Accepted;
    };
    ShowFor(kViewLadder);
}

TPrintForm::~TPrintForm() {
    if (PrintForm == this) PrintForm = nullptr;
}

void TPrintForm::ShowFor(int view) {
    view_ = view;
    source_ = MakeSource(view);
    const bool list = view == kViewInstList || view == kViewInnerInstList;
    const bool chart = view == kViewSfc;
    for (QCheckBox* c : {DevCmtPrnCheck, BkCmtPrnCheck, OutCmtPrnCheck}) c->setChecked(false);
    DevCmtPrnCheck->setEnabled(!list);
    BkCmtPrnCheck->setEnabled(!list && !chart);
    OutCmtPrnCheck->setEnabled(!list && !chart);
    for (QRadioButton* r : PrnRatio) r->setEnabled(!list);
    PrnRatio[0]->setChecked(true);
    PrnTypeAll->setChecked(true);
    PrnColorBw->setChecked(true);
    StartPage->clear();
    EndPage->clear();
    PartPrnGp->setEnabled(false);
}

void TPrintForm::PrnTypeClick() {
    const bool part = PrnTypePart->isChecked();
    PartPrnGp->setEnabled(part);
    if (part && TakeIn()) {
        StartPage->setText(QStringLiteral("1"));
        EndPage->setText(QString::number(CountPages()));
    }
}

int TPrintForm::CountPages() {
    // Taken afresh: the view's window may have closed or changed since the
    // dialog opened (it is modeless).
    source_ = MakeSource(view_);
    if (!source_) return 0;
    TPrintSettings s;
    s.deviceComments = DevCmtPrnCheck->isChecked();
    s.blockComments = BkCmtPrnCheck->isChecked();
    for (int k = 0; k < 3; ++k)
        if (PrnRatio[k]->isChecked()) s.ratio = k;
    const TPageFrame frame = DefaultFrame(source_->Landscape());
    return source_->PageCount(PrintGeometry(frame.paint.size(), frame.dpi, s.ratio, source_->Landscape()), s);
}

bool TPrintForm::ReadSettings(TPrintSettings& s) {
    s = {};
    s.deviceComments = DevCmtPrnCheck->isChecked();
    s.blockComments = BkCmtPrnCheck->isChecked();
    s.rungComments = OutCmtPrnCheck->isChecked();
    s.titlePage = TitlePrnChk->isChecked();
    s.colour = PrnColorColour->isChecked();
    for (int k = 0; k < 3; ++k)
        if (PrnRatio[k]->isChecked()) s.ratio = k;
    s.partRange = PrnTypePart->isChecked();
    if (!s.partRange) return true;
    // A range must be two page numbers within the document, first to last;
    // anything else is refused before a page is written.
    const int pages = CountPages();
    if (!ReadPage(StartPage, s.startPage) || !ReadPage(EndPage, s.endPage) || s.startPage < 1 ||
        s.endPage < s.startPage || s.endPage > pages) {
        qel::ShowMessage(gMsgTable.Get(kMsgBadRange), qel::MsgKind::Warning);
        return false;
    }
    return true;
}

TTitleInfo TPrintForm::TitleInfo() const {
    TTitleInfo info;
    info.title = gQel.Title;
    info.fileName = QFileInfo(QString::fromStdString(gQel.ProgramFileName)).fileName().toStdString();
    info.company = gQel.Company;
    info.designer = gQel.Designer;
    info.date = QDate::currentDate();
    return info;
}

TPrintDocument TPrintForm::Document(const TPrintSettings& settings) const {
    TPrintDocument doc;
    doc.source = source_.get();
    doc.settings = settings;
    doc.info = TitleInfo();
    return doc;
}

TPageFrame TPrintForm::DefaultFrame(bool landscape) {
    const QPageLayout layout = PdfPageLayout(landscape);
    return {layout.fullRectPixels(kPdfDpi).size(), layout.paintRectPixels(kPdfDpi), kPdfDpi};
}

int TPrintForm::PrintToPdf(const QString& path) {
    TPrintSettings s;
    source_ = MakeSource(view_);
    if (!source_ || !ReadSettings(s)) return -1;
    const TPrintDocument doc = Document(s);
    return PrintPdfPages(path, source_->Landscape(), [&doc](QPagedPaintDevice& d) { return PrintDocument(d, doc); });
}

int TPrintForm::PrintClick() {
    if (!TakeIn()) return -1;
    TPrintSettings s;
    source_ = MakeSource(view_);
    if (!source_ || !ReadSettings(s)) return -1;
    // Without a printer the pages are offered as a PDF file; the window stays
    // open over a run that produced nothing.
    const TPrintDocument doc = Document(s);
    const int sheets = PrintPages({HasPrinter, AskPdfFile, AskPrinter}, source_->Landscape(),
                                  [&doc](QPagedPaintDevice& d) { return PrintDocument(d, doc); });
    if (sheets > 0) close();
    return sheets;
}

void TPrintForm::PreviewClick() {
    if (!TakeIn()) return;
    TPrintSettings s;
    source_ = MakeSource(view_);
    if (!source_ || !ReadSettings(s) || !PreviewForm) return;
    close();
    const TPrintDocument doc = Document(s);
    PreviewForm->Open(doc, DefaultFrame(source_->Landscape()), s.partRange ? s.startPage - 1 : 0, source_);
    PreviewForm->open();
}
