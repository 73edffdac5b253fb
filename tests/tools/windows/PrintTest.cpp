// Printing as a user prints, read back from PDF with the poppler tools.
#include <filesystem>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "core/ProgramImage.h"
#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/render/Ladderpainter.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/window/Sfcwin.h"
#include "tests/shell/FrameFixture.h"
#include "tests/ladder/model/IlProgram.h"
#include "tests/tools/windows/PdfProbe.h"
#include "tools/windows/Devcomment.h"
#include "tools/windows/Preview.h"
#include "tools/windows/Printfrm.h"
#include "tools/render/Printpages.h"
#include "tools/windows/Toolsinstall.h"

namespace fs = std::filesystem;

namespace {

using qel::test::Dark;
using qel::test::PdfImage;
using qel::test::PdfPages;
using qel::test::PdfText;

class PrintTest : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        RegisterToolForms();
        ASSERT_TRUE(Start());
        InstallInstList(frame_.get());
        InstallLadder(frame_.get());
        InstallSfc(frame_.get());
        InstallTools(frame_.get());
        ASSERT_NE(PrintForm, nullptr);
        ASSERT_NE(PreviewForm, nullptr);
        PrintForm->HasPrinter = [] { return false; };
    }
    // A program of `rungs` rungs "LD Xn / OUT Yn" opened in the ladder window.
    TLDB* LadderOf(int rungs) {
        frame_->NewClick();
        std::vector<std::string> lines;
        for (int k = 0; k < rungs; ++k) {
            lines.push_back("LD X" + std::to_string(k % 8));
            lines.push_back("OUT Y" + std::to_string(k % 8));
        }
        lines.push_back("END");
        const std::vector<std::uint8_t> code = qel::test::AssembleLines(lines);
        std::copy(code.begin(), code.end(), gProgram);
        LocateProgramEnd();
        TLDB* ladder = OpenLadderWindow(frame_.get());
        EXPECT_TRUE(frame_->RunCommand("MmCodeToLad"));
        return ladder;
    }
    fs::path Pdf(const char* name) { return projects_ / name; }
    // Prints with the dialog's settings to a PDF through its PDF path; the
    // file holds as many pages as the print run reports.
    static int ToPdf(const fs::path& path) {
        const int pages = PrintForm->PrintToPdf(QString::fromStdString(path.string()));
        EXPECT_EQ(pages < 0 ? pages : PdfPages(path), pages) << path;
        return pages;
    }
    // Prints the active view to a PDF with the dialog as it opens.
    static int PrintPdf(const fs::path& path) {
        PrintForm->ShowFor(gActiveView);
        return ToPdf(path);
    }
    // Page `page` of the PDF holds every one of the texts.
    static void ExpectTexts(const fs::path& pdf, int page, std::initializer_list<QString> texts) {
        const QString text = PdfText(pdf, page);
        for (const QString& t : texts) EXPECT_TRUE(text.contains(t)) << t.toStdString() << " in " << text.toStdString();
    }
};

// The page of a 4800 x 6800 printer at "100%": PW 192, PH0 188, margins 480 and 340.
QImage LadderPage(const TLadderPaintView& view, TLadderPageOptions o, std::int32_t first, std::int32_t last) {
    QImage image(4800, 6800, QImage::Format_RGB32);
    image.fill(Qt::white);
    o.page = image.size();
    o.cellWidth = 192;
    o.cellHeight = 188;
    o.fontPixels = 40;
    o.rowsPerPage = 30;
    QPainter p(&image);
    DrawLadderPage(p, view, o, first, last);
    return image;
}

void PutCell(int row, int col, std::uint8_t type, std::uint16_t number) {
    std::uint8_t* c = gSfcGrid + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
    c[0] = type;
    c[1] = number & 0xFF;
    c[2] = number >> 8;
}

int CountRed(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c(image.pixel(x, y));
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++n;
        }
    return n;
}

}  // namespace

