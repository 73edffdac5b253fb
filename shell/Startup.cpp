#include "shell/Startup.h"

#include <QScreen>

#include "platform/Paths.h"
#include "shell/Qelmain.h"
#include "shell/Splashfrm.h"

TQelMain* StartQel(const QStringList& args, const TStartupOptions& options,
                   const std::function<void(TQelMain*)>& installEditors) {
    auto* frame = new TQelMain;
    if (!frame->FormCreate()) {
        delete frame;
        return nullptr;
    }
    frame->CreateForms();
    // Maximised: the editors open filling the client area, and the tool bars
    // have the whole width (at 1024 pixels every button still shows). The
    // screen's work area first, for a display without a window manager, where
    // maximising is only a request nobody carries out.
    if (const QScreen* screen = frame->screen()) frame->setGeometry(screen->availableGeometry());
    frame->showMaximized();
    if (options.ShowSplash) {
        // The splash stays on top of the frame for its time and frees itself;
        // start-up does not wait for it.
        if (TSplash* splash = TSplash::Create(qel::InstallDir() / "Splash.jpg")) splash->ShowFor(options.SplashMs);
    }
    if (installEditors) installEditors(frame);
    for (const QString& arg : args) {
        if (arg.startsWith('-')) continue;  // toolkit options are not files
        frame->OpenStartupFile(arg.toStdString());
        break;
    }
    return frame;
}
