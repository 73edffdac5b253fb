#include "app/Qelassemble.h"

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/Laddercompile.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "link/windows/Online.h"
#include "link/windows/Transdatafrm.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/window/Sfcwin.h"
#include "shell/Qelmain.h"
#include "tools/windows/Toolsinstall.h"

TQelMain* AssembleQel(const QStringList& args, const TStartupOptions& options) {
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
    return StartQel(args, options, installEditors);
}
