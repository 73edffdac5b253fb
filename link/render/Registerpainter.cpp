#include "link/render/Registerpainter.h"

#include <algorithm>

#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>

namespace {

constexpr int kFirstPageRows = 25;  // lines 1..25
constexpr int kPageRows = 26;       // lines 0..25
constexpr int kLastLine = 25;
// Left of the first value column, in pixels of a 300 dpi page (two thirds of
// an inch), scaled to the device's resolution so the row labels never run
// into the values on a finer printer.
constexpr int kValueX = 200;
constexpr int kValueXDpi = 300;

// Text whose top-left corner is at (x, y), as a printer canvas writes it.
void TextOut(QPainter& p, int x, int y, const std::string& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), QString::fromStdString(text));
}

}  // namespace

bool RegPrintRange(bool all, int start, int end, int cells, int& first, int& last) {
    if (all) {
        first = 0;
        last = cells;
        return true;
    }
    if (end < start || end > cells || start < 0) return false;
    first = start;
    last = end;
    return true;
}

int RegPrintPageCount(int first, int last) {
    const int rows = last / 10 - first / 10 + 1;
    if (rows <= kFirstPageRows) return 1;
    return 1 + (rows - kFirstPageRows + kPageRows - 1) / kPageRows;
}

int RegPrintColumnWidth(int pageWidth, bool is32, bool binary) {
    int w = pageWidth / 20;
    if (is32)
        w = binary ? w * 4 : w * 3 / 2;
    else if (binary)
        w *= 2;
    return w;
}

int PrintRegisterPages(QPagedPaintDevice& device, const TRegPrintSheet& sheet, int first, int last) {
    device.setPageOrientation(QPageLayout::Landscape);
    QPainter p(&device);
    if (!p.isActive()) return -1;
    const int pageWidth = p.viewport().width();
    const int pageHeight = p.viewport().height();
    const int w = RegPrintColumnWidth(pageWidth, sheet.Is32, sheet.Binary);
    const int h = pageHeight / 60;
    const int valueX = kValueX * std::max(kValueXDpi, device.logicalDpiX()) / kValueXDpi;
    const std::array<std::string, 11> empty{};
    auto row = [&](int r) -> const std::array<std::string, 11>& {
        return r >= 0 && r < static_cast<int>(sheet.Rows.size()) ? sheet.Rows[static_cast<std::size_t>(r)] : empty;
    };
    QFont font = p.font();
    font.setPointSize(8);
    p.setPen(Qt::black);
    auto columnHead = [&] {
        for (int c = 1; c <= 10; ++c) TextOut(p, valueX + (c - 1) * w, 4 * h, row(0)[static_cast<std::size_t>(c)]);
    };

    int page = 1;
    font.setPointSize(10);  // the head line two points larger
    p.setFont(font);
    TextOut(p, w, h, "Name: " + sheet.ProgramName);
    TextOut(p, 4 * w, h, sheet.PageCaption);
    TextOut(p, 6 * w, h, "Page:" + std::to_string(page));
    font.setPointSize(8);
    p.setFont(font);
    columnHead();
    for (int r = first / 10 + 1; r <= last / 10 + 1; ++r) {
        const int line = (r - first / 10) % kPageRows;
        const int y = (5 + line) * h;
        const auto& texts = row(r);
        TextOut(p, 0, y, texts[0]);
        for (int c = 1; c <= 10; ++c) TextOut(p, valueX + (c - 1) * w, y, texts[static_cast<std::size_t>(c)]);
        if (line == kLastLine && r < last / 10 + 1) {
            if (!device.newPage()) return -1;
            ++page;
            TextOut(p, 6 * w, h, "Page:" + std::to_string(page));
            columnHead();
        }
    }
    return p.end() ? page : -1;
}
