// The frame's shortcuts beside an editor's own keys, and its layout at 1024 pixels.
#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QToolBar>

#include "project/Editorlink.h"
#include "project/Qelglobals.h"
#include "project/Viewcodes.h"
#include "tests/shell/FrameFixture.h"
#include "tests/support/WaitLimit.h"

namespace {

// An editor window that records the keys that reach it, with the frame
// commands F1, F4 and Ctrl+Y run as its own handlers so that a shortcut that
// fires is counted.
class KeyWindow : public QWidget {
public:
    KeyWindow(int view, std::vector<QKeyCombination> ownKeys) {
        setFocusPolicy(Qt::StrongFocus);
        link = new TEditorLink(view, this);
        link->OwnKeys = std::move(ownKeys);
        for (const char* command : {"MmHelp", "MmLadToCode", "MmRedo"})
            link->Register(command, [this, command] { ran.push_back(command); });
    }
    TEditorLink* link;
    std::vector<QKeyCombination> keys;
    std::vector<std::string> ran;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        const int k = e->key();
        if (k != Qt::Key_Control && k != Qt::Key_Alt && k != Qt::Key_Shift) keys.push_back(e->keyCombination());
    }
};

class FrameKeysTest : public FrameTest {
protected:
    KeyWindow* Add(int view, std::vector<QKeyCombination> own) {
        auto* w = new KeyWindow(view, std::move(own));
        frame_->AddEditor(w, w->link);
        QApplication::setActiveWindow(frame_.get());
        w->setFocus();
        return w;
    }
    static void Press(QWidget* w, QKeyCombination key) {
        QTest::keyClick(w, key.key(), key.keyboardModifiers());
    }
};

TEST_F(FrameKeysTest, TheActiveEditorsOwnKeysReachItInsteadOfTheFramesShortcuts) {
    ASSERT_TRUE(Start());
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame_.get(), qel::test::kWaitLimitMs));
    const QKeyCombination f1(Qt::Key_F1), f4(Qt::Key_F4), ctrlY(Qt::CTRL | Qt::Key_Y);

    // A list that keeps no keys of its own: F1 is help, F4 converts, Ctrl+Y redoes.
    KeyWindow* list = Add(kViewInstList, {});
    for (QKeyCombination k : {f1, f4, ctrlY}) Press(list, k);
    EXPECT_EQ(list->ran, (std::vector<std::string>{"MmHelp", "MmLadToCode", "MmRedo"}));
    EXPECT_TRUE(list->keys.empty());

    // A ladder keeps them: each reaches the window and no frame command runs
    // (every key of the real ladder's table: LadderWindowTest).
    const std::vector<QKeyCombination> own = {f1, f4, ctrlY, Qt::ALT | Qt::Key_F9};
    KeyWindow* ladder = Add(kViewLadder, own);
    ASSERT_EQ(gActiveView, kViewLadder);
    for (QKeyCombination k : own) Press(ladder, k);
    EXPECT_TRUE(ladder->ran.empty());
    EXPECT_EQ(ladder->keys, own);
    // The menus show that the keys are the ladder's now; the rest keep theirs.
    EXPECT_TRUE(frame_->MmHelp->shortcut().isEmpty());
    EXPECT_TRUE(frame_->MmRedo->shortcut().isEmpty());
    EXPECT_EQ(frame_->MmUndo->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));

    // Back in the list, the frame's shortcuts are there again.
    frame_->MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(list->parentWidget()));
    list->setFocus();
    ASSERT_EQ(gActiveView, kViewInstList);
    list->ran.clear();
    Press(list, ctrlY);
    EXPECT_EQ(list->ran, std::vector<std::string>{"MmRedo"});
    EXPECT_EQ(frame_->MmHelp->shortcut(), QKeySequence(Qt::Key_F1));

    // Closing the ladder leaves no key taken.
    frame_->MdiArea->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(ladder->parentWidget()));
    EXPECT_TRUE(frame_->MmLadToCode->shortcut().isEmpty());
    delete ladder->parentWidget();
    EXPECT_EQ(frame_->MmLadToCode->shortcut(), QKeySequence(Qt::Key_F4));
}

TEST_F(FrameKeysTest, FrameOpensMaximisedAndEveryToolButtonShowsAt1024) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(frame_->windowState() & Qt::WindowMaximized);

    frame_->showNormal();
    frame_->resize(1024, 720);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame_.get(), qel::test::kWaitLimitMs));
    QApplication::processEvents();
    ASSERT_EQ(frame_->width(), 1024);
    auto visibleButtons = [&] {
        int buttons = 0;
        for (QToolBar* bar : frame_->findChildren<QToolBar*>()) {
            if (!bar->isVisibleTo(frame_.get())) continue;  // a tool panel not shown now
            const QRect barArea(bar->mapTo(frame_.get(), QPoint(0, 0)), bar->size());
            EXPECT_TRUE(frame_->rect().contains(barArea)) << bar->objectName().toStdString();
            for (QAction* a : bar->actions()) {
                if (a->isSeparator()) continue;
                QWidget* button = bar->widgetForAction(a);
                const std::string what = bar->objectName().toStdString() + " " + a->objectName().toStdString();
                if (!button) {
                    ADD_FAILURE() << what << " has no button";
                    continue;
                }
                EXPECT_TRUE(button->isVisibleTo(bar)) << what << " is in the overflow";
                EXPECT_TRUE(bar->rect().contains(button->geometry())) << what;
                ++buttons;
            }
        }
        return buttons;
    };
    EXPECT_GE(visibleButtons(), 11 + 19 + 11);  // quick bar, tool bar and PLC bar, ladder elements
    // With the SFC panel shown beside the ladder's, still nothing overflows.
    frame_->CoolBarAdd(frame_->SfcPanel);
    QApplication::processEvents();
    EXPECT_GE(visibleButtons(), 11 + 19 + 11 + 9);
}

}  // namespace
