// A step's inner list and inner ladder take an operand as the program's own
// views do: one that reaches a register or bit the model lacks (a digit group
// running past the last M, a compare's result bits after it, a product beside
// the last D) is refused, typed or pasted, and the step keeps what it had; one
// that ends on the model's last device goes in. The default model's last M is
// M1279, its last S S127, its last D D1311.
#include <algorithm>
#include <cstring>

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>

#include "core/Codetranslate.h"
#include "core/Instruction.h"
#include "ladder/model/Lad.h"
#include "ladder/model/Ladtranslate.h"
#include "sfc/model/Sfcelement.h"
#include "sfc/window/Sfcwin.h"
#include "tests/ladder/editor/LadderFrameFixture.h"

namespace {

constexpr int kReachLacking = 281, kClipRefused = 152, kConvertRefused = 162, kModelLacks = 143;

struct InnerRow {
    const char* path;
    const char* line;      // the instruction with the operand at its place
    const char* operand;   // the operand the row is about
    const char* standIn;   // a device of the same form the model surely has
    bool accepted;
};

const InnerRow kRows[] = {
    {"K4M1270 covers M1270-M1285 past M1279", "MOV K4M1270 D0", "K4M1270", "K4M100", false},
    {"K4S120 covers S120-S135 past S127", "MOV K4S120 D0", "K4S120", "K4S10", false},
    {"CMP's results from M1279 run to M1281", "CMP D0 D1 M1279", "M1279", "M100", false},
    {"CMPP's results from M1278 run to M1280", "CMPP D0 D1 M1278", "M1278", "M100", false},
    {"MUL's product at D1311 takes D1312", "MUL D0 D2 D1311", "D1311", "D100", false},
    {"DZCP's results from M1278 run to M1280", "DZCP D0 D2 D4 M1278", "M1278", "M100", false},
    {"CMP's results from M1277 end on M1279", "CMP D0 D1 M1277", "M1277", "M100", true},
    {"K4M1264 ends on M1279", "MOV K4M1264 D0", "K4M1264", "K4M100", true},
};

std::vector<std::uint8_t> Code(std::initializer_list<std::string> lines) {
    std::vector<std::uint8_t> code;
    for (const std::string& line : lines) {
        const TAssembly a = AssembleLine(line, 0);
        EXPECT_TRUE(a) << line;
        if (a) code.insert(code.end(), a.instruction->bytes.begin(), a.instruction->bytes.end());
    }
    return code;
}

std::string Replaced(std::string line, const std::string& from, const std::string& to) {
    const std::size_t at = line.find(from);
    return at == std::string::npos ? line : line.replace(at, from.size(), to);
}

class SfcInnerOperandReachTest : public LadderFrameTest {
protected:
    void InstallMore() override { InstallSfc(frame_.get()); }
    QSize FrameSize() const override { return {1200, 800}; }

