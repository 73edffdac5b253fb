#pragma once
// The register view "寄存器检视": the values of the PLC's word devices, one
// page at a time (D, C, high-speed counters, T) in a grid of ten registers per
// row, in decimal, hexadecimal or binary, 16 or 32 bits; typed values are
// checked and stored; the values are saved in and opened from register data
// files, exchanged with the PLC and printed. The data, files, texts, checks
// and the transfer are in link/jobs/Registerdata.h, Registergrid.h and
// Registertransfer.h; this window shows them and asks the user.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>
#include <QWidget>

#include "link/jobs/Registerdata.h"
#include "link/jobs/Registergrid.h"
#include "shell/Printtarget.h"

class QAbstractTableModel;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabBar;
class QTableView;
class TDevNumComm;
class TDevPrn;
class TEditorLink;
class TQelMain;

namespace qel::link {
class TTransData;
class TRegisterTransfer;
}  // namespace qel::link

class TDevReg : public QWidget {
    Q_OBJECT
public:
    static constexpr int kView = 13;

    /// `trans` may be null (no link: the transfer button does nothing).
    explicit TDevReg(qel::link::TTransData* trans, QWidget* parent = nullptr);
    ~TDevReg() override;

    TEditorLink* Link() const { return link_.get(); }

    // ---- data (register data and files) ----------------------------------
    qel::link::TRegisterData Data;
    std::uint8_t Modified = 0;
    /// The files of the open and save dialogs: read from OpenFileName, written to SaveFileName.
    std::string OpenFileName;
    std::string SaveFileName;
    /// SaveFileName is the program's register file (NAME.kzl beside the
    /// program file) and moves with the program when it is saved under
    /// another name; false once the user chose a name with Save As.
    bool NameFollowsProgram = true;

    bool ReadRegisterFile();
    bool WriteRegisterFile();
    void OpenRegisterFile();
    /// False when nothing was written (cancelled or failed).
    bool SaveRegisterFile();
    bool SaveRegisterFileAs();
    void ClearRegisters();
    /// Before the window goes: a value being typed is taken in, then changed
    /// values are saved (Yes) or given up (No); false when the typed value
    /// was refused, the user cancelled or the save failed.
    bool MayClose();
    /// Takes in the value being typed in the grid (its editor open, no Enter
    /// yet) with the cell's checks, as Enter does; false, with message 0 and
    /// the text kept in its cell, when the check refuses it. Everything that
    /// reads the values (saves, close, transfer, print) calls this first.
    bool TakeInTypedValue();

    // ---- components ------------------------------------------------------
    QTabBar* PgContrl = nullptr;
    QTableView* RegGrid = nullptr;
    QGroupBox* DigLenGp = nullptr;
    QRadioButton *Len16 = nullptr, *Len32 = nullptr;
    QGroupBox* DigTypeGp = nullptr;
    QRadioButton *TypeDec = nullptr, *TypeHex = nullptr, *TypeBin = nullptr;
    QPushButton *CommBtn = nullptr, *ClearAllBtn = nullptr, *FunTitleBtn = nullptr;
    QWidget* ActPanel = nullptr;
    QLabel* ViewStatus = nullptr;
    TDevNumComm* NumComm = nullptr;  ///< the register transfer dialog
    TDevPrn* DevPrn = nullptr;       ///< the register print dialog

    // ---- the grid --------------------------------------------------------
    /// The display options as the controls set them.
    qel::link::TRegView View() const;
    void PgContrlChange(int page);
    void ListTypeGpClick();
    void FillGrid();
    /// Commits a typed text into cell `index` of the page; false when the
    /// check refused it (nothing stored, the old value shown again; the
    /// caller says so with message 0).
    bool CommitCellEntry(int index, const std::string& text);
    void ClearAllBtnClick();
    void FunTitleBtnClick();
    void CommBtnClick();
    void SetMainMenuState(bool enable);
    void EnableControls();
    void FormShow();
    /// Text of grid cell (row, column) as shown, rows and columns from 1.
    QString CellText(int row, int column) const;

    // ---- transfer and print ----------------------------------------------
    /// Starts a read or write of the active page (the dialog's OK); false
    /// when it did not start.
    bool StartTransfer(bool read);
    bool Transferring() const { return transferring_; }
    qel::link::TRegisterTransfer* Transfer() const { return transfer_.get(); }
    /// The print dialog's Print: the whole page or [start, end] of it, on the
    /// default printer, or without one (message 250) into a PDF file asked
    /// for. True only for pages produced: false for a bad range (message
    /// 141), a PDF file not chosen, or pages the device did not take
    /// (message 276).
    bool PrintRegisters(bool all, const std::string& start, const std::string& end);

    /// Asks the title (an input box; tests answer it themselves).
    std::function<std::optional<std::string>(const std::string& caption, const std::string& current)> AskTitle;
    /// Where the pages go: the desktop's printer and PDF file dialog (tests
    /// answer them themselves).
    TPrintHooks Printing;
    /// The frame's own handler of a command and its availability (set by the
    /// frame): the view passes file and PLC commands on while no transfer runs.
    std::function<bool(const std::string& command, bool run)> FrameCommand;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;
    void Layout();
    void ShowTitle();
    void RegisterCommands();

    std::unique_ptr<TEditorLink> link_;
    std::unique_ptr<Host> host_;
    std::unique_ptr<qel::link::TRegisterTransfer> transfer_;
    QAbstractTableModel* model_ = nullptr;
    int page_ = 0;  ///< the page the grid shows
    QButtonGroup *lenGroup_ = nullptr, *typeGroup_ = nullptr;
    bool transferring_ = false;
};

/// The register view of the run (null while it does not exist).
extern TDevReg* _DevReg;

/// The register transfer dialog "装置值通讯": read from or write to the PLC.
class TDevNumComm : public QDialog {
    Q_OBJECT
public:
    explicit TDevNumComm(QWidget* parent = nullptr);
    QRadioButton *ReadPlcReg_Rdo = nullptr, *WritePlcReg_Rdo = nullptr;
    QPushButton *Ok_Btn = nullptr, *Cancel_Btn = nullptr;
    /// Starts the transfer in the chosen direction; true closes the dialog.
    std::function<bool(bool read)> Start;
    void Ok_BtnClick();
    void Cancel_BtnClick();
};

/// The register print dialog "装置打印": the whole page or a range of it.
class TDevPrn : public QDialog {
    Q_OBJECT
public:
    explicit TDevPrn(QWidget* parent = nullptr);
    QRadioButton *DevPrnAll_Rdo = nullptr, *DevPrnPart_Rdo = nullptr;
    QGroupBox* PrnGp = nullptr;
    QLabel *PrnStart_Lab = nullptr, *PrnEnd_Lab = nullptr;
    class QLineEdit *PrnStart_Txt = nullptr, *PrnEnd_Txt = nullptr;
    QPushButton *OkBtn = nullptr, *CancelBtn = nullptr;
    /// The view's PrintRegisters; the dialog stays open.
    std::function<void(bool all, const std::string& start, const std::string& end)> Print;
    void DevPrnAll_RdoClick();
    void DevPrnPart_RdoClick();
    void OkBtnClick();
    void CancelBtnClick();
};

/// Registers the frame's register view command ("MmViewReg") and the view's
/// part in the frame's model change (changed values are saved first), its
/// New and Open commands and leaving the program (changed values are saved
/// or given up first), and in a save of the program under another name (the
/// register file that follows the program moves with it).
void InstallRegisterView(TQelMain* frame);
/// The view command: creates the window when there is none, else shows it.
void MmViewRegClick(TQelMain* frame);
