// The editing model of the instruction list over a plain code buffer: typed
// lines to machine words, insert and overwrite, block delete, the clipboard
// payload, undo and redo, and a full buffer.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/InstructionTable.h"
#include "core/ProgramImage.h"
#include "instlist/Instedit.h"

namespace {

using Words = std::vector<std::uint16_t>;

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

    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
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

TEST_F(InstEditTest, TypedLinesBecomeWordsLinesAndSteps) {
    Type({"LD X0", "  and   m10 ", "TMR T0 K10", "OUT Y0", "END"});
    EXPECT_EQ(Texts(), (std::vector<std::string>{"LD X0", "AND M10", "TMR T0 K10", "OUT Y0", "END"}));
    const Words w = WordsUsed();
    ASSERT_GE(w.size(), 5u);
    EXPECT_EQ((Words{w[0], w[1]}), (Words{0x2400, 0x480A}));
    EXPECT_EQ((Words{w[w.size() - 2], w.back()}), (Words{0xC500, 0x000F}));
    EXPECT_EQ(edit_.LineText(edit_.LastLine()), "");
    EXPECT_TRUE(TailErased());
    // Every step inside the timer belongs to its line; past the append line there is none.
    const std::uint32_t tmr = edit_.LineStep(2), out = edit_.LineStep(3);
    ASSERT_GT(out, tmr + 1);
    for (std::uint32_t step = tmr; step < out; ++step) EXPECT_EQ(edit_.LineOfStep(step), 2) << step;
    EXPECT_EQ(edit_.LineOfStep(edit_.Used() / 2), edit_.LastLine());
    EXPECT_EQ(edit_.LineOfStep(edit_.Used() / 2 + 1), -1);
    EXPECT_EQ(edit_.LineOfStep(-1), -1);
    EXPECT_EQ(edit_.LastOffset(), edit_.LineOffset(4));
}

TEST_F(InstEditTest, InsertAndOverwriteModes) {
    Type({"LD X0", "OUT Y0", "END"});
    // Insert before line 1.
    ASSERT_EQ(edit_.EnterLine(1, "AND X1", true), TInstEditResult::Ok);
    EXPECT_EQ(WordsUsed(), (Words{0x2400, 0x4401, 0xC500, 0x000F}));
    // Overwrite a short instruction with a long one: the rest moves down.
    ASSERT_EQ(edit_.EnterLine(1, "MOV K1 D0", false), TInstEditResult::Ok);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"LD X0", "MOV K1 D0", "OUT Y0", "END"}));
    // And back to a short one: the rest moves up and the freed tail is erased.
    ASSERT_EQ(edit_.EnterLine(1, "ANI X2", false), TInstEditResult::Ok);
    EXPECT_EQ(WordsUsed(), (Words{0x2400, 0x5402, 0xC500, 0x000F}));
    EXPECT_TRUE(TailErased());
    // Overwrite on the append line appends.
    ASSERT_EQ(edit_.EnterLine(edit_.LastLine(), "NOP", false), TInstEditResult::Ok);
    EXPECT_EQ(edit_.LastLine(), 5);
}

TEST_F(InstEditTest, RefusedLinesChangeNothing) {
    Type({"LD X0", "END"});
    const auto before = code_;
    for (const char* bad : {"LD Q0", "FOO X0", "OUT X0", "LD X200", "MOV K1", "ERROR", "LD X8"})
        EXPECT_EQ(edit_.EnterLine(1, bad, true), TInstEditResult::BadLine) << bad;
    EXPECT_EQ(code_, before);
    EXPECT_EQ(edit_.UndoCount(), 2);
    EXPECT_EQ(edit_.EnterLine(1, "   ", true), TInstEditResult::Empty);

    // A line of 80 characters or more is refused and empties the input line.
    ASSERT_TRUE(SetInputText("LD X1"));
    EXPECT_EQ(edit_.EnterLine(1, "LD X0" + std::string(80, ' ') + "X", true), TInstEditResult::TooLong);
    EXPECT_EQ(gInputText[0], '\0');
    EXPECT_EQ(code_, before);
    // 79 characters still fit.
    EXPECT_EQ(edit_.EnterLine(1, "LD X1" + std::string(73, ' ') + "X", true), TInstEditResult::BadLine);
}