TEST_F(PrintTest, LadderPageLaysRowsOutFromTheMarginWithThePrintCell) {
    TLDB* ladder = LadderOf(3);
    ASSERT_NE(ladder, nullptr);
    // A copy of the ladder with a block-comment row between the first two rungs.
    std::vector<std::uint8_t> grid(gLadderRows, gLadderRows + 10 * kLdbRowBytes);
    grid.insert(grid.begin() + kLdbRowBytes, kLdbRowBytes, 0);
    SetBlockCommentRow(grid.data() + kLdbRowBytes, "MOTORS MOTORS MOTORS");
    TLadderPaintView view = ladder->PaintView();
    view.grid = grid.data();
    view.capacity = 10;

    // Rail from the top margin; the first contact's wire on the element line
    // 434 = 340 + 188 / 2, open between its bars; the next rung drawn where
    // the left-out comment row would have been.
    QImage page = LadderPage(view, {}, 0, 3);
    EXPECT_GT(Dark(page, QRect(478, 345, 5, 600)), 500);
    EXPECT_EQ(Dark(page, QRect(478, 300, 5, 35)), 0);
    EXPECT_GT(Dark(page, QRect(490, 432, 50, 5)), 40);
    EXPECT_EQ(Dark(page, QRect(574, 430, 4, 8)), 0);
    EXPECT_GT(Dark(page, QRect(490, 340 + 188 + 92, 50, 5)), 40);
    EXPECT_EQ(CountRed(page), 0);

    // Block comments kept, in colour: the comment takes the second row.
    TLadderPageOptions o;
    o.blockComments = true;
    o.colour = true;
    page = LadderPage(view, o, 0, 3);
    EXPECT_GT(CountRed(page.copy(480, 528, 2400, 188)), 20);
    EXPECT_EQ(Dark(page, QRect(490, 340 + 188 + 92, 50, 5)), 0);
    EXPECT_GT(Dark(page, QRect(490, 340 + 376 + 92, 50, 5)), 40);
    // Black and white prints the comment black.
    o.colour = false;
    EXPECT_EQ(CountRed(LadderPage(view, o, 0, 3)), 0);

    // Device comments: rows twice as high, the element line still PH0 / 2 down.
    o = {};
    o.deviceComments = true;
    page = LadderPage(view, o, 0, 3);
    EXPECT_GT(Dark(page, QRect(490, 432, 50, 5)), 40);
    EXPECT_EQ(Dark(page, QRect(490, 340 + 188 + 92, 50, 5)), 0);
    EXPECT_GT(Dark(page, QRect(490, 340 + 376 + 92, 50, 5)), 40);
}

