#include "shell/Titlepage.h"

#include <QDate>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Dlgbuttons.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"

TTitlePage* _TitlePage = nullptr;

namespace {

// Message ids of the title-page labels (shared with the printed title page).
constexpr int kMsgTitle = 46, kMsgFileName = 47, kMsgCompany = 48, kMsgDesigner = 49, kMsgDate = 50;

// The project file keeps each text in a fixed field; longer texts are refused
// at entry rather than cut on saving.
constexpr int kTextMax = 60;

}  // namespace

TTitlePage::TTitlePage(QWidget* parent) : QDialog(parent) {
    setObjectName("TitlePage");
    setWindowTitle(QStringLiteral("标题页"));
    auto make = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        e->setMaxLength(kTextMax);
        e->setMinimumWidth(320);
        return e;
    };
    Title_Txt = make("Title_Txt");
    Company_Txt = make("Company_Txt");
    Designer_Txt = make("Designer_Txt");
    FileName_Lab = new QLabel(this);
    FileName_Lab->setObjectName("FileName_Lab");
    Date_Lab = new QLabel(this);
    Date_Lab->setObjectName("Date_Lab");
    titleLab_ = new QLabel(this);
    fileLab_ = new QLabel(this);
    companyLab_ = new QLabel(this);
    designerLab_ = new QLabel(this);
    dateLab_ = new QLabel(this);

    auto* grid = new QGridLayout;
    grid->addWidget(titleLab_, 0, 0);
    grid->addWidget(Title_Txt, 0, 1);
    grid->addWidget(fileLab_, 1, 0);
    grid->addWidget(FileName_Lab, 1, 1);
    grid->addWidget(companyLab_, 2, 0);
    grid->addWidget(Company_Txt, 2, 1);
    grid->addWidget(designerLab_, 3, 0);
    grid->addWidget(Designer_Txt, 3, 1);
    grid->addWidget(dateLab_, 4, 0);
    grid->addWidget(Date_Lab, 4, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    const TDlgButtons buttons = AddDlgButtons(this, layout);
    OkBtn = buttons.OkBtn;
    CancelBtn = buttons.CancelBtn;
    connect(OkBtn, &QPushButton::clicked, this, &TTitlePage::OkBtnClick);
}

TTitlePage::~TTitlePage() {
    if (_TitlePage == this) _TitlePage = nullptr;
}

void TTitlePage::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TTitlePage::FormShow() {
    auto msg = [](int id) { return QString::fromStdString(gMsgTable.Get(id)); };
    titleLab_->setText(msg(kMsgTitle));
    fileLab_->setText(msg(kMsgFileName));
    companyLab_->setText(msg(kMsgCompany));
    designerLab_->setText(msg(kMsgDesigner));
    dateLab_->setText(msg(kMsgDate));
    Title_Txt->setText(QString::fromStdString(gQel.Title));
    Company_Txt->setText(QString::fromStdString(gQel.Company));
    Designer_Txt->setText(QString::fromStdString(gQel.Designer));
    FileName_Lab->setText(QString::fromStdString(gQel.ProgramFileName));
    Date_Lab->setText(QDate::currentDate().toString(Qt::ISODate));
}

void TTitlePage::OkBtnClick() {
    const std::string title = Title_Txt->text().trimmed().toStdString();
    const std::string company = Company_Txt->text().trimmed().toStdString();
    const std::string designer = Designer_Txt->text().trimmed().toStdString();
    if (title != gQel.Title || company != gQel.Company || designer != gQel.Designer) {
        gQel.Title = title;
        gQel.Company = company;
        gQel.Designer = designer;
        gQel.Modified = 1;
        if (_QelMain) _QelMain->UpdateCaption();
    }
    accept();
}
