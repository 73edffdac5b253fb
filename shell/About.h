#pragma once
// The about box: program name and version, the toolkit version and the
// machine's memory.
#include <QDialog>

class QLabel;
class QPushButton;

class TAbout : public QDialog {
    Q_OBJECT
public:
    explicit TAbout(QWidget* parent = nullptr);
    ~TAbout() override;

    QLabel* Version_Lab;
    QLabel* Memory_Lab;
    QPushButton* OkBtn;

    /// Refreshes the memory figures.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TAbout* _About;
