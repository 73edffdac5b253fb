// A 32-bit operand names its register and the next one: the program never
// takes one whose next register the model lacks (the last D, T or C of a kind,
// C199 before the 32-bit counters, D4095 before D4096), whichever way it would
// come in: typed into the list or the ladder, written by a replacement in
// either view, pasted from another run into either view. A program that holds
// one already (from a file or a PLC) stays as it is, and a new model names it
// before the user chooses that model.
#include <cstring>
#include <algorithm>

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

namespace {

constexpr int kReplaceDone = 65, kReplaceRefused = 148, kClipRefused = 152, kPairLacking = 281,
              kProgramBeyond = 282;

struct PairRow {
    const char* path;      // what the row tries
    int family;            // 0 KA-Series, 1 KD-Series, 2 KE-Series
    const char* line;      // the instruction with the operand at its place
    const char* operand;   // the operand the row is about
    const char* stand_in;  // an operand of the same letter the family surely pairs
    bool accepted;
};

const PairRow kRows[] = {
    {"KA: DMOV D1311 D200 is refused (D1311 is the last D)", 0, "DMOV D1311 D200", "D1311", "D100", false},
    {"KA: DMOV D1310 D200 is accepted", 0, "DMOV D1310 D200", "D1310", "D100", true},
    {"KA: the last D as destination is refused", 0, "DMOV D0 D1311", "D1311", "D100", false},
    {"KA: DMOV T127 D0 is refused (T127 is the last T)", 0, "DMOV T127 D0", "T127", "T10", false},
    {"KA: DMOV T126 D0 is accepted", 0, "DMOV T126 D0", "T126", "T10", true},
    {"KA: C199 is followed by the 32-bit C200", 0, "DMOV C199 D0", "C199", "C10", false},
    {"KA: DMOV C198 D0 is accepted", 0, "DMOV C198 D0", "C198", "C10", true},
    {"KA: a DCNT set value on the last D is refused", 0, "DCNT C200 D1311", "D1311", "D100", false},
    {"KD: D4095 at 32 bits is refused (D4096 begins the next block)", 1, "DMOV D4095 D0", "D4095", "D100", false},
    {"KD: DMOV D4094 D0 is accepted", 1, "DMOV D4094 D0", "D4094", "D100", true},
    {"KD: DMOV D4096 D0 is accepted", 1, "DMOV D4096 D0", "D4096", "D100", true},
    {"KD: DMOV D9999 D0 is refused (D9999 is the last D)", 1, "DMOV D9999 D0", "D9999", "D100", false},
    {"KD: DMOV D9998 D0 is accepted", 1, "DMOV D9998 D0", "D9998", "D100", true},
    {"KD: DMOV T255 D0 is refused (T255 is the last T)", 1, "DMOV T255 D0", "T255", "T10", false},
    {"KD: C199 is followed by the 32-bit C200", 1, "DMOV C199 D0", "C199", "C10", false},
    {"KE: DMOV D4999 D0 is refused (D4999 is the last D)", 2, "DMOV D4999 D0", "D4999", "D100", false},
    {"KE: DMOV D4998 D0 is accepted", 2, "DMOV D4998 D0", "D4998", "D100", true},
    {"KE: D4095 at 32 bits is refused", 2, "DMOV D4095 D0", "D4095", "D100", false},
    {"KE: DMOV T255 D0 is refused", 2, "DMOV T255 D0", "T255", "T10", false},
    {"KE: C199 is followed by the 32-bit C200", 2, "DMOV C199 D0", "C199", "C10", false},
    {"KE: the 32-bit counter C255 is one register", 2, "DMOV C255 D0", "C255", "C10", true},
};

class LadderPairOperandTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }

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
    static std::vector<std::uint8_t> Held(const PairRow& r) {
        std::vector<std::uint8_t> code = AssembleLine("LD X0", r.family).instruction->bytes;
        const TAssembly a = AssembleLine(Replaced(r.line, r.operand, r.stand_in), r.family);
        EXPECT_TRUE(a) << "the stand-in does not assemble";
        if (!a) return code;
        std::vector<std::uint8_t> insn = a.instruction->bytes;
        std::uint8_t from[8], to[8];
        EXPECT_EQ(EncodeOperandRecord(r.stand_in, true, from), 8);
        EXPECT_EQ(EncodeOperandRecord(r.operand, true, to), 8);
        const auto at = std::search(insn.begin(), insn.end(), from, from + 8);
        EXPECT_NE(at, insn.end());
        if (at != insn.end()) std::copy(to, to + 8, at);
        code.insert(code.end(), insn.begin(), insn.end());
        return code;
    }
    // That code put into the program as an Open does, the ladder drawn from it.
    void PutHeld(const PairRow& r) {
        const std::vector<std::uint8_t> code = Held(r);
        std::fill(gProgram, gProgram + gProgramCapacity, 0xFF);
        std::memcpy(gProgram, code.data(), code.size());
        LocateProgramEnd();
        // A family that lacks one of its devices draws no ladder of it (and says
        // so); the program stays as it is either way.
        frame_->RunCommand("MmCodeToLad");
        lad_ = _LDB;
        messages_.Clear();
    }

    // ---- the paths; each leaves the program in the list's view ----

    void ListEntry(const PairRow& r) {
        ViewList();
        ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X0", r.line}));
        if (_EditDlg->isVisible()) _EditDlg->CancelBtn->click();
    }
    // A refused box leaves its place to a coil, so that the rung compiles.
    void LadderEntry(const PairRow& r) {
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
    void Replace(const PairRow& r, bool inLadder) {
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
    void ListPaste(const PairRow& r) {
        const std::vector<std::uint8_t> code = Held(r);
        auto* data = new QMimeData;
        data->setData("CF_INST", QByteArray(reinterpret_cast<const char*>(code.data()), static_cast<int>(code.size())));
        QApplication::clipboard()->setMimeData(data);
        ViewList();
        ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    }
    void LadderPaste(const PairRow& r) {
        // The rung of the stand-in drawn and compiled, its operand cell then
        // naming the row's operand, as a ladder of another model holds it;
        // copied, and pasted into the ladder of a new project of the row's model.
        lad_->Edit().SetCursor(0, 0);
        TypeLine("LD X0");
        lad_->Edit().SetCursor(0, 5);
        TypeLine(Replaced(r.line, r.operand, r.stand_in));
        ViewList();
        ASSERT_EQ(Program(), (Lines{"LD X0", Replaced(r.line, r.operand, r.stand_in)}));
        ViewLadder();
        int named = 0;
        for (std::int32_t c = 0; c < kLdbRowCells; ++c) {
            if (CellDeviceText(gLadderRows, 0, c) != r.stand_in) continue;
            SetCellOperand(CellAt(gLadderRows, 0, c * kLdbCellBytes),
                           static_cast<std::uint16_t>(ParseDeviceText(r.operand).number));
            ++named;
        }
        ASSERT_EQ(named, 1);
        lad_->Edit().SelectAll();
        ASSERT_TRUE(frame_->RunCommand("MmCopy"));
        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        lad_->Edit().SetCursor(0, 0);
        ASSERT_TRUE(frame_->RunCommand("MmPaste"));
        ViewList();
    }
};

}  // namespace

