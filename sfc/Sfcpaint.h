#pragma once
// Drawing of the chart: the cells of a grid at one cell size, the cursor and
// the background grid, on any painter (the window, a page, an image in tests).
// QtGui only.
#include <cstdint>
#include <functional>

#include <QColor>
#include <QFont>
#include <QSize>

class QPainter;
class QRect;
struct TSfcCell;

struct TSfcPaintView {
    const std::uint8_t* grid = nullptr;  // rows of 64 bytes
    std::int32_t rows = 0;
    std::int32_t cellWidth = 90;
    std::int32_t cellHeight = 45;
    std::int32_t vertPos = 0;  // pixels scrolled
    std::int32_t horzPos = 0;
    QSize size;                // the area painted
    std::int32_t cursorRow = -1;
    std::int32_t cursorCol = -1;
    QFont font;
    // True when the element at (row, col) has an inner program; elements that
    // can hold one and have none are filled in the button-face colour.
    std::function<bool(std::int32_t row, std::int32_t col)> hasCode;
};

inline const QColor kSfcButtonFace{0xF0, 0xF0, 0xF0};
inline const QColor kSfcGridColour{0xC0, 0xC0, 0xC0};
inline const QColor kSfcCursorColour{0x00, 0x00, 0xFF};

// One element or line piece in the rectangle `r`.
void PaintSfcCell(QPainter& p, const TSfcCell& x, const QRect& r, bool noCode);
// The visible part of the chart: background grid, cells, cursor.
void PaintSfcView(QPainter& p, const TSfcPaintView& v);
