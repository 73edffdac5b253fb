#include <gtest/gtest.h>

#include <vector>

#include "LadderTestSupport.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "ladder/model/LadderGrid.h"
#include "ladder/model/Ladtranslate.h"

namespace {

struct TRow {
    TRow() : bytes(60, 0) {}
    std::uint8_t* Cell(int i) { return bytes.data() + i * 5; }
    void Put(int i, TLdbKind k, std::uint8_t type, std::uint16_t op) {
        SetCellKind(Cell(i), k);
        SetCellDevType(Cell(i), type);
        SetCellOperand(Cell(i), op);
    }
    std::string Text(int i, TLdbKind filter = TLdbKind::non_inst) { return CellDeviceText(bytes.data(), 0, i, filter); }
    std::vector<std::uint8_t> bytes;
};

TEST(CellDeviceText, RadixAndSignByLetter) {
    // X and Y octal, H hexadecimal, E without 0, K signed and joined with its
    // high word; no text for a line or for a cell of another kind.
    struct { TLdbKind kind; std::uint8_t type; std::uint16_t operand; const char* text; } cells[] = {
        {TLdbKind::Open_Ry, CellDev::X, 15, "X17"},         {TLdbKind::Spec_Token, CellDev::H, 16, "H10"},
        {TLdbKind::Spec_Token, CellDev::E, 0, "E"},         {TLdbKind::Spec_Token, CellDev::E, 3, "E3"},
        {TLdbKind::Spec_Token, CellDev::K, 0xFFFB, "K-5"},  {TLdbKind::Spec_Token, CellDev::K, 0x86A0, "K100000"},
        {TLdbKind::Token_32bs, CellDev::K, 0x0001, nullptr}, {TLdbKind::V_Line, CellDev::Y, 1, ""},
        {TLdbKind::Out_Ry, CellDev::Y, 8, "Y10"},           {TLdbKind::Spec_Token, CellDev::K, 0xFFFF, "K-1"},
        {TLdbKind::Token_32bs, CellDev::K, 0xFFFF, nullptr}};
    TRow r;
    for (int i = 0; i < 11; ++i) r.Put(i, cells[i].kind, cells[i].type, cells[i].operand);
    for (int i = 0; i < 11; ++i) {
        if (!cells[i].text) continue;  // the high word of a 32-bit constant
        EXPECT_EQ(r.Text(i), cells[i].text) << i;
    }
    EXPECT_EQ(r.Text(8, TLdbKind::Open_Ry), "");
    EXPECT_EQ(r.Text(-1), "");
    SetBlockCommentRow(r.bytes.data(), "X0");
    EXPECT_EQ(r.Text(0), "");
}

TEST(DeviceText, ParsingAndWidth) {
    EXPECT_EQ(ParseOperandNumber("X17"), 15);
    EXPECT_EQ(ParseOperandNumber("K4X20"), 16);
    EXPECT_EQ(ParseOperandNumber("K2M10"), 10);
    EXPECT_EQ(ParseOperandNumber("H1F"), 31);
    EXPECT_EQ(ParseOperandNumber("K-5"), -5);
    EXPECT_EQ(ParseOperandNumber("17"), 0);
    const TParsedDevice d = ParseDeviceText("  y17 ");
    EXPECT_EQ(d.type, CellDev::Y);
    EXPECT_EQ(d.number, 15);
    EXPECT_EQ(ParseDeviceText(std::string(200, 'D')).type, CellDev::D);  // long input is bounded
    EXPECT_TRUE(NeedsTwoWords(CellDev::K, 40000));
    EXPECT_FALSE(NeedsTwoWords(CellDev::K, 32767));
    EXPECT_FALSE(NeedsTwoWords(CellDev::C, 199));
    EXPECT_TRUE(NeedsTwoWords(CellDev::C, 200));
    EXPECT_TRUE(NeedsTwoWords(CellDev::H, 0x10000));
    EXPECT_TRUE(NeedsTwoWords(CellDev::D, -40000));
    EXPECT_EQ(DeviceTypeToLetter(9), 'X');
    EXPECT_EQ(DeviceTypeToLetter(15), 15);
    EXPECT_EQ(DeviceTypeToLetter(0), 0);
    EXPECT_EQ(LetterToDeviceType('I'), CellDev::I);
    EXPECT_EQ(LetterToDeviceType('Q'), 0);
}

TEST(SetCellDevice, ContactsCoilsAndStepsAcceptOnlyTheirDevices) {
    SetCurrentFamily(2);
    TRow r;
    r.Put(0, TLdbKind::Open_Ry, CellDev::X, 0);
    EXPECT_TRUE(SetCellDevice("x17", r.bytes.data(), 0, 0, TLdbKind::Close_Ry));
    EXPECT_EQ(CellKind(r.Cell(0)), TLdbKind::Close_Ry);
    EXPECT_EQ(r.Text(0), "X17");
    const std::vector<std::uint8_t> before = r.bytes;
    for (const char* bad : {"D100", "K5", "X8", "Q1", "", "M99999", "D0E"}) {
        EXPECT_FALSE(SetCellDevice(bad, r.bytes.data(), 0, 0, TLdbKind::Open_Ry)) << bad;
        EXPECT_EQ(r.bytes, before) << bad;
    }
    r.Put(1, TLdbKind::Out_Ry, CellDev::Y, 0);
    EXPECT_FALSE(SetCellDevice("X0", r.bytes.data(), 0, 1, TLdbKind::Out_Ry));
    EXPECT_TRUE(SetCellDevice("M1600", r.bytes.data(), 0, 1, TLdbKind::Out_Ry));
    EXPECT_EQ(r.Text(1), "M1600");
    r.Put(2, TLdbKind::State_Ry, CellDev::S, 10);
    EXPECT_FALSE(SetCellDevice("X5", r.bytes.data(), 0, 2, TLdbKind::State_Ry));
    EXPECT_TRUE(SetCellDevice("S20", r.bytes.data(), 0, 2, TLdbKind::State_Ry));
    EXPECT_EQ(r.Text(2), "S20");
    EXPECT_FALSE(SetCellDevice("X0", r.bytes.data(), 0, 3, TLdbKind::H_Line));
}

TEST(SetCellDevice, BoxOperandsFollowTheirBox) {
    SetCurrentFamily(2);
    TRow r;  // DCNT C200 K100000 at cells 0..4
    r.Put(0, TLdbKind::Spec_Fun, 0, gInstOpcode[inst::DCNT]);
    r.Put(1, TLdbKind::Spec_Token, CellDev::C, 200);
    r.Put(2, TLdbKind::Spec_Token, CellDev::K, 0x86A0);
    r.Put(3, TLdbKind::Token_32bs, CellDev::K, 1);
    EXPECT_EQ(BoxTokenClass(r.bytes.data(), 1), inst::DCNT);
    EXPECT_FALSE(SetCellDevice("C150", r.bytes.data(), 0, 1, TLdbKind::Spec_Token));
    EXPECT_TRUE(SetCellDevice("C250", r.bytes.data(), 0, 1, TLdbKind::Spec_Token));
    // The counter is one cell: its neighbour, the set value, is untouched.
    EXPECT_EQ(r.Text(1), "C250");
    EXPECT_EQ(r.Text(2), "K100000");
    EXPECT_TRUE(SetCellDevice("K-70000", r.bytes.data(), 0, 2, TLdbKind::Spec_Token));
    EXPECT_EQ(r.Text(2), "K-70000");

    TRow c;  // CNT C0 K5
    c.Put(0, TLdbKind::Spec_Fun, 0, gInstOpcode[inst::CNT]);
    c.Put(1, TLdbKind::Spec_Token, CellDev::C, 0);
    c.Put(2, TLdbKind::Spec_Token, CellDev::K, 5);
    EXPECT_FALSE(SetCellDevice("C250", c.bytes.data(), 0, 1, TLdbKind::Spec_Token));
    EXPECT_FALSE(SetCellDevice("K40000", c.bytes.data(), 0, 2, TLdbKind::Spec_Token));
    EXPECT_TRUE(SetCellDevice("D10", c.bytes.data(), 0, 2, TLdbKind::Spec_Token));
    EXPECT_EQ(c.Text(2), "D10");

    TRow m;  // MOV K1 D0: the operand type changes with the text
    m.Put(0, TLdbKind::Spec_Fun, 0, gInstOpcode[inst::MOV]);
    m.Put(1, TLdbKind::Spec_Token, CellDev::K, 1);
    m.Put(2, TLdbKind::Spec_Token, CellDev::D, 0);
    EXPECT_TRUE(SetCellDevice("K5", m.bytes.data(), 0, 2, TLdbKind::Spec_Token) == false);  // a constant is no destination
    EXPECT_TRUE(SetCellDevice("D20F1", m.bytes.data(), 0, 2, TLdbKind::Spec_Token));
    EXPECT_EQ(m.Text(2), "D20");
    EXPECT_EQ(TokenIndexReg(m.Cell(2)[0]), (TIndexReg{'F', 1}));
    EXPECT_TRUE(SetCellDevice("K4M0", m.bytes.data(), 0, 1, TLdbKind::Spec_Token));
    EXPECT_EQ(static_cast<int>(m.Cell(1)[1] & 0x0F), 4);
    EXPECT_EQ(CellDevType(m.Cell(1)), CellDev::M);
    // A token with no head on its left belongs to nothing.
    TRow o;
    o.Put(1, TLdbKind::Spec_Token, CellDev::D, 0);
    EXPECT_EQ(BoxTokenClass(o.bytes.data(), 1), inst::ERROR);
    EXPECT_FALSE(SetCellDevice("D5", o.bytes.data(), 0, 1, TLdbKind::Spec_Token));
}

// The operands of a compare contact change as a box's do, within the family's
// limits; the head holds the compare code, which is no box's instruction word.
TEST(SetCellDevice, CompareOperands) {
    SetCurrentFamily(0);
    TRow c;  // LD= D0 K5
    c.Put(0, TLdbKind::Comp_Ry, 0, 0);
    c.Put(1, TLdbKind::Spec_Token, CellDev::D, 0);
    c.Put(2, TLdbKind::Spec_Token, CellDev::K, 5);
    EXPECT_TRUE(SetCellDevice("D5", c.bytes.data(), 0, 1, TLdbKind::Spec_Token));
    EXPECT_TRUE(SetCellDevice("K4M0", c.bytes.data(), 0, 2, TLdbKind::Spec_Token));
    EXPECT_EQ(c.Text(1), "D5");
    EXPECT_EQ(static_cast<int>(c.Cell(2)[1] & 0x0F), 4);
    const TRow before = c;
    EXPECT_FALSE(SetCellDevice("D1400", c.bytes.data(), 0, 1, TLdbKind::Spec_Token));   // family 0 ends at D1311
    EXPECT_FALSE(SetCellDevice("K40000", c.bytes.data(), 0, 2, TLdbKind::Spec_Token));  // a 16-bit compare
    EXPECT_FALSE(SetCellDevice("X0", c.bytes.data(), 0, 1, TLdbKind::Spec_Token));      // no word operand
    EXPECT_EQ(c.bytes, before.bytes);

    TRow w;  // DLD> D0 K100000 (code 3, which is also TMR's instruction word)
    w.Put(0, TLdbKind::Comp_Ry, 0, 3);
    w.Put(1, TLdbKind::Spec_Token, CellDev::D, 0);
    w.Put(2, TLdbKind::Token_32bs, 0, 0);
    w.Put(3, TLdbKind::Spec_Token, CellDev::K, 0x86A0);
    w.Put(4, TLdbKind::Token_32bs, CellDev::K, 1);
    EXPECT_EQ(BoxTokenClass(w.bytes.data(), 1), inst::ERROR);
    EXPECT_TRUE(SetCellDevice("K-70000", w.bytes.data(), 0, 3, TLdbKind::Spec_Token));
    EXPECT_EQ(w.Text(3), "K-70000");
    EXPECT_TRUE(SetCellDevice("D10", w.bytes.data(), 0, 1, TLdbKind::Spec_Token));
    EXPECT_EQ(w.Text(1), "D10");
}

}  // namespace
