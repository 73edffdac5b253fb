#include "link/windows/Online.h"

#include <QAction>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPointer>
#include <QScrollBar>

#include <memory>

#include "ladder/editor/Ladder.h"
#include "ladder/edit/Laddertexts.h"
#include "link/windows/Devmonidlg.h"
#include "link/windows/Devmoniinput.h"
#include "link/windows/Forcedev.h"
#include "link/online/Ladmonitor.h"
#include "link/windows/Pwddlg.h"
#include "link/windows/Setvaldlg.h"
#include "link/engine/Transdata.h"
#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qellink.h"
#include "shell/Qelmain.h"
#include "shell/Startupforms.h"

namespace {

qel::link::TTransData* Trans(TQelMain* frame) {
    return frame && frame->LinkFrame() ? &frame->LinkFrame()->Trans() : nullptr;
}

qel::link::TMoniFormat DefaultFormat() {
    switch (gQel.ValueFormat) {
    case 1: return qel::link::TMoniFormat::Hex;
    case 2: return qel::link::TMoniFormat::Ascii;
    default: return qel::link::TMoniFormat::Decimal;
    }
}

void Wire(QWidget* dialog, TQelMain* frame) {
    auto open = [frame] { return frame->OpenComPort(); };
    if (auto* d = qobject_cast<TValSet*>(dialog)) {
        d->Trans = Trans(frame);
        d->OpenPort = open;
    } else if (auto* f = qobject_cast<TDevForce*>(dialog)) {
        f->Trans = Trans(frame);
        f->OpenPort = open;
    }
}

// The ladder's on-line monitor while it runs, and the window it watches.
std::unique_ptr<qel::link::TLadMonitor> gLadMon;
QPointer<TLDB> gLadWin;

void SetLadderButtons(TQelMain* frame, bool down) {
    frame->MmMonitorLad->setChecked(down);
    frame->BnMonitorLad->setChecked(down);
}

// Force and pulse of the ladder's cursor cell: coil writes of its device.
void LadderForce(TQelMain* frame, bool first, bool second, bool pulse) {
    if (!gLadMon || !gLadWin) return;
    std::uint16_t address = 0;
    const int msg = gLadMon->ForceAddress(gLadWin->Edit().Row(), gLadWin->Edit().Col(), !first && !pulse, address);
    if (msg >= 0) {
        ShowMsg(msg);
        return;
    }
    qel::link::TTransData* trans = Trans(frame);
    if (!trans || !trans->MayPutRequests() || !frame->OpenComPort()) return;
    if (trans->QueueDeviceWrite(address, first ? 0xFF00 : 0x0000, 0, 5) && pulse)
        trans->QueueDeviceWrite(address, second ? 0xFF00 : 0x0000, 0, 5);
}

// The set-value dialog for the ladder's cursor cell: its device when it is a
// word device, else empty.
void LadderChangeValue() {
    if (!_ValSet) return;
    _ValSet->ShowEmpty();
    if (!gLadWin) return;
    const std::string dev = CellOperandText(gLadWin->Edit().Doc().grid, gLadWin->Edit().Row(), gLadWin->Edit().Col());
    if (!dev.empty() && std::string("TCDEF").find(dev[0]) != std::string::npos) {
        _ValSet->DevSetText->setText(QString::fromStdString(dev));
        _ValSet->CurValText->setFocus();
    }
}

}  // namespace

void StopLadderMonitor(TQelMain* frame) {
    qel::link::TTransData* trans = Trans(frame);
    const bool wasClient = trans && std::find(trans->MonitorClients.begin(), trans->MonitorClients.end(), "1") !=
                                        trans->MonitorClients.end();
    gMonitorMode = 0;
    qel::link::gLadderMonitorRefresh = 0;
    if (trans) {
        trans->RemoveMonitorClient("1");
        trans->RegisterMonitorClient("1", nullptr);
        // The last client switches the PLC's monitor coil off.
        if (wasClient && trans->MonitorClients.empty()) {
            trans->QueueDeviceWrite(trans->MonitorBase[0], 0x0000, 0, 5);
            trans->StartComTmr();
        }
    }
    if (gLadWin) gLadWin->SetStateSource({});
    gLadWin = nullptr;
    gLadMon.reset();
    SetLadderButtons(frame, false);
    frame->RefreshCommands();
}

