#pragma once
// Comment rows on a printed or previewed page: the two column headers, then
// one row per device, its name and its comment. Shared by the print driver,
// the preview and the tests.
#include <string>
#include <utility>
#include <vector>

class QPainter;

struct TCommentPageGeometry {
    int unitX = 10;      ///< x unit: the name at 1 unit, the comment at 8
    int unitY = 12;      ///< y unit: headers at 5 units, the first row at 7
    int rowHeight = 12;  ///< distance between rows
};

/// The geometry of a printer page (row height = page height / 60, x unit =
/// page width / 100, y unit = the font height) or of a preview image (row
/// height = y unit = the font height, x unit 10).
TCommentPageGeometry CommentPageGeometry(bool printer, int pageWidth, int pageHeight, int fontHeight);

/// Draws the headers and rows [first, last] of `rows` (name, comment).
void PaintCommentRows(QPainter& painter, const std::pair<std::string, std::string>& headers,
                      const std::vector<std::pair<std::string, std::string>>& rows, int first, int last,
                      const TCommentPageGeometry& geometry);
