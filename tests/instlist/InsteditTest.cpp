// The editing model of the instruction list over a plain code buffer: what the
// window scenarios do not reach cheaply (instructions of different lengths
// written over each other, clipboard bytes that are no whole instructions of
// the family, writes made by other windows). Undo and redo: InstBlockTest.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "instlist/Instedit.h"

namespace {

using Words = std::vector<std::uint16_t>;
using Texts = std::vector<std::string>;

class InstEditTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SetCurrentFamily(0));
        code_.assign(3616, 0xFF);
        edit_.Attach(code_.data(), static_cast<std::uint32_t>(code_.size()), 0);
    }

    // Types each line at the append line, as an engineer writes a program.
    void Type(std::initializer_list<const char*> lines) {
        for (const char* l : lines) ASSERT_EQ(edit_.EnterLine(edit_.LastLine(), l, true), TInstEditResult::Ok) << l;
    }

    Words WordsUsed() const {
        Words w;
        for (std::uint32_t at = 0; at < edit_.Used(); at += 2) w.push_back(ReadCodeWord(code_.data(), code_.size(), at));
        return w;
    }

    Texts Lines() const {
        Texts t;
        for (int i = 0; i < edit_.LastLine(); ++i) t.push_back(edit_.LineText(i));
        return t;
    }

    bool TailErased() const {
        for (std::size_t i = edit_.Used(); i < code_.size(); ++i)
            if (code_[i] != 0xFF) return false;
        return true;
    }

    std::vector<std::uint8_t> code_;
    TInstEdit edit_;
};

TEST_F(InstEditTest, InstructionsOfDifferentLengthsWrittenOverEachOther) {
    Type({"LD X0", "OUT Y0", "END"});
    ASSERT_EQ(edit_.EnterLine(1, "AND X1", true), TInstEditResult::Ok);
    // A long one over a short one: the rest moves down, its steps belong to its line.
    ASSERT_EQ(edit_.EnterLine(1, "MOV K1 D0", false), TInstEditResult::Ok);
    EXPECT_EQ(Lines(), (Texts{"LD X0", "MOV K1 D0", "OUT Y0", "END"}));
    for (std::uint32_t step = edit_.LineStep(1); step < edit_.LineStep(2); ++step)
        EXPECT_EQ(edit_.LineOfStep(step), 1) << step;
    EXPECT_EQ(edit_.LineOfStep(edit_.Used() / 2 + 1), -1);
    // And a short one back over it: the rest moves up and the freed tail is erased.
    ASSERT_EQ(edit_.EnterLine(1, "ANI X2", false), TInstEditResult::Ok);
    EXPECT_EQ(WordsUsed(), (Words{0x2400, 0x5402, 0xC500, 0x000F}));
    EXPECT_TRUE(TailErased());
    EXPECT_EQ(edit_.LastOffset(), 6u);

    // Refusals leave code and undo list alone; 79 characters are a line, 80 are not.
    const auto before = code_;
    const int undo = edit_.UndoCount();
    EXPECT_EQ(edit_.EnterLine(1, "OUT X0", true), TInstEditResult::BadLine);
    EXPECT_EQ(edit_.EnterLine(1, "LD X1" + std::string(73, ' ') + "X", true), TInstEditResult::BadLine);
    EXPECT_EQ(edit_.EnterLine(1, "LD X1" + std::string(74, ' ') + "X", true), TInstEditResult::TooLong);
    EXPECT_EQ(edit_.EnterLine(1, " \t ", true), TInstEditResult::Empty);
    EXPECT_EQ(code_, before);
    EXPECT_EQ(edit_.UndoCount(), undo);
}

// A P or I label stands once in a program: a second one is refused when typed
// or pasted, and the code stays as it was; a label written over itself stays.
TEST_F(InstEditTest, LabelsTheProgramHasAreRefused) {
    Type({"LD X0", "CJ P3", "FEND", "P3", "LD X1", "OUT Y1", "SRET", "I100", "IRET", "END"});
    const auto before = code_;
    const int undo = edit_.UndoCount();
    EXPECT_EQ(edit_.EnterLine(9, "P3", true), TInstEditResult::LabelTaken);
    EXPECT_EQ(edit_.EnterLine(9, "I100", true), TInstEditResult::LabelTaken);
    EXPECT_EQ(edit_.EnterLine(4, "I100", false), TInstEditResult::LabelTaken);  // over LD X1
    EXPECT_EQ(edit_.PasteAt(9, edit_.CopyLines(3, 5)), TInstEditResult::LabelTaken);
    EXPECT_EQ(code_, before);
    EXPECT_EQ(edit_.UndoCount(), undo);

    EXPECT_EQ(edit_.EnterLine(3, "P3", false), TInstEditResult::Ok);
    EXPECT_EQ(edit_.EnterLine(3, "P4", false), TInstEditResult::Ok);
    EXPECT_EQ(edit_.EnterLine(9, "P3", true), TInstEditResult::Ok);
    // A block holding one label twice is refused too.
    ASSERT_EQ(edit_.DeleteLines(9, 9), TInstEditResult::Ok);
    std::vector<std::uint8_t> twice = edit_.CopyLines(3, 3);
    twice.insert(twice.end(), twice.begin(), twice.end());
    twice[0] = twice[2] = 0x09;  // P9, twice
    EXPECT_EQ(edit_.PasteAt(9, twice), TInstEditResult::LabelTaken);

    // Code of the same program kept elsewhere (a chart's other elements) counts too.
    const std::vector<std::uint8_t> elsewhere = {0x07, 0xB0};  // P7
    edit_.OtherCode = [&elsewhere] { return std::vector<TCodeBlock>{{elsewhere.data(), elsewhere.size()}}; };
    EXPECT_EQ(edit_.EnterLine(9, "P7", true), TInstEditResult::LabelTaken);
    twice[0] = 0x07;
    twice.resize(2);
    EXPECT_EQ(edit_.PasteAt(9, twice), TInstEditResult::LabelTaken);
    EXPECT_EQ(edit_.EnterLine(9, "P8", true), TInstEditResult::Ok);
}

