#pragma once
// The paths an operand comes into the program by, tried for one row each: typed
// into the list and into the ladder, written by Replace in either view, pasted
// from another run into the list and into the ladder, inserted there as a
// block, and held already by a program (as a file or a PLC may hold it) when
// the model changes. An operand the row's model does not have, with all it
// reaches, comes in by none of them; the program that holds one keeps it.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "ladder/model/Lad.h"
#include "ladder/model/Ladtranslate.h"
#include "tests/ladder/editor/LadderFrameFixture.h"
#include "tools/windows/Searchdlg.h"
#include "tools/windows/Toolsinstall.h"

struct OperandRow {
    const char* path;      // what the row tries
    int family;            // the model family the row runs on
    const char* line;      // the instruction with the operand at its place
    const char* operand;   // the operand the row is about
    const char* stand_in;  // an operand of the same form the family surely has, whole
    bool accepted;
};

inline constexpr int kReplaceDone = 65, kReplaceRefused = 148, kClipRefused = 152, kReachLacking = 281,
                     kProgramBeyond = 282;

class OperandPathsTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }
    void TryRow(const OperandRow& r);

    // A new project on the row's family, its ladder window open.
    void Fresh(int family) {
        gQel.Modified = 0;  // the last round's program goes without a question
        frame_->NewClick();
        ASSERT_TRUE(frame_->ApplyModelSetting(family, 0, false));
        ViewLadder();
        messages_.Clear();
    }
    static std::string Replaced(std::string line, const std::string& from, const std::string& to) {
        const std::size_t at = line.find(from);
        return at == std::string::npos ? line : line.replace(at, from.size(), to);
    }
    // The code of "LD X0" and the row's line as a file or a PLC may hold it:
    // its stand-in assembled, the stand-in's record then changed for the operand's.
    static std::vector<std::uint8_t> Held(const OperandRow& r) {
        std::vector<std::uint8_t> code = AssembleLine("LD X0", r.family).instruction->bytes;
        const TAssembly a = AssembleLine(Replaced(r.line, r.operand, r.stand_in), r.family);
        EXPECT_TRUE(a) << "the stand-in does not assemble";
        if (!a) return code;
        std::vector<std::uint8_t> insn = a.instruction->bytes;
        const bool is32 = a.instruction->Is32();
        const int size = is32 ? 8 : 4;
        std::uint8_t from[8], to[8];
        EXPECT_EQ(EncodeOperandRecord(r.stand_in, is32, from), size);
        EXPECT_EQ(EncodeOperandRecord(r.operand, is32, to), size);
        const auto at = std::search(insn.begin(), insn.end(), from, from + size);
        EXPECT_NE(at, insn.end());
        if (at != insn.end()) std::copy(to, to + size, at);
        code.insert(code.end(), insn.begin(), insn.end());
        return code;
    }
    // The device of an operand: "M1270" of "K4M1270", the operand itself otherwise.
    static std::string DevicePart(const std::string& operand) {
        const bool group = operand.size() > 2 && operand[0] == 'K' && std::isdigit(static_cast<unsigned char>(operand[1])) &&
                           std::isalpha(static_cast<unsigned char>(operand[2]));
        return group ? operand.substr(2) : operand;
    }
    // That code put into the program as an Open does, the ladder drawn from it.
    // A family that lacks one of its devices draws no ladder of it (and says
    // so); the program stays as it is either way.
    void PutHeld(const OperandRow& r) {
        const std::vector<std::uint8_t> code = Held(r);
        std::fill(gProgram, gProgram + gProgramCapacity, 0xFF);
        std::memcpy(gProgram, code.data(), code.size());
        LocateProgramEnd();
        frame_->RunCommand("MmCodeToLad");
        lad_ = _LDB;
        messages_.Clear();
    }

    // ---- the paths; each leaves the program in the list's view ----

    void ListEntry(const OperandRow& r) {
        ViewList();
        ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X0", r.line}));
        if (_EditDlg->isVisible()) _EditDlg->CancelBtn->click();
    }
    // A refused box leaves its place to a coil, so that the rung compiles.
    void LadderEntry(const OperandRow& r) {
        lad_->Edit().SetCursor(0, 0);
        TypeLine("LD X0");
        lad_->Edit().SetCursor(0, 5);
        TypeLine(r.line);
        if (_EditDlg->isVisible()) {
            _EditDlg->CancelBtn->click();
            lad_->Edit().SetCursor(0, 5);
            TypeLine("OUT Y0");
        }
        ViewList();
    }
    // The row's line with its stand-in operand drawn behind a contact in the
    // ladder and compiled into the list.
    void DrawStandIn(const OperandRow& r) {
        lad_->Edit().SetCursor(0, 0);
        TypeLine("LD X0");
        lad_->Edit().SetCursor(0, 5);
        TypeLine(Replaced(r.line, r.operand, r.stand_in));
        ViewList();
        ASSERT_EQ(Program(), (Lines{"LD X0", Replaced(r.line, r.operand, r.stand_in)}));
    }
    // The stand-in's box drawn behind a contact; the row's line then typed
    // over it with the ladder writing over what is there.
    void OverBox(const OperandRow& r) {
        ASSERT_NO_FATAL_FAILURE(DrawStandIn(r));
        ViewLadder();
        messages_.Clear();
        gQel.InsertMode = 0;
        lad_->Edit().SetCursor(0, 5);
        TypeLine(r.line);
        gQel.InsertMode = 1;
        if (_EditDlg->isVisible()) _EditDlg->CancelBtn->click();
        ViewList();
    }
    void Replace(const OperandRow& r, bool inLadder) {
        ViewList();
        ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X0", Replaced(r.line, r.operand, r.stand_in)}));
        if (inLadder) ViewLadder();
        ASSERT_EQ(Program(), (Lines{"LD X0", Replaced(r.line, r.operand, r.stand_in)}));
        messages_.Clear();
        frame_->MmRep->trigger();
        SearchDlg->SearchPage->setCurrentIndex(1);
        SearchDlg->SearchDev->setText(r.stand_in);
        SearchDlg->RepDev->setText(r.operand);
        SearchDlg->DevNumber->setText("1");
        SearchDlg->SearchStart.SetItemIndex(1);
        messages_.QueueAnswer(qel::Answer::All);
        QTest::mouseClick(SearchDlg->Rep, Qt::LeftButton);
        ViewList();
    }
    void ListPaste(const OperandRow& r) {
        const std::vector<std::uint8_t> code = Held(r);
        auto* data = new QMimeData;
        data->setData("CF_INST", QByteArray(reinterpret_cast<const char*>(code.data()), static_cast<int>(code.size())));
        QApplication::clipboard()->setMimeData(data);
        ViewList();
        ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    }
    void LadderPaste(const OperandRow& r, bool insertBlock) {
        // The rung of the stand-in drawn and compiled, its operand cell then
        // naming the row's operand, as a ladder of another model holds it;
        // copied, and pasted into the ladder of a new project of the row's model.
        ASSERT_NO_FATAL_FAILURE(DrawStandIn(r));
        ViewLadder();
        const TParsedDevice standIn = ParseDeviceText(DevicePart(r.stand_in));
        int named = 0;
        for (std::int32_t c = 0; c < kLdbRowCells; ++c) {
            std::uint8_t* cell = CellAt(gLadderRows, 0, c * kLdbCellBytes);
            if (CellKind(cell) != TLdbKind::Spec_Token || CellDevType(cell) != standIn.type ||
                CellOperand(cell) != standIn.number)
                continue;
            SetCellOperand(cell, static_cast<std::uint16_t>(ParseDeviceText(DevicePart(r.operand)).number));
            ++named;
        }
        ASSERT_EQ(named, 1);
        lad_->Edit().SelectAll();
        ASSERT_TRUE(frame_->RunCommand("MmCopy"));
        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        lad_->Edit().SetCursor(0, 0);
        if (insertBlock)
            lad_->PopInsBkClick();
        else
            ASSERT_TRUE(frame_->RunCommand("MmPaste"));
        ViewList();
    }
};

