#pragma once
// The force dialog "装置强制ON/OFF ": one bit device of the PLC switched ON or
// OFF by name, whatever is being monitored. It stays open for the next device.
#include <functional>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qel::link {
class TTransData;
}

class TDevForce : public QDialog {
    Q_OBJECT
public:
    explicit TDevForce(QWidget* parent = nullptr);
    ~TDevForce() override;

    qel::link::TTransData* Trans = nullptr;
    std::function<bool()> OpenPort;

    QLabel* Label1 = nullptr;
    QLineEdit* DevName = nullptr;
    QRadioButton* SetOn = nullptr;
    QRadioButton* SetOff = nullptr;
    QPushButton* SetOK = nullptr;
    QPushButton* SetCancel = nullptr;

    /// Checks the name and queues the coil write; false (message 0 shown,
    /// nothing queued) for a name that is no X, Y, M, S, T or C device.
    bool SetOKClick();
    void SetOnClick();
    void SetOffClick();
    void SetCancelClick() { close(); }
};

extern TDevForce* _DevForce;
