// What a project holds is its own: the template's values, the register
// view's values and the comments of one project never show in another, nor
// in an earlier or later untitled one, whatever replaced the project (New,
// Open, a program read from the PLC, the batch compile test's open); a save of
// the program under another name takes the values shown along, and one over
// another project's files never brings that project's values in.
#include <QCoreApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sys/stat.h>

#include "instlist/Instredit.h"
#include "ladder/editor/Ladder.h"
#include "ladder/edit/Laddertexts.h"
#include "ladder/model/Lad.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Laddercompile.h"
#include "link/jobs/Fileregs.h"
#include "link/jobs/Registerdata.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "link/windows/Transdatafrm.h"
#include "project/Fileio.h"
#include "project/Projectfiles.h"
#include "tests/link/windows/LinkWindowFixture.h"
#include "tools/windows/Filecompiletestfrm.h"
#include "tools/windows/Toolsinstall.h"

namespace fs = std::filesystem;

namespace {

class ProjectValuesTest : public LinkWindowTest {
protected:
    void SetUp() override {
        RegisterInstListForms();
        RegisterToolForms();
        LinkWindowTest::SetUp();
        StartFrame();
        if (HasFatalFailure()) return;
        InstallInstList(frame_.get());
        InstallLadder(frame_.get());
        InstallTools(frame_.get());
        InstallRegisterView(frame_.get());
        InstallFileTemplate(frame_.get());
        InstallProgramTransfer(frame_.get());
        gQel.SaveDir = projects_.string();
        frame_->NewClick();
        ASSERT_TRUE(frame_->ApplyModelSetting(1, 3, false));  // the emulator's PLC; 10000 file registers
        gQel.Modified = 0;
    }
    void TearDown() override {
        LinkWindowTest::TearDown();
        SetModelFamily(0);
    }

    void OpenProject(const fs::path& kzp) {
        dialogs_.QueuePath(kzp.string());
        frame_->OpenClick();
        ASSERT_EQ(gQel.ProgramFileName, kzp.string());
    }
    // The program's own Save As (the frame's menu routes to an active side
    // window's own).
    void SaveProjectAs(const fs::path& kzp, bool replacing = false) {
        fs::create_directories(kzp.parent_path());
        dialogs_.QueuePath(kzp.string());
        if (replacing) messages_.QueueAnswer(qel::Answer::Ok);  // another project's files are replaced
        frame_->SaveAsClick();
        ASSERT_EQ(gQel.ProgramFileName, kzp.string());
    }
    // A value typed into the register view (D3) or the template (value i),
    // then the window's File > Save; `overwrite` answers the question over an
    // existing file.
    void TypeD3(const char* value, bool save = true, bool overwrite = false) {
        ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
        ASSERT_NE(_DevReg, nullptr);
        TypeInCell(_DevReg->RegGrid, 3, value);
        if (!save) return;
        if (overwrite) messages_.QueueAnswer(qel::Answer::Yes);
        ASSERT_TRUE(_DevReg->SaveRegisterFile());  // its File > Save
        ASSERT_EQ(_DevReg->Modified, 0);
    }
    void TypeTemplate(int i, const char* value, bool overwrite = false) {
        ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
        ASSERT_NE(_FileTmp, nullptr);
        TypeInCell(_FileTmp->PgRegGrid, i, value);
        if (overwrite) messages_.QueueAnswer(qel::Answer::Yes);
        ASSERT_TRUE(_FileTmp->SaveWithPrompt());  // its File > Save
        ASSERT_EQ(_FileTmp->Modified, 0);
    }
    // What the windows show, each opened when it is not.
    std::string ShownD3() {
        EXPECT_TRUE(frame_->RunCommand("MmViewReg"));
        return _DevReg ? _DevReg->CellText(1, 4).toStdString() : "no view";
    }
    std::string ShownTemplate(int i) {
        EXPECT_TRUE(frame_->RunCommand("MmFileTmp"));
        if (!_FileTmp) return "no template";
        QAbstractItemModel* m = _FileTmp->PgRegGrid->model();
        return m->data(m->index(i / 10, i % 10), Qt::DisplayRole).toString().toStdString();
    }
    void CloseSideWindows() {
        if (_DevReg) {
            EXPECT_TRUE(CloseWindow(_DevReg));
        }
        if (_FileTmp) {
            EXPECT_TRUE(CloseWindow(_FileTmp));
        }
    }
    // What the files hold: -1 when there is no file.
    static int SavedD3(const fs::path& kzl) {
        qel::link::TRegisterData d;
        if (!fs::exists(kzl)) return -1;
        EXPECT_EQ(qel::link::ReadRegisterFile(kzl.string(), gQel.Family, d), qel::link::TRegFileResult::Ok) << kzl;
        return d.DRegs[3];
    }
    static int SavedTemplate(const fs::path& qft, int i) {
        qel::link::TFileTemplate t;
        if (!fs::exists(qft)) return -1;
        EXPECT_EQ(qel::link::ReadQftFile(qft, gQel.Family, t), qel::link::TQftRead::Ok) << qft;
        return static_cast<std::size_t>(i) < t.values.size() ? t.values[static_cast<std::size_t>(i)] : -2;
    }
    static std::string FileText(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

}  // namespace

// Another project opened, or a new one, shows none of the template values of
// the project before it, and its own template saved holds none of them.
TEST_F(ProjectValuesTest, ATemplateShowsAndSavesOnlyItsOwnProjectsValues) {
    const fs::path plant = projects_ / "a" / "plant.kzp", other = projects_ / "b" / "other.kzp";
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(other);
    frame_->NewClick();
    PutProgram({"LD X1", "OUT Y1", "END"});
    SaveProjectAs(plant);

    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));
    ASSERT_EQ(SavedTemplate(projects_ / "a" / "plant.qft", 7), 9);
    CloseSideWindows();