TEST_F(PrintTest, LadderPrintsToPdfPageByPageWithHeaders) {
    TLDB* ladder = LadderOf(100);
    ASSERT_NE(ladder, nullptr);
    const int rows = ladder->Edit().LastRow() + 1;
    ASSERT_GE(rows, 100);
    ASSERT_TRUE(frame_->MmPrn->isEnabled());

    // "100%": 30 rows a page.
    const fs::path pdf = Pdf("ladder.pdf");
    PrintForm->ShowFor(gActiveView);
    PrintForm->PrnRatio[1]->setChecked(true);
    const int pages = (rows + 29) / 30;
    ASSERT_EQ(ToPdf(pdf), pages);
    ExpectTexts(pdf, 1, {"[Ladder Diagram]", QStringLiteral("Page: 1/%1").arg(pages), "X0"});

    // Page 1 at a quarter of its pixels: the rail from the top margin and the
    // first contact's wire, open between its bars, at the print run's cell size.
    const TPageFrame frame = TPrintForm::DefaultFrame(false);
    const TPageGeometry g = PrintGeometry(frame.paint.size(), frame.dpi, 1);
    const QImage image = PdfImage(pdf, 1, frame.paper.width() / 4, frame.paper.height() / 4);
    const QPoint rail((frame.paint.x() + g.page.width() / 10) / 4, (frame.paint.y() + g.page.height() / 20) / 4);
    const int line = (g.page.height() / 20 + g.cellHeight / 2) / 4 + frame.paint.y() / 4, cw = g.cellWidth / 4;
    EXPECT_GT(Dark(image, QRect(rail.x() - 1, rail.y() + 5, 3, 400)), 300);
    EXPECT_GT(Dark(image, QRect(rail.x() + 2, line - 1, cw / 3, 3)), cw / 4);
    EXPECT_EQ(Dark(image, QRect(rail.x() + cw / 2 - 1, line - 1, 3, 3)), 0);

    // Device comments halve the rows of a page; a part range prints its pages
    // with the range's end in the header; a title page comes first.
    PrintForm->ShowFor(gActiveView);
    PrintForm->PrnRatio[1]->setChecked(true);
    PrintForm->DevCmtPrnCheck->setChecked(true);
    ASSERT_EQ(ToPdf(pdf), (rows + 14) / 15);
    PrintForm->ShowFor(gActiveView);
    PrintForm->PrnTypePart->click();
    EXPECT_EQ(PrintForm->EndPage->text(), QString::number((rows + 19) / 20));
    PrintForm->StartPage->setText(QStringLiteral("2"));
    PrintForm->EndPage->setText(QStringLiteral("3"));
    PrintForm->TitlePrnChk->setChecked(true);
    gQel.Title = "Packing line";
    ASSERT_EQ(ToPdf(pdf), 3);
    ExpectTexts(pdf, 1, {"Packing line"});
    ExpectTexts(pdf, 2, {"Page: 2/3"});
    ExpectTexts(pdf, 3, {"Page: 3/3"});
    PrintForm->TitlePrnChk->setChecked(false);

    // A range outside the document is refused with a message; nothing is written.
    PrintForm->EndPage->setText(QStringLiteral("99"));
    const fs::path refused = Pdf("refused.pdf");
    EXPECT_LT(ToPdf(refused), 0);
    EXPECT_FALSE(fs::exists(refused));
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(141));
}

TEST_F(PrintTest, InstructionListAndDeviceCommentsPrintToPdf) {
    LadderOf(60);  // 121 instructions
    ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
    ASSERT_NE(_Inst, nullptr);
    ASSERT_EQ(gActiveView, 1);
    ASSERT_TRUE(frame_->MmPrn->isEnabled());
    const fs::path list = Pdf("list.pdf");
    ASSERT_EQ(PrintPdf(list), 3);  // 53 instructions a page
    ExpectTexts(list, 1, {"[Inst. Diagram]", "LD"});
    ExpectTexts(list, 3, {"END"});

    ASSERT_TRUE(SetDeviceComment("X0", "Start button"));
    ASSERT_TRUE(frame_->RunCommand("MmCmtWin"));
    ASSERT_NE(_DevCom, nullptr);
    ASSERT_EQ(gActiveView, TDevCom::kView);
    const int rows = _DevCom->PrintRowCount();
    ASSERT_GT(rows, 40);
    const fs::path comments = Pdf("comments.pdf");
    ASSERT_EQ(PrintPdf(comments), (rows + 39) / 40);
    ExpectTexts(comments, 1, {"Start button", "Page: 1/"});
}

