// Saving and opening the program file set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "project/Chartstamp.h"
#include "project/Fileio.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "platform/Paths.h"
#include "project/Projectfiles.h"
#include "tests/project/ProjectTestSupport.h"

using namespace shelltest;
namespace fs = std::filesystem;

namespace {

std::vector<std::uint8_t> Bytes(const fs::path& p) {
    std::vector<std::uint8_t> v;
    EXPECT_EQ(qelfile::ReadWholeFile(p, v), qelfile::ReadResult::Ok) << p;
    return v;
}

const char* const kSetExtensions[] = {".kzp", ".lad", ".lab", ".rcm", ".lmt", ".smt", ".dev", ".sfc"};

class ProjectFilesTest : public ShellTest {
protected:
    // Saves the open project as `name` and returns the snapshot saved.
    ProjectSnapshot SaveAs(const std::string& name) {
        SetProjectPath(ProjectPath(name));
        EXPECT_TRUE(SaveProject());
        return TakeSnapshot();
    }
    bool Open(const std::string& path) {
        gQel.OpenFileName = path;
        return ReadProgramFile();
    }
};

TEST_F(ProjectFilesTest, FullProjectRoundTripsForEveryFamilyAndCapacity) {
    for (int family = 0; family < kModelFamilyCount; ++family) {
        for (int cap = 0; cap < kCapacityCount; ++cap) {
            SCOPED_TRACE("family " + std::to_string(family) + " capacity " + std::to_string(cap));
            FillProject(family, cap, static_cast<std::uint32_t>(family * 10 + cap));
            const std::string name = "p" + std::to_string(family) + std::to_string(cap) + ".kzp";
            const ProjectSnapshot saved = SaveAs(name);
            EXPECT_EQ(gQel.Modified, 0);

            // Replace everything with another project, then open the saved one.
            FillProject((family + 1) % kModelFamilyCount, (cap + 1) % kCapacityCount, 999);
            gQel.Title = "other";
            ASSERT_TRUE(Open(ProjectPath(name)));
            EXPECT_EQ(TakeSnapshot(), saved);
            EXPECT_EQ(gProgramCapacity, ProgramCapacityOf(cap));
            EXPECT_EQ(gProgramUsed, 2u * 203);
            EXPECT_EQ(gLadderRowCount, 40);
            EXPECT_EQ(gQel.Modified, 0);
            EXPECT_EQ(gQel.Named, 1);
            EXPECT_EQ(gQel.RecentFiles.front(), ProjectPath(name));
        }
    }
    EXPECT_TRUE(messages_.Shown().empty());
}

TEST_F(ProjectFilesTest, MonitorListFileHasTheLinkLayout) {
    FillProject(1, 0, 1);
    SaveAs("dev.kzp");
    const auto b = Bytes(Dir() / "dev.dev");
    ASSERT_EQ(b.size(), 132u + 5 * 16);
    EXPECT_EQ(b[0] | b[1] << 8, 206);
    EXPECT_EQ(b[2] | b[3] << 8, 1);
    for (int i = 4; i < 128; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(b[128] | b[129] << 8, 16);
    EXPECT_EQ(b[130] | b[131] << 8, 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[132 + 16])), "Y17");
    EXPECT_EQ(b[132 + 2 * 16 + 6], 10);
}

