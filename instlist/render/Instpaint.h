#pragma once
// The instruction list's one painter: the window's lines on screen and the
// printed or previewed pages, drawn from the list model (TInstEdit) with a
// QPainter and options. The window's paintEvent, TInst::PrintPage and the pixel
// tests all come here. QtGui only; the painter's font is the caller's.
#include <QColor>
#include <QSize>

class QPainter;
class TInstEdit;

// The screen: a window of lines scrolled by pixels, a cursor frame and a
// selected block.
struct TInstScreenOptions {
    QSize size;                  // the area painted (the window's viewport)
    int scrollY = 0;             // pixels scrolled past the first line
    int lineHeight = 16;
    int stepColumnWidth = 56;    // the step numbers, right-aligned 8 pixels short of it
    int cursorLine = -1;         // framed line; -1 none
    int selFirst = -1;           // selected lines selFirst..selLast; none when selFirst > selLast
    int selLast = -2;
    QColor text = Qt::black;
    QColor cursor = QColor(48, 140, 198);
    QColor selection = QColor(173, 214, 255);
};

// Paints the lines that show in the area; returns the top line (the first line
// at least partly visible).
int PaintInstScreen(QPainter& p, const TInstEdit& list, const TInstScreenOptions& options);

// Paints page `pageIndex` of the list (53 instructions a page, below a header
// band of two 54ths of the page height; cells a 17th of the page width) on a
// page of `pageSize` pixels. Returns the instructions painted: 0 past the end.
int PaintInstPage(QPainter& p, const TInstEdit& list, int pageIndex, QSize pageSize);
