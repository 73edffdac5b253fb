// The SFC chart printed as a user prints it: the chart in its window, the
// print settings window writing a PDF, read back with the poppler tools.
#include <filesystem>
#include <string>

#include <QImage>
#include <QCheckBox>
#include <QRadioButton>

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/window/Sfcwin.h"
#include "tests/shell/FrameFixture.h"
#include "tools/windows/Printfrm.h"
#include "tools/windows/Toolsinstall.h"
#include "tools/render/Printpages.h"
#include "tests/tools/windows/PdfProbe.h"

namespace fs = std::filesystem;

namespace {

using qel::test::Dark;
using qel::test::PdfImage;
using qel::test::PdfPages;
using qel::test::PdfText;

void PutCell(int row, int col, std::uint8_t type, std::uint16_t number) {
    std::uint8_t* c = gSfcGrid + static_cast<std::size_t>(row) * kSfcRowBytes + col * kSfcCellBytes;
    c[0] = type;
    c[1] = number & 0xFF;
    c[2] = number >> 8;
}

class SfcPrintTest : public FrameTest {
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
        PrintForm->HasPrinter = [] { return false; };
    }
};

}  // namespace

TEST_F(SfcPrintTest, ChartPrintsToPdfInBandsOfRowsAndHalvesWithDeviceComments) {
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
    ASSERT_EQ(PrintForm->PrintToPdf(QString::fromStdString(pdf.string())), bands);
    EXPECT_EQ(PdfPages(pdf), bands);

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
    ASSERT_EQ(PrintForm->PrintToPdf(QString::fromStdString(pdf.string())), 2 * bands);
    EXPECT_EQ(PdfPages(pdf), 2 * bands);
    const QString last = PdfText(pdf, 2 * bands);
    // Comments are cut into lines of eight bytes.
    EXPECT_TRUE(last.contains(QStringLiteral("Fill tan"))) << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("S20"))) << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("[Sfc Diagram]"))) << last.toStdString();
    const QString left = PdfText(pdf, 2 * bands - 1);
    EXPECT_FALSE(left.contains(QStringLiteral("S20"))) << left.toStdString();
    PrintForm->DevCmtPrnCheck->setChecked(false);

    // An empty chart has no page.
    std::fill(gSfcGrid, gSfcGrid + static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes, 0xFF);
    EXPECT_FALSE(TPrintForm::CanPrint(kViewSfc));
}
