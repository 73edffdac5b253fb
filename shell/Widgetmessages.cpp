#include "shell/Widgetmessages.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace qel {
namespace {

QWidget* BoxParent() { return QApplication::activeWindow(); }

}  // namespace

void TWidgetMessages::Show(const std::string& text, MsgKind kind) {
    const QString t = QString::fromStdString(text);
    const QString caption = QApplication::applicationDisplayName();
    switch (kind) {
    case MsgKind::Info: QMessageBox::information(BoxParent(), caption, t); break;
    case MsgKind::Warning: QMessageBox::warning(BoxParent(), caption, t); break;
    case MsgKind::Error: QMessageBox::critical(BoxParent(), caption, t); break;
    }
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
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case AskButtons::YesAllCancelIgnore:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::Cancel |
                               QMessageBox::Ignore);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    }
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
