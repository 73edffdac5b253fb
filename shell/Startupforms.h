#pragma once
// The windows the frame creates at start-up and keeps, hidden, until exit, in
// their fixed creation order. A window that is not part of the build yet has
// no maker; each one is added in its own place of the table.
#include <span>

class QWidget;
class TQelMain;

struct TStartupFormDef {
    const char* name;
    QWidget* (*create)(TQelMain* frame);  ///< nullptr: not built yet
};

std::span<const TStartupFormDef> StartupFormTable();

/// Gives the start-up window `name` its maker; a library that builds one of
/// the windows calls this before the frame starts, so the window is created in
/// its place of the order. False when the table has no such window.
bool SetStartupFormMaker(const char* name, QWidget* (*create)(TQelMain* frame));
