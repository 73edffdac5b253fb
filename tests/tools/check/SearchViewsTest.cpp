// Find and replace from the instruction list and from the ladder of one
// program: a search finds and replaces the same operands whichever view it
// runs from, with the same questions and messages, and the ladder compiles
// back to the program the list's replacement leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <random>
#include <tuple>
#include <ostream>

#include "core/DeviceLimits.h"
#include "core/ProgramImage.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "project/Qelglobals.h"
#include "tests/ladder/model/IlProgram.h"
#include "tools/check/Search.h"

using qel::Answer;

namespace {

constexpr std::uint32_t kCapacity = 3616;
constexpr std::int32_t kRows = 200;

// What one search or replace did: the program afterwards, each question and
// message in turn ("ask 66", "show 65 2"), how many places were shown.
struct TOutcome {
    std::string listing;
    std::vector<std::string> events;
    int selected = 0;
    bool operator==(const TOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TOutcome& o) {
    os << "\n" << o.listing << "events:";
    for (const std::string& e : o.events) os << " [" << e << "]";
    return os << " selected: " << o.selected << "\n";
}

class TRecordingUi final : public TSearchUi {
public:
    explicit TRecordingUi(std::deque<Answer> answers) : answers_(std::move(answers)) {}
    TOutcome outcome;
    std::vector<TSearchPlace> places;  // each place shown, in turn
    void Select(const TSearchPlace& p) override {
        ++outcome.selected;
        places.push_back(p);
    }
    Answer Ask(int id, qel::AskButtons) override {
        outcome.events.push_back("ask " + std::to_string(id));
        if (answers_.empty()) return Answer::Yes;
        const Answer a = answers_.front();
        answers_.pop_front();
        return a;
    }
    void Show(int id, const std::string& detail) override {
        outcome.events.push_back("show " + std::to_string(id) + (detail.empty() ? "" : " " + detail));
    }

private:
    std::deque<Answer> answers_;
};

// The used part of a code image as instruction-list text.
std::string Listing(const std::vector<std::uint8_t>& image) {
    std::uint32_t end = 0;
    LocateCodeEnd(image.data(), image.size(), &end);
    return qel::test::ListingOf(std::vector<std::uint8_t>(image.begin(), image.begin() + end + 2));
}

// One program as the list holds it (its code) and as the ladder holds it (the
// grid drawn from that code, with its label tables). Every run works on
// copies, so each starts from the program as written.
class TBothViews {
public:
    explicit TBothViews(const std::vector<std::string>& lines) {
        SetCurrentFamily(1);
        code_ = qel::test::AssembleLines(lines);
        code_.resize(kCapacity, 0xFF);
        LocateCodeEnd(code_.data(), code_.size(), &end_);
        TConvertInput in;
        in.code = code_.data();
        in.length = kCapacity;
        in.used = end_ + 2;
        TLadderTarget target;
        target.grid = grid_.data();
        target.rowCapacity = kRows;
        target.labels = TLabelTables{p_.data(), i_.data()};
        const TConvertResult r = ConvertCodeToGrid(in, target);
        EXPECT_TRUE(r.ok) << "the program has no ladder";
        lastRow_ = r.rowCount - 1;
    }
    std::string Written() const { return Listing(code_); }

    TOutcome ReplaceFromList(const TReplaceRequest& r, std::deque<Answer> answers, TSearchStart s = {true, false}) const {
        return ChangedInList(r, std::move(answers), s).outcome;
    }
    TOutcome ReplaceFromLadder(const TReplaceRequest& r, std::deque<Answer> answers,
                               TSearchStart s = {true, false}) const {
        return ChangedInLadder(r, std::move(answers), s).outcome;
    }
    TOutcome FindFromList(const std::string& name) const { return FindInList(name).outcome; }
    TOutcome FindFromLadder(const std::string& name, const std::string& type = "None") const {
        return FindInLadder(name, type).outcome;
    }

