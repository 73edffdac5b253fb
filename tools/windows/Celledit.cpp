#include "tools/windows/Celledit.h"

#include <QAbstractItemDelegate>
#include <QTableWidget>

void CommitOpenCell(QTableWidget* grid) {
    if (!grid) return;
    QWidget* editor = grid->indexWidget(grid->currentIndex());
    // An editor the view closed already (hidden, deleted later) holds nothing new.
    if (!editor || editor->isHidden()) return;
    // The view's own slots, as its delegate calls them on Enter.
    QMetaObject::invokeMethod(grid, "commitData", Qt::DirectConnection, Q_ARG(QWidget*, editor));
    QMetaObject::invokeMethod(grid, "closeEditor", Qt::DirectConnection, Q_ARG(QWidget*, editor),
                              Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
}
