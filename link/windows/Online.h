#pragma once
// The on-line windows in the frame: the device monitor, the set-value, force
// and monitor-input dialogs, and the frame's PLC commands that reach them
// (device monitor, set value, force, run, stop).
class TQelMain;

/// Gives the start-up order its set-value, force and monitor-input dialogs;
/// called before the frame starts.
void RegisterOnlineForms();
/// Registers the frame's on-line commands; called once the frame exists.
void InstallOnline(TQelMain* frame);
/// The frame's device monitor command: opens the port, creates the window
/// and registers it with the link, or shows the window that exists.
void MmMonitorDevClick(TQelMain* frame);
/// The frame's ladder monitor command: starts monitoring the program's
/// ladder window on line (opening it when needed), or stops it.
void MmMonitorLadClick(TQelMain* frame);
/// Ends the ladder's monitoring: client "1" goes, the PLC's monitor coil goes
/// OFF when it was the last client, the ladder shows the plain program.
void StopLadderMonitor(TQelMain* frame);
