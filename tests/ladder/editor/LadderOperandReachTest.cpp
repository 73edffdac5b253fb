// An operand is judged by every register and bit it reaches, the same way on
// every path that brings it in: a digit group by all its 4n bits, a 16-bit
// MUL's product by both registers, DIV's quotient and remainder, the three
// result bits of CMP and ZCP. Typed into the list or the ladder, written by a
// replacement in either view, pasted from another run into either view: the
// program never takes one that reaches past the model's last device. A program
// that holds one already (from a file or a PLC) stays as it is, and a new model
// names it before the user chooses that model.
#include <algorithm>
#include <cctype>
#include <cstring>

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

constexpr int kReplaceDone = 65, kReplaceRefused = 148, kClipRefused = 152, kReachLacking = 281,
              kProgramBeyond = 282;

struct ReachRow {
    const char* path;      // what the row tries
    int family;            // 0: the default model (last M1279, S127, D1311); 1: last M4095, S1023, D9999;
                           // 2: last M4095, S1023, D4999
    const char* line;      // the instruction with the operand at its place
    const char* operand;   // the operand the row is about
    const char* stand_in;  // an operand of the same form the family surely has, whole
    bool accepted;
};

const ReachRow kRows[] = {
    {"family 0: K4M1270 covers M1270-M1285 past M1279", 0, "MOV K4M1270 D0", "K4M1270", "K4M100", false},
    {"family 0: K4M1264 ends on M1279", 0, "MOV K4M1264 D0", "K4M1264", "K4M100", true},
    {"family 0: DMOV K8M1250 covers M1250-M1281", 0, "DMOV K8M1250 D0", "K8M1250", "K8M100", false},
    {"family 0: K4S120 covers S120-S135 past S127", 0, "MOV K4S120 D0", "K4S120", "K4S10", false},
    {"family 0: MUL's product at D1311 takes D1312", 0, "MUL D0 D2 D1311", "D1311", "D100", false},
    {"family 0: MUL's product at D1310 ends on D1311", 0, "MUL D0 D2 D1310", "D1310", "D100", true},
    {"family 0: DIV's remainder beside D1311 would be D1312", 0, "DIV D0 D2 D1311", "D1311", "D100", false},
    {"family 0: CMP's results from M1279 run to M1281", 0, "CMP D0 D1 M1279", "M1279", "M100", false},
    {"family 0: CMP's results from M1277 end on M1279", 0, "CMP D0 D1 M1277", "M1277", "M100", true},
    {"family 0: ZCP's results from M1278 run to M1280", 0, "ZCP D0 D1 D2 M1278", "M1278", "M100", false},
    {"family 1: K4M4090 covers M4090-M4105 past M4095", 1, "MOV K4M4090 D0", "K4M4090", "K4M100", false},
    {"family 1: K4S1020 covers S1020-S1035 past S1023", 1, "MOV K4S1020 D0", "K4S1020", "K4S10", false},
    {"family 1: MUL's product at D9999 takes D10000", 1, "MUL D0 D2 D9999", "D9999", "D100", false},
    {"family 1: DIV's remainder beside D9999 would be D10000", 1, "DIV D0 D2 D9999", "D9999", "D100", false},
    {"family 1: DIV's remainder beside D4095 is D4096", 1, "DIV D0 D2 D4095", "D4095", "D100", true},
    {"family 1: CMP's results from M4094 run to M4096", 1, "CMP D0 D1 M4094", "M4094", "M100", false},
    {"family 1: ZCP's results from M4093 end on M4095", 1, "ZCP D0 D1 D2 M4093", "M4093", "M100", true},
    {"family 2: K4M4092 covers M4092-M4107 past M4095", 2, "MOV K4M4092 D0", "K4M4092", "K4M100", false},
    {"family 2: K4S1016 covers S1016-S1031 past S1023", 2, "MOV K4S1016 D0", "K4S1016", "K4S10", false},
    {"family 2: MUL's product at D4999 takes D5000", 2, "MUL D0 D2 D4999", "D4999", "D100", false},
    {"family 2: DIV's remainder beside D4999 would be D5000", 2, "DIV D0 D2 D4999", "D4999", "D100", false},
    {"family 2: CMP's results from M4095 run to M4097", 2, "CMP D0 D1 M4095", "M4095", "M100", false},
    {"family 2: ZCP's results from M4094 run to M4096", 2, "ZCP D0 D1 D2 M4094", "M4094", "M100", false},
};

class LadderOperandReachTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallTools(frame_.get()); }
    void TryRow(const ReachRow& r);

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
    static std::vector<std::uint8_t> Held(const ReachRow& r) {
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
    void PutHeld(const ReachRow& r) {
        const std::vector<std::uint8_t> code = Held(r);
        std::fill(gProgram, gProgram + gProgramCapacity, 0xFF);
        std::memcpy(gProgram, code.data(), code.size());
        LocateProgramEnd();
        frame_->RunCommand("MmCodeToLad");
        lad_ = _LDB;
        messages_.Clear();
    }

    // ---- the paths; each leaves the program in the list's view ----

    void ListEntry(const ReachRow& r) {
        ViewList();
        ASSERT_NO_FATAL_FAILURE(TypeIntoList({"LD X0", r.line}));
        if (_EditDlg->isVisible()) _EditDlg->CancelBtn->click();
    }
    // A refused box leaves its place to a coil, so that the rung compiles.
    void LadderEntry(const ReachRow& r) {
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
    void Replace(const ReachRow& r, bool inLadder) {
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
    void ListPaste(const ReachRow& r) {
        const std::vector<std::uint8_t> code = Held(r);
        auto* data = new QMimeData;
        data->setData("CF_INST", QByteArray(reinterpret_cast<const char*>(code.data()), static_cast<int>(code.size())));
        QApplication::clipboard()->setMimeData(data);
        ViewList();
        ASSERT_TRUE(frame_->RunCommand("MmPaste"));
    }
    void LadderPaste(const ReachRow& r, bool insertBlock) {
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

}  // namespace

// One row on every path; a fatal failure ends the row, not the rows after it.
void LadderOperandReachTest::TryRow(const ReachRow& r) {
    {
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
        // devices; a digit group is no name it takes.)
        const bool group = r.operand[0] == 'K';
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

        for (const bool insertBlock : {false, true}) {
            SCOPED_TRACE(insertBlock ? "block insertion in the ladder" : "ladder paste");
            ASSERT_NO_FATAL_FAILURE(Fresh(r.family));
            ASSERT_NO_FATAL_FAILURE(LadderPaste(r, insertBlock));
            EXPECT_EQ(Program(), r.accepted ? taken : Lines{});
            EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kClipRefused) + " " + r.operand), !r.accepted);
        }

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

TEST_F(LadderOperandReachTest, AnOperandReachingPastTheModelsLastDeviceNeverComesIn) {
    for (const ReachRow& r : kRows) TryRow(r);
}
