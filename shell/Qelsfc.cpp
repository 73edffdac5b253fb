// The frame's conversions between the SFC chart and the program: chart to
// code (the program replaced only when the whole chart converted, then the
// ladder rebuilt from it) and code to chart.
#include "ladder/model/LadderConvert.h"
#include "platform/Messages.h"
#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "sfc/model/Codetosfc.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/model/Sfctocode.h"
#include "shell/Qelmain.h"
#include "project/Viewcodes.h"

namespace {

constexpr int kMsgChartConverted = 180;
constexpr int kMsgInnerWindowOpen = 260;  // an element's inner window is open: close it first
constexpr int kMsgChartWorkDropped = 268;  // question: draw the chart from the program over its own work?
constexpr int kLadderView = kViewLadder;

}  // namespace

void TQelMain::CreateSfcCommands() {
    // Converting an empty chart would wipe the program: the command needs a chart.
    auto chartPresent = [] {
        return gQel.ProgramPresent != 0 && gProgram != nullptr && SfcLastUsedRow(gSfcGrid, gSfcRowCount) >= 0;
    };
    auto programPresent = [] { return gQel.ProgramPresent != 0 && gProgram != nullptr; };
    router_.Register("MmSfcToCode", TCommandRouter::kAnyView, [this] { BnSfcToCodeClick(); }, chartPresent);
    router_.Register("MmCodeToSfc", TCommandRouter::kAnyView, [this] { BnCodeToSfcClick(); }, programPresent);
}

void TQelMain::BnSfcToCodeClick() {
    if (CheckStopMonitor()) return;  // monitoring still runs
    // The program was changed elsewhere since the chart last matched it: the
    // chart's code, which replaces the whole program, goes in over those
    // changes only when the user says so.
    switch (AskChartOverChangedCode()) {
    case TChartOverChangedCode::Go: break;
    case TChartOverChangedCode::KeepProgram:
        // The user chose to drop the chart's edits: drawn without a second question.
        if (!router_.Dispatch("SfcDrawFromProgram", kViewSfc) && ConvertCodeToSfc()) gQel.Modified = 1;
        RefreshCommands();
        return;
    case TChartOverChangedCode::Cancel: return;
    }
    if (!SfcToCode()) {
        // Refused: message shown, program as it was; an open chart shows where.
        router_.Dispatch("ShowChartError", kViewSfc);
        EndSimulationSaying(kMsgSimEditsRefused);
        return;
    }
    gQel.Modified = 1;
    router_.Dispatch("SfcSynced", kViewSfc);
    ConvertCodeToLadder();
    gQel.ProgramOk = ReportConvertAbort() ? 0 : 1;
    router_.Dispatch("RepaintLadder", kLadderView);
    ShowStepCount();
    RefreshCommands();
    ShowMsg(kMsgChartConverted);
}

void TQelMain::BnCodeToSfcClick() {
    // An element's open inner window would store into the chart drawn anew.
    if (LinkOfView(kViewInnerLadder) || LinkOfView(kViewInnerInstList)) {
        ShowMsg(kMsgInnerWindowOpen);
        return;
    }
    LocateProgramEnd();
    // The chart may hold what the program does not: drawing it anew drops
    // that only when the user says so, as putting it in does.
    const bool work = SfcChartHoldsOwnWork();
    if (work) {
        const qel::Answer a = qel::AskQuestion(gMsgTable.Get(kMsgChartWorkDropped), qel::AskButtons::OkCancel);
        if (a != qel::Answer::Ok && a != qel::Answer::Yes) return;
    }
    // An open chart draws it itself: its history ends there, the work
    // replaced kept as one undo step.
    if (router_.Dispatch(work ? "SfcDrawAnewOverWork" : "SfcDrawAnew", kViewSfc)) {
        RefreshCommands();
        return;
    }
    if (ConvertCodeToSfc()) gQel.Modified = 1;
    RefreshCommands();
}

bool TQelMain::ChartEditsSaved() {
    // The chart file holds the chart as drawn, the program file only what it
    // converted to; an element's inner ladder that could not be stored is in
    // neither. The project stays modified, so that leaving it asks again.
    TEditorLink* inner = LinkOfView(kViewInnerLadder);
    const bool innerHolds = inner && inner->HoldsEdits && inner->HoldsEdits();
    if (!innerHolds && SfcChartState() != TSfcChartState::Edited) return true;
    ShowMsg(kMsgChartEditsNotSaved, " " + SiblingPath(".sfc"));
    gQel.Modified = 1;
    return false;
}
