// The checking tools without their windows, over instruction-list programs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "core/DeviceLimits.h"
#include "ladder/model/LadderGrid.h"
#include "tests/ladder/model/IlProgram.h"
#include "tools/check/Batchtest.h"
#include "tools/check/Comments.h"
#include "tools/check/Deviceuse.h"
#include "tools/check/Doublecoil.h"
#include "tests/support/TestInstallDir.h"

using qel::test::AssembleLines;

namespace {

// A program image of `capacity` bytes holding the lines; `steps` gets the
// step of each line.
std::vector<std::uint8_t> Image(const std::vector<std::string>& lines, std::vector<long>* steps = nullptr,
                                std::size_t capacity = 3616) {
    std::vector<std::uint8_t> code;
    for (const std::string& line : lines) {
        if (steps) steps->push_back(static_cast<long>(code.size() / 2));
        const std::vector<std::uint8_t> bytes = AssembleLines({line});
        code.insert(code.end(), bytes.begin(), bytes.end());
    }
    code.resize(std::max(capacity, code.size()), 0xFF);
    return code;
}

std::string Line(long step, const std::string& device) { return "Step " + std::to_string(step) + ":" + device; }

class FamilyScope {
public:
    explicit FamilyScope(int family) { SetCurrentFamily(family); }
    ~FamilyScope() { SetCurrentFamily(0); }
};

}  // namespace

TEST(DoubleCoilTest, EveryDeviceDrivenTwiceIsListedInStepsAndSubroutines) {
    FamilyScope family(1);  // M above 1279 exists in this family
    std::vector<long> s;
    const std::vector<std::string> program = {
        "LD X0",     "OUT Y0",        "OUT Y10",   "STL S20",      "OUT Y0",         "SET M2000",
        "RET",       "LD X1",         "TMR T0 K10", "CNT C0 K5",   "DCNT C200 K100", "OUT M2000",
        "FEND",      "P1",            "LD X2",     "TMR T0 K20",   "CNT C0 K3",      "DCNT C200 K7",
        "RST Y0",    "SET Y0",        "SRET",      "END",
    };
    const std::vector<std::uint8_t> code = Image(program, &s);

    TDoubleCoilKinds all;
    all.out = all.cnt = all.tmr = all.dcnt = all.set = all.rst = true;
    // Y and T first by number, then C0-C199, then M and S, then C200 up; each
    // device's steps ascending whatever kind found them first.
    const std::vector<std::string> expected = {
        Line(s[1], "Y0"),  Line(s[4], "Y0"),  Line(s[18], "Y0"),  Line(s[19], "Y0"),
        Line(s[8], "T0"),  Line(s[15], "T0"), Line(s[9], "C0"),   Line(s[16], "C0"),
        Line(s[5], "M2000"), Line(s[11], "M2000"), Line(s[10], "C200"), Line(s[17], "C200"),
    };
    EXPECT_EQ(FindDoubleCoils(code.data(), static_cast<std::uint32_t>(code.size()), 1, all), expected);

    // Only OUT: Y0 twice and M2000 once by OUT; the SET, RST uses are not looked at.
    TDoubleCoilKinds out;
    out.out = true;
    EXPECT_EQ(FindDoubleCoils(code.data(), static_cast<std::uint32_t>(code.size()), 1, out),
              (std::vector<std::string>{Line(s[1], "Y0"), Line(s[4], "Y0")}));
    // No kind ticked: nothing.
    EXPECT_TRUE(FindDoubleCoils(code.data(), static_cast<std::uint32_t>(code.size()), 1, {}).empty());
    EXPECT_EQ(StepOfReportLine(expected[2]), s[18]);
    EXPECT_EQ(StepOfReportLine("Steps 3:Y0"), -1);
}

TEST(DoubleCoilTest, OctalNamesAndAUseAfterEndAreNotCounted) {
    std::vector<long> s;
    const std::vector<std::uint8_t> code = Image({"LD X0", "OUT Y10", "SET Y10", "OUT Y7", "END", "OUT Y7"}, &s);
    TDoubleCoilKinds kinds;
    kinds.out = kinds.set = true;
    // Y10 is the ninth output (octal); the OUT Y7 behind END is no use.
    EXPECT_EQ(FindDoubleCoils(code.data(), static_cast<std::uint32_t>(code.size()), 0, kinds),
              (std::vector<std::string>{Line(s[1], "Y10"), Line(s[2], "Y10")}));
}

