#pragma once
// The ladder painter: draws the rows of a ladder grid with QPainter, cell by
// cell (rail, element glyphs, operand texts, links, labels, step numbers,
// block and row comments, device comments, the cursor frame), at any cell
// size. The ladder window paints its visible rows through it; the page
// renderer, the on-line monitor and the simulator display draw through the
// same code, the latter two handing in the state of each cell.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QColor>
#include <QPoint>
#include <QRect>
#include <QSize>

#include "ladder/model/LadderGrid.h"

class QPainter;

/// What a monitor or the simulator knows of one cell while it paints.
struct TLadderCellState {
    bool known = false;   ///< false: paint the cell as when editing
    bool on = false;      ///< the element conducts (contacts, coils, timers ...)
    std::string value;    ///< current value of an operand token ("K100"), drawn in red; empty: none
};

/// Per-cell states for a monitor or the simulator; called for every visible
/// element and operand token, rows top down and cells left to right.
using TLadderStateFn = std::function<TLadderCellState(std::int32_t row, std::int32_t col)>;

/// The ladder a painter draws and what goes with it.
struct TLadderPaintView {
    const std::uint8_t* grid = nullptr;  ///< rows of 60 bytes
    std::int32_t capacity = 0;           ///< rows of the grid
    TLabelTables labels{nullptr, nullptr};
    /// The program's own ladder: step numbers, block-comment rows and rung
    /// comments are drawn only there.
    bool program = true;
    const std::vector<TStepMark>* marks = nullptr;        ///< first row and step of each network
    const std::vector<std::string>* rowComments = nullptr; ///< entry r: comment of row r
    /// Comment of a device (letter of "XYMSTCDPI", number); empty when none.
    std::function<std::string(char letter, std::int32_t number)> deviceComment;
};

/// How and where to draw.
struct TLadderPaintOptions {
    int cellWidth = 90;        ///< CW in pixels
    int cellHeight = 70;       ///< CH in pixels (already doubled when comments show)
    int fontPoints = 10;       ///< element text size
    bool comments = false;     ///< device, label and rung comments shown (cells double height)
    int hScroll = 0;           ///< horizontal scroll position in pixels
    int vScroll = 0;           ///< vertical scroll position in pixels
    QSize client{800, 600};    ///< the area to fill
    bool showCursor = true;
    std::int32_t cursorRow = 0;
    std::int32_t cursorCol = 0;  ///< -5 the label column, else 0..55
    bool blackAndWhite = false;  ///< every text in black (pages)
    TLadderStateFn state;        ///< monitor or simulator states; empty while editing
    QColor cursorColor{0, 0, 255};
    int fontPixels = 0;          ///< > 0: element text size in pixels (pages), instead of points
    bool page = false;           ///< a printed page: rung comments by `rungComments`, links as printed
    bool rungComments = false;   ///< pages: the rung comment right of each row
    int lineWidth = 1;           ///< width of the lines (pages of fine printers draw wider)
    /// Cells of a marked block (drawn on the selection colour); empty: none.
    std::function<bool(std::int32_t row, std::int32_t col)> selected;
    QColor selectionColor{173, 214, 255};
};

/// Colours of the ladder.
namespace LadderColors {
inline const QColor Background{255, 255, 255};
inline const QColor Line{0, 0, 0};
inline const QColor On{0, 255, 0};          ///< element ON while monitoring
inline const QColor Step{0, 0, 255};        ///< step numbers
inline const QColor BlockComment{255, 0, 0};
inline const QColor DeviceComment{128, 0, 0};
inline const QColor RungComment{128, 0, 128};
inline const QColor Value{255, 0, 0};
}  // namespace LadderColors

/// Geometry of the drawing, shared by the painter and the window's hit tests.
struct TLadderGeometry {
    int cw, ch, hScroll, vScroll;
    bool comments;
    /// x of the left power rail.
    int RailX() const { return cw - hScroll; }
    /// Left edge of a cell column (byte offset 0..55; -5 the label column).
    int CellX(std::int32_t col) const { return col < 0 ? -hScroll : RailX() + (col / kLdbCellBytes) * cw; }
    /// Top of a row.
    int RowY(std::int32_t row) const { return row * ch - vScroll; }
    /// Element line of a row whose top is y.
    int LineY(int y) const { return comments ? y + ch / 4 : y + ch / 2; }
    /// Height of the element area of a cell.
    int ElementHeight() const { return comments ? ch / 2 : ch; }
    /// Full content width: label column, twelve cells, two cells of rung comment.
    int ContentWidth() const { return 15 * cw; }
};

/// Cells the element at (row, col) covers: a box and a compare with their
/// operand tokens, a block-comment row 12, the label column and anything else 1.
std::int32_t LadderCellSpan(const std::uint8_t* grid, std::int32_t row, std::int32_t col);

/// Paints the visible rows of the view on `p` (the client area, from its
/// top-left corner) with the given options.
void PaintLadder(QPainter& p, const TLadderPaintView& view, const TLadderPaintOptions& options);

/// Paints rows [firstRow, lastRow] with the top of firstRow at `origin`,
/// without scrolling (pages): the rail, the cells and the labels.
void PaintLadderRows(QPainter& p, const TLadderPaintView& view, const TLadderPaintOptions& options,
                     std::int32_t firstRow, std::int32_t lastRow, QPoint origin);

/// A printed or previewed ladder page: the print cell, the page and what the
/// print options put on it. All sizes in the page's own pixels.
struct TLadderPageOptions {
    QSize page;                  ///< page width and height (the margins follow from them)
    int cellWidth = 1;           ///< PW: print cell width
    int cellHeight = 1;          ///< PH0: base print cell height (rows are twice as high with device comments)
    int fontPixels = 10;         ///< element text size
    int rowsPerPage = 1;         ///< length of the left rail, in rows
    bool deviceComments = false; ///< device and label comments under the cells (double rows)
    bool blockComments = false;  ///< block-comment rows drawn; without them they take no room
    bool rungComments = false;   ///< the rung comment right of each row
    bool colour = false;         ///< comments in colour; everything else black
    int lineWidth = 1;           ///< line width in page pixels
};

/// Left and top margins of a ladder page: a tenth of the width, a twentieth of the height.
QPoint LadderPageOrigin(QSize page);

/// Draws rows [firstRow, lastRow] of the view on a page (printer, PDF or
/// preview image) through the same drawing as the screen: the left rail, step
/// numbers, labels, cells, and the comments the options ask for. Returns the
/// rows that took room on the page.
int DrawLadderPage(QPainter& p, const TLadderPaintView& view, const TLadderPageOptions& options,
                   std::int32_t firstRow, std::int32_t lastRow);