    OpenProject(other);
    messages_.Clear();
    EXPECT_EQ(ShownTemplate(7), "0");
    EXPECT_TRUE(messages_.Shown().empty());
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(8, "1"));
    EXPECT_EQ(SavedTemplate(projects_ / "b" / "other.qft", 7), 0);
    EXPECT_EQ(SavedTemplate(projects_ / "b" / "other.qft", 8), 1);
    CloseSideWindows();

    frame_->NewClick();
    EXPECT_EQ(ShownTemplate(7), "0");
    EXPECT_EQ(ShownTemplate(8), "0");
    // The project's own file still brings its values back.
    OpenProject(plant);
    EXPECT_EQ(ShownTemplate(7), "9");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Save As: the register values and the template shown, saved, are saved
// beside the new name; over another project's files they replace that
// project's, and a project without such values leaves none of the other's.
TEST_F(ProjectValuesTest, SaveAsTakesTheRegisterValuesAndTheTemplateShownToTheNewName) {
    const fs::path a = projects_ / "a", b = projects_ / "b", c = projects_ / "c";
    PutProgram({"LD X2", "OUT Y2", "END"});
    SaveProjectAs(b / "other.kzp");
    ASSERT_NO_FATAL_FAILURE(TypeD3("11"));
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "2"));
    CloseSideWindows();

    frame_->NewClick();
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(a / "plant.kzp");
    ASSERT_NO_FATAL_FAILURE(TypeD3("77"));
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));

    // Both windows open: the values they show are moved.kzp's, and closing
    // them asks nothing.
    SaveProjectAs(c / "moved.kzp");
    EXPECT_EQ(SavedD3(c / "moved.kzl"), 77);
    EXPECT_EQ(SavedTemplate(c / "moved.qft", 7), 9);
    messages_.Clear();
    CloseSideWindows();
    EXPECT_TRUE(messages_.Asked().empty());

    // Windows closed, then Save As over other.kzp: other's values are kept
    // as backups only, ours stand there.
    SaveProjectAs(b / "other.kzp", true);
    EXPECT_EQ(SavedD3(b / "other.kl~"), 11);
    EXPECT_EQ(SavedTemplate(b / "other.qf~", 7), 2);
    OpenProject(b / "other.kzp");
    EXPECT_EQ(ShownD3(), "77");
    EXPECT_EQ(ShownTemplate(7), "9");
    CloseSideWindows();

    // A project that never had such values, saved over it: none of other's.
    frame_->NewClick();
    PutProgram({"LD X5", "OUT Y5", "END"});
    SaveProjectAs(b / "other.kzp", true);
    EXPECT_FALSE(fs::exists(b / "other.kzl"));
    EXPECT_FALSE(fs::exists(b / "other.qft"));
    OpenProject(b / "other.kzp");
    EXPECT_EQ(ShownD3(), "0");
    EXPECT_EQ(ShownTemplate(7), "0");
    CloseSideWindows();

    // A changed value not saved stays changed under the new name: its window
    // asks when it closes, and the file beside the new name holds the values
    // saved last.
    OpenProject(c / "moved.kzp");
    ASSERT_NO_FATAL_FAILURE(TypeD3("78", false));
    SaveProjectAs(c / "moved2.kzp");
    EXPECT_EQ(_DevReg->Modified, 1);
    EXPECT_EQ(SavedD3(c / "moved2.kzl"), 77);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);
    EXPECT_TRUE(CloseWindow(_DevReg));
    ASSERT_EQ(messages_.Asked().size(), 1u);
    EXPECT_NE(messages_.Asked()[0].find((c / "moved2.kzl").string()), std::string::npos) << messages_.Asked()[0];
    CloseSideWindows();
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// A new untitled project never finds the register values an earlier
// untitled one saved; they went with that program's Save As.
TEST_F(ProjectValuesTest, ANewUntitledProjectShowsNoRegisterValuesOfAnEarlierOne) {
    const std::string first = gQel.ProgramFileName;
    ASSERT_NO_FATAL_FAILURE(TypeD3("77"));
    const fs::path kzl = fs::path(first).replace_extension(".kzl");
    ASSERT_EQ(SavedD3(kzl), 77);
    CloseSideWindows();
    EXPECT_EQ(ShownD3(), "77");  // its own, saved while untitled
    CloseSideWindows();
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(projects_ / "line2.kzp");
    EXPECT_EQ(SavedD3(projects_ / "line2.kzl"), 77);

    frame_->NewClick();
    EXPECT_NE(gQel.ProgramFileName, first);
    EXPECT_EQ(ShownD3(), "0");
    EXPECT_EQ(ShownTemplate(7), "0");
    // The window's own Open of that file is the user's choice.
    dialogs_.QueuePath(kzl.string());
    _DevReg->OpenRegisterFile();
    EXPECT_EQ(_DevReg->CellText(1, 4), "77");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Another run of the program with its untitled project in the same folder
// took the same first free name and saved its register values and template
// there: this run's untitled project shows none of them, nor takes them
// along when it is saved under a name of its own.
TEST_F(ProjectValuesTest, AnUntitledProjectReadsNoSideFileAnotherRunSavedUnderItsName) {
    const fs::path kzl = fs::path(gQel.ProgramFileName).replace_extension(".kzl");
    const fs::path qft = fs::path(gQel.ProgramFileName).replace_extension(".qft");
    qel::link::TRegisterData theirs;
    theirs.DRegs[3] = 55;
    ASSERT_TRUE(qel::link::WriteRegisterFile(kzl.string(), theirs, gQel.Family, gQel.CapacityIndex));
    qel::link::TFileTemplate t{.version = 206, .family = 1, .values = std::vector<std::uint16_t>(10000, 0)};
    t.values[7] = 5;
    ASSERT_TRUE(qel::link::WriteQftFile(qft, t));

    EXPECT_EQ(ShownD3(), "0");
    EXPECT_EQ(ShownTemplate(7), "0");
    CloseSideWindows();
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(projects_ / "mine.kzp");
    EXPECT_FALSE(fs::exists(projects_ / "mine.kzl"));
    EXPECT_FALSE(fs::exists(projects_ / "mine.qft"));
    EXPECT_EQ(SavedD3(kzl), 55);  // theirs, where they left it
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Every path that replaces the project, after one with comments, a title,
// template values and register values: the next project's windows show none
// of them, and its saved files hold none of them.
TEST_F(ProjectValuesTest, EveryPathThatReplacesTheProjectStartsItsValuesAfresh) {
    const fs::path a = projects_ / "a" / "plant.kzp";
    // Programs of the same code and file name elsewhere, without comments,
    // title or ladder file (opening draws the ladder from the code).
    PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
    for (const char* folder : {"b", "batch"}) {
        SaveProjectAs(projects_ / folder / "plant.kzp");
        ASSERT_TRUE(fs::remove(projects_ / folder / "plant.lad"));
    }
    frame_->NewClick();
    // The dirty project: X0-Y0, the block comment "Motor", X1-Y1 with "abc",
    // the device comment "Pump", a title, D3 = 77 and template value 7 = 9.
    PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
    ASSERT_EQ(ConvertCodeToLadder(), 0);
    std::memmove(gLadderRows + 2 * kLdbRowBytes, gLadderRows + kLdbRowBytes, 2 * kLdbRowBytes);
    SetBlockCommentRow(gLadderRows + kLdbRowBytes, "Motor");
    gQel.RungComments = {"", "", "abc"};
    ASSERT_TRUE(SetDeviceComment("X0", "Pump"));
    gQel.Title = "Plant line";
    gQel.Company = "Plant works";
    ASSERT_EQ(CompileProgramLadder(), 0);
    SaveProjectAs(a);
    ASSERT_NO_FATAL_FAILURE(TypeD3("77"));
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));
    CloseSideWindows();
    emu_.S.program.assign(emu_.S.program.size(), 0xFF);
    std::copy(gProgram, gProgram + gProgramUsed, emu_.S.program.begin());

    const auto dirty = [&] {
        OpenProject(a);
        ASSERT_EQ(gQel.RungComments.size() > 2 ? gQel.RungComments[2] : "", "abc");
        ASSERT_EQ(ShownD3(), "77");
        ASSERT_EQ(ShownTemplate(7), "9");  // both windows stay open
        ASSERT_EQ(CompileProgramLadder(), 0);  // the compile's hand-over files are a's
        gQel.Modified = 0;
    };
    const struct {
        const char* path;
        std::function<void()> replace;
    } paths[] = {
        {"File > New", [&] { frame_->NewClick(); }},
        {"File > Open", [&] { OpenProject(projects_ / "b" / "plant.kzp"); }},
        {"program read from the PLC",
         [&] {
             ASSERT_TRUE(frame_->RunCommand("MmTrans"));
             _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kRead);
             QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
             ASSERT_TRUE(PumpUntil([] { return _TransData->JobNo == 0 && !_TransData->QelCom->IsOpen(); }));
             QCoreApplication::processEvents();
             ASSERT_EQ(gQel.Named, 0);
         }},
        {"batch compile test",
         [&] {
             frame_->MmFileCompileTest->trigger();
             ASSERT_NE(_FileCompileTest, nullptr);
             _FileCompileTest->SetFolder(QString::fromStdString((projects_ / "batch").string()));
             ASSERT_EQ(_FileCompileTest->FileListBox->count(), 1);
             QTest::mouseClick(_FileCompileTest->ExtBtn, Qt::LeftButton);
             ASSERT_TRUE(PumpUntil([] { return !_FileCompileTest->Running(); }));
             _FileCompileTest->close();
             ASSERT_EQ(gQel.ProgramFileName, (projects_ / "batch" / "plant.kzp").string());
         }},
    };
    int n = 0;
    for (const auto& p : paths) {
        SCOPED_TRACE(p.path);
        ASSERT_NO_FATAL_FAILURE(dirty());
        ASSERT_NO_FATAL_FAILURE(p.replace());
        // The windows: the ladder drawn again, the comments, the title page,
        // the register view and the template.
        if (gProgramUsed != 0) {
            ASSERT_EQ(ConvertCodeToLadder(), 0);  // Convert > List to ladder
        }
        for (std::int32_t r = 0; r < gLadderRowCount; ++r)
            EXPECT_FALSE(IsBlockCommentRow(gLadderRows + static_cast<std::size_t>(r) * kLdbRowBytes)) << r;
        for (const std::string& c : gQel.RungComments) EXPECT_EQ(c, "");
        EXPECT_EQ(GetCommentByDeviceName("X0"), "");
        EXPECT_EQ(gQel.Title, "");
        EXPECT_EQ(gQel.Company, "");
        EXPECT_EQ(ShownD3(), "0");
        EXPECT_EQ(ShownTemplate(7), "0");
        CloseSideWindows();
        // Its files, saved.
        const fs::path next = projects_ / ("next" + std::to_string(++n)) / "next.kzp";
        SaveProjectAs(next);
        for (const char* ext : {".lad", ".lmt", ".smt", ".rcm"}) {
            const std::string text = FileText(fs::path(next).replace_extension(ext));
            for (const char* word : {"Motor", "abc", "Pump", "Plant line", "Plant works"})
                EXPECT_EQ(text.find(word), std::string::npos) << ext << " holds " << word;
        }
        EXPECT_LE(SavedD3(fs::path(next).replace_extension(".kzl")), 0);
        EXPECT_LE(SavedTemplate(fs::path(next).replace_extension(".qft"), 7), 0);
    }
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Template values typed and given up when a read from the PLC replaced the
// project: the next template is the new project's, with nothing to save, and
// the old project's template file stays as it was saved.
TEST_F(ProjectValuesTest, TemplateChangesGivenUpForAReadFromThePlcGoWithTheirProject) {
    const fs::path plant = projects_ / "plant.kzp", qft = projects_ / "plant.qft";
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(plant);
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));
    TypeInCell(_FileTmp->PgRegGrid, 8, "5");  // not saved
    ASSERT_EQ(_FileTmp->Modified, 1);
    std::copy(gProgram, gProgram + gProgramUsed, emu_.S.program.begin());

    ASSERT_TRUE(frame_->RunCommand("MmTrans"));
    _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kRead);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);  // the template's changes may go
    QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([] { return _TransData->JobNo == 0 && !_TransData->QelCom->IsOpen(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    ASSERT_EQ(gQel.Named, 0);

    EXPECT_EQ(ShownTemplate(7), "0");
    EXPECT_EQ(ShownTemplate(8), "0");
    EXPECT_EQ(_FileTmp->Modified, 0);
    EXPECT_EQ(_FileTmp->SaveFileName, fs::path(gQel.ProgramFileName).replace_extension(".qft").string());
    messages_.Clear();
    CloseSideWindows();
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_EQ(SavedTemplate(qft, 7), 9);
    EXPECT_EQ(SavedTemplate(qft, 8), 0);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Template changes a freed window left unsaved, given up for a program read
// from the PLC, went with their project: a new model setting of the project
// read saves none of its own (cleared) values over the old project's template.
TEST_F(ProjectValuesTest, TemplateChangesLeftByAFreedWindowAreNotSavedOverTheirProjectAfterAPlcRead) {
    const fs::path plant = projects_ / "plant.kzp", qft = projects_ / "plant.qft";
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(plant);
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));
    TypeInCell(_FileTmp->PgRegGrid, 8, "5");  // not saved
    // An Open that cannot read its file frees the window, its changes neither
    // saved nor given up.
    messages_.QueueAnswer(qel::Answer::No);
    dialogs_.QueuePath((projects_ / "missing.kzp").string());
    frame_->OpenClick();
    ASSERT_EQ(_FileTmp, nullptr);
    ASSERT_EQ(gQel.ProgramFileName, plant.string());
    std::copy(gProgram, gProgram + gProgramUsed, emu_.S.program.begin());

    ASSERT_TRUE(frame_->RunCommand("MmTrans"));
    _TransDataForm->WorkType->setCurrentIndex(TTransDataForm::kRead);
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::No);  // the template's changes may go
    QTest::mouseClick(_TransDataForm->OkBtn, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([] { return _TransData->JobNo == 0 && !_TransData->QelCom->IsOpen(); }));
    QCoreApplication::processEvents();
    ASSERT_EQ(messages_.Asked().size(), 1u);
    ASSERT_EQ(gQel.Named, 0);

    messages_.Clear();
    ASSERT_TRUE(frame_->ApplyModelSetting(1, 2, false));
    EXPECT_EQ(SavedTemplate(qft, 7), 9);
    EXPECT_EQ(SavedTemplate(qft, 8), 0);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Save As, then File > Open of the old name: the old project's side files are
// as they were saved under it, and the values changed since (shown under the
// new name) are asked about once and saved under the new name only.
TEST_F(ProjectValuesTest, TheOldNameOpenedAfterSaveAsShowsItsOwnSavedValues) {
    const fs::path plant = projects_ / "a" / "plant.kzp", moved = projects_ / "c" / "moved.kzp";
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(plant);
    ASSERT_NO_FATAL_FAILURE(TypeD3("77"));
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));
    ASSERT_NO_FATAL_FAILURE(TypeD3("78", false));
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TypeInCell(_FileTmp->PgRegGrid, 7, "10");  // not saved either
    ASSERT_EQ(_FileTmp->Modified, 1);
    SaveProjectAs(moved);

    messages_.Clear();
    // Each window asks once about its changes, then (its File > Save) about
    // the file there, which holds the values saved last.
    for (int i = 0; i < 4; ++i) messages_.QueueAnswer(qel::Answer::Yes);
    OpenProject(plant);
    EXPECT_EQ(messages_.Asked().size(), 4u) << ::testing::PrintToString(messages_.Asked());
    for (const std::string& q : messages_.Asked()) EXPECT_NE(q.find("moved"), std::string::npos) << q;
    EXPECT_EQ(ShownD3(), "77");
    EXPECT_EQ(ShownTemplate(7), "9");
    EXPECT_EQ(SavedD3(fs::path(plant).replace_extension(".kzl")), 77);
    EXPECT_EQ(SavedTemplate(fs::path(plant).replace_extension(".qft"), 7), 9);
    EXPECT_EQ(SavedD3(fs::path(moved).replace_extension(".kzl")), 78);
    EXPECT_EQ(SavedTemplate(fs::path(moved).replace_extension(".qft"), 7), 10);
    CloseSideWindows();
    OpenProject(moved);
    EXPECT_EQ(ShownD3(), "78");
    EXPECT_EQ(ShownTemplate(7), "10");
    CloseSideWindows();
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// Save As over another project while the register view and the template are
// open, their values saved: that project's side files are kept as backups,
// ours stand under its name, and closing the windows asks nothing.
TEST_F(ProjectValuesTest, SaveAsOverAnotherProjectWithTheWindowsOpenWritesTheirValuesThere) {
    const fs::path other = projects_ / "b" / "other.kzp";
    PutProgram({"LD X2", "OUT Y2", "END"});
    SaveProjectAs(other);
    ASSERT_NO_FATAL_FAILURE(TypeD3("11"));
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "2"));
    CloseSideWindows();

    frame_->NewClick();
    PutProgram({"LD X0", "OUT Y0", "END"});
    SaveProjectAs(projects_ / "a" / "plant.kzp");
    ASSERT_NO_FATAL_FAILURE(TypeD3("77"));
    ASSERT_NO_FATAL_FAILURE(TypeTemplate(7, "9"));
    SaveProjectAs(other, true);
    EXPECT_EQ(SavedD3(fs::path(other).replace_extension(".kl~")), 11);
    EXPECT_EQ(SavedTemplate(fs::path(other).replace_extension(".qf~"), 7), 2);
    EXPECT_EQ(SavedD3(fs::path(other).replace_extension(".kzl")), 77);
    EXPECT_EQ(SavedTemplate(fs::path(other).replace_extension(".qft"), 7), 9);
    messages_.Clear();
    CloseSideWindows();
    EXPECT_TRUE(messages_.Asked().empty()) << ::testing::PrintToString(messages_.Asked());
    OpenProject(other);
    EXPECT_EQ(ShownD3(), "77");
    EXPECT_EQ(ShownTemplate(7), "9");
    CloseSideWindows();
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

