#pragma once
// The device-use map window: for one device letter, which numbers the
// program uses, a page at a time, read from the code or, in the ladder view,
// from the ladder. A click on a used number shows the first step using it.
#include <functional>
#include <vector>

#include <QDialog>

#include "tools/check/Deviceuse.h"

class QComboBox;
class QLabel;
class QPushButton;
class QStatusBar;

/// The character grid of the map, drawn at 8 x 20 pixels a character.
class TUseMapImage : public QWidget {
    Q_OBJECT
public:
    explicit TUseMapImage(QWidget* parent = nullptr);
    void SetPage(const TUseMapPage& page);
    const TUseMapPage& Page() const { return page_; }
signals:
    void cellClicked(int row, int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TUseMapPage page_;
};

class TDevUsed : public QDialog {
    Q_OBJECT
public:
    explicit TDevUsed(QWidget* parent = nullptr);
    ~TDevUsed() override;

    TUseMapImage* DevUseImage;
    QLabel *Label1, *Label2;
    QComboBox* DevSel;
    QPushButton *prepage, *nextpage, *CancelBtn;
    QStatusBar* DevUseStatus;

    /// Where a clicked device's first step is shown (the frame's go-to-step).
    std::function<bool(long step)> JumpToStep;

    void ShowDeviceType();
    void DrawUsedMap(char letter, int page, int highest);
    void DevSelChange();
    void prepageClick();
    void nextpageClick();
    /// A click on character (row, column) of the map.
    bool ClickCell(int row, int column);

    int PageStart() const { return pageStart_; }
    char Letter() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    int Highest() const;
    int pageStart_ = 0;
    int pageSize_ = 64;
};

extern TDevUsed* _DevUsed;