TEST_F(InstEditTest, FamilyDecidesWhatIsTypedOrPasted) {
    // M2000 exists in the larger families only.
    EXPECT_EQ(edit_.EnterLine(0, "LD M2000", true), TInstEditResult::BadLine);
    ASSERT_TRUE(SetCurrentFamily(1));
    ASSERT_EQ(edit_.EnterLine(0, "LD M2000", true), TInstEditResult::Ok);
    EXPECT_EQ(edit_.Used(), 6u);  // long form with its record
    // Its bytes on the clipboard do not paste into a program of the smaller family.
    const auto block = edit_.CopyLines(0, 0);
    ASSERT_TRUE(SetCurrentFamily(0));
    EXPECT_EQ(edit_.PasteAt(0, block), TInstEditResult::BadPayload);
    EXPECT_EQ(edit_.Used(), 6u);
}

TEST_F(InstEditTest, DeletesWholeInstructionBlocks) {
    Type({"LD X0", "MOV K1 D0", "OUT Y0", "OUT Y1", "END"});
    ASSERT_EQ(edit_.DeleteLines(3, 1), TInstEditResult::Ok);  // any order
    EXPECT_EQ(WordsUsed(), (Words{0x2400, 0x000F}));
    EXPECT_TRUE(TailErased());
    // The append line is never deleted; a block reaching it stops before it.
    EXPECT_EQ(edit_.DeleteLines(edit_.LastLine(), edit_.LastLine()), TInstEditResult::Empty);
    ASSERT_EQ(edit_.DeleteLines(1, 50), TInstEditResult::Ok);
    EXPECT_EQ(WordsUsed(), (Words{0x2400}));
    ASSERT_EQ(edit_.DeleteLines(0, 0), TInstEditResult::Ok);
    EXPECT_EQ(edit_.Used(), 0u);
    EXPECT_EQ(edit_.LastLine(), 0);
}

TEST_F(InstEditTest, CopyAndPasteWholeInstructions) {
    Type({"LD X0", "MOV K1 D0", "OUT Y0", "END"});
    const auto block = edit_.CopyLines(1, 2);
    ASSERT_EQ(block.size(), edit_.LineOffset(3) - edit_.LineOffset(1));
    EXPECT_TRUE(IsInstPayload(block));
    ASSERT_EQ(edit_.PasteAt(0, block), TInstEditResult::Ok);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"MOV K1 D0", "OUT Y0", "LD X0", "MOV K1 D0", "OUT Y0", "END"}));

    const auto before = code_;
    // Cut short inside an instruction, odd length, an unknown word, an empty block.
    std::vector<std::uint8_t> cut(block.begin(), block.begin() + 4);
    std::vector<std::uint8_t> odd = block;
    odd.push_back(0x00);
    const std::vector<std::uint8_t> unknown = {0x00, 0xC4};  // the compiler's error mark
    for (const auto& bad : {cut, odd, unknown}) {
        EXPECT_FALSE(IsInstPayload(bad));
        EXPECT_EQ(edit_.PasteAt(1, bad), TInstEditResult::BadPayload);
    }
    EXPECT_EQ(edit_.PasteAt(1, {}), TInstEditResult::Empty);
    EXPECT_EQ(code_, before);
}

