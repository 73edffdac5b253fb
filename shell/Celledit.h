#pragma once
// The cell a grid is editing: what is typed in it goes in before anything
// reads the grid's values (a save, a close, a transfer, a print, a new model,
// New, Open, Exit), as if the user had pressed Enter.
class QAbstractItemView;
class QWidget;

/// The editor open on `grid`'s current cell; null when no cell is being
/// edited (or the grid closed its editor already).
QWidget* OpenCellEditor(QAbstractItemView* grid);

/// Puts the text of `grid`'s open cell editor into its cell through the
/// grid's own slots, as Enter does (the model stores it, or refuses it with
/// its message), and closes the editor; nothing when no cell is being edited.
void CommitOpenCell(QAbstractItemView* grid);

/// Closes `grid`'s open cell editor without putting its text in (the caller
/// has taken the text in itself).
void CloseOpenCell(QAbstractItemView* grid);
