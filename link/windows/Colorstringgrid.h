#pragma once
// A string grid that can paint over a cell after the grid has painted it: a
// filled circle (the device monitor's ON lamp) or a whole-cell colour. The
// marks stay until they are cleared, so every repaint shows them again.
#include <QColor>
#include <QTableWidget>

#include <map>
#include <utility>

class TColorStringGrid : public QTableWidget {
    Q_OBJECT
public:
    explicit TColorStringGrid(QWidget* parent = nullptr);

    /// A filled circle of `colour` in the cell, one row height high less 4
    /// pixels, centred across the cell's width.
    void DrawCellCircle(int col, int row, const QColor& colour);
    /// The whole cell filled with `colour` (the cell's text is covered).
    void DrawCellColor(int col, int row, const QColor& colour);
    /// Removes the mark of a cell.
    void ClearCellMark(int col, int row);
    bool HasCellMark(int col, int row) const { return marks_.count({row, col}) != 0; }

    /// The circle's bounding box in viewport pixels; empty when the cell is
    /// not on screen.
    QRect CircleRect(int col, int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Mark {
        bool circle;
        QColor colour;
    };
    void UpdateCell(int col, int row);
    std::map<std::pair<int, int>, Mark> marks_;  // by (row, col)
};
