// The instruction list's painter on its own, the way the window, print and
// preview call it: the selected block, the cursor frame and the scroll on
// screen; 53 lines a page and nothing past the program's end on paper.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "instlist/Instedit.h"
#include "instlist/render/Instpaint.h"

namespace {

// A list over a code buffer holding `count` lines of text.
struct List {
    explicit List(const std::vector<std::string>& lines) : code(4096, 0xFF) {
        std::uint32_t used = 0;
        for (const std::string& line : lines) {
            const TAssembly a = AssembleLine(line, 0);
            EXPECT_TRUE(a) << line;
            if (!a) continue;
            std::copy(a.instruction->bytes.begin(), a.instruction->bytes.end(), code.begin() + used);
            used += static_cast<std::uint32_t>(a.instruction->bytes.size());
        }
        edit.Attach(code.data(), static_cast<std::uint32_t>(code.size()), used);
    }
    std::vector<std::uint8_t> code;
    TInstEdit edit;
};

bool Inked(const QImage& image, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) return true;
    return false;
}

TEST(InstPainter, ScreenShowsTheSelectedBlockTheCursorAndTheScroll) {
    List list({"LD X0", "OUT Y0", "OUT Y1", "OUT Y2", "END"});
    TInstScreenOptions o;
    o.size = QSize(300, 120);
    o.lineHeight = 20;
    o.stepColumnWidth = 60;
    o.cursorLine = 3;
    o.selFirst = 1;
    o.selLast = 2;
    o.cursor = QColor(200, 0, 0);
    QImage screen(o.size, QImage::Format_RGB32);
    screen.fill(Qt::white);
    {
        QPainter p(&screen);
        EXPECT_EQ(PaintInstScreen(p, list.edit, o), 0);
    }
    // Right of the text, halfway down each line.
    auto probe = [&](const QImage& image, int row) { return image.pixelColor(290, row * o.lineHeight + o.lineHeight / 2); };
    EXPECT_EQ(probe(screen, 0), QColor(Qt::white));
    EXPECT_EQ(probe(screen, 1), o.selection);
    EXPECT_EQ(probe(screen, 2), o.selection);
    EXPECT_EQ(probe(screen, 3), QColor(Qt::white));
    // The cursor line is framed: its left edge and its top line.
    EXPECT_EQ(screen.pixelColor(0, 3 * o.lineHeight + o.lineHeight / 2), o.cursor);
    EXPECT_EQ(screen.pixelColor(150, 3 * o.lineHeight), o.cursor);
    EXPECT_EQ(screen.pixelColor(0, 2 * o.lineHeight + o.lineHeight / 2), o.selection);
    // The step and the instruction text are on their line, not past the end.
    EXPECT_TRUE(Inked(screen, QRect(0, 4 * o.lineHeight + 2, 200, o.lineHeight - 4)));  // "6  END"
    // The append line has its step number and no text.
    EXPECT_TRUE(Inked(screen, QRect(0, 5 * o.lineHeight + 2, o.stepColumnWidth, o.lineHeight - 4)));
    EXPECT_FALSE(Inked(screen, QRect(o.stepColumnWidth, 5 * o.lineHeight + 2, 240, o.lineHeight - 4)));

    // Scrolled by two lines: line 2 is on top, still selected; line 3's frame below it.
    o.scrollY = 2 * o.lineHeight;
    QImage scrolled(o.size, QImage::Format_RGB32);
    scrolled.fill(Qt::white);
    {
        QPainter p(&scrolled);
        EXPECT_EQ(PaintInstScreen(p, list.edit, o), 2);
    }
    EXPECT_EQ(probe(scrolled, 0), o.selection);
    EXPECT_EQ(scrolled.pixelColor(0, o.lineHeight + o.lineHeight / 2), o.cursor);
}

TEST(InstPainter, PagesHoldFiftyThreeLinesAndNothingPastTheEnd) {
    std::vector<std::string> lines(60, "OUT Y0");
    List list(lines);
    const QSize size(850, 1100);
    const int top = 2 * (size.height() / 54), pitch = (size.height() - top) / kInstLinesPerPage;
    const int cellW = size.width() / 17;
    auto page = [&](int index, int& painted) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        p.setPen(Qt::black);
        painted = PaintInstPage(p, list.edit, index, size);
        return image;
    };
    // Bands of a page line: the step column and the instruction column.
    auto step = [&](int i) { return QRect(0, top + i * pitch + 1, 2 * cellW, pitch - 2); };
    auto text = [&](int i) { return QRect(3 * cellW, top + i * pitch + 1, 13 * cellW, pitch - 2); };
    int painted = -1;
    const QImage first = page(0, painted);
    EXPECT_EQ(painted, 53);
    EXPECT_FALSE(Inked(first, QRect(0, 0, size.width(), top - 1)));  // the header band is the printer's
    for (int i : {0, 26, 52}) {
        EXPECT_TRUE(Inked(first, step(i))) << i;
        EXPECT_TRUE(Inked(first, text(i))) << i;
    }
    const QImage second = page(1, painted);
    EXPECT_EQ(painted, 7);
    EXPECT_TRUE(Inked(second, text(6)));
    EXPECT_FALSE(Inked(second, QRect(0, top + 7 * pitch + 1, size.width(), size.height() - top - 7 * pitch - 1)));
    page(2, painted);
    EXPECT_EQ(painted, 0);
    page(-1, painted);
    EXPECT_EQ(painted, 0);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    SetCurrentFamily(0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
