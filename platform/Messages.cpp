#include "platform/Messages.h"

#include <atomic>
#include <cstdio>

namespace qel {
namespace {

class StderrMessages final : public MessageService {
public:
    void Show(const std::string& text, MsgKind) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    Answer Ask(const std::string& text, AskButtons buttons) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        return buttons == AskButtons::YesNo ? Answer::No : Answer::Cancel;
    }
};

StderrMessages gFallback;
std::atomic<MessageService*> gService{nullptr};

}  // namespace

MessageService& Messages() {
    MessageService* s = gService.load();
    return s ? *s : gFallback;
}

MessageService* SetMessageService(MessageService* service) { return gService.exchange(service); }

void ShowMessage(const std::string& text, MsgKind kind) { Messages().Show(text, kind); }

Answer AskQuestion(const std::string& text, AskButtons buttons) { return Messages().Ask(text, buttons); }

}  // namespace qel
