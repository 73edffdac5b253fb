#pragma once
// The progress window that long jobs (program transfer, compile, register
// transfer) show while they run. Callers set ProgBar's position, maximum and
// step directly and close the window when done.
#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

class TProgBar : public QDialog {
    Q_OBJECT
public:
    explicit TProgBar(QWidget* parent = nullptr);
    ~TProgBar() override;

    QProgressBar* ProgBar;
    QLabel* Num_Lab;
    QLabel* Note_Lab;        ///< why the other windows wait; shown only with a text
    QPushButton* CancelBtn;  ///< shown only for work that can be cancelled
    int Step = 1;

    // Caption, bar from 0 to maximum at position 0 with the given step; shows
    // the window without blocking and refreshes the percentage. The window
    // starts without a cancel button.
    void StartProgress(const QString& caption, int maximum, int step);
    // Shows the cancel button; a click runs `cancel` (the work ends itself
    // and closes the window).
    void SetCancel(std::function<void()> cancel);
    // Shows position x 100 / maximum as a whole percentage.
    void UpdatePercent();
    // Advances the bar by Step and refreshes the percentage.
    void StepIt();
    // A line under the bar saying what else the job holds back; empty hides it.
    void SetNote(const QString& text);
    // Closes the window as the work it shows ends. Closed by the user instead
    // (its close button, Escape), the window stands for the work: work that
    // offers Cancel is cancelled as by the button once MayStopWork agrees (a
    // write is asked about first); work that cannot be cancelled runs on
    // while WorkRuns says so, and the window stays.
    void EndProgress();
    std::function<bool()> WorkRuns;
    std::function<bool()> MayStopWork;

protected:
    void reject() override;

private:
    bool UserMayClose();

    std::function<void()> cancel_;
    bool ending_ = false;
};


extern TProgBar* _ProgBar;
