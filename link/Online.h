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
