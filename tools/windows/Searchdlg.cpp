#include "tools/windows/Searchdlg.h"

#include <cstring>
#include <vector>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ladder/model/LadderGrid.h"
#include "platform/Messages.h"
#include "project/Editorlink.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "tools/check/Search.h"

TSearchDlg* SearchDlg = nullptr;

TSearchDlg::~TSearchDlg() {
    if (SearchDlg == this) SearchDlg = nullptr;
}

namespace {

constexpr int kTargetHistory = 20;

// The walks' questions and places go to the active editor and the message boxes.
class TDialogSearchUi final : public TSearchUi {
public:
    explicit TDialogSearchUi(TEditorLink* link) : link_(link) {}
    void Select(const TSearchPlace& p) override {
        if (link_->SelectPlace) link_->SelectPlace(p.offset, p.row, p.col);
    }
    qel::Answer Ask(int id, qel::AskButtons buttons) override { return qel::AskQuestion(gMsgTable.Get(id), buttons); }
    void Show(int id, const std::string& detail) override { ShowMsg(id, detail); }

private:
    TEditorLink* link_;
};

TRadioPair MakePair(QWidget* parent, QVBoxLayout* into, const char* title, const char* a, const char* b) {
    auto* box = new QGroupBox(QString::fromUtf8(title), parent);
    auto* layout = new QVBoxLayout(box);
    TRadioPair pair{new QRadioButton(QString::fromUtf8(a), box), new QRadioButton(QString::fromUtf8(b), box)};
    layout->addWidget(pair.first);
    layout->addWidget(pair.second);
    pair.first->setChecked(true);
    into->addWidget(box);
    return pair;
}

// The caption of an entry field, bound to it as its buddy.
QLabel* Caption(QWidget* parent, const char* text, QWidget* field) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setBuddy(field);
    return label;
}

QComboBox* MakeTypeList(QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (const std::string& t : SearchTypeTexts()) box->addItem(QString::fromStdString(t));
    return box;
}

// Upper-case entry, as the dialog's edits take it.
void UpperCase(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& t) {
        const int pos = edit->cursorPosition();
        edit->setText(t.toUpper());
        edit->setCursorPosition(pos);
    });
}

TSearchStart StartOf(const TRadioPair& start, const TRadioPair& dir) {
    return TSearchStart{start.ItemIndex() == 1, dir.ItemIndex() == 1};
}

// The code or grid bytes a replace may change, to bracket it as one undo step.
std::vector<std::uint8_t> Bytes(const TEditTarget& t) {
    if (t.code) return {t.code, t.code + t.capacity};
    const std::int32_t rows = std::max(t.lastRow, t.cursorRow) + 1;
    return {t.grid, t.grid + static_cast<std::size_t>(rows) * kLdbRowBytes};
}

std::uint8_t* Data(const TEditTarget& t) { return t.code ? t.code : t.grid; }

// The ladder of the active editor as the walks take it, with its labels.
TGridTarget GridOf(const TEditTarget& t) {
    return {t.grid, t.lastRow, t.cursorRow, t.cursorCol, t.pLabelRows, t.iLabelRows};
}

}  // namespace

int TRadioPair::ItemIndex() const { return second && second->isChecked() ? 1 : 0; }

void TRadioPair::SetItemIndex(int index) { (index == 1 ? second : first)->setChecked(true); }

