#pragma once
// One interface for every message box and question the system shows.
// The program installs a window implementation at start-up; tests install a
// scripted one, so nothing ever blocks on a modal box in a test.
#include <string>

namespace qel {

enum class MsgKind { Info, Warning, Error };

// The buttons a question offers, in the order they are shown. The first is
// the default, but for YesNoOrCancel: Yes, No and Cancel with Cancel the
// default, for a choice where either Yes or No drops something of the user's,
// so that a stray Return keeps everything.
enum class AskButtons { OkCancel, YesNo, YesNoCancel, YesAllCancelIgnore, YesNoOrCancel };

enum class Answer { Ok, Cancel, Yes, No, All, Ignore };

class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void Show(const std::string& text, MsgKind kind) = 0;
    virtual Answer Ask(const std::string& text, AskButtons buttons) = 0;
};

// The service in force. Before one is installed, messages go to stderr and
// questions get the safe answer (Cancel, or No when there is no Cancel).
MessageService& Messages();

// Installs a service; nullptr restores the stderr fallback. Returns the previous one.
MessageService* SetMessageService(MessageService* service);

// Shortcuts used by most callers.
void ShowMessage(const std::string& text, MsgKind kind = MsgKind::Info);
Answer AskQuestion(const std::string& text, AskButtons buttons);

}  // namespace qel
