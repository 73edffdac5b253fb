#pragma once
// The frame's fixture with the instruction list hooked in and a new, empty
// project open.
#include <cstdint>
#include <string>
#include <vector>

#include "instlist/EdDlg.h"
#include "instlist/Instredit.h"
#include "tests/shell/FrameFixture.h"

class InstWindowTest : public FrameTest {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Opens the program's list window through the frame's command.
    TInst* OpenList();
    /// Types a line as the engineer does: its first character in the list
    /// opens the input dialog, the rest goes into the dialog, Return ends it.
    void TypeLine(TInst* list, const std::string& line);
    /// Words of gProgram up to gProgramUsed.
    static std::vector<std::uint16_t> ProgramWords();
    /// Opens a chart element's inner list over the second code buffer, holding
    /// `used` bytes of code there (a fresh, erased buffer when 0).
    TInst* OpenInnerList(std::uint32_t used = 0);
    /// Writes `count` copies of one instruction line into gProgram directly.
    static void FillProgram(const std::string& line, int count);
    /// Whether a shown message starts with the text of message `id`.
    bool Shown(int id) const;
};