TSearchDlg::TSearchDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("SearchDlg");
    setWindowTitle(QStringLiteral("寻找/替换"));
    setModal(false);
    SearchPage = new QTabWidget(this);
    SearchPage->setObjectName("SearchPage");

    auto* find = new QWidget;
    auto* fl = new QVBoxLayout(find);
    SearchDevName = new QLineEdit(find);
    SearchDevName->setObjectName("SearchDevName");
    UpperCase(SearchDevName);
    FindType = MakeTypeList(find);
    FindTypeLab = new QLabel(QStringLiteral("类型"), find);
    FindTypeLab->setBuddy(FindType);
    auto* fn = new QHBoxLayout;
    fn->addWidget(Caption(find, "装置", SearchDevName));
    fn->addWidget(SearchDevName, 1);
    fl->addLayout(fn);
    auto* fr = new QHBoxLayout;
    fr->addWidget(FindTypeLab);
    fr->addWidget(FindType, 1);
    fl->addLayout(fr);
    SearchStp = MakePair(find, fl, "起点", "自游标处开始", "自文件起始或结束处开始");
    SearchUD = MakePair(find, fl, "方向", "向下进行", "向上进行");
    Find = new QPushButton(QStringLiteral("寻找"), find);
    Find->setObjectName("Find");
    Button1 = new QPushButton(QStringLiteral("取消"), find);
    auto* fb = new QHBoxLayout;
    fb->addStretch(1);
    fb->addWidget(Find);
    fb->addWidget(Button1);
    fl->addLayout(fb);
    SearchPage->addTab(find, QStringLiteral("寻找"));

    auto* rep = new QWidget;
    auto* rl = new QVBoxLayout(rep);
    auto* grid = new QGridLayout;
    SearchDev = new QLineEdit(rep);
    SearchDev->setObjectName("SearchDev");
    RepDev = new QLineEdit(rep);
    RepDev->setObjectName("RepDev");
    UpperCase(SearchDev);
    UpperCase(RepDev);
    SearchType = MakeTypeList(rep);
    RepType = MakeTypeList(rep);
    SearchTypeLab = new QLabel(QStringLiteral("类型"), rep);
    RepTypeLab = new QLabel(QStringLiteral("类型"), rep);
    DevNumber = new QLineEdit(QStringLiteral("1"), rep);
    DevNumber->setObjectName("DevNumber");
    SearchTypeLab->setBuddy(SearchType);
    RepTypeLab->setBuddy(RepType);
    grid->addWidget(Caption(rep, "寻找", SearchDev), 0, 0);
    grid->addWidget(SearchDev, 0, 1);
    grid->addWidget(SearchTypeLab, 0, 2);
    grid->addWidget(SearchType, 0, 3);
    grid->addWidget(Caption(rep, "替换为", RepDev), 1, 0);
    grid->addWidget(RepDev, 1, 1);
    grid->addWidget(RepTypeLab, 1, 2);
    grid->addWidget(RepType, 1, 3);
    grid->addWidget(Caption(rep, "个数", DevNumber), 2, 0);
    grid->addWidget(DevNumber, 2, 1);
    rl->addLayout(grid);
    SearchStart = MakePair(rep, rl, "起点", "自游标处开始", "自文件起始或结束处开始");
    SearchDirect = MakePair(rep, rl, "方向", "向下进行", "向上进行");
    Rep = new QPushButton(QStringLiteral("替换"), rep);
    Rep->setObjectName("Rep");
    RCancel = new QPushButton(QStringLiteral("取消"), rep);
    auto* rb = new QHBoxLayout;
    rb->addStretch(1);
    rb->addWidget(Rep);
    rb->addWidget(RCancel);
    rl->addLayout(rb);
    SearchPage->addTab(rep, QStringLiteral("替换"));

    auto* cmd = new QWidget;
    auto* cl = new QVBoxLayout(cmd);
    Target = new QComboBox(cmd);
    Target->setObjectName("Target");
    Target->setEditable(true);
    Target->setInsertPolicy(QComboBox::NoInsert);
    auto* cn = new QHBoxLayout;
    cn->addWidget(Caption(cmd, "指令", Target));
    cn->addWidget(Target, 1);
    cl->addLayout(cn);
    Startpt = MakePair(cmd, cl, "起点", "自游标处开始", "自文件起始或结束处开始");
    Direct = MakePair(cmd, cl, "方向", "向下进行", "向上进行");
    FindCmd = new QPushButton(QStringLiteral("寻找"), cmd);
    FindCmd->setObjectName("FindCmd");
    Exit = new QPushButton(QStringLiteral("取消"), cmd);
    auto* cb = new QHBoxLayout;
    cb->addStretch(1);
    cb->addWidget(FindCmd);
    cb->addWidget(Exit);
    cl->addLayout(cb);
    SearchPage->addTab(cmd, QStringLiteral("寻找指令"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SearchPage);

    connect(Find, &QPushButton::clicked, this, &TSearchDlg::FindClick);
    connect(Rep, &QPushButton::clicked, this, &TSearchDlg::RepClick);
    connect(FindCmd, &QPushButton::clicked, this, &TSearchDlg::FindCmdClick);
    connect(Target->lineEdit(), &QLineEdit::returnPressed, this, &TSearchDlg::FindCmdClick);
    for (QPushButton* b : {Button1, RCancel, Exit}) connect(b, &QPushButton::clicked, this, &QDialog::hide);
    connect(SearchPage, &QTabWidget::currentChanged, this, &TSearchDlg::SearchPageChange);
}

bool TSearchDlg::LadderView() const { return gActiveView == 2 || gActiveView == 17; }

std::string TSearchDlg::ShownType(const QComboBox* list) const {
    // A list the window does not show (it was opened over an instruction
    // list and left open) filters and rewrites nothing.
    if (!list->isVisibleTo(this) || !list->isEnabled()) return SearchTypeTexts().front();
    return list->currentText().toStdString();
}

TEditorLink* TSearchDlg::LinkAfterTakeIn() {
    // Taking in may have brought another editor forward (its edit could not
    // go in), or caught the searched one up: the link is asked again.
    if (!TakeIn() || !ActiveLink) return nullptr;
    TEditorLink* link = ActiveLink();
    return link && link->SearchTarget ? link : nullptr;
}

