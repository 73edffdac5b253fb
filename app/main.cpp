// The qel program: starts the frame and runs the message loop until the frame
// closes.
#include <exception>
#include <memory>

#include <QApplication>

#include "app/Qelassemble.h"
#include "platform/Messages.h"
#include "shell/Qelmain.h"
#include "shell/Widgetmessages.h"

namespace {

// The one top-level handler: an exception that reaches the message loop is
// shown, and the program goes on with the next event.
class TQelApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            qel::ShowMessage(e.what(), qel::MsgKind::Error);
        } catch (...) {
            qel::ShowMessage("Unexpected error", qel::MsgKind::Error);
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    TQelApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QEL"));
    QApplication::setApplicationDisplayName(QStringLiteral("QEL"));
    qel::TWidgetMessages messages;
    qel::SetMessageService(&messages);

    std::unique_ptr<TQelMain> frame(AssembleQel(QApplication::arguments().mid(1)));
    int rc = 1;
    if (frame) {
        rc = QApplication::exec();
    }
    frame.reset();
    qel::SetMessageService(nullptr);
    return rc;
}