    // A new project on the default model, the chart open with step S0 drawn.
    void FreshChart() {
        gQel.Modified = 0;
        frame_->NewClick();
        ASSERT_TRUE(frame_->RunCommand("MmSfcWin"));
        QCoreApplication::processEvents();
        sfc_ = _Sfc;
        ASSERT_NE(sfc_, nullptr);
        QTest::keyClick(sfc_, Qt::Key_F2);
        ASSERT_TRUE(sfc_->SfcEdit_Txt->isVisible());
        QTest::keyClicks(sfc_->SfcEdit_Txt, "0");
        QTest::keyClick(sfc_->SfcEdit_Txt, Qt::Key_Return);
        sfc_->Model().CursorRow = 0;
        sfc_->Model().CursorCol = 0;
        messages_.Clear();
    }
    void OpenInnerList() {
        QTest::keyClick(sfc_, Qt::Key_M, Qt::ControlModifier);
        ASSERT_NE(_InterInst, nullptr);
    }
    void OpenInnerLadder() {
        QTest::keyClick(sfc_, Qt::Key_L, Qt::ControlModifier);
        ASSERT_NE(_InterLadder, nullptr);
    }
    // Lines typed into the open inner list; a refused line's dialog is cancelled.
    void TypeIntoInnerList(const Lines& lines) {
        for (const std::string& line : lines) {
            QTest::keyClick(_InterInst, Qt::Key_End);
            QTest::keyClicks(_InterInst, QString::fromStdString(line.substr(0, 1)));
            Finish(line.substr(1));
            if (_EditDlg->isVisible()) _EditDlg->CancelBtn->click();
        }
    }
    // The open inner window closed, Yes to storing it; the step's code.
    std::vector<std::uint8_t> StoreInner(QWidget* inner) {
        messages_.QueueAnswer(qel::Answer::Yes);
        inner->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const TSfcCodeRec* rec = FindSfcCodeRec(0, 0);
        return rec ? rec->code : std::vector<std::uint8_t>{};
    }
    // The code of "LD X0" and the row's line as another model's code holds
    // it: the stand-in's record changed for the operand's.
    static std::vector<std::uint8_t> Held(const InnerRow& r) {
        std::vector<std::uint8_t> code = Code({"LD X0", Replaced(r.line, r.operand, r.standIn)});
        std::uint8_t standRec[8], opRec[8];
        const bool is32 = r.line[0] == 'D';
        const int size = is32 ? 8 : 4;
        EXPECT_EQ(EncodeOperandRecord(r.standIn, is32, standRec), size);
        EXPECT_EQ(EncodeOperandRecord(r.operand, is32, opRec), size);
        const auto at = std::search(code.begin(), code.end(), standRec, standRec + size);
        EXPECT_NE(at, code.end());
        if (at != code.end()) std::copy(opRec, opRec + size, at);
        return code;
    }
    bool Named(int id, const std::string& operand) const {
        return messages_.WasShown(gMsgTable.Get(id) + " " + operand);
    }

    TSfc* sfc_ = nullptr;
};

}  // namespace

