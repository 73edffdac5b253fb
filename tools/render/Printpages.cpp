#include "tools/render/Printpages.h"

#include <algorithm>
#include <array>
#include <cmath>

#include <QFont>
#include <QFontMetrics>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>

#include "instlist/Instedit.h"
#include "instlist/render/Instpaint.h"
#include "project/Msgtable.h"
#include "sfc/model/Sfcchart.h"
#include "sfc/render/Sfcpaint.h"
#include "tools/render/Commentpainter.h"

namespace {

constexpr int kMsgTitle = 46;  // "Title: ", then file name, company, designer, date

// Cell divisors of the page by ratio: ladder, instruction list and comments,
// and the chart.
constexpr std::array<std::pair<int, int>, 3> kCellDiv{{{16, 24}, {25, 36}, {33, 48}}};
constexpr std::array<std::pair<int, int>, 3> kChartCellDiv{{{24, 30}, {36, 38}, {42, 44}}};
constexpr std::array<int, 3> kFontPoints{6, 4, 3};
constexpr std::array<int, 3> kLadderPageRows{20, 30, 42};
constexpr int kHeaderPoints = 8;  // the header is written 2 points larger

int Ceil(int units, int per) { return per <= 0 || units <= 0 ? 0 : (units + per - 1) / per; }

QFont PageFont(const TPageGeometry& g, int points, bool bold = false) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(g.Pixels(points));
    f.setBold(bold);
    return f;
}

void PaintHeader(QPainter& p, const TPrintDocument& doc, int index, int endPage, const TPageGeometry& g) {
    const QString title = doc.source->Title();
    p.save();
    p.setPen(Qt::black);
    p.setFont(PageFont(g, (title.isEmpty() ? g.fontPoints : kHeaderPoints) + 2));
    const int y = g.headerUnitY + p.fontMetrics().ascent();
    p.drawText(g.headerUnitX, y, QStringLiteral("Name:") + QString::fromStdString(doc.info.fileName));
    const QString page = QStringLiteral("Page: %1/%2").arg(index + 1).arg(endPage);
    if (title.isEmpty()) {
        p.drawText(15 * g.headerUnitX, y, page);
    } else {
        p.drawText(9 * g.headerUnitX, y, title);
        p.drawText(18 * g.headerUnitX, y, page);
    }
    p.restore();
}

}  // namespace

int TPageGeometry::Pixels(int points) const { return std::max(1, (points * dpi + 36) / 72); }

TPageGeometry PrintGeometry(QSize page, int dpi, int ratio, bool chart) {
    TPageGeometry g;
    ratio = std::clamp(ratio, 0, 2);
    g.page = page;
    g.dpi = std::max(1, dpi);
    const auto div = (chart ? kChartCellDiv : kCellDiv)[static_cast<std::size_t>(ratio)];
    g.cellWidth = std::max(1, page.width() / div.first);
    g.cellHeight = std::max(1, page.height() / div.second);
    g.headerUnitX = std::max(1, page.width() / 20);
    g.headerUnitY = std::max(1, page.height() / 54);
    g.fontPoints = kFontPoints[static_cast<std::size_t>(ratio)];
    return g;
}

// ---------------------------------------------------------------------------
// Ladder

TLadderPageSource::TLadderPageSource(TLadderPaintView view, std::int32_t lastUsedRow)
    : view_(std::move(view)), lastRow_(std::min(lastUsedRow, view_.capacity - 1)) {}

QString TLadderPageSource::Title() const { return QStringLiteral("[Ladder Diagram]"); }

int TLadderPageSource::RowsPerPage(const TPrintSettings& s) {
    const int rows = kLadderPageRows[static_cast<std::size_t>(std::clamp(s.ratio, 0, 2))];
    return s.deviceComments ? rows / 2 : rows;
}

std::vector<std::int32_t> TLadderPageSource::PageStarts(const TPrintSettings& s) const {
    // Block-comment rows left out take no room: a page starts at every
    // RowsPerPage-th row kept. Inner ladders have no block-comment rows.
    std::vector<std::int32_t> starts;
    const int per = RowsPerPage(s);
    if (s.blockComments || !view_.program) {
        for (std::int32_t r = 0; r <= lastRow_; r += per) starts.push_back(r);
        return starts;
    }
    int kept = 0;
    for (std::int32_t r = 0; r <= lastRow_; ++r) {
        if (IsBlockCommentRow(CellAt(view_.grid, r, 0))) continue;
        if (kept++ % per == 0) starts.push_back(r);
    }
    return starts;
}

int TLadderPageSource::PageCount(const TPageGeometry&, const TPrintSettings& s) const {
    if (!view_.grid || lastRow_ < 0) return 0;
    return static_cast<int>(PageStarts(s).size());
}

