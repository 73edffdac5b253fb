#pragma once
// Register pages on a printer or any paged device (a PDF writer in tests):
// the head line (program name, page caption, page number), the column head
// line and the grid rows of the register view's active page, exactly as the
// grid shows them. QtGui only: the print command, the print driver and the
// tests call it.
#include <array>
#include <string>
#include <vector>

class QPagedPaintDevice;

struct TRegPrintSheet {
    std::string ProgramName;  ///< base name of the program file, after "Name: "
    std::string PageCaption;  ///< the caption of the view's active page
    /// The grid's texts: row 0 the column labels, then one row per grid row
    /// (column 0 the row label, columns 1-10 the cells).
    std::vector<std::array<std::string, 11>> Rows;
    bool Is32 = false;     ///< "32 bits" shown
    bool Binary = false;   ///< binary display
};

/// The range to print, in register indexes of the page: the whole page
/// (0 to the number of data cells) or [start, end]. False when end < start
/// or end lies past the data cells (message 141).
bool RegPrintRange(bool all, int start, int end, int cells, int& first, int& last);

/// Pages a range takes: 25 grid rows on the first page, 26 on each later one.
int RegPrintPageCount(int first, int last);

/// Width of a value column on a page `pageWidth` wide.
int RegPrintColumnWidth(int pageWidth, bool is32, bool binary);

/// Prints the grid rows of [first, last] in landscape; returns the pages
/// printed, -1 when the device did not take them (it did not start, or
/// refused a page).
int PrintRegisterPages(QPagedPaintDevice& device, const TRegPrintSheet& sheet, int first, int last);
