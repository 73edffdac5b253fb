#include "shell/Widgetmessages.h"

#include <algorithm>

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

namespace qel {
namespace {

QWidget* BoxParent() { return QApplication::activeWindow(); }

bool IsTextField(QWidget* w) {
    if (auto* combo = qobject_cast<QComboBox*>(w)) return combo->isEditable();
    return qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QTextEdit*>(w) ||
           qobject_cast<QPlainTextEdit*>(w);
}

// Room kept between the field and the box, and for a title bar the window
// system adds above the box's contents.
constexpr int kGap = 8;
constexpr int kTitleRoom = 32;

}  // namespace

void PlaceClearOfInputField(QWidget* box, QWidget* parent) {
    QWidget* field = QApplication::focusWidget();
    if (!box || !parent || !field || field->window() != parent->window() || !IsTextField(field)) return;
    // A line edit inside a spin box or combo box: keep the whole control in sight.
    if (QWidget* outer = field->parentWidget(); outer && IsTextField(outer)) field = outer;
    box->adjustSize();
    const QSize size = box->size();
    const QRect f(field->mapToGlobal(QPoint(0, 0)), field->size());
    const QScreen* screen = field->screen() ? field->screen() : QApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), QSize(1 << 14, 1 << 14));
    int x = f.center().x() - size.width() / 2;
    x = std::max(avail.left(), std::min(x, avail.right() + 1 - size.width()));
    int y = f.bottom() + 1 + kGap;
    if (y + kTitleRoom + size.height() > avail.bottom() + 1) y = f.top() - kGap - kTitleRoom - size.height();
    box->move(x, std::max(avail.top(), y));
}

void TWidgetMessages::Show(const std::string& text, MsgKind kind) {
    const QString t = QString::fromStdString(text);
    const QString caption = QApplication::applicationDisplayName();
    QMessageBox::Icon icon = QMessageBox::Information;
    if (kind == MsgKind::Warning) icon = QMessageBox::Warning;
    if (kind == MsgKind::Error) icon = QMessageBox::Critical;
    QMessageBox box(icon, caption, t, QMessageBox::Ok, BoxParent());
    PlaceClearOfInputField(&box, BoxParent());
    box.exec();
}

Answer TWidgetMessages::Ask(const std::string& text, AskButtons buttons) {
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                    QString::fromStdString(text), QMessageBox::NoButton, BoxParent());
    switch (buttons) {
    case AskButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case AskButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case AskButtons::YesNoCancel:
    case AskButtons::YesNoOrCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(buttons == AskButtons::YesNoCancel ? QMessageBox::Yes : QMessageBox::Cancel);
        break;
    case AskButtons::YesAllCancelIgnore:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::Cancel |
                               QMessageBox::Ignore);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
    box.adjustSize();
    PlaceClearOfInputField(&box, BoxParent());
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::YesToAll: return Answer::All;
    case QMessageBox::Ignore: return Answer::Ignore;
    default:
        // Closing the box with Esc or its title button: the safe answer.
        return buttons == AskButtons::YesNo ? Answer::No : Answer::Cancel;
    }
}

}  // namespace qel
