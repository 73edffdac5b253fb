#pragma once
// The file-register template window "档案缓存器": the values of the PLC's
// file registers in a grid of ten per row, in unsigned or signed decimal or
// hexadecimal; typed values are checked and stored; the values are saved in
// and opened from ".qft" template files with a title, and exchanged with the
// PLC through the transfer dialog "档案缓存器通讯". The file format and the
// transfer are in link/jobs/Fileregs.h; this window shows them and asks the user.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QDialog>
#include <QWidget>

class QAbstractTableModel;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class TEditorLink;
class TQelMain;

namespace qel::link {
class TTransData;
class TFileRegTransfer;
}  // namespace qel::link

/// The transfer dialog: read or write, the whole or a range of registers.
class TFileTmpComm : public QDialog {
    Q_OBJECT
public:
    explicit TFileTmpComm(QWidget* parent = nullptr);
    QComboBox* CommType_Box = nullptr;  // 0 read, 1 write
    QCheckBox* PartChk = nullptr;
    QGroupBox* PartGrp = nullptr;
    QLineEdit* StartPost_Txt = nullptr;
    QLineEdit* EndPost_Txt = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    int Count = 0;
    /// Starts the transfer of [first, end); true when it runs.
    std::function<bool(bool write, int first, int end)> Start;

    void PartChkClick();
    /// False (the dialog stays) for a bad range or a transfer that did not start.
    bool OkBtnClick();
};

class TFileTmp : public QWidget {
    Q_OBJECT
public:
    static constexpr int kView = 20;
    enum Radix { kUnsigned = 0, kSigned = 1, kHex = 2 };

    explicit TFileTmp(qel::link::TTransData* trans, QWidget* parent = nullptr);
    ~TFileTmp() override;

    TEditorLink* Link() const { return link_.get(); }

    std::uint8_t Modified = 0;
    std::string Title;
    std::string OpenFileName;
    std::string SaveFileName;
    /// SaveFileName is the program's template (NAME.qft beside the program
    /// file) and moves with the program when it is saved under another name;
    /// false once the user chose a name with Save As.
    bool NameFollowsProgram = true;
    /// Applies a card setting as the model setting does (set by the frame);
    /// false when it was refused.
    std::function<bool(bool card)> SetCard;

    QTableView* PgRegGrid = nullptr;
    QRadioButton* UnsignRdo = nullptr;
    QRadioButton* SignRdo = nullptr;
    QRadioButton* HexRdo = nullptr;
    QPushButton* ClearBtn = nullptr;
    QCheckBox* ExtraMemChk = nullptr;
    QPushButton* CommBtn = nullptr;
    QPushButton* FunTitleBtn = nullptr;
    QLabel* ViewStatus = nullptr;
    TFileTmpComm* Comm = nullptr;
    /// Asks for the title (tests replace it): nullopt when cancelled.
    std::function<std::optional<std::string>(const std::string& caption, const std::string& current)> AskTitle;

    int CurrentRadix() const;
    /// The text of value `index` in the current radix ("No Use" past the count).
    QString CellText(int index) const;
    /// Checks a typed text for value `index`; false (nothing stored) when refused.
    bool SetCellText(int index, const QString& text);
    /// Takes in the value being typed in the grid (its editor open, no Enter
    /// yet) with the cell's check, as Enter does; false, with message 0 and
    /// the text kept in its cell, when the check refuses it. Everything that
    /// reads the values (saves, close, transfer) calls this first.
    bool TakeInTypedValue();

    /// Reads OpenFileName: true when it is missing (nothing read) or taken;
    /// false with message 26 (cannot be opened), 220 (a sound template of
    /// another family) or 221 (damaged), nothing changed.
    bool ReadQft();
    bool WriteQft();
    /// Changed values (typed, read from the PLC, cleared, or a new title)
    /// saved (Yes) or given up (No), a value being typed taken in first;
    /// false when that was refused, on Cancel or when the save failed, and
    /// the window stays. Closing the window asks this.
    bool MayLetGo();
    void OpenWithPrompt();
    bool SaveWithPrompt();
    bool SaveAs();
    void FillGrid();
    void ClearBtnClick();
    void ExtraMemChkClick();
    /// The file-register count changed (a new card setting): the card box and
    /// the grid follow it; a card other than the window's is a change to
    /// save, and a running transfer is cancelled.
    void FollowFileRegCount();
    void CommBtnClick();
    void FunTitleBtnClick();
    bool Transferring() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    class Host;
    class Model;
    void ShowTitle();
    void SetMainMenuState(bool enabled);

    std::unique_ptr<TEditorLink> link_;
    std::unique_ptr<Host> host_;
    std::unique_ptr<qel::link::TFileRegTransfer> transfer_;
    Model* model_ = nullptr;
};

/// The window of the run, at most one (null when closed).
extern TFileTmp* _FileTmp;

/// Registers the frame's file-register commands ("MmFileTmp", "MmFileTmpTransfer")
/// and the template's part in New, Open, leaving the program and a new model
/// setting: changed values are asked about (or saved) first, also when the
/// frame freed the window with them.
void InstallFileTemplate(TQelMain* frame);
/// Opens the window (message 222 for a family without file registers).
TFileTmp* MmFileTmpClick(TQelMain* frame);
