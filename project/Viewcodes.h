#pragma once
// The codes of gActiveView: which editor view or input mode is active. The frame
// dispatches every command on it, the one-line input dialog decides where its text
// goes by it, and the editors' command handlers are registered under it. The numbers
// are fixed: they are the keys of the command routing and of the input dialog.
#include <cstdint>

enum TViewCode : std::int32_t {
    kViewNone = 0,                // no editor view (the frame alone)
    kViewInstList = 1,            // program instruction list; also marks a compile of the program's own ladder
    kViewLadder = 2,              // program ladder
    kViewBlockComment = 3,        // block-comment entry in the ladder
    kViewDevComment = 6,          // device comments
    kViewDevMonitor = 7,          // device monitor
    kViewGotoStepLadder = 8,      // go-to-step entry in the ladder
    kViewGotoStepInstList = 9,    // go-to-step entry in the instruction list
    kViewRegister = 13,           // register view
    kViewSfc = 16,                // SFC chart
    kViewInnerLadder = 17,        // ladder of an SFC element
    kViewInnerInstList = 18,      // instruction list of an SFC element
    kViewGotoStepInnerList = 19,  // go-to-step entry in an SFC element's instruction list
    kViewFileTemplate = 20,       // file-register template
};