    // What a walk did, with its places: those a find shows; the instructions
    // (by offset) of the list or the cells (row, byte column) of the ladder a
    // replacement changed.
    struct TWalk {
        TOutcome outcome;
        std::vector<TSearchPlace> places;
    };
    TWalk FindInList(const std::string& name) const {
        std::vector<std::uint8_t> code = code_;
        TRecordingUi ui({});
        FindDeviceInCode({code.data(), kCapacity, end_, 0}, name, {true, false}, ui);
        ui.outcome.listing = Listing(code);
        return {ui.outcome, ui.places};
    }
    TWalk FindInLadder(const std::string& name, const std::string& type) const {
        std::vector<std::uint8_t> grid = grid_;
        TRecordingUi ui({});
        FindDeviceInLadder({grid.data(), lastRow_, 0, 0, p_.data(), i_.data()}, name, type, {true, false}, ui);
        ui.outcome.listing = Compiled(grid, p_, i_);
        return {ui.outcome, ui.places};
    }
    TWalk ChangedInList(const TReplaceRequest& r, std::deque<Answer> answers, TSearchStart s = {true, false}) const {
        std::vector<std::uint8_t> code = code_;
        TRecordingUi ui(std::move(answers));
        ReplaceInCode({code.data(), kCapacity, end_, 0}, r, s, ui);
        ui.outcome.listing = Listing(code);
        TWalk c{ui.outcome, {}};
        for (std::uint32_t at = 0; at <= end_; at = NextInstructionOffset(at, code_.data(), kCapacity)) {
            const std::uint32_t length = InstructionLengthAt(code_.data(), kCapacity, at);
            if (!std::equal(code.begin() + at, code.begin() + at + length, code_.begin() + at))
                c.places.push_back({at, 0});
            if (length == 0) break;
        }
        return c;
    }
    TWalk ChangedInLadder(const TReplaceRequest& r, std::deque<Answer> answers, TSearchStart s = {true, false}) const {
        std::vector<std::uint8_t> grid = grid_;
        std::vector<std::int32_t> p = p_, i = i_;
        TRecordingUi ui(std::move(answers));
        ReplaceInLadder({grid.data(), lastRow_, 0, 0, p.data(), i.data()}, r, s, ui);
        ui.outcome.listing = Compiled(grid, p, i);
        TWalk c{ui.outcome, {}};
        for (std::int32_t row = 0; row < kRows; ++row)
            for (std::int32_t col = 0; col < kLdbRowBytes; col += kLdbCellBytes) {
                const std::size_t at = static_cast<std::size_t>(row) * kLdbRowBytes + col;
                if (!std::equal(grid.begin() + at, grid.begin() + at + kLdbCellBytes, grid_.begin() + at))
                    c.places.push_back({0, 0, row, col});
            }
        return c;
    }
    // The cell a ladder search shows for (row, col): the head of the box or
    // compare the cell belongs to, else the cell itself.
    std::int32_t ElementColumn(std::int32_t row, std::int32_t col) const {
        return FindElementStart(grid_.data(), row, col);
    }

private:
    // The ladder compiled into a fresh image, as the program it stands for.
    std::string Compiled(std::vector<std::uint8_t>& grid, const std::vector<std::int32_t>& p,
                         const std::vector<std::int32_t>& i) const {
        std::vector<std::uint8_t> image(kCapacity, 0);
        std::vector<std::int32_t> pRows = p, iRows = i;
        TCompileTarget t;
        t.grid = grid.data();
        t.gridRows = kRows;
        t.lastRow = FindLastUsedRow(grid.data(), kLdbRowBytes, kRows - 1);
        t.labels = TLabelTables{pRows.data(), iRows.data()};
        t.code = image.data();
        t.capacity = kCapacity;
        if (CompileLadder(t) != 0) return "the ladder does not compile: " + CompileFailureText();
        return Listing(image);
    }