// The ladder file names the code its rows belong to. A ladder saved for other
// code (the code was typed after the ladder was drawn, the ladder left empty,
// the ladder's own edits not compiled), or a ladder file without that name, is
// not taken: the program opens as one whose ladder must be drawn from the
// code. A file whose rows are not taken is named in one message; a drawing of
// older code is saved without rows, so it loses nothing and goes unmentioned.
TEST_F(ProjectFilesTest, LadderOfOtherCodeIsNotTaken) {
    FillProject(1, 0, 4);
    SaveAs("drawn.kzp");
    ASSERT_TRUE(Open(ProjectPath("drawn.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_EQ(gLadderRowCount, 40);
    EXPECT_TRUE(LadderMatchesProgram());

    // Code typed in the instruction list after the ladder was drawn.
    gProgram[0] = 0x01;  // LD X1
    EXPECT_FALSE(LadderMatchesProgram());
    SaveAs("typed.kzp");
    FillProject(0, 1, 9);
    ASSERT_TRUE(Open(ProjectPath("typed.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 0);
    EXPECT_EQ(gLadderRowCount, 0);
    EXPECT_EQ(gProgram[0], 0x01);
    auto stale = [](const fs::path& lad) {
        return std::vector<std::string>{gMsgTable.Get(kMsgLadderFileStale) + " " + lad.string()};
    };
    EXPECT_TRUE(messages_.Shown().empty()) << "the rows were only a drawing of the old code";

    // Rows edited in the ladder but not compiled: the file keeps them, and
    // opening names the file whose rows it does not take.
    FillProject(1, 0, 4);
    gProgram[0] = 0x01;
    gQel.ProgramOk = 0;
    SaveAs("edited.kzp");
    ASSERT_TRUE(Open(ProjectPath("edited.kzp")));
    EXPECT_EQ(gLadderRowCount, 0);
    EXPECT_EQ(messages_.Shown(), stale(Dir() / "edited.lad"));
    messages_.Clear();

    // A new program typed and saved with its empty ladder.
    ClearProject();
    gProgram[0] = 0x00;
    gProgram[1] = 0x24;
    SaveAs("new.kzp");
    ASSERT_TRUE(Open(ProjectPath("new.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 0);
    EXPECT_TRUE(messages_.Shown().empty());

    // A ladder file without the stamp of its code.
    FillProject(1, 0, 4);
    SaveAs("old.kzp");
    const fs::path lad = Dir() / "old.lad";
    {
        std::fstream f(lad, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(66);
        f.write("\0\0\0\0\0\0\0\0", 8);
    }
    ASSERT_TRUE(Open(ProjectPath("old.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 0);
    EXPECT_EQ(messages_.Shown(), stale(lad));
}

// The project cannot compile: rows read from the ladder file are judged by
// the check the program installs, not by their stamp alone. Rows that do not
// compile into the code their stamp names are the user's edits: the program
// opens without them (not ok), and a save after the code changed elsewhere
// writes them again with their stamp instead of taking them for a drawing of
// older code. Rows that compile into the code are its drawing. Without a
// check the stamp alone answers.
TEST_F(ProjectFilesTest, RowsReadAreTheProgramsOnlyWhenTheInstalledCheckSaysSo) {
    static bool compiles = false;
    struct CheckInstalled {
        CheckInstalled() { SetLadderCodeCheck([] { return compiles; }); }
        ~CheckInstalled() { SetLadderCodeCheck(nullptr); }
    } check;
    FillProject(1, 0, 4);
    SaveAs("edits.kzp");
    const std::size_t rowBytes = 40 * kLadderRowBytes;
    const std::vector<std::uint8_t> rows(gLadderRows, gLadderRows + rowBytes);

    ASSERT_TRUE(Open(ProjectPath("edits.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 0);
    EXPECT_TRUE(LadderHoldsFileEdits());
    gProgram[0] = 0x01;  // LD X1 typed in the instruction list
    SaveAs("typed.kzp");
    const std::vector<std::uint8_t> lad = Bytes(Dir() / "typed.lad");
    ASSERT_EQ(lad.size(), qelfile::kHeaderBytes + 4 + rowBytes) << "the edits were saved as a drawing";
    EXPECT_TRUE(std::equal(rows.begin(), rows.end(), lad.begin() + qelfile::kHeaderBytes + 4));

    compiles = true;
    ASSERT_TRUE(Open(ProjectPath("edits.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_FALSE(LadderHoldsFileEdits());
    EXPECT_TRUE(LadderMatchesProgram());

    compiles = false;
    SetLadderCodeCheck(nullptr);
    ASSERT_TRUE(Open(ProjectPath("edits.kzp")));
    EXPECT_EQ(gQel.ProgramOk, 1);
    EXPECT_TRUE(messages_.Shown().empty());
}

// A new model's capacity takes the code over: the ladder and the chart that
// stood for it still do, drawings of other code stay so, and a capacity too
// small for the code changes nothing.
TEST_F(ProjectFilesTest, ANewCapacityCarriesTheCodeAndWhatItsDrawingsStandFor) {
    FillProject(0, 0, 5);
    ASSERT_EQ(LocateProgramEnd(), 2u * 203);
    const std::vector<std::uint8_t> code(gProgram, gProgram + gProgramUsed);
    gSfcProgramStamp = ProgramImageStamp();
    ASSERT_TRUE(LadderMatchesProgram());
    ASSERT_TRUE(CarryProgramToCapacity(2));
    EXPECT_EQ(gProgramCapacity, ProgramCapacityOf(2));
    EXPECT_EQ(gQel.CapacityIndex, 2);
    EXPECT_TRUE(std::equal(code.begin(), code.end(), gProgram));
    EXPECT_TRUE(std::all_of(gProgram + code.size(), gProgram + gProgramCapacity, [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(LadderMatchesProgram());
    EXPECT_EQ(gSfcProgramStamp, ProgramImageStamp());

    gLadderStamp = 7;  // drawn for code edited since
    gSfcProgramStamp = 0;  // a chart file that names no code
    ASSERT_TRUE(CarryProgramToCapacity(1));
    EXPECT_EQ(gLadderStamp, 7u);
    EXPECT_EQ(gSfcProgramStamp, 0u);

    // 2000 NOP words and END: more than the smallest capacity holds.
    std::fill(gProgram, gProgram + 4000, 0xFF);
    gProgram[4000] = 0x0F;
    gProgram[4001] = 0x00;
    ASSERT_EQ(LocateProgramEnd(), 4002u);
    MarkLadderOfProgram();
    const std::vector<std::uint8_t> image(gProgram, gProgram + gProgramCapacity);
    EXPECT_FALSE(CarryProgramToCapacity(0));
    EXPECT_EQ(gQel.CapacityIndex, 1);
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity), image);
    EXPECT_TRUE(LadderMatchesProgram());
}

TEST_F(ProjectFilesTest, ProgramWithoutSiblingsOpensWithEmptyLadder) {
    FillProject(0, 1, 2);
    SaveAs("alone.kzp");
    for (const char* ext : kSetExtensions)
        if (std::string(ext) != ".kzp") fs::remove(Dir() / (std::string("alone") + ext));
    const std::vector<std::uint8_t> program(gProgram, gProgram + gProgramCapacity);

    FillProject(2, 0, 3);
    gDevMoniEntryCount = 2;
    ASSERT_TRUE(Open(ProjectPath("alone.kzp")));
    EXPECT_EQ(std::vector<std::uint8_t>(gProgram, gProgram + gProgramCapacity), program);
    EXPECT_EQ(gLadderRowCount, 0);
    for (int i = 0; i < kLadderRows * kLadderRowBytes; ++i) ASSERT_EQ(gLadderRows[i], 0);
    EXPECT_EQ(gPLabelRows[255], -1);
    EXPECT_EQ(gQel.Title, "输送带控制 Conveyor");  // the program file carries the title
    EXPECT_EQ(gQel.Company, "");
    EXPECT_TRUE(gQel.RungComments.empty());
    // No list file: no device listed, never the list of the project before.
    EXPECT_EQ(gDevMoniEntryCount, 0);
}

TEST_F(ProjectFilesTest, SiblingOfAnotherFamilyIsRefusedOrSkippedOnRequest) {
    FillProject(0, 0, 6);
    SaveAs("fam.kzp");
    FillProject(1, 0, 7);
    SaveAs("fam1.kzp");
    fs::copy_file(Dir() / "fam1.lad", Dir() / "fam.lad", fs::copy_options::overwrite_existing);

    FillProject(2, 2, 8);
    const ProjectSnapshot open = TakeSnapshot();
    messages_.Clear();
    EXPECT_FALSE(Open(ProjectPath("fam.kzp")));  // no answer scripted: the question is cancelled
    EXPECT_EQ(TakeSnapshot(), open);
    ASSERT_EQ(messages_.Shown().size(), 1u);
    EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(kMsgFileOtherModel) + " " + ProjectPath("fam.lad"));
    ASSERT_EQ(messages_.Asked().size(), 1u);

    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(Open(ProjectPath("fam.kzp")));
    EXPECT_EQ(gQel.Family, 0);
    EXPECT_EQ(gLadderRowCount, 0);
    EXPECT_EQ(GetCommentByDeviceName("Y7"), "马达");  // the other siblings were read
}

TEST_F(ProjectFilesTest, DamagedCompanionContributesNothingWhenSkipped) {
    FillProject(0, 0, 12);
    SaveAs("part.kzp");
    fs::remove(Dir() / "part.lad");
    // The block-comment file holds good records, then one without the comment flag.
    auto smt = Bytes(Dir() / "part.smt");
    ASSERT_GT(smt.size(), 132u + 64);
    smt[smt.size() - 60] = 0;
    std::ofstream(Dir() / "part.smt", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(smt.data()), static_cast<std::streamsize>(smt.size()));

    messages_.QueueAnswer(qel::Answer::Yes);
    ASSERT_TRUE(Open(ProjectPath("part.kzp")));
    for (int i = 0; i < kLadderRows * kLadderRowBytes; ++i) ASSERT_EQ(gLadderRows[i], 0) << i;
    EXPECT_EQ(messages_.Shown().size(), 1u);
}

TEST_F(ProjectFilesTest, SaveWithoutANameTakesAnUntitledOne) {
    gQel.SaveDir = Dir().string();
    gQel.ProgramFileName.clear();
    gQel.BaseName.clear();
    FillProject(0, 0, 13);
    ASSERT_TRUE(SaveProject());
    EXPECT_TRUE(fs::exists(Dir() / "Untitled1.kzp"));
    EXPECT_TRUE(fs::exists(Dir() / "Untitled1.dev"));
}

TEST_F(ProjectFilesTest, MissingProgramFileIsReported) {
    FillProject(0, 0, 9);
    const ProjectSnapshot open = TakeSnapshot();
    EXPECT_FALSE(Open(ProjectPath("nothing.kzp")));
    EXPECT_EQ(TakeSnapshot(), open);
    EXPECT_EQ(messages_.Shown().size(), 1u);
}

TEST_F(ProjectFilesTest, UntitledAndTemporaryFileNames) {
    gQel.SaveDir = Dir().string();
    std::ofstream(Dir() / "Untitled1.kzp") << "x";
    MakeUntitledName();
    EXPECT_EQ(gQel.ProgramFileName, ProjectPath("Untitled2.kzp"));
    EXPECT_EQ(gQel.BaseName, ProjectPath("Untitled2"));
    EXPECT_EQ(gQel.Named, 0);
    EXPECT_EQ(SiblingPath(".dv~"), ProjectPath("Untitled2.dv~"));

    SetProjectPath(ProjectPath("plant"));
    EXPECT_EQ(gQel.ProgramFileName, ProjectPath("plant.kzp"));
    const fs::path temp = Dir() / "install" / "Temp";
    EXPECT_EQ(gQel.TmsFileName, (temp / "plant.tms").string());
    EXPECT_EQ(gQel.TmlFileName, (temp / "plant.tml").string());
}

TEST_F(ProjectFilesTest, ClearProjectEmptiesBuffersButKeepsNames) {
    FillProject(1, 2, 10);
    SetProjectPath(ProjectPath("keep.kzp"));
    gSfcCodeList.push_back(std::make_unique<TSfcCodeRec>());
    gSfcGrid[0] = 0;
    ClearProject();
    for (std::uint32_t i = 0; i < gProgramCapacity; ++i) ASSERT_EQ(gProgram[i], 0xFF);
    for (int i = 0; i < kLadderRows * kLadderRowBytes; ++i) ASSERT_EQ(gLadderRows[i], 0);
    EXPECT_EQ(gPLabelRows[0], -1);
    EXPECT_EQ(gILabelRows[899], -1);
    EXPECT_EQ(gSfcGrid[0], 0xFF);
    EXPECT_TRUE(gSfcCodeList.empty());
    EXPECT_TRUE(gQel.RungComments.empty());
    EXPECT_EQ(gQel.ProgramFileName, ProjectPath("keep.kzp"));
    EXPECT_EQ(GetCommentByDeviceName("Y7"), "马达");
}

TEST_F(ProjectFilesTest, ReadSiblingFilesRefreshesPartsAndReportsRefusals) {
    FillProject(0, 0, 11);
    const ProjectSnapshot saved = SaveAs("sib.kzp");
    gQel.RungComments.clear();
    SetDeviceComment("X0", "changed");
    std::ofstream(Dir() / "sib.lab", std::ios::trunc) << "garbage";
    std::memset(gLadderRows, 0, 100);
    gPLabelRows[255] = 77;
    EXPECT_FALSE(ReadSiblingFiles());
    EXPECT_EQ(gPLabelRows[255], 77);  // the refused file changed nothing
    gPLabelRows[255] = saved.pLabels[255];
    EXPECT_EQ(TakeSnapshot(), saved);
}

// Device comments from a file written elsewhere (a ".rcm" of another tool, the
// comment defaults) keep the rule the comment windows keep: a control
// character becomes a space, a tab stays, and a comment over 64 bytes is cut
// there without splitting a character. Saved and opened again they stay so.
TEST_F(ProjectFilesTest, DeviceCommentsFromFilesKeepTheCommentRule) {
    FillProject(1, 0, 5);
    SaveAs("rule.kzp");
    const std::string ma = "马";  // 3 bytes
    std::string chinese;
    for (int i = 0; i < 21; ++i) chinese += ma;  // 63 bytes
    const std::string body = "D0\tPump speed\\nD1 setpoint\n"
                             "D1\tends\\r\\n\n"
                             "M5\tbell\x07 rings\x7F\n"
                             "M6\ta\\tb\n"
                             "X0\t" + chinese + "达\n"
                             "Y1\t" + std::string(70, 'a') + "\n";
    std::ofstream(Dir() / "rule.rcm", std::ios::binary | std::ios::trunc) << "QELRCM\t206\t1\n" << body;
    const std::pair<const char*, std::string> expected[] = {
        {"D0", "Pump speed D1 setpoint"}, {"D1", "ends  "}, {"M5", "bell  rings "},
        {"M6", "a\tb"},                   {"X0", chinese}, {"Y1", std::string(64, 'a')},
    };
    auto check = [&] {
        for (const auto& [name, text] : expected) EXPECT_EQ(GetCommentByDeviceName(name), text) << name;
    };
    ASSERT_TRUE(Open(ProjectPath("rule.kzp")));
    check();
    EXPECT_EQ(gQel.Modified, 0);
    ASSERT_TRUE(SaveProject());
    for (auto& l : gQel.DevComments) std::fill(l.begin(), l.end(), "x");
    ASSERT_TRUE(Open(ProjectPath("rule.kzp")));
    check();

    // The comment defaults for a new project: the same rule.
    std::ofstream(qel::InstallDir() / "DeviceCommentInit.txt", std::ios::binary | std::ios::trunc) << body;
    LoadDeviceCommentInit();
    check();
    EXPECT_TRUE(messages_.Shown().empty());
}

}  // namespace