namespace {
// The permission bits each new file a save wrote had as soon as it was
// created, before its contents went in, by the name it replaces.
std::map<std::string, unsigned>& ModesAtCreation() {
    static std::map<std::string, unsigned> modes;
    return modes;
}
}  // namespace

// A file its owner made private stays so: the backup a save keeps of it, and
// the register data a Save As takes to the new name (written by the window
// left open, or carried), or keeps of the project saved over, are no more
// open than the file whose contents they hold, not even while they are written.
TEST_F(ProjectValuesTest, BackupsAndCarriedFilesAreAsPrivateAsTheFilesTheyKeep) {
    const mode_t umaskBefore = ::umask(022);  // new files get 0644
    struct Row {
        const char* name;
        std::function<void(const fs::path& dir)> steps;
        // The files afterwards and their permission bits.
        std::vector<std::pair<const char*, unsigned>> files;
    };
    const auto edited = [&] {
        PutProgram({"LD X1", "OUT Y1", "END"});
        gQel.Modified = 1;
    };
    const Row rows[] = {
        {"File > Save keeps the program's backup private",
         [&](const fs::path& dir) {
             OpenProject(dir / "plant.kzp");
             PutProgram({"LD X1", "OUT Y1", "END"});
             gQel.Modified = 1;
             ASSERT_TRUE(frame_->RunCommand("MmSave"));
         },
         {{"plant.kz~", 0600}}},
        {"Save As carries the register data privately",
         [&](const fs::path& dir) { SaveProjectAs(dir / "moved.kzp"); }, {{"moved.kzl", 0600}}},
        {"Save As with the register view open writes its values privately",
         [&](const fs::path& dir) {
             ASSERT_EQ(ShownD3(), "5");
             SaveProjectAs(dir / "moved.kzp");
         },
         {{"moved.kzl", 0600}}},
        {"Save As over another project keeps its private register data privately",
         [&](const fs::path& dir) {
             frame_->NewClick();
             SaveProjectAs(dir / "other.kzp");
             ASSERT_NO_FATAL_FAILURE(TypeD3("6"));
             CloseSideWindows();
             fs::permissions(dir / "other.kzl", fs::perms::owner_read | fs::perms::owner_write);
             OpenProject(dir / "plant.kzp");
             SaveProjectAs(dir / "other.kzp", true);
             ASSERT_EQ(SavedD3(dir / "other.kl~"), 6);
         },
         {{"other.kl~", 0600}}},
        {"Save As over another project whose files are all private keeps each of them private",
         [&](const fs::path& dir) {
             frame_->NewClick();
             SaveProjectAs(dir / "other.kzp");
             ASSERT_NO_FATAL_FAILURE(TypeD3("6"));
             CloseSideWindows();
             for (const auto& f : fs::directory_iterator(dir))
                 if (f.path().stem() == "other") fs::permissions(f.path(), fs::perms::owner_read | fs::perms::owner_write);
             // The register data carried is open to all; the file it replaces was not.
             fs::permissions(dir / "plant.kzl", fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
             OpenProject(dir / "plant.kzp");
             SaveProjectAs(dir / "other.kzp", true);
             ASSERT_EQ(SavedD3(dir / "other.kzl"), 5);
         },
         {{"other.kzp", 0600}, {"other.kz~", 0600}, {"other.lad", 0600}, {"other.rcm", 0600}, {"other.dev", 0600},
          {"other.sfc", 0600}, {"other.kzl", 0600}, {"other.kl~", 0600}}},
        {"File > Save keeps a private comment file private and leaves the others as they were",
         [&](const fs::path& dir) {
             fs::permissions(dir / "plant.rcm", fs::perms::owner_read | fs::perms::owner_write);
             edited();
             ASSERT_TRUE(frame_->RunCommand("MmSave"));
         },
         {{"plant.rcm", 0600}, {"plant.lad", 0644}, {"plant.kzp", 0600}, {"plant.kz~", 0600}}},
        {"File > Save of a program with group write and set-user-id bits carries only the permission bits",
         [&](const fs::path& dir) {
             ASSERT_EQ(::chmod((dir / "plant.kzp").c_str(), 04764), 0);
             edited();
             ASSERT_TRUE(frame_->RunCommand("MmSave"));
         },
         {{"plant.kzp", 0764}, {"plant.kz~", 0764}}},
        {"Save As to a new name under a private umask",
         [&](const fs::path& dir) {
             const mode_t before = ::umask(077);
             SaveProjectAs(dir / "fresh.kzp");
             ::umask(before);
         },
         {{"fresh.kzp", 0600}, {"fresh.lad", 0600}, {"fresh.dev", 0600}, {"fresh.kzl", 0600}}},
        {"File > Save creates the private program's new file and its backup private before writing them",
         [&](const fs::path&) {
             edited();
             ModesAtCreation().clear();
             ASSERT_TRUE(frame_->RunCommand("MmSave"));
             EXPECT_EQ(ModesAtCreation()["plant.kzp"], 0600u);
             EXPECT_EQ(ModesAtCreation()["plant.kz~"], 0600u);
             EXPECT_EQ(ModesAtCreation()["plant.lad"], 0644u) << "a file open to all is written as it was";
         },
         {{"plant.kzp", 0600}, {"plant.kz~", 0600}}},
        {"Save As creates the register data it carries private before writing it",
         [&](const fs::path& dir) {
             ModesAtCreation().clear();
             SaveProjectAs(dir / "moved.kzp");
             EXPECT_EQ(ModesAtCreation()["moved.kzl"], 0600u);
             EXPECT_EQ(ModesAtCreation()["moved.kzp"], 0644u) << "a new program file gets the usual bits";
         },
         {{"moved.kzl", 0600}}},
    };
    // What each new file is as soon as it is created, before its contents go in.
    qelfile::SetTempCreatedFunction([](const fs::path& target, const fs::path& tmp) {
        struct stat st {};
        if (::stat(tmp.c_str(), &st) == 0) ModesAtCreation()[target.filename().string()] |= st.st_mode & 07777;
    });
    const struct HookOff {
        ~HookOff() { qelfile::SetTempCreatedFunction(nullptr); }
    } hookOff;
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path dir = projects_ / ("r" + std::to_string(n++));
        frame_->NewClick();
        PutProgram({"LD X0", "OUT Y0", "END"});
        SaveProjectAs(dir / "plant.kzp");
        ASSERT_NO_FATAL_FAILURE(TypeD3("5"));
        CloseSideWindows();
        for (const char* f : {"plant.kzp", "plant.kzl"})
            fs::permissions(dir / f, fs::perms::owner_read | fs::perms::owner_write);
        OpenProject(dir / "plant.kzp");
        row.steps(dir);
        CloseSideWindows();
        for (const auto& [file, mode] : row.files) {
            SCOPED_TRACE(file);
            ASSERT_TRUE(fs::exists(dir / file));
            struct stat st {};
            ASSERT_EQ(::stat((dir / file).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, mode);
        }
    }
    // A file that had none gets the usual bits.
    EXPECT_EQ(fs::status(projects_ / "r0" / "plant.kzp").permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(projects_ / "r1" / "moved.kzp").permissions() & fs::perms::mask,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    ::umask(umaskBefore);
    EXPECT_FALSE(messages_.WasShown(gMsgTable.Get(kMsgFileSaveFailed)));
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}
