#pragma once
// The qel program put together: the models' judgements lent to the project,
// the windows of every library registered and hooked into the frame, then
// start-up. main() runs it, and so does the test that starts the program as
// a user does.
#include <QStringList>

#include "shell/Startup.h"

class TQelMain;

/// Installs what the program is made of and runs start-up with `args` (the
/// command-line arguments after the program name). Returns the frame, owned
/// by the caller, or nullptr when start-up stopped.
TQelMain* AssembleQel(const QStringList& args, const TStartupOptions& options = {});
