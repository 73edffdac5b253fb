#pragma once
// The set-value dialog "设定当前值": a new present value for a timer, counter,
// data register or index register of the PLC, queued as a register write of
// the link. It stays open for the next value.
#include <functional>

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace qel::link {
class TTransData;
}

class TValSet : public QDialog {
    Q_OBJECT
public:
    explicit TValSet(QWidget* parent = nullptr);
    ~TValSet() override;

    /// The link the writes go to, and how to open its port first.
    qel::link::TTransData* Trans = nullptr;
    std::function<bool()> OpenPort;

    QLabel* Label1 = nullptr;
    QLineEdit* DevSetText = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* CurValText = nullptr;
    QRadioButton* op16 = nullptr;
    QRadioButton* op32 = nullptr;
    QPushButton* BOK = nullptr;
    QPushButton* BCancel = nullptr;

    /// The frame's command: both edits emptied, focus on the device.
    void ShowEmpty();
    /// The device monitor's command: device and value of its row.
    void ShowFor(const QString& device, const QString& value);

    /// Checks the texts and queues the write; false (message shown, nothing
    /// queued) when refused.
    bool BOKClick();
    void BCancelClick() { close(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

/// The dialog of the run (created at start-up, null before and after).
extern TValSet* _ValSet;
