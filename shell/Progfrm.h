#pragma once
// The progress window that long jobs (program transfer, compile, register
// transfer) show while they run. Callers set ProgBar's position, maximum and
// step directly and close the window when done.
#include <QDialog>

class QLabel;
class QProgressBar;

class TProgBar : public QDialog {
    Q_OBJECT
public:
    explicit TProgBar(QWidget* parent = nullptr);
    ~TProgBar() override;

    QProgressBar* ProgBar;
    QLabel* Num_Lab;
    int Step = 1;

    // Caption, bar from 0 to maximum at position 0 with the given step; shows
    // the window without blocking and refreshes the percentage.
    void StartProgress(const QString& caption, int maximum, int step);
    // Shows position x 100 / maximum as a whole percentage.
    void UpdatePercent();
    // Advances the bar by Step and refreshes the percentage.
    void StepIt();
};


extern TProgBar* _ProgBar;