TEST_F(PrintTest, PreviewShowsThePdfPagesAndTurnsThem) {
    LadderOf(50);
    PrintForm->ShowFor(gActiveView);
    PrintForm->TitlePrnChk->setChecked(true);
    PrintForm->OutCmtPrnCheck->setChecked(true);
    const fs::path pdf = Pdf("preview.pdf");
    const int sheets = ToPdf(pdf);
    ASSERT_EQ(sheets, 1 + 3);  // the title page, then 50 rows at 20 a page

    PrintForm->PreviewClick();
    ASSERT_TRUE(PreviewForm->isVisible());
    // Large, over the frame's work area, and at a zoom whose body text reads:
    // the page's 6-point text at least 12 pixels high on the screen.
    EXPECT_EQ(PreviewForm->geometry(),
              QRect(frame_->MdiArea->mapToGlobal(QPoint(0, 0)), frame_->MdiArea->size()));
    const TPageFrame paper = TPrintForm::DefaultFrame(false);
    const TPageGeometry g = PrintGeometry(paper.paint.size(), paper.dpi, 0);
    EXPECT_GE(g.Pixels(g.fontPoints) * PreviewForm->PageImage().width() / paper.paper.width(), 12);
    EXPECT_EQ(PreviewForm->PageIndex(), -1);
    EXPECT_FALSE(PreviewForm->PrePage->isEnabled());
    EXPECT_TRUE(PreviewForm->NextPage->isEnabled());
    EXPECT_EQ(PreviewForm->PrnPageSum_Txt->text(), QStringLiteral("3"));
    QTest::mouseClick(PreviewForm->NextPage, Qt::LeftButton);
    EXPECT_EQ(PreviewForm->PageIndex(), 0);
    EXPECT_EQ(PreviewForm->CurPageNum_Txt->text(), QStringLiteral("1"));
    EXPECT_TRUE(PreviewForm->PrePage->isEnabled());
    QTest::mouseClick(PreviewForm->PrePage, Qt::LeftButton);
    EXPECT_EQ(PreviewForm->PageIndex(), -1);
    for (int k = 0; k < 3; ++k) QTest::mouseClick(PreviewForm->NextPage, Qt::LeftButton);
    EXPECT_EQ(PreviewForm->PageIndex(), 2);
    EXPECT_FALSE(PreviewForm->NextPage->isEnabled());
    PreviewForm->Zoom->setCurrentIndex(PreviewForm->Zoom->findData(100));
    EXPECT_EQ(PreviewForm->PageImage().width(), 425);
    PreviewForm->Zoom->setCurrentIndex(PreviewForm->Zoom->findData(200));
    EXPECT_EQ(PreviewForm->PageImage().width(), 850);

    // Every sheet of the preview against the PDF's page at the same size,
    // compared in blocks of 8 x 8 pixels (the two rasterise text differently).
    const QSize size(850, PreviewForm->PageImage().height());
    for (int s = 0; s < sheets; ++s) {
        const QImage shown = PreviewForm->RenderSheet(s, size);
        const QImage printed = PdfImage(pdf, s + 1, size.width(), size.height());
        ASSERT_EQ(printed.size(), size) << s;
        int worst = 0, inked = 0;
        for (int by = 0; by + 8 <= size.height(); by += 8)
            for (int bx = 0; bx + 8 <= size.width(); bx += 8) {
                int a = 0, b = 0;
                for (int y = by; y < by + 8; ++y)
                    for (int x = bx; x < bx + 8; ++x) {
                        a += 255 - qGray(shown.pixel(x, y));
                        b += 255 - qGray(printed.pixel(x, y));
                    }
                worst = std::max(worst, std::abs(a - b) / 64);
                if (a > 64 * 8) ++inked;
            }
        EXPECT_GT(inked, 10) << "sheet " << s;
        EXPECT_LT(worst, 90) << "sheet " << s;
    }

    // Printing from the preview runs the print settings' print run (here the
    // PDF file, as no printer is configured); the preview closes after it.
    const fs::path fromPreview = Pdf("from_preview.pdf");
    dialogs_.QueuePath(fromPreview.string());
    QTest::mouseClick(PreviewForm->PrintBtn, Qt::LeftButton);
    EXPECT_EQ(PdfPages(fromPreview), sheets);
    EXPECT_FALSE(PreviewForm->isVisible());
}