TEST_F(SfcInnerOperandReachTest, AStepsInnerViewsJudgeAnOperandByAllItReaches) {
    for (const InnerRow& r : kRows) {
        SCOPED_TRACE(r.path);
        const std::vector<std::uint8_t> taken = r.accepted ? Code({"LD X0", r.line}) : std::vector<std::uint8_t>{};
        const std::vector<std::uint8_t> before = Code({"LD X0"});

        // Typed into the step's inner list.
        ASSERT_NO_FATAL_FAILURE(FreshChart());
        ASSERT_NO_FATAL_FAILURE(OpenInnerList());
        TypeIntoInnerList({"LD X0", r.line});
        EXPECT_EQ(Named(kReachLacking, r.operand), !r.accepted) << "inner list entry";
        EXPECT_EQ(StoreInner(_InterInst), r.accepted ? taken : before) << "inner list entry";

        // Typed into the step's inner ladder behind a contact; a refused box
        // leaves its place to a coil.
        ASSERT_NO_FATAL_FAILURE(FreshChart());
        ASSERT_NO_FATAL_FAILURE(OpenInnerLadder());
        TLDB* inner = _InterLadder;
        inner->Edit().SetCursor(0, 0);
        TypeLine("LD X0", inner);
        inner->Edit().SetCursor(0, 5);
        TypeLine(r.line, inner);
        const bool refused = _EditDlg->isVisible();
        if (refused) {
            _EditDlg->CancelBtn->click();
            inner->Edit().SetCursor(0, 5);
            TypeLine("OUT Y0", inner);
        }
        EXPECT_EQ(refused, !r.accepted) << "inner ladder entry";
        EXPECT_EQ(Named(kReachLacking, r.operand), !r.accepted) << "inner ladder entry";
        EXPECT_EQ(StoreInner(inner), r.accepted ? taken : Code({"LD X0", "OUT Y0"})) << "inner ladder entry";

        // Pasted into the step's inner list as code from another run.
        ASSERT_NO_FATAL_FAILURE(FreshChart());
        ASSERT_NO_FATAL_FAILURE(OpenInnerList());
        {
            const std::vector<std::uint8_t> code = Held(r);
            auto* data = new QMimeData;
            data->setData("CF_INST", QByteArray(reinterpret_cast<const char*>(code.data()), static_cast<int>(code.size())));
            QApplication::clipboard()->setMimeData(data);
        }
        QTest::keyClick(_InterInst, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kClipRefused)), !r.accepted) << "inner list paste";
        EXPECT_EQ(StoreInner(_InterInst), r.accepted ? taken : std::vector<std::uint8_t>{}) << "inner list paste";

        // A rung of the program's ladder whose operand cell names the row's
        // operand (as a ladder of another model holds it), copied and pasted
        // into the step's inner ladder.
        gQel.Modified = 0;
        frame_->NewClick();
        ASSERT_TRUE(frame_->RunCommand("MmLadWin"));
        lad_ = _LDB;
        lad_->Edit().SetCursor(0, 0);
        TypeLine("LD X0");
        lad_->Edit().SetCursor(0, 5);
        TypeLine(Replaced(r.line, r.operand, r.standIn));
        const std::string standIn = r.standIn[0] == 'K' ? std::string(r.standIn).substr(2) : r.standIn;
        const std::string operand = r.operand[0] == 'K' ? std::string(r.operand).substr(2) : r.operand;
        std::uint8_t* cell = nullptr;
        for (std::int32_t c = 0; c < kLdbRowCells && !cell; ++c) {
            std::uint8_t* at = CellAt(gLadderRows, 0, c * kLdbCellBytes);
            const TParsedDevice s = ParseDeviceText(standIn);
            if (CellKind(at) == TLdbKind::Spec_Token && CellDevType(at) == s.type && CellOperand(at) == s.number)
                cell = at;
        }
        ASSERT_NE(cell, nullptr);
        const std::uint16_t standInNumber = CellOperand(cell);
        SetCellOperand(cell, static_cast<std::uint16_t>(ParseDeviceText(operand).number));
        lad_->Edit().SelectAll();
        ASSERT_TRUE(frame_->RunCommand("MmCopy"));
        // The program's ladder as it was, so that the new project comes without a question.
        SetCellOperand(cell, standInNumber);
        ASSERT_TRUE(frame_->RunCommand("MmInstWin"));
        ASSERT_NO_FATAL_FAILURE(FreshChart());
        ASSERT_NO_FATAL_FAILURE(OpenInnerLadder());
        messages_.Clear();
        inner = _InterLadder;
        inner->Edit().SetCursor(0, 0);
        QTest::keyClick(inner, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(Named(kClipRefused, r.operand), !r.accepted) << "inner ladder paste";
        EXPECT_EQ(StoreInner(inner), r.accepted ? taken : std::vector<std::uint8_t>{}) << "inner ladder paste";

        // A step whose code holds it already (a chart file of another
        // model): its inner ladder draws it where the model has all it
        // reaches, and otherwise says which step of the code it cannot show.
        ASSERT_NO_FATAL_FAILURE(FreshChart());
        ASSERT_TRUE(StoreSfcElementCode(0, 0, Held(r)));
        QTest::keyClick(sfc_, Qt::Key_L, Qt::ControlModifier);
        EXPECT_EQ(_InterLadder != nullptr, r.accepted) << "a step's code drawn";
        EXPECT_EQ(messages_.WasShown(gMsgTable.Get(kConvertRefused) + "\n" + gMsgTable.Get(kModelLacks) + " 1 " + r.line),
                  !r.accepted)
            << "a step's code drawn";
        if (_InterLadder) StoreInner(_InterLadder);
    }
}
