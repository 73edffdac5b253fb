#pragma once
// The page model of printing and preview (QtGui only): the print options, the
// page geometry they give, the page sources (ladder, instruction list,
// device comments; registers and charts join through the same interface),
// and the sheets a document is made of (the title page, then the pages of the
// range, each under its header line). The printer, the PDF writer and the
// preview image all paint the same sheets, in the page's own pixels.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QDate>
#include <QRect>
#include <QSize>
#include <QString>

#include "ladder/render/Ladderpainter.h"

class QPainter;
class QPagedPaintDevice;
class TInstEdit;

/// What the print settings window chose.
struct TPrintSettings {
    bool deviceComments = false;  ///< "打印装置注释"
    bool blockComments = false;   ///< "打印区段注释"
    bool rungComments = false;    ///< "打印输出注释"
    bool titlePage = false;       ///< "程序标题"
    bool colour = false;          ///< comments in colour
    int ratio = 0;                ///< 0 "150%", 1 "100%", 2 "75%"
    bool partRange = false;       ///< "部份打印": pages startPage..endPage
    int startPage = 1;
    int endPage = 1;
};

/// The geometry of one page, in the page's pixels.
struct TPageGeometry {
    QSize page;               ///< the printable area
    int dpi = 72;             ///< pixels per inch of the page, for font sizes
    int cellWidth = 1;        ///< one ladder, chart or text cell
    int cellHeight = 1;
    int headerUnitX = 1;      ///< header grid: page width / 20
    int headerUnitY = 1;      ///< and page height / 54
    int fontPoints = 6;       ///< body text size by the ratio
    /// Pixels of a font of `points` on this page.
    int Pixels(int points) const;
};

/// The geometry of a page for a ratio; `chart` selects the SFC chart's cells.
TPageGeometry PrintGeometry(QSize page, int dpi, int ratio, bool chart = false);

/// One printable kind: how many pages it takes and what is on page n.
class TPageSource {
public:
    virtual ~TPageSource() = default;
    /// The view title of the header line ("[Ladder Diagram]"); empty: the comment-list header.
    virtual QString Title() const = 0;
    /// Printed across the page (the chart).
    virtual bool Landscape() const { return false; }
    /// Pages for the settings and geometry.
    virtual int PageCount(const TPageGeometry& g, const TPrintSettings& s) const = 0;
    /// Paints the body of page `index` (0-based) below the header.
    virtual void PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const = 0;
};

/// Ladder pages: rows per page by ratio (halved with device comments); without
/// block comments those rows take no room and the pages start where the kept
/// rows reach the page's row count.
class TLadderPageSource : public TPageSource {
public:
    /// `lastUsedRow`: -1 for an empty ladder (no page).
    TLadderPageSource(TLadderPaintView view, std::int32_t lastUsedRow);
    QString Title() const override;
    int PageCount(const TPageGeometry& g, const TPrintSettings& s) const override;
    void PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const override;
    static int RowsPerPage(const TPrintSettings& s);
    /// First and last grid row of page `index`; first > last for a page past the end.
    std::pair<std::int32_t, std::int32_t> PageRows(int index, const TPrintSettings& s) const;

private:
    std::vector<std::int32_t> PageStarts(const TPrintSettings& s) const;
    TLadderPaintView view_;
    std::int32_t lastRow_;
};

/// Instruction-list pages: kInstPageLines instructions a page.
class TInstPageSource : public TPageSource {
public:
    explicit TInstPageSource(const TInstEdit& list);
    QString Title() const override;
    int PageCount(const TPageGeometry& g, const TPrintSettings& s) const override;
    void PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const override;

private:
    const TInstEdit& list_;
};

/// Device-comment pages: 40 rows a page.
class TCommentPageSource : public TPageSource {
public:
    static constexpr int kRowsPerPage = 40;
    TCommentPageSource(std::pair<std::string, std::string> headers,
                       std::vector<std::pair<std::string, std::string>> rows);
    QString Title() const override { return {}; }
    int PageCount(const TPageGeometry& g, const TPrintSettings& s) const override;
    void PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const override;

private:
    std::pair<std::string, std::string> headers_;
    std::vector<std::pair<std::string, std::string>> rows_;
};

/// Chart pages, printed across the paper: the rows that fit below a margin of
/// one and a half cells make a band. Without device comments a page is a band
/// of all 16 columns; with them every column takes two cells, so a band takes
/// two pages, columns 0-7 and then 8-15.
class TSfcPageSource : public TPageSource {
public:
    /// A copy of the chart's grid (`rows` rows) and the comment of a step.
    TSfcPageSource(std::vector<std::uint8_t> grid, std::int32_t rows,
                   std::function<std::string(std::uint16_t)> stepComment);
    QString Title() const override;
    bool Landscape() const override { return true; }
    int PageCount(const TPageGeometry& g, const TPrintSettings& s) const override;
    void PaintPage(QPainter& p, int index, const TPageGeometry& g, const TPrintSettings& s) const override;
    static int RowsPerPage(const TPageGeometry& g);
    /// First row and part (0 whole rows, 1 columns 0-7, 2 columns 8-15) of page `index`.
    static std::pair<std::int32_t, int> PageBand(int index, const TPageGeometry& g, const TPrintSettings& s);

private:
    std::vector<std::uint8_t> grid_;
    std::int32_t rows_;
    std::int32_t lastRow_;
    std::function<std::string(std::uint16_t)> stepComment_;
};

/// The texts of the title page.
struct TTitleInfo {
    std::string title, fileName, company, designer;
    QDate date;
};

/// A document: a source, the settings, the title and the file name of the headers.
struct TPrintDocument {
    const TPageSource* source = nullptr;
    TPrintSettings settings;
    TTitleInfo info;
    /// First and last page index of the range for a geometry (last < first: none).
    std::pair<int, int> Range(const TPageGeometry& g) const;
    /// Sheets: the title page (when asked) and the pages of the range.
    int SheetCount(const TPageGeometry& g) const;
};

/// The page of a device: its full paper and the printable area inside it, in
/// device pixels at `dpi`.
struct TPageFrame {
    QSize paper;
    QRect paint;
    int dpi = 72;
};

/// The geometry of the document's pages on a frame.
TPageGeometry DocumentGeometry(const TPrintDocument& doc, const TPageFrame& frame);

/// Paints sheet `sheet` (0-based over SheetCount) on `p`, whose coordinates
/// are the printable area of `g.page`.
void PaintSheet(QPainter& p, const TPrintDocument& doc, int sheet, const TPageGeometry& g);

/// The title page alone (the boxed five lines).
void PaintTitlePage(QPainter& p, const TTitleInfo& info, const TPageGeometry& g, bool chart);

/// Prints every sheet on a printer or PDF writer; returns the sheets written,
/// or -1 when the device did not take them (a file that cannot be written, a
/// printer that fails): nothing is counted as printed then.
/// A document with no sheet still writes one empty page (the device always does).
int PrintDocument(QPagedPaintDevice& device, const TPrintDocument& doc);

/// Paints one sheet as a picture of the whole paper (white paper, the
/// printable area at its place), `image` pixels wide and high: the preview.
void PaintSheetImage(QPainter& p, QSize image, const TPrintDocument& doc, int sheet, const TPageFrame& frame);