TEST_F(InstEditTest, UndoKeepsTenSnapshotsAndRedoReturns) {
    std::vector<std::vector<std::uint8_t>> states{code_};
    for (int i = 0; i < 11; ++i) {
        ASSERT_EQ(edit_.EnterLine(edit_.LastLine(), ("OUT M" + std::to_string(i)).c_str(), true), TInstEditResult::Ok);
        states.push_back(code_);
    }
    EXPECT_EQ(edit_.UndoCount(), kInstUndoDepth);
    int cursor = edit_.LastLine();
    for (int i = 10; i >= 1; --i) {
        ASSERT_TRUE(edit_.Undo(cursor)) << i;
        EXPECT_EQ(code_, states[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(cursor, i);  // the cursor of that edit
    }
    // The snapshot before the first edit was the 11th: it is gone.
    EXPECT_FALSE(edit_.Undo(cursor));
    EXPECT_EQ(code_, states[1]);
    for (int i = 2; i <= 11; ++i) {
        ASSERT_TRUE(edit_.Redo(cursor));
        EXPECT_EQ(code_, states[static_cast<std::size_t>(i)]);
    }
    EXPECT_FALSE(edit_.Redo(cursor));

    // A new edit after an undo empties the redo list.
    ASSERT_TRUE(edit_.Undo(cursor));
    ASSERT_EQ(edit_.DeleteLines(0, 0), TInstEditResult::Ok);
    EXPECT_FALSE(edit_.CanRedo());
    // Undo restores a longer program over a shorter one, tail and all.
    ASSERT_TRUE(edit_.Undo(cursor));
    EXPECT_EQ(code_, states[10]);
}

TEST_F(InstEditTest, FullBufferRefusesAndKeepsTheProgram) {
    std::vector<std::uint8_t> small(16, 0xFF);
    TInstEdit e;
    e.Attach(small.data(), 16, 0);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(e.EnterLine(e.LastLine(), "LD X0", true), TInstEditResult::Ok);
    const auto full = small;
    const int undo = e.UndoCount();
    EXPECT_EQ(e.EnterLine(e.LastLine(), "OUT Y0", true), TInstEditResult::NoRoom);
    EXPECT_EQ(e.EnterLine(0, "OUT Y0", true), TInstEditResult::NoRoom);
    // Writing a longer instruction over a short one needs room too.
    EXPECT_EQ(e.EnterLine(0, "MOV K1 D0", false), TInstEditResult::NoRoom);
    EXPECT_EQ(e.PasteAt(0, e.CopyLines(0, 0)), TInstEditResult::NoRoom);
    EXPECT_EQ(small, full);
    EXPECT_EQ(e.UndoCount(), undo);
    // Writing over with one of the same length still works.
    EXPECT_EQ(e.EnterLine(0, "OUT Y0", false), TInstEditResult::Ok);
}

TEST_F(InstEditTest, WritesMadeElsewhereAreNoticedAndLaidOut) {
    Type({"LD X0", "OUT Y0", "END"});
    EXPECT_FALSE(edit_.ChangedElsewhere());
    // Another window writes a different program into the buffer.
    EraseCode(code_.data(), code_.size());
    WriteCodeWord(code_.data(), code_.size(), 0, 0x000F);
    EXPECT_TRUE(edit_.ChangedElsewhere());
    edit_.Relayout();
    EXPECT_FALSE(edit_.ChangedElsewhere());
    EXPECT_EQ(edit_.Used(), 2u);
    EXPECT_EQ(edit_.LastLine(), 1);
    EXPECT_EQ(edit_.LineText(0), "END");
    // Own edits and undo are no change from elsewhere.
    Type({"MOV K1 D0"});
    int cursor = 0;
    ASSERT_TRUE(edit_.Undo(cursor));
    EXPECT_FALSE(edit_.ChangedElsewhere());
    // Attach reads a used length that was handed in short up to the end of its instruction.
    Type({"MOV K1 D0"});
    TInstEdit other;
    other.Attach(code_.data(), static_cast<std::uint32_t>(code_.size()), 4);
    EXPECT_EQ(other.Used(), edit_.Used());
    EXPECT_FALSE(other.CanUndo());
}

}  // namespace
