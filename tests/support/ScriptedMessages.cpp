#include "tests/support/ScriptedMessages.h"

#include <algorithm>

namespace qel::test {

ScriptedMessages::ScriptedMessages() : previous_(SetMessageService(this)) {}

ScriptedMessages::~ScriptedMessages() { SetMessageService(previous_); }

void ScriptedMessages::Show(const std::string& text, MsgKind) {
    std::lock_guard lock(mutex_);
    shown_.push_back(text);
}

Answer ScriptedMessages::Ask(const std::string& text, AskButtons) {
    std::lock_guard lock(mutex_);
    asked_.push_back(text);
    if (answers_.empty()) {
        unscripted_ = true;
        return Answer::Cancel;
    }
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
}

void ScriptedMessages::QueueAnswer(Answer a) {
    std::lock_guard lock(mutex_);
    answers_.push_back(a);
}

std::vector<std::string> ScriptedMessages::Shown() const {
    std::lock_guard lock(mutex_);
    return shown_;
}

bool ScriptedMessages::WasShown(const std::string& part) const {
    std::lock_guard lock(mutex_);
    return std::any_of(shown_.begin(), shown_.end(), [&](const std::string& s) { return s.find(part) != s.npos; });
}

std::vector<std::string> ScriptedMessages::Asked() const {
    std::lock_guard lock(mutex_);
    return asked_;
}

bool ScriptedMessages::UnscriptedQuestion() const {
    std::lock_guard lock(mutex_);
    return unscripted_;
}

void ScriptedMessages::Clear() {
    std::lock_guard lock(mutex_);
    answers_.clear();
    shown_.clear();
    asked_.clear();
    unscripted_ = false;
}

}  // namespace qel::test