TEST(DeviceUseMapTest, PagesOfXInOctalWithTheirUses) {
    const std::vector<std::uint8_t> code = Image({"LD X177", "AND X0", "OUT Y0", "MOV K4X10 D10", "END"});
    const int highest = DeviceLimitOf(0, 'X');  // 127
    const auto used = DevicesUsedInCode(code.data(), static_cast<std::uint32_t>(code.size()), 'X', highest);
    EXPECT_TRUE(used[0]);
    EXPECT_TRUE(used[0177]);
    EXPECT_TRUE(used[010]);  // the digit group names its first device
    EXPECT_FALSE(used[1]);

    const TUseMapPage first = BuildUseMapPage('X', 0, highest, used);
    EXPECT_EQ(first[0], std::string(10, ' ') + "+0+1+2+3+4+5+6+7" + std::string(14, ' '));
    EXPECT_EQ(first[1].substr(0, 13), "X0         U ");
    EXPECT_EQ(first[2].substr(0, 12), "X10        U");
    EXPECT_EQ(first[8].substr(0, 3), "X70");
    EXPECT_EQ(first[9], std::string(40, ' '));
    const TUseMapPage second = BuildUseMapPage('X', 1, highest, used);
    EXPECT_EQ(second[1].substr(0, 4), "X100");
    EXPECT_EQ(second[8].substr(0, 4), "X170");
    EXPECT_EQ(second[8][11 + 2 * 7], 'U');  // X177
    EXPECT_EQ(DeviceAtUseMapCell('X', 1, highest, 8, 25), 0177);
    EXPECT_EQ(DeviceAtUseMapCell('X', 1, highest, 9, 11), -1);
    EXPECT_EQ(FirstStepUsing(code.data(), static_cast<std::uint32_t>(code.size()), 'X', 0177), 0);
    EXPECT_EQ(FirstStepUsing(code.data(), static_cast<std::uint32_t>(code.size()), 'Y', 1), -1);
}

TEST(DeviceUseMapTest, LastPageEmptyProgramIndexedOperandsAndOtherLetters) {
    const int highest = DeviceLimitOf(0, 'M');  // 1279
    const std::vector<std::uint8_t> empty(3616, 0xFF);
    const auto none = DevicesUsedInCode(empty.data(), 3616, 'M', highest);
    EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
    const TUseMapPage last = BuildUseMapPage('M', 12, highest, none);
    EXPECT_EQ(last[1].substr(0, 5), "M1200");
    EXPECT_EQ(last[8].substr(0, 5), "M1270");
    EXPECT_EQ(last[9], std::string(40, ' '));

    // An index-modified operand is a use of its base device; a constant is not.
    const std::vector<std::uint8_t> code = Image({"LD X0", "MOV D10E D11", "MOV K20 D12", "END"});
    const auto d = DevicesUsedInCode(code.data(), static_cast<std::uint32_t>(code.size()), 'D', 1311);
    EXPECT_TRUE(d[10]);
    EXPECT_TRUE(d[11]);
    EXPECT_TRUE(d[12]);
    EXPECT_FALSE(d[20]);
    const auto x = DevicesUsedInCode(code.data(), static_cast<std::uint32_t>(code.size()), 'Y', 127);
    EXPECT_EQ(std::count(x.begin(), x.end(), true), 0);
}

TEST(DeviceUseMapTest, LadderScanSkipsEveryBlockCommentRow) {
    std::vector<std::uint8_t> grid(5 * kLdbRowBytes, 0);
    // Two block comments in a row whose text bytes would read as devices.
    SetBlockCommentRow(grid.data(), "\x09\x05\x00 comment");
    SetBlockCommentRow(grid.data() + kLdbRowBytes, "xx\x09\x07 more");
    std::uint8_t* cell = grid.data() + 2 * kLdbRowBytes;
    SetCellKind(cell, TLdbKind::Open_Ry);
    SetCellDevType(cell, static_cast<std::uint8_t>(DeviceTypeFromLetter('X')));
    SetCellOperand(cell, 3);
    const auto used = DevicesUsedInLadder(grid.data(), 2, 'X', 127);
    EXPECT_TRUE(used[3]);
    EXPECT_EQ(std::count(used.begin(), used.end(), true), 1);
}

TEST(BatchTestStepTest, EachOutcomeHasItsTextAndLamp) {
    int compiled = 0;
    TBatchHooks hooks;
    bool loadOk = true, compileOk = true, checkOk = true, throwInCompile = false;
    hooks.load = [&](const std::string&) { return loadOk; };
    hooks.compile = [&] {
        ++compiled;
        if (throwInCompile) throw std::runtime_error("boom");
        return compileOk;
    };
    hooks.check = [&] { return checkOk; };

    auto run = [&](bool pass) { return TestProgramFile("a.kzp", pass, hooks); };
    EXPECT_EQ(run(false).suffix, " : Ladder OK!!");
    EXPECT_EQ(run(false).lamp, TBatchLamp::Lime);
    EXPECT_EQ(run(true).suffix, " : 測試 OK!!");
    checkOk = false;
    EXPECT_EQ(run(false).suffix, " : Ladder OK!!");  // the check only runs when asked
    EXPECT_EQ(run(true).suffix, " :文法檢查錯誤!!");
    EXPECT_EQ(run(true).lamp, TBatchLamp::Red);
    compileOk = false;
    EXPECT_EQ(run(true).suffix, " :Ladder ERROR!!");
    throwInCompile = true;
    EXPECT_EQ(run(true).suffix, " :發生系統錯誤!!");
    EXPECT_EQ(run(true).lamp, TBatchLamp::Black);

    // A refused file compiles nothing: the project in memory is not this file.
    loadOk = false;
    compiled = 0;
    EXPECT_EQ(run(true).suffix, " :開檔有問題!!");
    EXPECT_EQ(compiled, 0);
}

