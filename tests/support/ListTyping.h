// Typing an instruction into the instruction list as a user does.
#pragma once

#include <QLatin1Char>
#include <QString>
#include <QTest>

#include "instlist/EdDlg.h"
#include "instlist/Instredit.h"

namespace qel::test {

// Types `line` at the list's END line (insert mode): the first key opens the
// entry box, the rest goes into it and Return enters it. False when the list
// is not open or took no key (no entry box came up).
inline bool TypeInList(const char* line) {
    if (!_Inst) return false;
    QTest::keyClick(_Inst, Qt::Key_End);
    QTest::keyClick(_Inst, Qt::Key_Up);
    QTest::keyClicks(_Inst, QString(QLatin1Char(line[0])));
    if (!_EditDlg || !_EditDlg->isVisible()) return false;
    QTest::keyClicks(_EditDlg->IEdit, QString::fromLatin1(line + 1));
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
    return true;
}

}  // namespace qel::test
