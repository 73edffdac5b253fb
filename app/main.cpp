// The qel program: starts the frame and runs the message loop until the frame
// closes.
#include <exception>
#include <memory>

#include <QApplication>

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/Laddercompile.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "link/windows/Online.h"
#include "link/windows/Transdatafrm.h"
#include "platform/Messages.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/window/Sfcwin.h"
#include "shell/Qelmain.h"
#include "shell/Startup.h"
#include "shell/Widgetmessages.h"
#include "tools/windows/Toolsinstall.h"

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

    // The project asks the models what only they can judge: whether the
    // ladder compiles into the program, whether the chart is only a drawing.
    // Before start-up, which may open a project.
    InstallLadderCodeCheck();
    InstallSfcChartJudge();
    RegisterInstListForms();  // windows of other libraries take their places in the start-up order
    RegisterToolForms();
    RegisterOnlineForms();
    const auto installEditors = [](TQelMain* f) {
        InstallInstList(f);       // the input dialog and the instruction-list window
        InstallLadder(f);         // the ladder window and the dialog's ladder entries
        InstallSfc(f);            // the SFC window
        InstallTools(f);          // double coils, device use, batch compile test
        InstallOnline(f);         // the device monitor, set value, force, run and stop
        InstallProgramTransfer(f);  // the link window, program write, read and verify
        InstallFileTemplate(f);     // the file-register template, its files and transfer
        InstallRegisterView(f);     // the register view, its files, transfer and print
    };
    std::unique_ptr<TQelMain> frame(StartQel(QApplication::arguments().mid(1), {}, installEditors));
    int rc = 1;
    if (frame) {
        rc = QApplication::exec();
    }
    frame.reset();
    qel::SetMessageService(nullptr);
    return rc;
}
