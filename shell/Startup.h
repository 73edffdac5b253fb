#pragma once
// Start-up of the program, as main() runs it: the frame with its defaults,
// buffers, messages and settings; the windows that live until exit; the
// splash; and a program file named on the command line.
#include <functional>

#include <QStringList>

class TQelMain;

struct TStartupOptions {
    bool ShowSplash = true;
    int SplashMs = 1000;
};

/// Runs start-up and returns the shown frame (owned by the caller), or nullptr
/// when the program must stop (the message file is missing; its message has
/// been shown). `args` are the command-line arguments after the program name.
/// `installEditors` hooks the editors of the other libraries into the frame
/// before a program named on the command line opens, so that it opens as the
/// Open command opens a program: the ladder window takes rows of the user's
/// own, and the side windows find their files.
TQelMain* StartQel(const QStringList& args, const TStartupOptions& options = {},
                   const std::function<void(TQelMain*)>& installEditors = {});