TEST(BatchTestStepTest, ProgramFilesAreListedWithoutRegardToCaseAndResultsSaved) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("qel_batch_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub.kzp");
    for (const char* name : {"b.KZP", "a.kzp", "C.kzp", "notes.txt", "d.kz~"}) std::ofstream(dir / name) << "x";
    EXPECT_EQ(ListProgramFiles(dir.string()), (std::vector<std::string>{"a.kzp", "b.KZP", "C.kzp"}));
    EXPECT_TRUE(ListProgramFiles((dir / "missing").string()).empty());

    // The results' text: the batch window's test saves it through its button.
    const fs::path results = dir / "results.txt";
    // A folder in the way: refused, and nothing is left behind.
    EXPECT_FALSE(SaveResultLines((dir / "sub.kzp").string(), {"x"}));
    EXPECT_FALSE(fs::exists(dir / "sub.kzp.tmp"));
    // A link planted at the name a save once wrote through is left alone.
    EXPECT_TRUE(qel::test::SavesPastALinkPlantedAt(dir / "results.txt.tmp",
                                                   [&] { return SaveResultLines(results.string(), {"again"}); }));
    std::ifstream again(results, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), std::istreambuf_iterator<char>()), "again\n");
    fs::remove_all(dir);
}

TEST(CommentModelTest, RowsOfEachLetterFollowTheFamily) {
    const std::vector<int> c0 = CommentRowNumbers(0, 5);  // C, family 0
    ASSERT_EQ(c0.size(), 141u);
    EXPECT_EQ(c0[127], 127);  // then C235: the comment window's test
    EXPECT_EQ(c0.back(), 254);
    EXPECT_EQ(CommentRowNumbers(0, 8), (std::vector<int>{0, 1, 100, 101, 200, 201, 300, 301, 400, 401}));
    EXPECT_EQ(CommentRowNumbers(0, 6)[600], 1000);  // D599, then D1000
    EXPECT_EQ(CommentRowNumbers(1, 5).size(), 256u);  // C0-C255
    EXPECT_EQ(DeviceNameOf(1, 15), "Y17");
    EXPECT_EQ(DeviceNameOf(2, 17), "M17");
}

TEST(CommentModelTest, LimitsCountStoredBytesAndClipboardLinesSplitCleanly) {
    std::string chinese;
    for (int i = 0; i < 21; ++i) chinese += "马";  // 3 bytes each
    EXPECT_TRUE(CommentAcceptable(chinese, kDeviceCommentMaxBytes));                // 63 bytes
    EXPECT_FALSE(CommentAcceptable(chinese + "马", kDeviceCommentMaxBytes));       // 66 bytes
    EXPECT_TRUE(CommentAcceptable(chinese + "A", kDeviceCommentMaxBytes));          // 64 bytes
    EXPECT_FALSE(CommentAcceptable(std::string("\xE9\xA9", 2), kDeviceCommentMaxBytes));  // cut character
    EXPECT_FALSE(CommentAcceptable("two\nlines", kDeviceCommentMaxBytes));

    // "A" CR LF "BC" CR LF both ways: the comment window's copy and paste.
    EXPECT_EQ(DecodeCommentLines("A\nB\rC"), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(DecodeCommentLines("A\r\n\r\nC"), (std::vector<std::string>{"A", "", "C"}));
    EXPECT_TRUE(DecodeCommentLines(std::string("A\0B", 3)).empty());
    EXPECT_TRUE(DecodeCommentLines("A\x01").empty());
}

TEST(CommentModelTest, RungLabelsMarkRowsEndingInAnOutput) {
    std::vector<std::uint8_t> row(kLdbRowBytes, 0);
    EXPECT_EQ(RungRowLabel(row.data(), 3), "3");
    SetCellKind(row.data() + kLdbLastColumn, TLdbKind::Out_Ry);
    EXPECT_EQ(RungRowLabel(row.data(), 3), "*3");
    SetCellKind(row.data() + kLdbLastColumn, TLdbKind::H_Line);
    EXPECT_EQ(RungRowLabel(row.data(), 12), "12");
}
