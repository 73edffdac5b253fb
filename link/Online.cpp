#include "link/Online.h"

#include <QAction>
#include <QMdiSubWindow>

#include "link/Devmonidlg.h"
#include "link/Devmoniinput.h"
#include "link/Forcedev.h"
#include "link/Setvaldlg.h"
#include "link/Transdata.h"
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

}  // namespace

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
    trans->ClearWriteQueues();
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

    TCommandRouter& r = frame->Router();
    constexpr int any = TCommandRouter::kAnyView;
    r.Register("MmMonitorDev", any, [frame] { MmMonitorDevClick(frame); });
    // Set value: only while the ladder monitors on line or the device monitor exists.
    r.Register("MmSetVal", any, [] { _ValSet->ShowEmpty(); },
               [] { return gMonitorMode != 0 || _DevMoniDlg != nullptr; });
    r.Register("MmForceDev", any, [] {
        _DevForce->show();
        _DevForce->raise();
    });
    r.Register("MmRun", any, [frame] { frame->MmRunClick(); });
    r.Register("MmStop", any, [frame] { frame->MmStopClick(); });
    frame->RefreshCommands();
}
