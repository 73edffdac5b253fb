#pragma once
// The device monitor window "装置监控 ": one device per grid row with its
// comment, ON lamp, set value, 16-bit and 32-bit present values, display
// format and set-value source, refreshed from the PLC while the link polls it
// as monitor client "3". Its popup menu and keys force bit devices, send
// pulses, change a present value, change the display format, delete rows and
// clear the list. The list itself and the poll cycle are TDevMoniList.
#include <functional>
#include <memory>

#include <QPointer>
#include <QWidget>

#include "link/online/Devmonilist.h"
#include "link/engine/Transdata.h"
#include "project/Viewcodes.h"

class QMenu;
class QAction;
class QStatusBar;
class TColorStringGrid;
class TEditorLink;

class TDevMoniDlg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kView = kViewDevMonitor;
    static constexpr int kColumns = 8;

    explicit TDevMoniDlg(qel::link::TTransData* trans, QWidget* parent = nullptr);
    ~TDevMoniDlg() override;

    TEditorLink* Link() const { return link_.get(); }
    qel::link::TDevMoniList& List() { return list_; }

    TColorStringGrid* DevGrid = nullptr;
    QStatusBar* StaBar = nullptr;
    QMenu* DevPopup = nullptr;
    QAction *PopON = nullptr, *PopOFF = nullptr, *PopPulseUp = nullptr, *PopPulseDn = nullptr,
            *PopChgVal = nullptr, *PopDeci = nullptr, *PopHexi = nullptr, *PopAsci = nullptr,
            *PopDel = nullptr, *PopAllClr = nullptr, *PopDevCmt = nullptr;

    /// How to open the link's port before a write (the frame's OpenComPort).
    std::function<bool()> OpenPort;
    /// The display format new word rows get (the frame's Dig10/Dig16/DigASCI).
    std::function<qel::link::TMoniFormat()> DefaultFormat;

    /// Shows the rows of the ".dev" records and asks for the lists to be built.
    void FormShow();
    /// Writes the visible rows from the value buffers.
    void FillGrid();
    /// Column 1 of every row from the device comments (after any window
    /// stored a comment).
    void RefreshComments();

    void PopONClick();
    void PopOFFClick();
    void PopPulseUpClick();
    void PopPulseDnClick();
    void PopChgValClick();
    void PopDeciClick();
    void PopHexiClick();
    void PopAsciClick();
    void PopDelClick();
    void PopAllClrClick();
    /// The device-comment dialog for the row's device; column 1 shows the result.
    void PopDevCmtClick();

    /// Grid row (1-based, 0 the title row) of the cursor.
    int CurrentRow() const;
    void SetCurrentRow(int row);
    /// Writes the rows' names and formats into the grid (after rows changed).
    void ShowRows();
    /// Rows added or deleted: rebuild the PLC's lists at the link's next tick.
    void ListChanged();
    /// Closes the window (its MDI frame with it).
    void CloseWindow();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Force(bool on);
    void Pulse(bool rising);
    void SetRowFormat(qel::link::TMoniFormat format);
    bool QueueCoil(const std::string& name, bool on);
    void OpenInput(const QString& name);
    void ShowRowStatus();
    void Detach();

    QPointer<qel::link::TTransData> trans_;  // the link may go first at exit
    qel::link::TDevMoniList list_;
    std::unique_ptr<TEditorLink> link_;
    bool detached_ = false;
    int commentListener_ = 0;  // column 1 follows comments edited elsewhere
};

/// The device monitor of the run (null while it does not exist).
extern TDevMoniDlg* _DevMoniDlg;
