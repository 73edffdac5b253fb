// The frame's simulate commands and what the simulator reports back: the
// scan-time text in status panel 3, a repaint of the ladder after new scans,
// and the end of a run that stopped on its own.
#include <QAction>

#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "simulator/SimMonitor.h"
#include "simulator/Simuplc.h"
#include "project/Viewcodes.h"

namespace {

constexpr int kLadderView = kViewLadder;
constexpr int kSfcView = kViewSfc;

}  // namespace

void TQelMain::CreateSimulator() {
    gSimRunning = 0;
    gSimLadderMonitor = 0;
    gSimSfcMonitor = 0;

    auto* mon = new TSimMonitor(SimPlc(), this);
    mon->setObjectName("SimMonitor");
    simMonitor_ = mon;
    // The run executes the program the editors hold: an edit goes into the
    // run as the editor signals it (AddEditor), and whatever else changed the
    // program is caught at the next report of new scans.
    connect(mon, &TSimMonitor::ScanPublished, this, &TQelMain::SimulationFollowsProgram);
    // The ladder window paints the simulated states through its own
    // "PaintSimLadder" handler while the ladder display is on; without a
    // ladder window nothing is painted.
    connect(mon, &TSimMonitor::LadderRepaintWanted, this, [this] { router_.Dispatch("PaintSimLadder", kLadderView); });
    connect(mon, &TSimMonitor::StatusChanged, this, [this](const QString& text) { QelStaBar->SetPanel(3, text); });
    // A run that ended without a stop command (its message has been shown).
    connect(mon, &TSimMonitor::Stopped, this, [this] {
        SetSimulateButtons(false);
        QelStaBar->SetPanel(3, {});  // no scan time without a run
        router_.Dispatch("RepaintLadder", kLadderView);
        RefreshCommands();
    });
    // Closing the frame stops the run before anything else goes; so does a
    // project put in the program's place (New, Open, a program read from the
    // PLC): the run is the old program's, and none of its states may show
    // over the new one.
    // A new model setting (family or capacity) makes another PLC, which no
    // running one turns into: that run ends, saying so.
    AddProjectListener(mon, [this](TProjectEvent event) {
        if (event == TProjectEvent::ShuttingDown) ShutdownSimulation();
        if (event == TProjectEvent::Replaced) EndSimulation();
        if (event == TProjectEvent::ModelChanging) EndSimulationSaying(kMsgSimModelChanged);
    });

    // The simulate commands show whether a run is going on.
    MmSimulate->setCheckable(true);
    BnSimuLad->setCheckable(true);
    BnSimuSfc->setCheckable(true);
    // A run can always be stopped; a new one needs a program.
    auto canToggle = [] { return gSimRunning != 0 || (gQel.ProgramPresent != 0 && gProgram != nullptr); };
    router_.Register("MmSimulate", TCommandRouter::kAnyView, [this] { MmSimulateClick(); }, canToggle);
    router_.Register("BnSimuLad", TCommandRouter::kAnyView, [this] { BnSimuLadClick(); }, canToggle);
    // The SFC view's own simulate button: available where that view is active.
    router_.Register("BnSimuSfc", kSfcView, [this] { BnSimuSfcClick(); }, canToggle);
}

void TQelMain::EndSimulation() {
    // Stopped as the simulate commands stop it.
    if (gSimRunning) ToggleSimulate(false);
}

void TQelMain::EndSimulationSaying(int id) {
    if (!gSimRunning || !simMonitor_) return;
    SimPlc().StopSaying(gMsgTable.Get(id));
    // Reported at once, as a run that stopped on its own is.
    simMonitor_->Poll();
}

void TQelMain::SimulationFollowsProgram() {
    if (gSimRunning && gProgram) SimPlc().FollowProgram(gProgram, gProgramCapacity);
}

void TQelMain::BnSimuLadClick() { ToggleSimulate(false); }

void TQelMain::MmSimulateClick() { ToggleSimulate(false); }

void TQelMain::BnSimuSfcClick() { ToggleSimulate(true); }

void TQelMain::ToggleSimulate(bool fromSfc) {
    const bool running = ToggleSimulation(gProgram, gProgramCapacity, fromSfc);
    SetSimulateButtons(running);
    // After a stop the ladder shows the program in its editing form again,
    // and no scan time stays on show.
    if (!running) {
        QelStaBar->SetPanel(3, {});
        router_.Dispatch("RepaintLadder", kLadderView);
    }
}

void TQelMain::SetSimulateButtons(bool running) {
    for (QAction* a : {MmSimulate, BnSimuLad, BnSimuSfc}) a->setChecked(running);
}