TEST_F(PrintTest, WithoutAPrinterThePrintCommandSaysSoAndWritesThePdf) {
    frame_->RefreshCommands();
    EXPECT_FALSE(frame_->MmPrn->isEnabled());  // nothing open to print
    LadderOf(5);
    frame_->RefreshCommands();
    ASSERT_TRUE(frame_->MmPrn->isEnabled());
    ASSERT_TRUE(frame_->RunCommand("MmPrn"));
    ASSERT_TRUE(PrintForm->isVisible());

    // One page and no title page: the preview cannot turn.
    PrintForm->PreviewClick();
    ASSERT_TRUE(PreviewForm->isVisible());
    EXPECT_FALSE(PreviewForm->PrePage->isEnabled());
    EXPECT_FALSE(PreviewForm->NextPage->isEnabled());
    EXPECT_EQ(PreviewForm->PrnPageSum_Txt->text(), QStringLiteral("1"));
    PreviewForm->close();
    ASSERT_TRUE(frame_->RunCommand("MmPrn"));

    // Cancelling the file leaves nothing behind.
    QTest::mouseClick(PrintForm->Print, Qt::LeftButton);
    ASSERT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(messages_.Shown().back(), gMsgTable.Get(250));
    const fs::path pdf = Pdf("noprinter.pdf");
    EXPECT_FALSE(fs::exists(pdf));

    dialogs_.QueuePath(pdf.string());
    QTest::mouseClick(PrintForm->Print, Qt::LeftButton);
    EXPECT_EQ(messages_.Shown().size(), 2u);
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_EQ(PdfPages(pdf), 1);
    EXPECT_FALSE(PrintForm->isVisible());
}

// A print reports pages only when the printer or the file took them: a file
// that cannot be written (its folder is missing) or a printer that fails says
// so, names where the pages were to go, and the window stays open.
TEST_F(PrintTest, PagesNotTakenAreReportedAndTheWindowStays) {
    const fs::path bad = projects_ / "missing-folder" / "ladder.pdf", good = Pdf("ladder.pdf");
    enum How { PdfButton, Print, Preview };
    struct Row {
        const char* name;
        How how;
        bool printer;  // a printer is configured (it prints into `into`)
        const fs::path& into;
        std::vector<int> shown;  // the messages, in order
    };
    const Row rows[] = {
        {"the PDF button onto a file that cannot be written", PdfButton, false, bad, {kMsgPagesNotWritten}},
        {"Print without a printer, a file that cannot be written", Print, false, bad, {250, kMsgPagesNotWritten}},
        {"Print on a printer that fails", Print, true, bad, {kMsgPagesNotWritten}},
        {"the preview's Print without a printer, a file that cannot be written", Preview, false, bad,
         {250, kMsgPagesNotWritten}},
        {"Print without a printer, a file that can be written", Print, false, good, {250}},
    };
    LadderOf(3);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        messages_.Clear();
        PrintForm->HasPrinter = [&row] { return row.printer; };
        PrintForm->AskPrinter = [&row](QPrinter& printer) {
            printer.setOutputFileName(QString::fromStdString(row.into.string()));  // a PDF printer
            return true;
        };
        ASSERT_TRUE(frame_->RunCommand("MmPrn"));
        if (row.how == Preview) PrintForm->PreviewClick();
        QDialog* window = row.how == Preview ? static_cast<QDialog*>(PreviewForm) : PrintForm;
        if (!row.printer) dialogs_.QueuePath(row.into.string());
        QPushButton* button = row.how == Preview ? PreviewForm->PrintBtn
                              : row.how == Print ? PrintForm->Print
                                                 : PrintForm->PdfButton;
        QTest::mouseClick(button, Qt::LeftButton);
        const std::vector<std::string> shown = messages_.Shown();
        ASSERT_EQ(shown.size(), row.shown.size());
        for (std::size_t k = 0; k < shown.size(); ++k) EXPECT_EQ(shown[k].rfind(gMsgTable.Get(row.shown[k]), 0), 0u);
        const bool taken = &row.into == &good;
        EXPECT_EQ(fs::exists(row.into), taken);
        EXPECT_EQ(window->isVisible(), !taken);
        EXPECT_TRUE(taken || shown.back().find(row.into.string()) != std::string::npos) << shown.back();
        window->close();
        PrintForm->close();
    }
}