TEST_F(InstEditTest, ClipboardBytesMustBeWholeInstructionsOfTheFamily) {
    Type({"LD X0", "MOV K1 D0", "OUT Y0", "END"});
    const auto block = edit_.CopyLines(1, 2);
    ASSERT_EQ(block.size(), edit_.LineOffset(3) - edit_.LineOffset(1));
    ASSERT_EQ(edit_.PasteAt(0, block), TInstEditResult::Ok);
    EXPECT_EQ(Lines(), (Texts{"MOV K1 D0", "OUT Y0", "LD X0", "MOV K1 D0", "OUT Y0", "END"}));

    const auto before = code_;
    std::vector<std::uint8_t> cut(block.begin(), block.begin() + 4), odd = block;
    odd.push_back(0x00);
    const std::vector<std::uint8_t> unknown = {0x00, 0xC4};  // the compiler's error mark
    for (const auto& bad : {cut, odd, unknown}) EXPECT_EQ(edit_.PasteAt(1, bad), TInstEditResult::BadPayload);
    EXPECT_EQ(edit_.PasteAt(1, {}), TInstEditResult::Empty);
    EXPECT_EQ(code_, before);

    // M2000 exists in the larger families only, typed or pasted.
    ASSERT_TRUE(SetCurrentFamily(1));
    ASSERT_EQ(edit_.EnterLine(0, "LD M2000", true), TInstEditResult::Ok);
    const auto m2000 = edit_.CopyLines(0, 0);
    ASSERT_TRUE(SetCurrentFamily(0));
    EXPECT_EQ(edit_.EnterLine(0, "LD M2000", true), TInstEditResult::BadLine);
    EXPECT_EQ(edit_.PasteAt(0, m2000), TInstEditResult::BadPayload);
}

TEST_F(InstEditTest, WritesMadeElsewhereAreNoticedAndLaidOut) {
    Type({"LD X0", "OUT Y0", "END"});
    EXPECT_FALSE(edit_.ChangedElsewhere());
    EraseCode(code_.data(), code_.size());
    WriteCodeWord(code_.data(), code_.size(), 0, 0x000F);
    EXPECT_TRUE(edit_.ChangedElsewhere());
    edit_.Relayout();
    EXPECT_FALSE(edit_.ChangedElsewhere());
    EXPECT_EQ(Lines(), (Texts{"END"}));
    // Own edits and their undo are no change from elsewhere.
    Type({"MOV K1 D0"});
    int cursor = 0;
    ASSERT_TRUE(edit_.Undo(cursor));
    EXPECT_FALSE(edit_.ChangedElsewhere());
    // A used length handed in short reaches the end of its instruction.
    Type({"MOV K1 D0"});
    TInstEdit other;
    other.Attach(code_.data(), static_cast<std::uint32_t>(code_.size()), 4);
    EXPECT_EQ(other.Used(), edit_.Used());
}

TEST_F(InstEditTest, UndoAndRedoNeverPutOldCodeBackOverAWriteMadeElsewhere) {
    Type({"LD X0", "OUT Y0", "END"});
    int cursor = 0;
    ASSERT_TRUE(edit_.Undo(cursor));  // END waits on the redo list
    // Another editor of the same buffer puts lines in.
    TInstEdit other;
    other.Attach(code_.data(), static_cast<std::uint32_t>(code_.size()), edit_.Used());
    auto otherTypes = [&](const char* line) {
        ASSERT_EQ(other.EnterLine(other.LastLine(), line, true), TInstEditResult::Ok) << line;
    };
    otherTypes("LD X1");
    otherTypes("OUT Y1");
    const Texts both{"LD X0", "OUT Y0", "LD X1", "OUT Y1"};
    EXPECT_FALSE(edit_.CanUndo());
    EXPECT_FALSE(edit_.CanRedo());
    edit_.Relayout();  // as the window does before it uses a line
    EXPECT_FALSE(edit_.CanUndo());
    // Edits of its own from here on undo back to that code, and no further.
    Type({"END"});
    ASSERT_TRUE(edit_.Undo(cursor));
    EXPECT_EQ(Lines(), both);
    EXPECT_FALSE(edit_.CanUndo());
    // Undo and redo asked for over a write made since change nothing.
    otherTypes("LD X2");
    EXPECT_FALSE(edit_.Redo(cursor));
    EXPECT_FALSE(edit_.Undo(cursor));
    edit_.Relayout();
    EXPECT_EQ(Lines(), (Texts{"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2"}));
}

}  // namespace
