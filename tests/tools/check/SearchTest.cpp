// Find and replace over machine code, without the dialog.
#include <gtest/gtest.h>

#include <deque>
#include <tuple>

#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "tests/ladder/model/IlProgram.h"
#include "tools/check/Search.h"

using qel::Answer;
using qel::test::AssembleLines;
using qel::test::ListingOf;

namespace {

class ScriptedUi final : public TSearchUi {
public:
    std::vector<TSearchPlace> selected;
    std::vector<int> asked;
    std::vector<std::pair<int, std::string>> shown;
    std::deque<Answer> answers;
    void Select(const TSearchPlace& p) override { selected.push_back(p); }
    Answer Ask(int id, qel::AskButtons) override {
        asked.push_back(id);
        if (answers.empty()) return Answer::Yes;
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    void Show(int id, const std::string& detail) override { shown.emplace_back(id, detail); }
    std::vector<int> Lines() const {
        std::vector<int> l;
        for (const auto& p : selected) l.push_back(p.line);
        return l;
    }
};

struct Program {
    std::vector<std::uint8_t> code;
    std::uint32_t end = 0;
    explicit Program(const std::vector<std::string>& lines, std::size_t capacity = 3616) {
        code = AssembleLines(lines);
        code.resize(capacity, 0xFF);
        LocateCodeEnd(code.data(), code.size(), &end);
    }
    TCodeTarget Target(std::uint32_t cursor = 0) {
        return {code.data(), static_cast<std::uint32_t>(code.size()), end, cursor};
    }
    std::string Listing() const {
        std::vector<std::uint8_t> used(code.begin(), code.begin() + end + 2);
        return ListingOf(used);
    }
};

TSearchStart FromStart() { return {true, false}; }

}  // namespace

TEST(SearchNamesTest, NamesRunsAndRequestsAreCheckedBeforeAnyWalk) {
    SetCurrentFamily(0);
    const struct {
        const char* typed;
        bool wildcard;
        const char* name;  // empty: refused
    } names[] = {{" d10 ", false, "D10"}, {"X", false, ""},  {"1X0", false, ""},    {"D1234567890123456", false, ""},
                 {"E1", false, ""},       {"m*", true, "M*"}, {"M*", false, ""},   {"K4M0", false, "K4M0"}};
    for (const auto& n : names) EXPECT_EQ(NormalizeDeviceName(n.typed, n.wildcard), n.name) << n.typed;

    // The last device of a run counts in the letter's own base.
    for (const auto& [first, count, expected] : {std::tuple{"X0", 8, "X7"}, {"y10", 8, "Y17"}, {"H1F", 2, "H20"}}) {
        std::string last;
        ASSERT_TRUE(LastDeviceOfRun(first, count, last)) << first;
        EXPECT_EQ(last, expected);
    }
    std::string last;
    EXPECT_FALSE(LastDeviceOfRun("K1X0", 2, last));

    EXPECT_EQ(CheckReplaceRequest({"X0", "Y10", 8}), -1);
    EXPECT_EQ(CheckReplaceRequest({"X0", "Y10", 200}), kMsgSearchBadName);  // X307 is past X177
    EXPECT_EQ(CheckReplaceRequest({"X0", "Y10", 0}), kMsgReplaceDone);
    EXPECT_EQ(CheckReplaceRequest({"X", "Y10", 1}), kMsgSearchBadName);
}

TEST(SearchCodeTest, FindWithWildcardVisitsEveryOperandInOrder) {
    SetCurrentFamily(0);
    Program p({"LD X0", "OUT Y0", "LD X10", "AND X1", "OUT Y1", "MOV D10 D11", "LD X2", "END"});
    ScriptedUi ui;
    FindDeviceInCode(p.Target(), "X1*", FromStart(), ui);
    EXPECT_EQ(ui.Lines(), (std::vector<int>{2, 3}));
    ASSERT_FALSE(ui.shown.empty());
    EXPECT_EQ(ui.shown.back().first, kMsgSearchDone);

    // Up from the end; "No" ends the walk with the end message.
    ScriptedUi up;
    up.answers = {Answer::No};
    FindDeviceInCode(p.Target(), "D11", TSearchStart{true, true}, up);
    EXPECT_EQ(up.Lines(), (std::vector<int>{5}));
    EXPECT_EQ(up.shown.size(), 1u);
    // From the cursor (the MOV) down: X10 lies behind.
    ScriptedUi cursor;
    FindDeviceInCode(p.Target(12), "X10", TSearchStart{}, cursor);
    EXPECT_TRUE(cursor.selected.empty());
}

TEST(SearchCodeTest, ReplaceRunsWithinAnInstructionAndByClass) {
    SetCurrentFamily(0);
    Program p({"LD X0", "MOV D10 D11", "OUT Y0", "END"});
    ScriptedUi ui;  // answers Yes to everything
    EXPECT_EQ(ReplaceInCode(p.Target(), {"D10", "D20", 2}, FromStart(), ui), 2);
    EXPECT_NE(p.Listing().find("MOV D20 D21"), std::string::npos) << p.Listing();
    EXPECT_EQ(ui.shown.back(), std::make_pair(static_cast<int>(kMsgReplaceDone), std::string("2")));

    // An output may become an M; never a timer.
    ScriptedUi out;
    EXPECT_EQ(ReplaceInCode(p.Target(), {"Y0", "M100", 1}, FromStart(), out), 1);
    EXPECT_NE(p.Listing().find("OUT M100"), std::string::npos);
    const std::vector<std::uint8_t> before = p.code;
    ScriptedUi refused;
    refused.answers = {Answer::Yes, Answer::No};  // replace? yes; cannot: go on? no
    EXPECT_EQ(ReplaceInCode(p.Target(), {"M100", "T5", 1}, FromStart(), refused), 0);
    EXPECT_EQ(refused.asked, (std::vector<int>{kMsgReplaceAsk, kMsgReplaceRefused}));
    EXPECT_EQ(p.code, before);
    ScriptedUi high;
    EXPECT_EQ(ReplaceInCode(p.Target(), {"M100", "M2000", 1}, FromStart(), high), 0);
    EXPECT_EQ(p.code, before);

    // Ignore leaves one, Cancel stops the walk.
    Program q({"LD X0", "AND X0", "OR X0", "OUT Y0", "END"});
    ScriptedUi mixed;
    mixed.answers = {Answer::Ignore, Answer::Yes, Answer::Yes, Answer::Cancel};
    EXPECT_EQ(ReplaceInCode(q.Target(), {"X0", "X5", 1}, FromStart(), mixed), 1);
    EXPECT_NE(q.Listing().find("LD X0\n1  AND X5\n2  OR X0"), std::string::npos) << q.Listing();
}

TEST(SearchCodeTest, ReplaceAllIsAllOrNothing) {
    SetCurrentFamily(1);
    // A full 16000-step program of rungs; every Y0 becomes Y1.
    std::vector<std::string> lines;
    for (int i = 0; i < 2200; ++i) {  // 14 bytes a rung: the 16000-step image nearly full
        lines.push_back("LD X" + std::to_string(i % 8));
        lines.push_back("OUT Y0");
        lines.push_back("MOV D0 D1");
    }
    lines.push_back("END");
    Program p(lines, 31744);
    ScriptedUi all;
    all.answers = {Answer::All};
    EXPECT_EQ(ReplaceInCode(p.Target(), {"Y0", "Y1", 1}, FromStart(), all), 2200);
    EXPECT_EQ(all.asked.size(), 1u);  // no question after "All"
    const std::string listing = p.Listing();
    EXPECT_EQ(listing.find("OUT Y0"), std::string::npos);
    EXPECT_NE(listing.find("OUT Y1"), std::string::npos);
    // A refused "All" that writes nothing: the instruction list window's test.
    SetCurrentFamily(0);
}

TEST(SearchCodeTest, FindInstructionOnlyForFindableRows) {
    SetCurrentFamily(0);
    EXPECT_EQ(FindableInstruction("ld"), -1);
    EXPECT_EQ(FindableInstruction("STL"), -1);
    EXPECT_EQ(FindableInstruction("NOSUCH"), -1);
    EXPECT_GE(FindableInstruction("mov"), 0);
    EXPECT_NE(FindableInstruction("DMOV"), FindableInstruction("MOV"));
    Program p({"LD X0", "MOV K1 D0", "OUT Y0", "LD X1", "MOVP K2 D1", "MOV K3 D2", "END"});
    ScriptedUi ui;
    FindInstructionInCode(p.Target(), FindableInstruction("MOV"), FromStart(), ui);
    EXPECT_EQ(ui.Lines(), (std::vector<int>{1, 5}));
    ScriptedUi out;
    FindInstructionInCode(p.Target(), FindableInstruction("OUT"), TSearchStart{true, true}, out);
    EXPECT_EQ(out.Lines(), (std::vector<int>{2}));
}
