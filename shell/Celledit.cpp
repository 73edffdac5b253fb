#include "shell/Celledit.h"

#include <QAbstractItemDelegate>
#include <QAbstractItemView>

QWidget* OpenCellEditor(QAbstractItemView* grid) {
    if (!grid) return nullptr;
    QWidget* editor = grid->indexWidget(grid->currentIndex());
    // An editor the view closed already (hidden, deleted later) holds nothing new.
    return editor && !editor->isHidden() ? editor : nullptr;
}

void CloseOpenCell(QAbstractItemView* grid) {
    if (QWidget* editor = OpenCellEditor(grid))
        QMetaObject::invokeMethod(grid, "closeEditor", Qt::DirectConnection, Q_ARG(QWidget*, editor),
                                  Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
}

void CommitOpenCell(QAbstractItemView* grid) {
    QWidget* editor = OpenCellEditor(grid);
    if (!editor) return;
    // The view's own slots, as its delegate calls them on Enter.
    QMetaObject::invokeMethod(grid, "commitData", Qt::DirectConnection, Q_ARG(QWidget*, editor));
    CloseOpenCell(grid);
}