std::pair<std::int32_t, std::int32_t> TLadderPageSource::PageRows(int index, const TPrintSettings& s) const {
    const std::vector<std::int32_t> starts = PageStarts(s);
    if (index < 0 || static_cast<std::size_t>(index) >= starts.size()) return {0, -1};
    const std::size_t i = static_cast<std::size_t>(index);
    // The final page runs to the last used row.
    const std::int32_t last = i + 1 < starts.size() ? starts[i + 1] - 1 : lastRow_;
    return {starts[i], last};
}

void TLadderPageSource::PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const {
    const auto [first, last] = PageRows(index, s);
    if (first > last) return;
    TLadderPageOptions o;
    o.page = g.page;
    o.cellWidth = g.cellWidth;
    o.cellHeight = g.cellHeight;
    o.fontPixels = g.Pixels(g.fontPoints);
    o.rowsPerPage = RowsPerPage(s);
    o.deviceComments = s.deviceComments;
    o.blockComments = s.blockComments;
    o.rungComments = s.rungComments;
    o.colour = s.colour;
    // Lines of about a sixth of a millimetre, whatever the printer's resolution.
    o.lineWidth = std::max(1, g.dpi / 150);
    DrawLadderPage(p, view_, o, first, last);
}

// ---------------------------------------------------------------------------
// Instruction list

TInstPageSource::TInstPageSource(const TInstEdit& list) : list_(list) {}

QString TInstPageSource::Title() const { return QStringLiteral("[Inst. Diagram]"); }

int TInstPageSource::PageCount(const TPageGeometry&, const TPrintSettings&) const {
    // The renderer puts kInstLinesPerPage instructions on a page; the count
    // follows it so that no page is left blank. The append line is not printed.
    return Ceil(list_.LastLine(), kInstLinesPerPage);
}

void TInstPageSource::PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings&) const {
    p.save();
    p.setPen(Qt::black);
    p.setFont(PageFont(g, kHeaderPoints));
    PaintInstPage(p, list_, index, g.page);
    p.restore();
}

// ---------------------------------------------------------------------------
// Device comments

TCommentPageSource::TCommentPageSource(std::pair<std::string, std::string> headers,
                                       std::vector<std::pair<std::string, std::string>> rows)
    : headers_(std::move(headers)), rows_(std::move(rows)) {}

int TCommentPageSource::PageCount(const TPageGeometry&, const TPrintSettings&) const {
    return Ceil(static_cast<int>(rows_.size()), kRowsPerPage);
}

void TCommentPageSource::PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings&) const {
    p.save();
    p.setPen(Qt::black);
    p.setFont(PageFont(g, g.fontPoints + 4));
    const int first = index * kRowsPerPage;
    const int last = std::min(first + kRowsPerPage, static_cast<int>(rows_.size())) - 1;
    const TCommentPageGeometry cg =
        CommentPageGeometry(true, g.page.width(), g.page.height(), p.fontMetrics().height());
    PaintCommentRows(p, headers_, rows_, first, last, cg);
    p.restore();
}

// ---------------------------------------------------------------------------
// SFC chart

TSfcPageSource::TSfcPageSource(std::vector<std::uint8_t> grid, std::int32_t rows,
                               std::function<std::string(std::uint16_t)> stepComment)
    : grid_(std::move(grid)),
      rows_(std::clamp<std::int32_t>(rows, 0, static_cast<std::int32_t>(grid_.size() / kSfcRowBytes))),
      lastRow_(SfcLastUsedRow(grid_.data(), rows_)),
      stepComment_(std::move(stepComment)) {}

QString TSfcPageSource::Title() const { return QStringLiteral("[Sfc Diagram]"); }

int TSfcPageSource::RowsPerPage(const TPageGeometry& g) {
    // A margin of one and a half cells above the rows and below them.
    return std::max(1, g.page.height() / g.cellHeight - 3);
}

std::pair<std::int32_t, int> TSfcPageSource::PageBand(int index, const TPageGeometry& g, const TPrintSettings& s) {
    const int parts = s.deviceComments ? 2 : 1;
    const int part = s.deviceComments ? 1 + index % 2 : 0;
    return {static_cast<std::int32_t>(index / parts) * RowsPerPage(g), part};
}

int TSfcPageSource::PageCount(const TPageGeometry& g, const TPrintSettings& s) const {
    if (lastRow_ < 0) return 0;
    return Ceil(lastRow_ + 1, RowsPerPage(g)) * (s.deviceComments ? 2 : 1);
}

void TSfcPageSource::PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const {
    const auto [first, part] = PageBand(index, g, s);
    if (first > lastRow_) return;
    TSfcPageOptions o;
    o.origin = QPoint(g.cellWidth + g.cellWidth / 2, g.cellHeight + g.cellHeight / 2);
    o.cellWidth = g.cellWidth;
    o.cellHeight = g.cellHeight;
    // The screen's cell is 45 pixels high at the default zoom: its pixel
    // measures grow with the printed cell.
    o.unit = std::max(1, g.cellHeight / 45);
    o.firstRow = first;
    o.rowCount = std::min(RowsPerPage(g), lastRow_ + 1 - first);
    o.part = part;
    o.deviceComments = s.deviceComments;
    o.font = PageFont(g, g.fontPoints + 2);
    o.stepComment = stepComment_;
    PaintSfcPage(p, grid_.data(), rows_, o);
}

