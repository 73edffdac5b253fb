#include "shell/Filedialogs.h"

#include <QFileDialog>

namespace qel {
namespace {

class DesktopFileDialogs final : public FileDialogService {
public:
    std::string OpenFileName(QWidget* parent, const std::string& caption, const std::string& dir,
                             const std::string& filter) override {
        return QFileDialog::getOpenFileName(parent, QString::fromStdString(caption),
                                            QString::fromStdString(dir), QString::fromStdString(filter))
            .toStdString();
    }
    std::string SaveFileName(QWidget* parent, const std::string& caption, const std::string& dir,
                             const std::string& filter) override {
        return QFileDialog::getSaveFileName(parent, QString::fromStdString(caption),
                                            QString::fromStdString(dir), QString::fromStdString(filter))
            .toStdString();
    }
    std::string SaveProjectName(QWidget* parent, const std::string& caption, const std::string& dir,
                                const std::string& filter) override {
        return QFileDialog::getSaveFileName(parent, QString::fromStdString(caption), QString::fromStdString(dir),
                                            QString::fromStdString(filter), nullptr,
                                            QFileDialog::DontConfirmOverwrite)
            .toStdString();
    }
};

DesktopFileDialogs gDesktop;
FileDialogService* gService = nullptr;

}  // namespace

FileDialogService& FileDialogs() { return gService ? *gService : gDesktop; }

FileDialogService* SetFileDialogService(FileDialogService* service) {
    FileDialogService* previous = gService;
    gService = service;
    return previous;
}

}  // namespace qel
