#pragma once
// File dialogs for the frame's tests: answers come from a queue, captions are
// recorded, and an empty queue answers as a cancelled dialog.
#include <deque>
#include <string>
#include <vector>

#include "shell/Filedialogs.h"

class ScriptedFileDialogs final : public qel::FileDialogService {
public:
    ScriptedFileDialogs() : previous_(qel::SetFileDialogService(this)) {}
    ~ScriptedFileDialogs() override { qel::SetFileDialogService(previous_); }

    void QueuePath(std::string path) { paths_.push_back(std::move(path)); }
    int Calls() const { return calls_; }
    // The name (or folder) the last dialog offered.
    const std::string& LastOffered() const { return offered_; }

    std::string OpenFileName(QWidget*, const std::string&, const std::string& dir, const std::string&) override {
        offered_ = dir;
        return Next();
    }
    std::string SaveFileName(QWidget*, const std::string&, const std::string& dir, const std::string&) override {
        offered_ = dir;
        return Next();
    }

private:
    std::string Next() {
        ++calls_;
        if (paths_.empty()) return {};
        std::string p = paths_.front();
        paths_.pop_front();
        return p;
    }
    qel::FileDialogService* previous_;
    std::deque<std::string> paths_;
    std::string offered_;
    int calls_ = 0;
};