// One row on every path; a fatal failure ends the row, not the rows after it.
inline void OperandPathsTest::TryRow(const OperandRow& r) {
    SCOPED_TRACE(r.path);
    const Lines taken{"LD X0", r.line};
    const Lines before{"LD X0"};
    const std::string named = gMsgTable.Get(kReachLacking) + " " + r.operand;

    // Typed into the list, and into the ladder behind a contact.
    ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
    ASSERT_NO_FATAL_FAILURE(ListEntry(r));
    EXPECT_EQ(Program(), r.accepted ? taken : before) << "list entry";
    EXPECT_EQ(messages_.WasShown(named), !r.accepted) << "list entry";

    ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
    ASSERT_NO_FATAL_FAILURE(LadderEntry(r));
    EXPECT_EQ(Program(), r.accepted ? taken : (Lines{"LD X0", "OUT Y0"})) << "ladder entry";
    EXPECT_EQ(messages_.WasShown(named), !r.accepted) << "ladder entry";

    // Replace, All, from the list and from the ladder: a refused place is
    // counted and the program stays. (Replace takes the names of single
    // devices; a digit group or an index suffix is no name it takes, and says so.)
    const bool group = r.operand[0] == 'K' || std::string(r.operand).find_first_of("EF", 1) != std::string::npos;
    for (const bool inLadder : {false, true}) {
        if (group) break;
        SCOPED_TRACE(inLadder ? "replace in the ladder" : "replace in the list");
        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        ASSERT_NO_FATAL_FAILURE(Replace(r, inLadder));
        EXPECT_EQ(Program(), r.accepted ? taken : (Lines{"LD X0", Replaced(r.line, r.operand, r.stand_in)}));
        EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kReplaceRefused) + "1"), !r.accepted);
        EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kReplaceDone) + (r.accepted ? "1" : "0")));
    }

    // Pasted from another run into the list and into the ladder, and
    // inserted there as a block.
    ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
    ASSERT_NO_FATAL_FAILURE(ListPaste(r));
    EXPECT_EQ(Program(), r.accepted ? taken : Lines{}) << "list paste";
    EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kClipRefused)), !r.accepted) << "list paste";

    // Undone and redone in the list: a refused paste left nothing a redo brings in.
    frame_->RunCommand("MmUndo");
    EXPECT_EQ(Program(), Lines{}) << "list paste undone";
    frame_->RunCommand("MmRedo");
    EXPECT_EQ(Program(), r.accepted ? taken : Lines{}) << "list paste redone";

    for (const bool insertBlock : {false, true}) {
        SCOPED_TRACE(insertBlock ? "block insertion in the ladder" : "ladder paste");
        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        ASSERT_NO_FATAL_FAILURE(LadderPaste(r, insertBlock));
        EXPECT_EQ(Program(), r.accepted ? taken : Lines{});
        EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kClipRefused) + " " + r.operand), !r.accepted);
        // Undone and redone in the ladder.
        ViewLadder();
        frame_->RunCommand("MmUndo");
        ViewList();
        EXPECT_EQ(Program(), Lines{}) << "undone";
        ViewLadder();
        frame_->RunCommand("MmRedo");
        ViewList();
        EXPECT_EQ(Program(), r.accepted ? taken : Lines{}) << "redone";
    }

    // Typed over the box of the stand-in in the ladder, writing over it: a
    // refused line leaves the box as it was.
    ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
    ASSERT_NO_FATAL_FAILURE(OverBox(r));
    EXPECT_EQ(Program(), r.accepted ? taken : (Lines{"LD X0", Replaced(r.line, r.operand, r.stand_in)})) << "over a box";
    EXPECT_EQ(messages_.WasShown(named), !r.accepted) << "over a box";

    // A program that holds it already, from another model: the new model
    // names it in its question; Cancel keeps the old model and the program.
    const int other = (r.family + 1) % kFamilyCount;
    ASSERT_NO_FATAL_FAILURE(Fresh(other));
    ASSERT_NO_FATAL_FAILURE(PutHeld(r));
    ASSERT_EQ(Program(), taken) << "the program holds it as a file would";
    messages_.QueueAnswer(qel::Answer::Cancel);
    const bool changed = frame_->ApplyModelSetting(r.family, 0, false);
    const std::vector<std::string> asked = messages_.Asked();
    if (r.accepted) {
        EXPECT_TRUE(changed) << "model change";
        EXPECT_TRUE(asked.empty()) << "model change";
    } else {
        EXPECT_FALSE(changed) << "model change";
        EXPECT_EQ(asked, std::vector<std::string>{gMsgTable.Get(kProgramBeyond) + " 1 " + r.line});
        EXPECT_EQ(gQel.Family, other);
    }
    ViewList();
    EXPECT_EQ(Program(), taken) << "model change keeps the program";
    if (r.accepted) return;

    // OK to the same question: the new model holds the program as it stands,
    // and so does the model it came from when the user goes back (OK to any
    // question there).
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Ok);
    EXPECT_TRUE(frame_->ApplyModelSetting(r.family, 0, false)) << "model change, OK";
    EXPECT_EQ(gQel.Family, r.family);
    ViewList();
    EXPECT_EQ(Program(), taken) << "the new model keeps the program";
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Ok);
    EXPECT_TRUE(frame_->ApplyModelSetting(other, 0, false)) << "back to the model it came from";
    EXPECT_EQ(gQel.Family, other);
    ViewList();
    EXPECT_EQ(Program(), taken) << "back to the model it came from";
    messages_.Clear();
}
