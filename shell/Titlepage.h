#pragma once
// The title page of the project: title, company and designer, printed on the
// first page of every listing and saved with the project.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TTitlePage : public QDialog {
    Q_OBJECT
public:
    explicit TTitlePage(QWidget* parent = nullptr);
    ~TTitlePage() override;

    QLineEdit* Title_Txt;
    QLineEdit* Company_Txt;
    QLineEdit* Designer_Txt;
    QLabel* FileName_Lab;
    QLabel* Date_Lab;
    QPushButton* OkBtn;
    QPushButton* CancelBtn;

    /// Loads the fields from the project and the labels from the message table.
    void FormShow();
    /// Stores changed fields into the project and marks it modified.
    void OkBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel *titleLab_, *fileLab_, *companyLab_, *designerLab_, *dateLab_;
};

extern TTitlePage* _TitlePage;
