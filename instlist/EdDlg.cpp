#include "instlist/EdDlg.h"

#include <map>

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/Codetranslate.h"
#include "core/Digtest.h"
#include "instlist/Instedit.h"
#include "instlist/Instredit.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "shell/Qelmain.h"

TEditDlg* _EditDlg = nullptr;

namespace {

std::map<int, TEditDlg::ViewHandler>& Handlers() {
    static std::map<int, TEditDlg::ViewHandler> handlers;
    return handlers;
}

}  // namespace

// The dialog opens on the first character typed into a window, and until the
// window system hands it the keyboard the next keys still go to that window;
// behind a modal dialog they would be dropped there, so a fast typist lost
// characters. Shown without modality, the dialog keeps the rest of the
// program out itself: keys meant for other windows are typed into its input
// line, clicks on them are refused, and they cannot be closed meanwhile. A
// modal box the entry raises (a refused line) takes over as usual.
class TEditDlg::TInputGuard final : public QObject {
public:
    explicit TInputGuard(TEditDlg* dlg) : QObject(dlg), dlg_(dlg) {}

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (!dlg_->isVisible() || QApplication::activeModalWidget() != nullptr) return false;
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->window() == dlg_) return false;
        switch (e->type()) {
        case QEvent::KeyPress: {
            const auto* k = static_cast<QKeyEvent*>(e);
            QKeyEvent typed(QEvent::KeyPress, k->key(), k->modifiers(), k->text(), k->isAutoRepeat(),
                            static_cast<quint16>(k->count()));
            QCoreApplication::sendEvent(dlg_->IEdit, &typed);
            return true;
        }
        case QEvent::ShortcutOverride:
            e->accept();  // no shortcut of another window runs
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            QApplication::beep();
            dlg_->raise();
            dlg_->activateWindow();
            return true;
        case QEvent::KeyRelease:
        case QEvent::MouseButtonRelease:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        case QEvent::Close:
            if (!e->spontaneous()) return false;
            e->ignore();
            return true;
        default: return false;
        }
    }

private:
    TEditDlg* dlg_;
};

TEditDlg::TEditDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("EditDlg");
    setWindowTitle(QStringLiteral("输入"));
    // Modal by its own guard while shown without blocking (see TInputGuard);
    // Execute() is modal the usual way.
    guard_ = new TInputGuard(this);
    ILabel = new QLabel(this);
    ILabel->setObjectName("ILabel");
    IEdit = new QLineEdit(this);
    IEdit->setObjectName("IEdit");
    IEdit->setMinimumWidth(320);
    OKBtn = new QPushButton(QStringLiteral("确定"), this);
    OKBtn->setObjectName("OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("取消"), this);
    CancelBtn->setObjectName("CancelBtn");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ILabel);
    layout->addWidget(IEdit);
    layout->addLayout(buttons);

    connect(OKBtn, &QPushButton::clicked, this, &TEditDlg::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TEditDlg::CancelBtnClick);
    // Return in the input line reaches OK through the default button.
    connect(this, &QDialog::finished, this, [this](int) {
        qApp->removeEventFilter(guard_);
        RestoreView();
    });
}

TEditDlg::~TEditDlg() {
    if (_EditDlg == this) _EditDlg = nullptr;
}

void TEditDlg::ShowModal(int returnView) {
    ShowModal();
    returnView_ = returnView;
}

void TEditDlg::ShowModal() {
    entryView_ = gActiveView;
    returnView_ = 0;
    setResult(0);
    qApp->removeEventFilter(guard_);
    qApp->installEventFilter(guard_);
    show();
    raise();
    activateWindow();
    FocusInput();
}

int TEditDlg::Execute() {
    entryView_ = gActiveView;
    returnView_ = 0;
    // exec() shows the dialog first; the caret is placed once it is up.
    QTimer::singleShot(0, this, [this] { FocusInput(); });
    return exec();
}

void TEditDlg::FocusInput() {
    // Focused once the dialog is visible, so that the character the entry was
    // opened with is not selected (and replaced by the next key) the way a
    // line edit selects its text when the focus arrives by tabbing.
    IEdit->setFocus(Qt::OtherFocusReason);
    IEdit->deselect();
    IEdit->end(false);
}

void TEditDlg::SetViewHandler(int view, ViewHandler handler) {
    if (handler)
        Handlers()[view] = std::move(handler);
    else
        Handlers().erase(view);
}

int TEditDlg::ReturnViewOf(int view) {
    switch (view) {
    case kViewGotoStepInstList: return kViewInstList;
    case kViewGotoStepInnerList: return kViewInnerInstList;
    case kViewBlockComment:
    case kViewGotoStepLadder: return kViewLadder;
    default: return view;
    }
}

void TEditDlg::OKBtnClick() {
    std::string text = TrimLine(IEdit->text().toStdString());
    // A step number typed into the chart is taken in capitals.
    if (gActiveView == kViewSfc) text = StrToUpper(text);
    // The input line holds 79 characters; a longer text is refused here for
    // every view, and the previous line is not left for the entry to read.
    if (text.size() >= static_cast<std::size_t>(kInputTextSize)) {
        gInputText[0] = '\0';
        gLinePos = 0;
        ShowMsg(kMsgTextTooLong);
        IEdit->selectAll();
        return;
    }
    SetInputText(text);

    bool done = true;
    const int view = gActiveView;
    TInst* list = (view == kViewInstList || view == kViewGotoStepInstList) ? _Inst
                 : (view == kViewInnerInstList || view == kViewGotoStepInnerList) ? _InterInst : nullptr;
    switch (view) {
    case kViewInstList:
    case kViewInnerInstList:
        if (list) done = list->EnterLine(text);
        break;
    case kViewGotoStepInstList:
    case kViewGotoStepInnerList:
        if (list) done = list->GoToStep(text);
        break;
    default:
        if (auto it = Handlers().find(view); it != Handlers().end()) done = it->second(text);
        break;
    }
    if (done)
        accept();
    else
        IEdit->selectAll();
}

void TEditDlg::CancelBtnClick() { reject(); }

long TakeJumpStep(const std::string& text, std::uint32_t usedBytes) {
    long step = -1;
    switch (ReadJumpStep(text, usedBytes, step)) {
    case TJumpRefusal::None: return step;
    case TJumpRefusal::NotANumber: ShowMsg(kMsgInvalidInput); break;
    case TJumpRefusal::NotAStep: ShowMsg(kMsgBadStep, " " + TrimLine(text)); break;
    }
    return -1;
}

void TEditDlg::RestoreView() {
    const int view = returnView_ ? returnView_ : ReturnViewOf(entryView_ ? entryView_ : gActiveView);
    entryView_ = 0;
    returnView_ = 0;
    if (_QelMain)
        _QelMain->SetActiveView(view);
    else
        gActiveView = view;
}
