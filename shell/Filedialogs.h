#pragma once
// The open and save file dialogs of the frame, behind one replaceable
// interface: the program uses the desktop's dialogs, tests script the answers.
#include <string>

class QWidget;

namespace qel {

class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    // Each returns the chosen path, or an empty string when the user cancels.
    // filter uses the usual "Description (*.ext)" form.
    virtual std::string OpenFileName(QWidget* parent, const std::string& caption,
                                     const std::string& dir, const std::string& filter) = 0;
    virtual std::string SaveFileName(QWidget* parent, const std::string& caption,
                                     const std::string& dir, const std::string& filter) = 0;
    // The name a program file set is saved under. The dialog does not ask
    // about a file of the typed name: the caller asks once about the whole
    // set the name stands for, whatever extension is added to it.
    virtual std::string SaveProjectName(QWidget* parent, const std::string& caption,
                                        const std::string& dir, const std::string& filter) {
        return SaveFileName(parent, caption, dir, filter);
    }
};

// The service in force: the desktop's dialogs unless one was installed.
FileDialogService& FileDialogs();

// Installs a service; nullptr restores the desktop's dialogs. Returns the previous one.
FileDialogService* SetFileDialogService(FileDialogService* service);

}  // namespace qel
