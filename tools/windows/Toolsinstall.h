#pragma once
// The checking tools' place in the frame: their windows in the start-up
// order and the frame's commands that show them.
class TQelMain;

/// Puts the tools' windows into their places of the start-up order (before the frame starts).
void RegisterToolForms();
/// Binds the frame's double-coil, device-use and batch-test commands.
void InstallTools(TQelMain* frame);
