// The program started as main() starts it, with a ladder file named on the
// command line whose rows do not compile into the code: they are the user's
// edits, held by the ladder window, and the program says it does not have them.
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "app/Qelassemble.h"
#include "core/DeviceLimits.h"
#include "ladder/editor/Ladder.h"
#include "ladder/model/LadderGrid.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "shell/Qelmain.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/TestInstallDir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kMsgProgramNotOk = 253;

// An empty program whose ladder file holds, on its first row, a contact X0
// without a coil (an edit that cannot go in yet), stamped with the code.
fs::path WriteUncompiledLadder(const fs::path& folder) {
    AllocateSharedBuffers();
    std::uint8_t* cell = CellAt(gLadderRows, 0, 5);
    SetCellKind(cell, TLdbKind::Open_Ry);
    SetCellDevType(cell, static_cast<std::uint8_t>(DeviceTypeFromLetter('X')));
    SetCellOperand(cell, 0);
    gLadderRowCount = 1;
    MarkLadderOfProgram();
    gQel.ProgramOk = 0;  // the rows are not the program's
    const fs::path path = folder / "edits.kzp";
    SetProjectPath(path.string());
    EXPECT_TRUE(SaveProject());
    return path;
}

}  // namespace

TEST(AssembledProgram, ALadderFileWhoseRowsDoNotCompileOpensAsTheLaddersEdits) {
    const fs::path home = qel::test::MakeTestInstallDir("qel-app-", {"QEL.Txt", "DeviceCommentInit.txt"});
    ASSERT_FALSE(home.empty());
    qel::test::ScriptedMessages messages;
    const fs::path path = WriteUncompiledLadder(home);

    TStartupOptions options;
    options.ShowSplash = false;
    std::unique_ptr<TQelMain> frame(AssembleQel({QString::fromStdString(path.string())}, options));
    ASSERT_TRUE(frame);
    QCoreApplication::processEvents();
    EXPECT_EQ(gQel.ProgramFileName, path.string());
    EXPECT_EQ(gQel.ProgramOk, 0);
    ASSERT_NE(_LDB, nullptr) << "the program opens on its ladder";
    EXPECT_TRUE(_LDB->Dirty()) << "the rows are held as the ladder's edits";
    EXPECT_EQ(CellKind(CellAt(gLadderRows, 0, 5)), TLdbKind::Open_Ry);
    EXPECT_TRUE(frame->QelStaBar->Panel(4).contains(QString::fromStdString(gMsgTable.Get(kMsgProgramNotOk))));

    gQel.Modified = 0;
    frame->DestroyEditors();
    frame->close();
    frame.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    std::error_code ec;
    fs::remove_all(home, ec);
}