    std::vector<std::uint8_t> code_;
    std::uint32_t end_ = 0;
    std::vector<std::uint8_t> grid_ = std::vector<std::uint8_t>(static_cast<std::size_t>(kRows) * kLdbRowBytes, 0);
    std::vector<std::int32_t> p_ = std::vector<std::int32_t>(kPLabelCount, -1);
    std::vector<std::int32_t> i_ = std::vector<std::int32_t>(kILabelCount, -1);
    std::int32_t lastRow_ = -1;
};

bool Holds(const TOutcome& o, const std::string& line) { return o.listing.find(line) != std::string::npos; }

using Events = std::vector<std::string>;

}  // namespace

TEST(SearchBothViewsTest, AnIndexedOperandIsNotItsPlainDevice) {
    const TBothViews p({"LD X3", "MOV K4X0 D0", "LD X1", "MOV D0E K4Y0", "MOV K5E D1", "END"});
    const TOutcome list = p.ReplaceFromList({"D0", "D10", 1}, {Answer::All});
    EXPECT_TRUE(Holds(list, "MOV K4X0 D10")) << list;
    EXPECT_TRUE(Holds(list, "MOV D0E K4Y0")) << list;
    EXPECT_EQ(list.events, (Events{"ask 66", "show 65 1"}));
    EXPECT_EQ(p.ReplaceFromLadder({"D0", "D10", 1}, {Answer::All}), list);

    // D0 and D0E are each found once, from either view; the indexed K5E is no K5.
    for (const auto& [name, places] : {std::pair{"D0", 1}, {"D0E", 1}, {"K5", 0}}) {
        const TOutcome found = p.FindFromList(name);
        EXPECT_EQ(found.selected, places) << name;
        EXPECT_EQ(p.FindFromLadder(name), found) << name;
    }
}

TEST(SearchBothViewsTest, ADigitGroupIsMatchedWhole) {
    const TBothViews p({"LD X3", "MOV K4M0 D0", "LD M0", "OUT M1", "END"});
    for (const std::deque<Answer>& answers : {std::deque<Answer>{Answer::All}, std::deque<Answer>{}}) {
        const TOutcome list = p.ReplaceFromList({"M0", "M10", 1}, answers);
        EXPECT_TRUE(Holds(list, "MOV K4M0 D0")) << list;
        EXPECT_TRUE(Holds(list, "LD M10")) << list;
        EXPECT_EQ(list.events.back(), "show 65 1");
        EXPECT_EQ(p.ReplaceFromLadder({"M0", "M10", 1}, answers), list);
    }
    for (const char* name : {"M0", "K4M0"}) {
        const TOutcome found = p.FindFromList(name);
        EXPECT_EQ(found.selected, 1) << name;
        EXPECT_EQ(p.FindFromLadder(name), found) << name;
    }
}

TEST(SearchBothViewsTest, ThirtyTwoBitValuesAndSetValuesAreReplacedAlike) {
    const TBothViews p({"LD X3", "DMOV K100000 D0", "LD X1", "DCNT C200 K100000", "LD X2", "TMR T0 K10", "LD T0",
                        "CNT C1 K10", "LD C200", "OUT Y0", "END"});
    const struct {
        TReplaceRequest request;
        const char* line1;  // expected lines of the program afterwards
        const char* line2;
        const char* closing;
    } cases[] = {
        {{"K100000", "K5", 1}, "DMOV K5 D0", "DCNT C200 K5", "show 65 2"},
        {{"K10", "K20", 1}, "TMR T0 K20", "CNT C1 K20", "show 65 2"},
        {{"T0", "T5", 1}, "TMR T5 K10", "LD T5", "show 65 2"},
        {{"C200", "C201", 1}, "DCNT C201 K100000", "LD C201", "show 65 2"},
        // A 32-bit counter cannot become a 16-bit one: nothing changes in either view.
        {{"C200", "C20", 1}, "DCNT C200 K100000", "LD C200", "show 65 0"},
    };
    const TOutcome found = p.FindFromList("K100000");
    EXPECT_EQ(found.selected, 2);
    EXPECT_EQ(p.FindFromLadder("K100000"), found);
    for (const auto& c : cases) {
        const TOutcome list = p.ReplaceFromList(c.request, {Answer::All});
        EXPECT_TRUE(Holds(list, c.line1)) << c.request.search << list;
        EXPECT_TRUE(Holds(list, c.line2)) << c.request.search << list;
        EXPECT_EQ(list.events.back(), c.closing) << c.request.search;
        EXPECT_EQ(p.ReplaceFromLadder(c.request, {Answer::All}), list) << c.request.search;
    }
}

TEST(SearchBothViewsTest, AnOperandTakesTheClassOfItsInstruction) {
    // SET drives an output as OUT does: Y0 may become an M in both views;
    // RST takes only its own letter, so with it "All" is refused whole.
    const TBothViews set({"LD X3", "SET Y0", "LD X1", "OUT Y0", "END"});
    const TOutcome list = set.ReplaceFromList({"Y0", "M5", 1}, {Answer::All});
    EXPECT_TRUE(Holds(list, "SET M5")) << list;
    EXPECT_EQ(list.events, (Events{"ask 66", "show 65 2"}));
    EXPECT_EQ(set.ReplaceFromLadder({"Y0", "M5", 1}, {Answer::All}), list);

    const TBothViews rst({"LD X3", "SET Y0", "LD X1", "OUT Y0", "LD X2", "RST Y0", "END"});
    const TOutcome refused = rst.ReplaceFromList({"Y0", "M5", 1}, {Answer::All});
    EXPECT_EQ(refused.listing, rst.Written());
    EXPECT_EQ(refused.events, (Events{"ask 66", "show 148 1", "show 65 0"}));
    EXPECT_EQ(rst.ReplaceFromLadder({"Y0", "M5", 1}, {Answer::All}), refused);
}

TEST(SearchBothViewsTest, LabelsAreFoundAndNeverRewritten) {
    const TBothViews p({"LD X3", "CJ P3", "LD X1", "OUT Y0", "P3", "LD X2", "OUT Y1", "FEND", "I001", "LD X4",
                        "OUT Y2", "IRET", "END"});
    // The label and the jump to it; the interrupt label.
    for (const auto& [name, places] : {std::pair{"P3", 2}, {"I001", 1}}) {
        const TOutcome found = p.FindFromList(name);
        EXPECT_EQ(found.selected, places) << name;
        EXPECT_EQ(p.FindFromLadder(name), found) << name;
    }
    // "All" meets the label, which no replacement rewrites: nothing changes.
    const TOutcome all = p.ReplaceFromList({"P3", "P4", 1}, {Answer::All});
    EXPECT_EQ(all.listing, p.Written());
    EXPECT_EQ(all.events, (Events{"ask 66", "show 148 1", "show 65 0"}));
    EXPECT_EQ(p.ReplaceFromLadder({"P3", "P4", 1}, {Answer::All}), all);
    // One by one, up from the end: the label first, refused; then the jump.
    const TOutcome up = p.ReplaceFromList({"P3", "P4", 1}, {}, TSearchStart{true, true});
    EXPECT_TRUE(Holds(up, "CJ P4")) << up;
    EXPECT_EQ(up.events, (Events{"ask 66", "ask 68", "ask 66", "ask 67", "show 65 1"}));
    EXPECT_EQ(p.ReplaceFromLadder({"P3", "P4", 1}, {}, TSearchStart{true, true}), up);
}

TEST(SearchBothViewsTest, WildcardsAndNamesAsTypedMatchAlike) {
    const TBothViews p({"LD X3", "MOV K4M0 D0", "LD M0", "OUT Y0", "LD X1", "MOV D0E K4Y0", "MOV K5E D1",
                        "DMOV K100000 D10", "MOV H1F D4", "END"});
    // A "*" after a digit group, after a constant's K, or first of all.
    for (const auto& [name, places] : {std::pair{"K4*", 2}, {"K*", 4}, {"D*", 5}, {"*", 14}}) {
        const TOutcome found = p.FindFromList(name);
        EXPECT_EQ(found.selected, places) << name;
        EXPECT_EQ(p.FindFromLadder(name), found) << name;
    }
    // A run typed in lower case with spaces names the same devices.
    const TOutcome list = p.ReplaceFromList({" y0 ", "Y1", 1}, {Answer::All});
    EXPECT_TRUE(Holds(list, "OUT Y1")) << list;
    EXPECT_EQ(list.events.back(), "show 65 1");
    EXPECT_EQ(p.ReplaceFromLadder({" y0 ", "Y1", 1}, {Answer::All}), list);
}

TEST(SearchBothViewsTest, AReplacementTypeRewritesOnlyElementsOfItsSort) {
    // M0 as a coil, as a contact and as the operand of SET's box.
    const TBothViews p({"LD X0", "OUT M0", "LD M0", "OUT Y0", "LD X1", "SET M0", "END"});
    for (const char* name : {"M0", "m00"}) {
        const TOutcome found = p.FindFromList(name);
        EXPECT_EQ(found.selected, 3) << name;
        EXPECT_EQ(p.FindFromLadder(name), found) << name;
    }
    // Without types both views rewrite all three alike.
    const TOutcome list = p.ReplaceFromList({"M0", "M1", 1}, {Answer::All});
    EXPECT_EQ(list.events, (Events{"ask 66", "show 65 3"}));
    EXPECT_EQ(p.ReplaceFromLadder({"M0", "M1", 1}, {Answer::All}), list);

    // A contact type fits only the contact, "Out" only the coil, "Fun." only
    // the box's operand: "All" meets two elements it cannot rewrite and
    // writes nothing; one by one, those two are refused and the third is
    // rewritten, and the ladder still compiles.
    const struct {
        const char* repType;
        std::vector<std::string> oneByOne;  // the program afterwards
    } cases[] = {
        {"LDI", {"LD X0", "OUT M0", "LDI M1", "OUT Y0", "LD X1", "SET M0", "END"}},
        {"LDP", {"LD X0", "OUT M0", "LDP M1", "OUT Y0", "LD X1", "SET M0", "END"}},
        {"Out", {"LD X0", "OUT M1", "LD M0", "OUT Y0", "LD X1", "SET M0", "END"}},
        {"Fun.", {"LD X0", "OUT M0", "LD M0", "OUT Y0", "LD X1", "SET M1", "END"}},
    };
    for (const auto& c : cases) {
        const TReplaceRequest r{"M0", "M1", 1, "None", c.repType};
        const TOutcome all = p.ReplaceFromLadder(r, {Answer::All});
        EXPECT_EQ(all.listing, p.Written()) << c.repType << all;
        EXPECT_EQ(all.events, (Events{"ask 66", "show 148 2", "show 65 0"})) << c.repType;

        const TOutcome single = p.ReplaceFromLadder(r, {});
        EXPECT_EQ(single.listing, TBothViews(c.oneByOne).Written()) << c.repType << single;
        EXPECT_EQ(single.events.back(), "show 65 1") << c.repType;
        EXPECT_EQ(std::count(single.events.begin(), single.events.end(), "ask 68"), 2) << c.repType;
    }
    // STL fits none of the three.
    const TOutcome stl = p.ReplaceFromLadder({"M0", "S1", 1, "None", "STL"}, {});
    EXPECT_EQ(stl.listing, p.Written()) << stl;
    EXPECT_EQ(stl.events.back(), "show 65 0");

    // A search type narrows both the find and the replace to its own elements.
    EXPECT_EQ(p.FindFromLadder("M0", "LD").selected, 1);
    const TOutcome contacts = p.ReplaceFromLadder({"M0", "M1", 1, "LD", "LDI"}, {Answer::All});
    EXPECT_EQ(contacts.listing, TBothViews({"LD X0", "OUT M0", "LDI M1", "OUT Y0", "LD X1", "SET M0", "END"}).Written());
    EXPECT_EQ(contacts.events, (Events{"ask 66", "show 65 1"}));
}

TEST(SearchBothViewsTest, FindReadsATypedNameAsReplaceDoes) {
    const TBothViews p({"LD X10", "OUT Y10", "LD X1", "MOV K10 D0", "MOV HFF D1", "MOV D0E K4Y0", "END"});
    // Leading zeros, lower case, a sign and a zero index register name what
    // the views show: each finds its one place from either view.
    for (const char* name : {"X010", " x10 ", "K010", "K+10", "H0FF", "D0E0", "y0010"}) {
        const TOutcome found = p.FindFromList(name);
        EXPECT_EQ(found.selected, 1) << name;
        EXPECT_EQ(p.FindFromLadder(name), found) << name;
    }
    // X8 is no device (X counts in octal): nothing is found.
    EXPECT_EQ(p.FindFromList("X8").selected, 0);
    EXPECT_EQ(p.FindFromLadder("X8").selected, 0);

    // What the find lands on is what the replacement changes.
    for (const auto& [search, rep, line] : {std::tuple{"X010", "X011", "LD X11"}, {"K010", "K020", "MOV K20 D0"},
                                           {"H0FF", "H0FE", "MOV HFE D1"}}) {
        const TOutcome list = p.ReplaceFromList({search, rep, 1}, {Answer::All});
        EXPECT_TRUE(Holds(list, line)) << search << list;
        EXPECT_EQ(list.events, (Events{"ask 66", "show 65 1"})) << search;
        EXPECT_EQ(p.ReplaceFromLadder({search, rep, 1}, {Answer::All}), list) << search;
    }

    // An interrupt label is found by its own name and, like any label, never
    // rewritten: the replacement meets it and refuses.
    const TBothViews labels({"LD X3", "OUT Y0", "FEND", "I001", "LD X4", "OUT Y2", "IRET", "END"});
    EXPECT_EQ(labels.FindFromList("I001").selected, 1);
    const TOutcome label = labels.ReplaceFromList({"I001", "I101", 1}, {Answer::All});
    EXPECT_EQ(label.listing, labels.Written());
    EXPECT_EQ(label.events, (Events{"ask 66", "show 148 1", "show 65 0"}));
    EXPECT_EQ(labels.ReplaceFromLadder({"I001", "I101", 1}, {Answer::All}), label);
}

namespace {

// A random program of whole rungs: contacts of every kind in series and in
// parallel, then a coil, SET/RST, a timer, a counter, a move or a pulse; now
// and then a compare contact, a 32-bit counter or a step of a chart.
std::vector<std::string> RandomProgram(std::mt19937& rnd) {
    auto pick = [&](std::initializer_list<const char*> items) {
        return std::string(items.begin()[std::uniform_int_distribution<std::size_t>(0, items.size() - 1)(rnd)]);
    };
    const auto bit = [&] { return pick({"X0", "X1", "X10", "Y0", "Y1", "M0", "M1", "M2", "S0", "S1", "T0", "C0"}); };
    const auto out = [&] { return pick({"Y0", "Y1", "M0", "M1", "M2", "S0", "S1"}); };
    const auto word = [&] { return pick({"D0", "D1", "K10", "K1", "K4X0", "T0", "C0"}); };
    std::vector<std::string> lines;
    const int rungs = std::uniform_int_distribution<int>(1, 6)(rnd);
    for (int n = 0; n < rungs; ++n) {
        if (rnd() % 8 == 0)
            lines.push_back(pick({"LD=", "LD>", "LD<"}) + " " + word() + " " + pick({"K10", "D1"}));
        else
            lines.push_back(pick({"LD", "LDI", "LDP", "LDF"}) + " " + bit());
        for (int k = std::uniform_int_distribution<int>(0, 2)(rnd); k > 0; --k)
            lines.push_back(pick({"AND", "ANI", "ANDP", "ANDF", "OR", "ORI", "ORP", "ORF"}) + " " + bit());
        switch (rnd() % 8) {
        case 0: lines.push_back("SET " + out()); break;
        case 1: lines.push_back("RST " + pick({"Y0", "M1", "T0", "C0", "D0"})); break;
        case 2: lines.push_back("TMR T0 " + pick({"K10", "D0"})); break;
        case 3: lines.push_back("CNT C0 K10"); break;
        case 4: lines.push_back("MOV " + word() + " " + pick({"D0", "D1", "K4Y0"})); break;
        case 5: lines.push_back(pick({"PLS ", "PLF "}) + pick({"M0", "M1"})); break;
        case 6: lines.push_back("DCNT C200 " + pick({"K100000", "K10"})); break;
        default: lines.push_back("OUT " + out()); break;
        }
    }
    if (rnd() % 4 == 0) {
        // A step: its actions and its way on.
        lines.insert(lines.end(), {"LD X1", "SET S0", "STL S0", "OUT " + out(), "LD " + bit(), "SET S1", "RET"});
    }
    lines.push_back("END");
    return lines;
}

}  // namespace

// Over random programs and random requests, element types included: every
// place a replacement changes, one by one or with "All", is a place the find
// of the same names (with the same search type) shows, in either view, and
// the program the replacement leaves is whole: the list's every instruction
// is one the family runs, the ladder compiles. Without types both views make
// the same replacement.
TEST(SearchPropertyTest, EveryPlaceReplaceChangesIsOneFindShowsAndTheResultCompiles) {
    std::mt19937 rnd(67);
    const std::vector<std::string>& types = SearchTypeTexts();
    const char* const names[] = {"X0", "X1", "X010", "Y0", "Y1", "M0", "m1", "M2", "S0", "S1",
                                 "T0", "C0", "C200", "D0", "D01", "K10", "K1", "K100000", "P3"};
    auto name = [&] { return std::string(names[rnd() % std::size(names)]); };
    int changedInLadder = 0, changedInList = 0;
    for (int round = 0; round < 300; ++round) {
        const std::vector<std::string> lines = RandomProgram(rnd);
        const TBothViews p(lines);
        if (::testing::Test::HasFailure()) return;  // the program must have a ladder
        // Mostly a device the program holds, as typed or as the list shows it.
        std::vector<std::string> held;
        for (const std::string& l : lines)
            for (std::size_t at = l.find(' '); at != std::string::npos; at = l.find(' ', at + 1))
                held.push_back(l.substr(at + 1, l.find(' ', at + 1) - at - 1));
        const std::string search = held.empty() || rnd() % 4 == 0 ? name() : held[rnd() % held.size()];
        // Mostly a device of the same letter, which the class rules let in.
        std::vector<std::string> alike;
        for (const char* n : names)
            if (std::toupper(static_cast<unsigned char>(n[0])) == std::toupper(static_cast<unsigned char>(search[0])))
                alike.push_back(n);
        const std::string rep = alike.empty() || rnd() % 3 == 0 ? name() : alike[rnd() % alike.size()];
        TReplaceRequest r{search, rep, 1 + static_cast<long>(rnd() % 3), types[rnd() % types.size()],
                          types[rnd() % types.size()]};
        if (rnd() % 3 == 0) r.searchType = r.repType = "None";
        if (CheckReplaceRequest(r) >= 0) continue;  // refused before any walk
        const std::deque<Answer> answers = rnd() % 2 ? std::deque<Answer>{Answer::All} : std::deque<Answer>{};
        std::string context;
        for (const std::string& l : lines) context += l + "; ";
        context += "replacing " + r.search + " by " + r.replacement + " x" + std::to_string(r.count) + ", types " +
                   r.searchType + " / " + r.repType + (answers.empty() ? ", one by one" : ", all");
        SCOPED_TRACE(context);

        // The names a user would find: the first as typed, then the run's.
        std::vector<std::string> run{r.search};
        for (long k = 2; k <= r.count; ++k) {
            std::string device;
            ASSERT_TRUE(LastDeviceOfRun(r.search, k, device));
            run.push_back(device);
        }
        // The list has no element types.
        TReplaceRequest plain = r;
        plain.searchType = plain.repType = "None";
        const TBothViews::TWalk list = p.ChangedInList(plain, answers);
        const TBothViews::TWalk ladder = p.ChangedInLadder(r, answers);
        std::vector<TSearchPlace> listFound, ladderFound;
        for (const std::string& device : run) {
            for (const TSearchPlace& f : p.FindInList(device).places) listFound.push_back(f);
            for (const TSearchPlace& f : p.FindInLadder(device, r.searchType).places) ladderFound.push_back(f);
        }
        for (const TSearchPlace& c : list.places)
            EXPECT_TRUE(std::any_of(listFound.begin(), listFound.end(),
                                    [&](const TSearchPlace& f) { return f.offset == c.offset; }))
                << "the list changed the instruction at " << c.offset << " unfound" << list.outcome;
        for (const TSearchPlace& c : ladder.places)
            EXPECT_TRUE(std::any_of(ladderFound.begin(), ladderFound.end(),
                                    [&](const TSearchPlace& f) {
                                        return f.row == c.row && (f.col == c.col || f.col == p.ElementColumn(c.row, c.col));
                                    }))
                << "the ladder changed the cell at " << c.row << ", " << c.col << " unfound" << ladder.outcome;

        EXPECT_EQ(ladder.outcome.listing.find("does not compile"), std::string::npos) << ladder.outcome;
        // The ladder meets a parallel branch's contacts row by row, the list
        // line by line: one by one, the questions may come in another order.
        if (r.searchType == "None" && r.repType == "None") {
            EXPECT_EQ(ladder.outcome.listing, list.outcome.listing);
            if (answers.empty())
                EXPECT_EQ(ladder.outcome.events.back(), list.outcome.events.back());
            else
                EXPECT_EQ(ladder.outcome.events, list.outcome.events);
        }
        changedInLadder += !ladder.places.empty();
        changedInList += !list.places.empty();
        if (::testing::Test::HasFailure()) return;  // one program is enough to read
    }
    // The requests do meet their devices.
    EXPECT_GT(changedInLadder, 40);
    EXPECT_GT(changedInList, 80);
}