TEST_F(PrintTest, ChartPrintsToPdfInBandsOfRowsAndHalvesWithDeviceComments) {
    frame_->NewClick();
    // No chart window: nothing to print.
    EXPECT_EQ(TPrintForm::MakeSource(kViewSfc), nullptr);
    ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
    ASSERT_NE(_Sfc, nullptr);
    ASSERT_EQ(gActiveView, kViewSfc);
    // An initial step top left, a transition below it, a step at row 60 in
    // the last column: 61 rows.
    PutCell(0, 0, kSfcInitStep, 0);
    PutCell(1, 0, kSfcTransition, 0);
    PutCell(60, 15, kSfcStep, 20);
    ASSERT_TRUE(SetDeviceComment("S20", "Fill tank"));

    const TPageFrame frame = TPrintForm::DefaultFrame(true);
    ASSERT_GT(frame.paint.width(), frame.paint.height());  // printed across the paper
    const TPageGeometry g = PrintGeometry(frame.paint.size(), frame.dpi, 0, true);
    const int perPage = TSfcPageSource::RowsPerPage(g);
    ASSERT_GE(perPage, 20);  // "150%": the page's height by 30, less three cells of margin
    ASSERT_LE(perPage, 28);
    const int bands = (61 + perPage - 1) / perPage;

    const fs::path pdf = projects_ / "chart.pdf";
    PrintForm->ShowFor(gActiveView);
    EXPECT_FALSE(PrintForm->BkCmtPrnCheck->isEnabled());
    ASSERT_EQ(ToPdf(pdf), bands);

    // Page 1 at a quarter of its pixels: the initial step's double frame from
    // one and a half cells in, the transition's bar below it, and nothing in
    // the empty second column.
    const QImage image = PdfImage(pdf, 1, frame.paper.width() / 4, frame.paper.height() / 4);
    ASSERT_FALSE(image.isNull());
    const int x0 = (frame.paint.x() + g.cellWidth + g.cellWidth / 2) / 4;
    const int y0 = (frame.paint.y() + g.cellHeight + g.cellHeight / 2) / 4;
    const int cw = g.cellWidth / 4, ch = g.cellHeight / 4;
    EXPECT_GT(Dark(image, QRect(x0, y0 + ch / 4, 4, ch / 2)), ch / 4);            // left edges of the frames
    EXPECT_GT(Dark(image, QRect(x0 + cw / 4, y0, cw / 2, 4)), cw / 4);            // top edges
    EXPECT_GT(Dark(image, QRect(x0 + 2 * cw / 5 + 2, y0 + ch + ch / 2 - 2, cw / 5 - 4, 5)), 0);  // bar
    EXPECT_EQ(Dark(image, QRect(x0 + cw + 2, y0 + 2, cw - 4, 2 * ch - 4)), 0);   // column 1 empty
    EXPECT_EQ(Dark(image, QRect(0, y0, x0 - 2, 2 * ch)), 0);  // left margin

    // With device comments a band takes two pages (columns 0-7, then 8-15),
    // and the comment of S20 is on the last page.
    PrintForm->ShowFor(gActiveView);
    PrintForm->DevCmtPrnCheck->setChecked(true);
    ASSERT_EQ(ToPdf(pdf), 2 * bands);
    // Comments are cut into lines of eight bytes.
    ExpectTexts(pdf, 2 * bands, {"Fill tan", "S20", "[Sfc Diagram]"});
    const QString left = PdfText(pdf, 2 * bands - 1);
    EXPECT_FALSE(left.contains(QStringLiteral("S20"))) << left.toStdString();
    PrintForm->DevCmtPrnCheck->setChecked(false);

    // An empty chart has no page.
    std::fill(gSfcGrid, gSfcGrid + static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes, 0xFF);
    EXPECT_FALSE(TPrintForm::CanPrint(kViewSfc));
}
