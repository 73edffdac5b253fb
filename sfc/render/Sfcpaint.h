#pragma once
// Drawing of the chart: the cells of a grid at one cell size, the cursor and
// the background grid, on any painter (the window, a page, an image in tests).
// QtGui only.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QColor>
#include <QFont>
#include <QPoint>
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
    // Comment display: every column is two cells wide, the element in the
    // left half and the comment of a step-like element's device in the right.
    bool commentMode = false;
    std::function<std::string(std::uint16_t step)> stepComment;
    // While monitoring: the PLC's reply bits (kSfcMonitorReplyBytes bytes),
    // one per step-like cell in drawing order; a set bit fills it red. Null
    // while monitoring is off.
    const std::uint8_t* monitorBits = nullptr;
};

// A page of a printed chart: `rowCount` rows from `firstRow`, cells of the
// print cell size from `origin`. Part 0 prints all 16 columns; with device
// comments every column takes two cells (the element, then the comment of a
// step-like element) and part 1 prints columns 0-7, part 2 columns 8-15.
struct TSfcPageOptions {
    QPoint origin;
    std::int32_t cellWidth = 90;
    std::int32_t cellHeight = 45;
    int unit = 1;  // one screen pixel in page pixels
    std::int32_t firstRow = 0;
    std::int32_t rowCount = 0;
    int part = 0;
    bool deviceComments = false;
    QFont font;
    std::function<std::string(std::uint16_t step)> stepComment;
};

// A comment cut into lines of at most `bytes` bytes, never splitting a UTF-8
// character, at most `lines` lines.
std::vector<std::string> SplitCommentLines(const std::string& text, std::size_t bytes = 8, std::size_t lines = 3);

inline const QColor kSfcButtonFace{0xF0, 0xF0, 0xF0};
inline const QColor kSfcGridColour{0xC0, 0xC0, 0xC0};
inline const QColor kSfcCursorColour{0x00, 0x00, 0xFF};

inline const QColor kSfcActiveColour{0xFF, 0x00, 0x00};

// One element or line piece in the rectangle `r`: closed shapes filled with
// `fill` (the button face when `noCode`); `unit` scales the screen's pixel
// measures for a page.
void PaintSfcCell(QPainter& p, const TSfcCell& x, const QRect& r, bool noCode, const QColor& fill = Qt::white,
                  int unit = 1);
// The visible part of the chart: background grid, cells, cursor.
void PaintSfcView(QPainter& p, const TSfcPaintView& v);
// One printed page of the chart, black on white (no marks for elements
// without an inner program).
void PaintSfcPage(QPainter& p, const std::uint8_t* grid, std::int32_t rows, const TSfcPageOptions& o);
