#pragma once
// The model-setting dialog: model family and program capacity of the project,
// and the memory-card file registers of the KD models.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QPushButton;

/// Names of the model families and capacities as the dialog lists them.
inline constexpr const char* kFamilyNames[3] = {"KA-Series", "KD-Series", "KE-Series"};
inline constexpr const char* kCapacityNames[4] = {"2000 Steps", "4000 Steps", "8000 Steps", "16000 Steps"};

/// File registers of a family: none for family 0, 10000 for family 1 (32768
/// with the external memory card), 1600 for family 2.
int FileRegCountFor(int family, bool extraMemory);

class TMachineSet : public QDialog {
    Q_OBJECT
public:
    explicit TMachineSet(QWidget* parent = nullptr);
    ~TMachineSet() override;

    QComboBox* MachineType_Box;
    QComboBox* Capacity_Box;
    QCheckBox* ExtraMemChk;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

    /// Loads the boxes from the open project.
    void FormShow();
    /// Applies the chosen setting through the frame; the dialog closes only
    /// when it was applied (a refused setting keeps it open with its message).
    void OkBtnClick();
    /// Applies ExtraMemChk to the file registers when the family box holds
    /// the project's family (through ApplyModelSetting, which asks before
    /// values go); another family's card waits for OK.
    void ExtraMemChkClick();
    /// The external memory box only applies to family 1.
    void MachineType_BoxChange();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TMachineSet* _MachineSet;
