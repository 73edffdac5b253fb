#pragma once
// The cell a comment grid is editing: what is typed in it goes in before
// anything reads the comments (a save, a new model, New, Open, Exit), as if
// the user had pressed Enter.
class QTableWidget;

/// Puts the text of `grid`'s open cell editor into its cell (the grid's
/// cellChanged handler stores it, or refuses it with its message) and closes
/// the editor; nothing when no cell is being edited.
void CommitOpenCell(QTableWidget* grid);
