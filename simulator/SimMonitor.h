#pragma once
// Brings the simulator's news to the GUI thread: a timer there polls the
// controller and signals finished scans, a ladder repaint while the ladder
// display is on, the status text for panel 3, and a run that stopped on its
// own (after showing its message).
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

class TPLC;

class TSimMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int kRepaintIntervalMs = 33;  // about 30 repaints a second
    static constexpr int kStatusEveryPolls = 8;    // status text about 4 times a second

    explicit TSimMonitor(TPLC& plc, QObject* parent = nullptr);

    // One poll, as the timer does it (also for tests).
    void Poll();

signals:
    // New scans completed since the last poll.
    void ScanPublished();
    // New scans while the ladder shows the simulated states (gSimLadderMonitor):
    // repaint it from a fresh snapshot.
    void LadderRepaintWanted();
    // Text for panel 3 of the status bar, e.g. "掃瞄時間3( ms/10)".
    void StatusChanged(const QString& text);
    // The run ended without a stop command (its message has been shown).
    void Stopped();

private:
    TPLC& plc_;
    QTimer timer_;
    std::uint64_t lastScans_ = 0;
    int polls_ = 0;
    bool wasRunning_ = false;
};