void MmMonitorLadClick(TQelMain* frame) {
    qel::link::TTransData* trans = Trans(frame);
    if (!trans) return;
    if (gMonitorMode && gLadMon) {
        StopLadderMonitor(frame);
        return;
    }
    SetLadderButtons(frame, false);
    // The running job keeps the line to its end.
    if (!trans->MayPutRequests()) return;
    TLDB* w = _LDB ? _LDB : OpenLadderWindow(frame);
    if (!w || !w->Edit().Doc().grid || !frame->OpenComPort()) return;

    auto mon = std::make_unique<qel::link::TLadMonitor>();
    mon->Grid = w->Edit().Doc().grid;
    mon->Capacity = w->Edit().Doc().capacity;
    QPointer<TLDB> win = w;
    // The rows on screen: the first one at the top and one partly visible below.
    mon->VisibleRows = [win]() -> std::pair<std::int32_t, std::int32_t> {
        if (!win || gCellHeight <= 0) return {0, -1};
        const std::int32_t first = win->verticalScrollBar()->value() / gCellHeight;
        return {first, first + win->viewport()->height() / gCellHeight + 1};
    };
    mon->OnValues = [win] {
        if (win) win->viewport()->update();
    };
    mon->ValueFormat = [] { return gQel.ValueFormat; };
    qel::link::TLadMonitor* m = mon.get();
    gLadMon = std::move(mon);
    gLadWin = w;
    trans->RegisterMonitorClient("1", m);
    w->SetStateSource([m](std::int32_t row, std::int32_t col) {
        if (!gMonitorMode) return TLadderCellState{};
        const qel::link::TLadMoniCell c = m->CellState(row, col);
        return TLadderCellState{c.known, c.on, c.value};
    });

    // The window's on-line popup items and keys.
    TEditorLink* link = w->Link;
    auto online = [] { return gMonitorMode != 0; };
    link->Register("PopON", [frame] { LadderForce(frame, true, true, false); }, online);
    link->Register("PopOFF", [frame] { LadderForce(frame, false, false, false); }, online);
    link->Register("PopPulseUp", [frame] { LadderForce(frame, false, true, true); }, online);
    link->Register("PopPulseDn", [frame] { LadderForce(frame, true, false, true); }, online);
    link->Register("PopChgVal", [] { LadderChangeValue(); }, online);
    // A scroll shows other rows: their devices are listed at the next tick.
    QObject::connect(w->verticalScrollBar(), &QScrollBar::valueChanged, w, [win] {
        if (gMonitorMode && gLadWin == win) qel::link::gLadderMonitorRefresh = 1;
    });
    QObject::connect(w, &QObject::destroyed, frame, [frame, m] {
        if (gLadMon.get() != m) return;
        gLadWin = nullptr;  // half gone already: nothing more to tell it
        StopLadderMonitor(frame);
    });

    gMonitorMode = 1;
    SetLadderButtons(frame, true);
    qel::link::gLadderMonitorRefresh = 1;
    trans->AddMonitorClient("1");
    trans->StartComTmr();
    trans->Cmd64Mode = 0;
    w->RepaintLadder();
    frame->RefreshCommands();
}

void RegisterOnlineForms() {
    SetStartupFormMaker("SetValDlg", [](TQelMain* frame) -> QWidget* {
        if (!_ValSet) _ValSet = new TValSet(frame);
        Wire(_ValSet, frame);
        return _ValSet;
    });
    SetStartupFormMaker("DevForce", [](TQelMain* frame) -> QWidget* {
        if (!_DevForce) _DevForce = new TDevForce(frame);
        Wire(_DevForce, frame);
        return _DevForce;
    });
    SetStartupFormMaker("DevMoniInput", [](TQelMain* frame) -> QWidget* {
        if (!_MoniInput) _MoniInput = new TMoniInput(frame);
        return _MoniInput;
    });
}

void MmMonitorDevClick(TQelMain* frame) {
    qel::link::TTransData* trans = Trans(frame);
    if (!trans) return;
    if (_DevMoniDlg) {
        if (auto* sub = qobject_cast<QMdiSubWindow*>(_DevMoniDlg->parentWidget())) sub->showMaximized();
        _DevMoniDlg->show();
        return;
    }
    // The running job keeps the line to its end. Writes queued before
    // (RUN, a force, another monitor's coil) go out in their turn.
    if (!trans->MayPutRequests()) return;
    if (!frame->OpenComPort()) return;
    auto* monitor = new TDevMoniDlg(trans);
    monitor->OpenPort = [frame] { return frame->OpenComPort(); };
    monitor->DefaultFormat = DefaultFormat;
    frame->AddEditor(monitor, monitor->Link());
    monitor->FormShow();
    monitor->List().PollState = 8;
    trans->AddMonitorClient("3");
    trans->StartComTmr();
    trans->Cmd64Mode = 0;
    frame->RefreshCommands();
}

void InstallOnline(TQelMain* frame) {
    if (!frame) return;
    for (QWidget* w : {static_cast<QWidget*>(_ValSet), static_cast<QWidget*>(_DevForce)})
        if (w) Wire(w, frame);
    if (!_ValSet) Wire(_ValSet = new TValSet(frame), frame);
    if (!_DevForce) Wire(_DevForce = new TDevForce(frame), frame);
    if (!_MoniInput) _MoniInput = new TMoniInput(frame);
    for (QWidget* w : {static_cast<QWidget*>(_ValSet), static_cast<QWidget*>(_DevForce), static_cast<QWidget*>(_MoniInput)})
        w->hide();

    if (!_PwdDlg && Trans(frame)) {
        _PwdDlg = new TPwdDlg(*Trans(frame), frame);
        _PwdDlg->hide();
    }

    TCommandRouter& r = frame->Router();
    constexpr int any = TCommandRouter::kAnyView;
    r.Register("MmPassWd", any,
               [frame] {
                   // Not over a running job (the dialog's own job shows it).
                   if (_PwdDlg->isVisible() || !Trans(frame) || Trans(frame)->MayPutRequests()) _PwdDlg->ShowAndQuery();
               },
               [] { return _PwdDlg != nullptr && _DevMoniDlg == nullptr; });
    r.Register("MmMonitorDev", any, [frame] { MmMonitorDevClick(frame); });
    // Set value: only while the ladder monitors on line or the device monitor exists.
    r.Register("MmSetVal", any, [] { _ValSet->ShowEmpty(); },
               [] { return gMonitorMode != 0 || _DevMoniDlg != nullptr; });
    r.Register("MmForceDev", any, [] {
        _DevForce->show();
        _DevForce->raise();
        _DevForce->activateWindow();
        _DevForce->DevName->setFocus();  // ready for the device name
    });
    r.Register("MmMonitorLad", any, [frame] { MmMonitorLadClick(frame); },
               [] { return gProgram != nullptr && gQel.ProgramPresent != 0; });
    r.Register("MmRun", any, [frame] { frame->MmRunClick(); });
    r.Register("MmStop", any, [frame] { frame->MmStopClick(); });
    frame->RefreshCommands();
}