void TSearchDlg::SearchPageChange(int page) {
    const bool ladder = LadderView();
    if (page == 0) {
        FindType->setEnabled(ladder);
        FindTypeLab->setEnabled(ladder);
    } else if (page == 1) {
        Rep->setEnabled(!gMonitorMode);
        for (QWidget* w : std::initializer_list<QWidget*>{SearchType, RepType, SearchTypeLab, RepTypeLab})
            w->setVisible(ladder);
    }
    // Typing goes to the page's entry field at once.
    QWidget* const fields[] = {SearchDevName, SearchDev, Target};
    if (page >= 0 && page < 3) fields[page]->setFocus();
}

void TSearchDlg::ShowFor(int view) {
    const bool ladder = view == 2 || view == 17;
    FindType->setVisible(ladder);
    FindTypeLab->setVisible(ladder);
    show();
    raise();
    activateWindow();
    SearchPageChange(SearchPage->currentIndex());
}

void TSearchDlg::FindClick() {
    TEditorLink* link = ActiveLink ? ActiveLink() : nullptr;
    if (!link || !link->SearchTarget) return;
    const std::string name = NormalizeDeviceName(SearchDevName->text().toStdString(), true);
    if (name.empty()) {
        ShowMsg(kMsgSearchBadName);
        SearchDevName->setFocus();
        return;
    }
    if (!(link = LinkAfterTakeIn())) return;
    hide();
    const TEditTarget t = link->SearchTarget();
    TDialogSearchUi ui(link);
    const TSearchStart start = StartOf(SearchStp, SearchUD);
    if (t.code)
        FindDeviceInCode({t.code, t.capacity, t.end, t.cursorOffset}, name, start, ui);
    else if (t.grid)
        FindDeviceInLadder(GridOf(t), name, ShownType(FindType), start, ui);
}

void TSearchDlg::RepClick() {
    TEditorLink* link = ActiveLink ? ActiveLink() : nullptr;
    if (!link || !link->SearchTarget || gMonitorMode) return;
    TReplaceRequest r;
    r.search = SearchDev->text().toStdString();
    r.replacement = RepDev->text().toStdString();
    bool numberOk = false;
    r.count = DevNumber->text().trimmed().toLong(&numberOk);
    if (LadderView()) {
        r.searchType = ShownType(SearchType);
        r.repType = ShownType(RepType);
    }
    // A count that is no number is refused like a bad name, before anything is searched.
    const int refusal = numberOk ? CheckReplaceRequest(r) : kMsgSearchBadName;
    if (refusal >= 0) {
        ShowMsg(refusal);
        (NormalizeDeviceName(r.search, false).empty() ? SearchDev
         : NormalizeDeviceName(r.replacement, false).empty() ? RepDev
                                                              : DevNumber)
            ->setFocus();
        return;
    }
    if (!(link = LinkAfterTakeIn())) return;
    hide();
    SearchStp.SetItemIndex(SearchStart.ItemIndex());
    SearchUD.SetItemIndex(SearchDirect.ItemIndex());
    const TEditTarget t = link->SearchTarget();
    const std::vector<std::uint8_t> before = Bytes(t);
    TDialogSearchUi ui(link);
    const TSearchStart start = StartOf(SearchStp, SearchUD);
    const int written = t.code ? ReplaceInCode({t.code, t.capacity, t.end, t.cursorOffset}, r, start, ui)
                               : ReplaceInLadder(GridOf(t), r, start, ui);
    if (written <= 0) return;
    // One undo step for the whole click: the window records the state before
    // it, then takes up the replaced data.
    const std::vector<std::uint8_t> after = Bytes(t);
    std::memcpy(Data(t), before.data(), before.size());
    if (link->BeginExternalEdit) link->BeginExternalEdit();
    std::memcpy(Data(t), after.data(), after.size());
    if (link->EndExternalEdit) link->EndExternalEdit();
}

void TSearchDlg::FindCmdClick() {
    TEditorLink* link = ActiveLink ? ActiveLink() : nullptr;
    const QString text = Target->currentText().trimmed().toUpper();
    const int index = FindableInstruction(text.toStdString());
    if (index < 0) {
        ShowMsg(kMsgSearchBadName);
        Target->setFocus();
        return;
    }
    if (!link || !link->SearchTarget || !(link = LinkAfterTakeIn())) return;
    hide();
    const TEditTarget t = link->SearchTarget();
    TDialogSearchUi ui(link);
    const TSearchStart start = StartOf(Startpt, Direct);
    if (t.code)
        FindInstructionInCode({t.code, t.capacity, t.end, t.cursorOffset}, index, start, ui);
    else if (t.grid)
        FindInstructionInLadder(GridOf(t), index, start, ui);
    if (Target->findText(text) < 0) {
        if (Target->count() >= kTargetHistory) Target->removeItem(0);
        Target->addItem(text);
    }
}
