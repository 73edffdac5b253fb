#pragma once
// How an editor window talks to the frame without knowing it. The window
// registers its command handlers here and signals what changed; the frame,
// when it adds the window, copies the handlers into its router, follows the
// signals (enable states, status panels, step count, modified flag) and
// answers the questions only it can answer. Without a frame (a window under
// test on its own) the handlers stay here and the questions get safe answers.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QKeyCombination>
#include <QObject>
#include <QString>

class TCommandRouter;

/// What find and replace works on in an editor: a code buffer (instruction
/// lists) or a ladder grid, with the caret.
struct TEditTarget {
    std::uint8_t* code = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t end = 0;           ///< offset of the last instruction
    std::uint32_t cursorOffset = 0;
    std::uint8_t* grid = nullptr;
    std::int32_t lastRow = 0;
    std::int32_t cursorRow = 0;
    std::int32_t cursorCol = 0;
    const std::int32_t* pLabelRows = nullptr;  ///< the grid's rows of P0.. and I000.., -1 free
    const std::int32_t* iLabelRows = nullptr;
};

class TEditorLink : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void()>;
    using Condition = std::function<bool()>;

    explicit TEditorLink(int view, QObject* parent = nullptr);
    ~TEditorLink() override;

    /// The view code (gActiveView) the window's commands are registered under.
    int View() const { return view_; }

    /// Registers the handler of a frame command ("MmUndo", "Btn5") for this
    /// window's view; available when `when` holds (or always without one).
    void Register(const std::string& command, Handler handler, Condition when = {});
    /// Runs a registered handler directly (tests and windows without a frame).
    bool Run(const std::string& command) const;
    /// Whether a registered command is available now.
    bool Available(const std::string& command) const;

    /// Binds the handlers to the frame's router: those registered so far and
    /// every later one. The router forgets them when this link goes, or on
    /// DetachRouter() (the frame closing first).
    void AttachRouter(TCommandRouter* router);
    void DetachRouter();

    /// The frame's CheckStopMonitor: true while on-line monitoring still runs
    /// (the user chose to keep it), so the edit must not go ahead.
    std::function<bool()> AskStopMonitor;
    bool CheckStopMonitor() const { return AskStopMonitor && AskStopMonitor(); }

    /// The window's own key table: the keys (with their modifiers) it handles
    /// itself. While the window is the active view, a frame command whose
    /// shortcut is one of them loses that shortcut, so the key reaches the
    /// window (the ladder's F1 to F12 element keys, its Ctrl+Y row delete).
    std::vector<QKeyCombination> OwnKeys;
    bool OwnsKey(QKeyCombination key) const;

    /// Set by windows that can show a step of their code: moves the caret to
    /// the step (the checking tools jump there); false when the step is not
    /// in the window's code.
    std::function<bool(long step)> GoToStep;

    /// Set by editors whose edits can be held back from the program (a ladder
    /// not yet compiled, a chart not yet converted, an element's inner code
    /// not yet stored): puts them in; false, after the window has shown why
    /// and put its cursor on the place, when they cannot go in.
    std::function<bool()> CommitEdits;
    /// Set by editors whose commit asks the user: true when the last
    /// CommitEdits that returned false did so on the user's Cancel (change
    /// nothing), so the command that asked for the commit stops as well.
    std::function<bool()> CommitCancelled;
    /// Set by the editors of the program's two drawn forms (the chart and the
    /// program's ladder): whether the window holds edits the program does not
    /// have, and dropping them (the window then shows what it last put into
    /// the program). Putting one form into the program makes the other's
    /// edits stale, so the frame asks which to keep when both hold some.
    std::function<bool()> HoldsEdits;
    std::function<void()> DropEdits;
    /// Set by editors whose edits go into the program when another window
    /// takes over (the chart): the frame calls it before the window taking
    /// over catches up with the program, so that it shows what went in.
    std::function<void()> Leave;
    /// Set by windows drawn from the program's code (the program's ladder, an
    /// instruction list): catches up with code another window changed, so
    /// that what they hand on (a page printed) is the program as it is.
    std::function<void()> FollowProgram;

    /// Set by windows that find and replace search: the data and the caret,
    /// moving the caret to a place found (an instruction's offset, or a ladder
    /// row and column), and the brackets around a replacement: before it the
    /// window records one undo step, after it the window takes up the changed
    /// data and marks the project modified.
    std::function<TEditTarget()> SearchTarget;
    std::function<void(std::uint32_t offset, std::int32_t row, std::int32_t col)> SelectPlace;
    std::function<void()> BeginExternalEdit;
    std::function<void()> EndExternalEdit;

signals:
    /// Enable states of commands may have changed (selection, clipboard, undo).
    void commandsChanged();
    /// Text for a panel of the frame's status bar (0..7).
    void statusText(int panel, const QString& text);
    /// The program's code changed: the step count and the modified flag follow.
    void programChanged();
    /// Project data other than the code changed (comments, labels, ladder).
    void modified();
    /// The window's edits could not go where they go (a ladder that does not
    /// compile, a chart that does not convert, an element's code not stored):
    /// the program lacks what the window shows.
    void editsRefused();
    /// The window became the active view.
    void activated(int view);

private:
    struct Command {
        std::string name;
        Handler handler;
        Condition when;
    };
    const Command* Find(const std::string& name) const;

    int view_;
    std::vector<Command> commands_;
    TCommandRouter* router_ = nullptr;
};
