#pragma once
// A message service for tests: records every text shown or asked, and answers
// questions from a queue (an empty queue answers Cancel and marks the run).
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Messages.h"

namespace qel::test {

class ScriptedMessages final : public MessageService {
public:
    ScriptedMessages();            // installs itself
    ~ScriptedMessages() override;  // restores the previous service

    void Show(const std::string& text, MsgKind kind) override;
    Answer Ask(const std::string& text, AskButtons buttons) override;

    void QueueAnswer(Answer a);
    std::vector<std::string> Shown() const;
    bool WasShown(const std::string& part) const;  // a message shown holds `part`
    std::vector<std::string> Asked() const;
    bool UnscriptedQuestion() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    MessageService* previous_;
    std::deque<Answer> answers_;
    std::vector<std::string> shown_, asked_;
    bool unscripted_ = false;
};

}  // namespace qel::test
