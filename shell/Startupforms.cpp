#include "shell/Startupforms.h"

#include <cstring>

#include "shell/About.h"
#include "shell/Machinesetfrm.h"
#include "shell/Progfrm.h"
#include "shell/Qelmain.h"
#include "shell/Titlepage.h"

namespace {

QWidget* MakeAbout(TQelMain* frame) { return _About = new TAbout(frame); }
QWidget* MakeTitlePage(TQelMain* frame) { return _TitlePage = new TTitlePage(frame); }
QWidget* MakeMachineSet(TQelMain* frame) { return _MachineSet = new TMachineSet(frame); }
QWidget* MakeProgBar(TQelMain* frame) {
    _ProgBar = new TProgBar(frame);
    // Closed by the user, the window asks as every command that would end a PLC job.
    _ProgBar->WorkRuns = [frame] { return frame->Link.JobRunning && frame->Link.JobRunning(); };
    _ProgBar->MayStopWork = [frame] { return frame->MayStopLinkWrite(); };
    return _ProgBar;
}

TStartupFormDef kForms[] = {
    {"LineCmt", nullptr},          // rung comments
    {"ComDlg", nullptr},           // device-comment quick editor
    {"DevDlg", nullptr},           // device entry
    {"AppDlg", nullptr},           // applied-instruction picker
    {"EditDlg", nullptr},          // one-line input
    {"TransData", nullptr},        // PLC link
    {"PassWord", nullptr},         // password
    {"SetValDlg", nullptr},        // set value
    {"SearchDlg", nullptr},        // find and replace
    {"PrintForm", nullptr},        // print
    {"PreviewForm", nullptr},      // preview
    {"DevUse", nullptr},           // device use
    {"DevForce", nullptr},         // force
    {"DevMoniInput", nullptr},     // monitor input
    {"LoopChk", nullptr},          // double-coil check
    {"About", MakeAbout},
    {"TitlePage", MakeTitlePage},
    {"MachineSet", MakeMachineSet},
    {"ProgBar", MakeProgBar},
    {"FileTmpCom", nullptr},       // file-register transfer
    {"MemCard", nullptr},          // memory card
    {"DevNumPrn", nullptr},        // print range
    {"DevNumComm", nullptr},       // register transfer
    {"FileCompileTest", nullptr},  // batch compile test
};

}  // namespace

std::span<const TStartupFormDef> StartupFormTable() { return kForms; }

bool SetStartupFormMaker(const char* name, QWidget* (*create)(TQelMain* frame)) {
    for (TStartupFormDef& def : kForms) {
        if (std::strcmp(def.name, name) == 0) {
            def.create = create;
            return true;
        }
    }
    return false;
}
