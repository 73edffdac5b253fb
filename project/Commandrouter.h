#pragma once
// Routes the frame's menu and tool-bar commands to whoever handles them.
// A command is keyed by the name of its menu item ("MmUndo") or, for buttons
// without a menu item, of its button ("Btn5"). Each editor registers its
// handlers under its own view code (gActiveView); the frame registers its own
// commands for every view. A handler for the active view wins over the
// frame's, which is how Open and Save reach the register view (13) and the
// file-register template (20). A command that nobody handles for the active
// view is unavailable, and the frame shows it disabled.
#include <functional>
#include <map>
#include <string>
#include <utility>

class TCommandRouter {
public:
    using Handler = std::function<void()>;
    using Condition = std::function<bool()>;

    /// View code of a frame-level handler that serves every view.
    static constexpr int kAnyView = -1;

    /// Registers (or replaces) the handler of `command` for `view`. The optional
    /// condition is asked each time availability is computed (e.g. "a program
    /// is open"); without one the command is available whenever it is handled.
    /// `owner` tags the entry so that a closing window removes exactly its own
    /// handlers, not those a newer window of the same view registered since.
    void Register(const std::string& command, int view, Handler handler, Condition when = {},
                  const void* owner = nullptr);
    void Unregister(const std::string& command, int view);
    /// Removes every handler registered for `view` (an editor closing).
    void UnregisterView(int view);
    /// Removes every handler registered with `owner`.
    void UnregisterOwner(const void* owner);

    /// Whether `command` has a handler for `view` whose condition holds.
    bool Available(const std::string& command, int view) const;

    /// Runs the handler of `command` for `view`; returns false, doing nothing,
    /// when the command is not available there.
    bool Dispatch(const std::string& command, int view) const;

private:
    struct Entry {
        Handler handler;
        Condition when;
        const void* owner = nullptr;
    };
    const Entry* Find(const std::string& command, int view) const;

    std::map<std::pair<std::string, int>, Entry> entries_;
};