// ---------------------------------------------------------------------------
// Documents

std::pair<int, int> TPrintDocument::Range(const TPageGeometry& g) const {
    const int count = source ? source->PageCount(g, settings) : 0;
    if (!settings.partRange) return {0, count - 1};
    return {std::max(0, settings.startPage - 1), std::min(count, settings.endPage) - 1};
}

int TPrintDocument::SheetCount(const TPageGeometry& g) const {
    const auto [first, last] = Range(g);
    return (settings.titlePage ? 1 : 0) + std::max(0, last - first + 1);
}

TPageGeometry DocumentGeometry(const TPrintDocument& doc, const TPageFrame& frame) {
    const bool chart = doc.source && doc.source->Landscape();
    return PrintGeometry(frame.paint.size(), frame.dpi, doc.settings.ratio, chart);
}

void PaintTitlePage(QPainter& p, const TTitleInfo& info, const TPageGeometry& g, bool chart) {
    const int w = g.page.width(), h = g.page.height();
    const int c = std::max(1, chart ? w / 24 : w / 16);
    const int r = std::max(1, chart ? h / 17 : h / 24);
    p.save();
    p.setPen(QPen(Qt::black, std::max(1, g.dpi / 100)));
    p.setBrush(Qt::NoBrush);
    const QRect box = chart ? QRect(QPoint(7 * c, 11 * r / 2), QPoint(17 * c, 11 * r))
                            : QRect(QPoint(4 * c, 13 * r / 2), QPoint(13 * c, 12 * r));
    p.drawRect(box);
    p.setFont(PageFont(g, 12));
    const int x = chart ? 7 * c + c / 4 : 4 * c + c / 4;
    const int y0 = chart ? 6 * r : 7 * r;
    const std::string date = QLocale::system().toString(info.date, QLocale::ShortFormat).toStdString();
    const std::string values[5] = {info.title, info.fileName, info.company, info.designer, date};
    for (int k = 0; k < 5; ++k)
        p.drawText(x, y0 + k * r + p.fontMetrics().ascent() / 2,
                   QString::fromStdString(gMsgTable.Get(kMsgTitle + k) + values[k]));
    p.restore();
}

void PaintSheet(QPainter& p, const TPrintDocument& doc, int sheet, const TPageGeometry& g) {
    if (!doc.source) return;
    if (doc.settings.titlePage) {
        if (sheet == 0) {
            PaintTitlePage(p, doc.info, g, doc.source->Landscape());
            return;
        }
        --sheet;
    }
    const auto [first, last] = doc.Range(g);
    const int index = first + sheet;
    if (sheet < 0 || index > last) return;
    PaintHeader(p, doc, index, last + 1, g);
    doc.source->PaintPage(p, index, g, doc.settings);
}

int PrintDocument(QPagedPaintDevice& device, const TPrintDocument& doc) {
    const QPageLayout layout = device.pageLayout();
    const int dpi = device.logicalDpiY();
    TPageFrame frame{layout.fullRectPixels(dpi).size(), layout.paintRectPixels(dpi), dpi};
    frame.paint.setSize(QSize(device.width(), device.height()));
    const TPageGeometry g = DocumentGeometry(doc, frame);
    const int sheets = doc.SheetCount(g);
    QPainter p(&device);
    if (!p.isActive()) return -1;
    bool taken = true;
    for (int s = 0; s < sheets && taken; ++s) {
        if (s > 0) taken = device.newPage();
        if (taken) PaintSheet(p, doc, s, g);
    }
    // The file is complete (or the job handed over) only when the end is.
    return p.end() && taken ? sheets : -1;
}

void PaintSheetImage(QPainter& p, QSize image, const TPrintDocument& doc, int sheet, const TPageFrame& frame) {
    p.save();
    p.fillRect(QRect(QPoint(0, 0), image), Qt::white);
    // The paper scaled onto the image; the sheet is painted in the page's own
    // pixels at the printable area's place, as the printer would.
    const double sx = frame.paper.width() > 0 ? double(image.width()) / frame.paper.width() : 1.0;
    const double sy = frame.paper.height() > 0 ? double(image.height()) / frame.paper.height() : 1.0;
    p.scale(sx, sy);
    p.translate(frame.paint.topLeft());
    p.setClipRect(QRect(QPoint(0, 0), frame.paint.size()));
    PaintSheet(p, doc, sheet, DocumentGeometry(doc, frame));
    p.restore();
}