TEST_F(LadderPairOperandTest, A32BitOperandWhoseNextRegisterTheModelLacksNeverComesIn) {
    for (const PairRow& r : kRows) {
        SCOPED_TRACE(r.path);
        const Lines taken{"LD X0", r.line};
        const Lines before{"LD X0"};
        const std::string named = gMsgTable.Get(kPairLacking) + " " + r.operand;

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
        // counted and the program stays.
        for (const bool inLadder : {false, true}) {
            SCOPED_TRACE(inLadder ? "replace in the ladder" : "replace in the list");
            ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
            ASSERT_NO_FATAL_FAILURE(Replace(r, inLadder));
            EXPECT_EQ(Program(), r.accepted ? taken : (Lines{"LD X0", Replaced(r.line, r.operand, r.stand_in)}));
            EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kReplaceRefused) + "1"), !r.accepted);
            EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(kReplaceDone) + (r.accepted ? "1" : "0")));
        }

        // Pasted from another run into the list and into the ladder.
        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        ASSERT_NO_FATAL_FAILURE(ListPaste(r));
        EXPECT_EQ(Program(), r.accepted ? taken : Lines{}) << "list paste";
        EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kClipRefused)), !r.accepted) << "list paste";

        ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
        ASSERT_NO_FATAL_FAILURE(LadderPaste(r));
        EXPECT_EQ(Program(), r.accepted ? taken : Lines{}) << "ladder paste";
        EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kClipRefused) + " " + r.operand), !r.accepted) << "ladder paste";

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
    }
}
