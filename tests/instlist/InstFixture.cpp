#include "tests/instlist/InstFixture.h"

#include <cstring>

#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>

#include "core/Codetranslate.h"
#include "core/ProgramImage.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"

void InstWindowTest::SetUp() {
    FrameTest::SetUp();
    RegisterInstListForms();  // as main() does
    ASSERT_TRUE(Start());
    InstallInstList(frame_.get());
    ASSERT_NE(_EditDlg, nullptr);
    frame_->NewClick();
    ASSERT_EQ(gQel.ProgramPresent, 1);
    gQel.InsertMode = 1;
}

void InstWindowTest::TearDown() {
    // Windows closed during the test go first, as the event loop would have
    // freed them before the frame closes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FrameTest::TearDown();
}

TInst* InstWindowTest::OpenList() {
    EXPECT_TRUE(frame_->RunCommand("MmInstWin"));
    EXPECT_NE(_Inst, nullptr);
    return _Inst;
}

void InstWindowTest::TypeLine(TInst* list, const std::string& line) {
    ASSERT_FALSE(line.empty());
    QTest::keyClicks(list, QString::fromStdString(line.substr(0, 1)));
    ASSERT_TRUE(_EditDlg->isVisible()) << line;
    EXPECT_EQ(_EditDlg->IEdit->text().toStdString(), line.substr(0, 1));
    QTest::keyClicks(_EditDlg->IEdit, QString::fromStdString(line.substr(1)));
    QTest::keyClick(_EditDlg->IEdit, Qt::Key_Return);
}

TInst* InstWindowTest::OpenInnerList(std::uint32_t used) {
    if (used == 0) {
        GrowProgramCopy(gProgramCapacity);
        std::memset(gProgramCopy, 0xFF, gProgramCopySize);
    }
    auto* inner = new TInst(nullptr, 18);
    inner->SetCodeBuffer(gProgramCopy, gProgramCopySize, used);
    frame_->AddEditor(inner, inner->Link);
    return inner;
}

std::vector<std::uint16_t> InstWindowTest::ProgramWords() {
    std::vector<std::uint16_t> w;
    for (std::uint32_t at = 0; at < gProgramUsed; at += 2) w.push_back(ReadCodeWord(gProgram, gProgramCapacity, at));
    return w;
}

void InstWindowTest::FillProgram(const std::string& line, int count) {
    ASSERT_TRUE(SetInputText(line));
    ASSERT_EQ(AssembleInstruction(), 1);
    std::uint32_t used = 0;
    EraseCode(gProgram, gProgramCapacity);
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(InsertInstruction(gProgram, gProgramCapacity, used, used, gInsnBuf.code, gInsnBuf.length));
    LocateProgramEnd();
}

bool InstWindowTest::Shown(int id) const {
    const std::string text = gMsgTable.Get(id);
    for (const std::string& s : messages_.Shown())
        if (!text.empty() && s.rfind(text, 0) == 0) return true;
    return false;
}
