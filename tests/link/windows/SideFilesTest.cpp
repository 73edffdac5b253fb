// The register view's and the template's files beside the program file the
// user opened or saved last, and the file-register card of the model setting:
// values it would drop are asked about, the template window follows it, and
// every template the window writes is one its reader takes.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <iterator>
#include <tuple>

#include "link/jobs/Fileregs.h"
#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "link/jobs/Registerdata.h"
#include "link/windows/Devreg.h"
#include "link/windows/Filetmp.h"
#include "shell/Machinesetfrm.h"
#include "tests/link/windows/LinkWindowFixture.h"

namespace fs = std::filesystem;

namespace {

QString Cell(QTableView* grid, int i) {
    return grid->model()->data(grid->model()->index(i / 10, i % 10), Qt::DisplayRole).toString();
}

class SideFilesTest : public LinkWindowTest {
protected:
    void SetUp() override {
        LinkWindowTest::SetUp();
        StartFrame();
        InstallRegisterView(frame_.get());
        InstallFileTemplate(frame_.get());
    }
    void Open(const fs::path& program) {
        // The program's Open (the frame's File > Open routes to an active
        // register view or template's own).
        dialogs_.QueuePath(program.string());
        frame_->OpenClick();
        ASSERT_EQ(gQel.ProgramFileName, program.string());
    }
    // A new project of `family` (file registers with or without the card),
    // saved as `program`.
    void NewProject(int family, bool card, const fs::path& program) {
        frame_->NewClick();
        ASSERT_TRUE(frame_->ApplyModelSetting(family, 0, card));
        dialogs_.QueuePath(program.string());
        ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
    }
    static std::string Bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static qel::link::TQftRead ReadTemplate(const fs::path& path, int family, qel::link::TFileTemplate& t) {
        return qel::link::ReadQftFile(path, family, t);
    }
};

}  // namespace

TEST_F(SideFilesTest, RegisterDataAndTemplateAreFoundAndSavedBesideTheProgramOpenedLast) {
    const fs::path a = projects_ / "a", b = projects_ / "b", c = projects_ / "c";
    for (const auto& d : {a, b, c}) fs::create_directories(d);
    frame_->NewClick();
    ASSERT_TRUE(frame_->ApplyModelSetting(2, 0, false));
    const std::string plant = SaveProgram(a / "plant.kzp", {"LD X0", "OUT Y0", "END"}, true);

    // Opened from a: D3 = 77 and template value 7 = 9 go to a/plant.kzl and a/plant.qft.
    Open(plant);
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_NE(_DevReg, nullptr);
    TypeInCell(_DevReg->RegGrid, 3, "77");
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_TRUE(fs::exists(a / "plant.kzl"));
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_NE(_FileTmp, nullptr);
    TypeInCell(_FileTmp->PgRegGrid, 7, "9");
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_TRUE(fs::exists(a / "plant.qft"));

    // Another project saved in b: the save folder is b from now on. Its
    // windows find nothing saved for it: zeros, and no message.
    const std::string other = SaveProgram(b / "other.kzp", {"LD X1", "OUT Y1", "END"}, true);
    Open(other);
    messages_.Clear();
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    EXPECT_EQ(_DevReg->CellText(1, 4), "0");
    EXPECT_TRUE(messages_.Shown().empty());

    // Opened from a again: both windows show what was saved beside it.
    Open(plant);
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_NE(_DevReg, nullptr);
    EXPECT_EQ(_DevReg->CellText(1, 4), "77");
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_NE(_FileTmp, nullptr);
    EXPECT_EQ(Cell(_FileTmp->PgRegGrid, 7), "9");
    // Their next save goes there too (Yes: overwrite), not to the save folder.
    TypeInCell(_FileTmp->PgRegGrid, 8, "4");
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(_FileTmp->SaveWithPrompt());
    qel::link::TFileTemplate t;
    ASSERT_EQ(ReadTemplate(a / "plant.qft", 2, t), qel::link::TQftRead::Ok);
    EXPECT_EQ(t.values[8], 4);
    EXPECT_FALSE(fs::exists(b / "plant.qft"));
    EXPECT_FALSE(fs::exists(b / "plant.kzl"));

    // The program saved as c/moved.kzp: the windows' files move with it.
    dialogs_.QueuePath((c / "moved.kzp").string());
    frame_->SaveAsClick();
    ASSERT_EQ(gQel.ProgramFileName, (c / "moved.kzp").string());
    EXPECT_EQ(_DevReg->SaveFileName, (c / "moved.kzl").string());
    EXPECT_EQ(_FileTmp->SaveFileName, (c / "moved.qft").string());
    // The program's save wrote the values shown beside it: the view's own
    // save asks before it writes over them.
    messages_.QueueAnswer(qel::Answer::Yes);
    EXPECT_TRUE(_DevReg->SaveRegisterFile());
    qel::link::TRegisterData read;
    ASSERT_EQ(qel::link::ReadRegisterFile((c / "moved.kzl").string(), 2, read), qel::link::TRegFileResult::Ok);
    EXPECT_EQ(read.DRegs[3], 77);

    // A file chosen in a window's Open that is not there says so, and is
    // never "read completed" with nothing read.
    for (auto open : {std::function<void()>([] { _DevReg->OpenRegisterFile(); }),
                      std::function<void()>([] { _FileTmp->OpenWithPrompt(); })}) {
        const std::string gone = (projects_ / "gone.kzl").string();
        messages_.Clear();
        dialogs_.QueuePath(gone);
        open();
        ASSERT_EQ(messages_.Shown().size(), 1u);
        EXPECT_EQ(messages_.Shown()[0], gMsgTable.Get(kMsgFileOpenFailed) + " " + gone);
    }
    EXPECT_EQ(_DevReg->CellText(1, 4), "77");
    EXPECT_EQ(Cell(_FileTmp->PgRegGrid, 7), "9");
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(SideFilesTest, ACardSettingThatWouldDropTemplateValuesAsksAndTheTemplateFollowsIt) {
    NewProject(1, true, projects_ / "press.kzp");
    const fs::path qft = projects_ / "press.qft";
    ASSERT_EQ(gFileRegCount, 32768);
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TFileTmp* w = _FileTmp;
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->ExtraMemChk->isChecked());
    TypeInCell(w->PgRegGrid, 20000, "5");
    TypeInCell(w->PgRegGrid, 7, "9");
    ASSERT_TRUE(w->SaveWithPrompt());

    // The same model without the card: value 20000 would go. Cancel keeps the
    // old setting, the dialog open for another choice, and every value.
    messages_.Clear();
    _MachineSet->open();
    _MachineSet->ExtraMemChk->setChecked(false);
    messages_.QueueAnswer(qel::Answer::Cancel);
    _MachineSet->OkBtn->click();
    ASSERT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgFileRegsBeyondSetting) + " 1 (20000)"});
    EXPECT_TRUE(_MachineSet->isVisible());
    EXPECT_EQ(gFileRegCount, 32768);
    EXPECT_EQ(gFileRegValues[20000], 5);
    EXPECT_TRUE(w->ExtraMemChk->isChecked());

    // OK drops it: the window stays, shows the new count without the card,
    // and holds a change to save; its save is a template its reader takes.
    messages_.QueueAnswer(qel::Answer::Ok);
    _MachineSet->OkBtn->click();
    EXPECT_FALSE(_MachineSet->isVisible());
    EXPECT_EQ(gFileRegCount, 10000);
    ASSERT_EQ(_FileTmp, w);
    EXPECT_FALSE(w->ExtraMemChk->isChecked());
    EXPECT_EQ(w->PgRegGrid->model()->rowCount(), 1000);
    EXPECT_EQ(w->Modified, 1);
    TypeInCell(w->PgRegGrid, 7, "8");
    messages_.QueueAnswer(qel::Answer::Yes);  // overwrite
    ASSERT_TRUE(w->SaveWithPrompt());
    qel::link::TFileTemplate t;
    ASSERT_EQ(ReadTemplate(qft, 1, t), qel::link::TQftRead::Ok);
    EXPECT_FALSE(t.extraMemory);
    ASSERT_EQ(t.values.size(), 10000u);
    EXPECT_EQ(t.values[7], 8);
    EXPECT_EQ(gQel.Modified, 0);  // the program is not changed by the card

    // The window's own card box is the same setting, asked the same way.
    QTest::mouseClick(w->ExtraMemChk, Qt::LeftButton);
    EXPECT_EQ(gFileRegCount, 32768);
    EXPECT_TRUE(w->ExtraMemChk->isChecked());
    TypeInCell(w->PgRegGrid, 30000, "3");
    messages_.Clear();
    messages_.QueueAnswer(qel::Answer::Cancel);
    QTest::mouseClick(w->ExtraMemChk, Qt::LeftButton);
    EXPECT_EQ(messages_.Asked(), std::vector<std::string>{gMsgTable.Get(kMsgFileRegsBeyondSetting) + " 1 (30000)"});
    EXPECT_TRUE(w->ExtraMemChk->isChecked());
    EXPECT_EQ(gFileRegCount, 32768);
    EXPECT_EQ(gFileRegValues[30000], 3);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

TEST_F(SideFilesTest, EveryTemplateTheWindowWritesIsReadBackByItsReader) {
    struct Setting {
        int family;
        bool card;
        std::size_t count;
    };
    for (const Setting s : {Setting{1, false, 10000}, Setting{1, true, 32768}, Setting{2, false, 1600}}) {
        SCOPED_TRACE(testing::Message() << "family " << s.family << " card " << s.card);
        const std::string name = "f" + std::to_string(s.family) + (s.card ? "card" : "");
        NewProject(s.family, s.card, projects_ / (name + ".kzp"));
        ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
        TFileTmp* w = _FileTmp;
        ASSERT_NE(w, nullptr);
        const int last = static_cast<int>(s.count) - 1;
        TypeInCell(w->PgRegGrid, last, "65535");
        ASSERT_TRUE(w->SaveWithPrompt());
        qel::link::TFileTemplate t;
        ASSERT_EQ(ReadTemplate(projects_ / (name + ".qft"), s.family, t), qel::link::TQftRead::Ok);
        EXPECT_EQ(t.values.size(), s.count);
        EXPECT_EQ(t.extraMemory, s.card);
        EXPECT_EQ(t.values.back(), 65535);

        // Family 1: the card changed in the window, then saved, still reads back.
        if (s.family == 1) {
            if (s.card) messages_.QueueAnswer(qel::Answer::Ok);  // drop the last value
            QTest::mouseClick(w->ExtraMemChk, Qt::LeftButton);
            EXPECT_NE(w->ExtraMemChk->isChecked(), s.card);
            messages_.QueueAnswer(qel::Answer::Yes);  // overwrite
            ASSERT_TRUE(w->SaveWithPrompt());
            ASSERT_EQ(ReadTemplate(projects_ / (name + ".qft"), 1, t), qel::link::TQftRead::Ok);
            EXPECT_EQ(t.extraMemory, !s.card);
            EXPECT_EQ(t.values.size(), s.card ? 10000u : 32768u);
        }
        EXPECT_TRUE(CloseWindow(w));
    }

    // A template whose card flag, family and count disagree is never written:
    // the old file stays whole.
    const fs::path kept = projects_ / "f1.qft";
    qel::link::TFileTemplate before;
    ASSERT_EQ(ReadTemplate(kept, 1, before), qel::link::TQftRead::Ok);
    EXPECT_FALSE(qel::link::WriteQftFile(
        kept, {.version = 206, .family = 1, .extraMemory = true, .values = std::vector<std::uint16_t>(10000, 1)}));
    EXPECT_FALSE(qel::link::WriteQftFile(kept, {.version = 206, .family = 2, .values = std::vector<std::uint16_t>(10000, 1)}));
    qel::link::TFileTemplate after;
    ASSERT_EQ(ReadTemplate(kept, 1, after), qel::link::TQftRead::Ok);
    EXPECT_EQ(after.values, before.values);
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}

// A project copied from a system that writes names in capitals: the register
// view and the template find PLANT.KZL and PLANT.QFT beside PLANT.KZP, and
// save into them rather than beside them.
TEST_F(SideFilesTest, RegisterDataAndTemplateNamedInCapitalsAreTheProgramsOwn) {
    frame_->NewClick();
    ASSERT_TRUE(frame_->ApplyModelSetting(2, 0, false));
    const fs::path plant = SaveProgram(projects_ / "plant.kzp", {"LD X0", "OUT Y0", "END"}, true);
    Open(plant);
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    TypeInCell(_DevReg->RegGrid, 3, "77");
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    TypeInCell(_FileTmp->PgRegGrid, 7, "9");
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    frame_->NewClick();
    for (const auto& e : std::vector<fs::directory_entry>(fs::directory_iterator(projects_), {})) {
        std::string name = e.path().filename().string();
        for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        fs::rename(e.path(), projects_ / name);
    }
    ASSERT_TRUE(fs::exists(projects_ / "PLANT.KZL"));

    Open(projects_ / "PLANT.KZP");
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_NE(_DevReg, nullptr);
    EXPECT_EQ(_DevReg->CellText(1, 4), "77");
    ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
    ASSERT_NE(_FileTmp, nullptr);
    EXPECT_EQ(Cell(_FileTmp->PgRegGrid, 7), "9");
    EXPECT_EQ(_DevReg->SaveFileName, (projects_ / "PLANT.KZL").string());
    EXPECT_EQ(_FileTmp->SaveFileName, (projects_ / "PLANT.QFT").string());

    // Beside it a file saved under the name earlier saves used for such a
    // set ("PLANT.kzl"): that one opens, as it did.
    qel::link::TRegisterData later;
    later.DRegs[3] = 55;
    ASSERT_TRUE(qel::link::WriteRegisterFile((projects_ / "PLANT.kzl").string(), later, gQel.Family, 0));
    ASSERT_TRUE(CloseWindow(_DevReg));
    ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
    ASSERT_NE(_DevReg, nullptr);
    EXPECT_EQ(_DevReg->CellText(1, 4), "55");
}

// The register view's and the template's own saves replace only what this
// run read or wrote: another run's save since is asked about (message 277;
// Cancel writes nothing and keeps the values changed), a read-only file is
// refused naming it and keeps its mode; the window's own file gets only the
// overwrite question, and one deleted since is written again.
TEST_F(SideFilesTest, AWindowsSaveReplacesOnlyWhatThisRunReadOrWrote) {
    frame_->NewClick();
    ASSERT_TRUE(frame_->ApplyModelSetting(2, 0, false));
    const std::string plant = SaveProgram(projects_ / "plant.kzp", {"LD X0", "OUT Y0", "END"}, true);
    Open(plant);
    // The window's file, and the command that shows the window.
    const std::pair<const char*, const char*> windows[] = {{".kzl", "MmViewReg"}, {".qft", "MmFileTmp"}};
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    enum Meanwhile { kNothing, kAnotherRunsSave, kMadeReadOnly, kDeleted };
    struct Row {
        const char* what;
        Meanwhile meanwhile;
        std::vector<qel::Answer> answers;
        int asked;    // the one question's message; 0: none
        int refusal;  // the one message shown; 0: none
        bool written;
    };
    const Row rows[] = {
        {"another run's save, Cancel", kAnotherRunsSave, {qel::Answer::Cancel}, kMsgChangedOnDisk, 0, false},
        {"another run's save, OK", kAnotherRunsSave, {qel::Answer::Ok}, kMsgChangedOnDisk, 0, true},
        {"read-only", kMadeReadOnly, {}, 0, kMsgFileReadOnly, false},
        {"its own file: the overwrite question", kNothing, {qel::Answer::Yes}, 146, 0, true},
        {"deleted since", kDeleted, {}, 0, 0, true},
    };
    int value = 10;
    for (const auto& [ext, command] : windows) {
        const fs::path file = projects_ / (std::string("plant") + ext);
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(ext) + ": " + row.what);
            fs::remove(file);  // each row starts from the window's first save
            ASSERT_TRUE(frame_->RunCommand(command));
            const bool reg = std::string(ext) == ".kzl";
            QTableView* grid = reg ? _DevReg->RegGrid : _FileTmp->PgRegGrid;
            // The window's file as its save writes it, then someone else's turn.
            TypeInCell(grid, 5, QString::number(++value));
            messages_.Clear();
            ASSERT_TRUE(frame_->RunCommand("MmSave"));
            ASSERT_TRUE(messages_.Asked().empty());
            std::vector<std::uint8_t> bytes;
            ASSERT_EQ(qelfile::ReadWholeFile(file, bytes), qelfile::ReadResult::Ok);
            if (row.meanwhile == kAnotherRunsSave) {
                bytes[bytes.size() - 1] ^= 0x01;  // their value of the last register
                std::ofstream(file, std::ios::binary | std::ios::trunc)
                    .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            }
            if (row.meanwhile == kMadeReadOnly) fs::permissions(file, readOnly);
            if (row.meanwhile == kDeleted) fs::remove(file);

            TypeInCell(grid, 6, QString::number(++value));
            messages_.Clear();
            for (const qel::Answer a : row.answers) messages_.QueueAnswer(a);
            ASSERT_TRUE(frame_->RunCommand("MmSave"));
            EXPECT_FALSE(messages_.UnscriptedQuestion());
            const auto said = [&](int id, const char* glue) {
                return id ? std::vector<std::string>{gMsgTable.Get(id) + glue + file.string()} : std::vector<std::string>{};
            };
            EXPECT_EQ(messages_.Asked(), said(row.asked, "\n"));
            if (!row.written) {
                EXPECT_EQ(messages_.Shown(), said(row.refusal, " "));  // and no "write completed"
            }
            if (row.refusal) {
                EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, readOnly) << "keeps its mode";
            }
            std::vector<std::uint8_t> after;
            qelfile::ReadWholeFile(file, after);
            EXPECT_EQ(after == bytes, !row.written) << "written only when the user let it";
            EXPECT_EQ(reg ? _DevReg->Modified : _FileTmp->Modified, row.written ? 0 : 1) << "values not saved stay changed";
        }
        // Let the last values go with the window.
        if (_DevReg) _DevReg->Modified = 0;
        if (_FileTmp) _FileTmp->Modified = 0;
    }
}

TEST_F(SideFilesTest, SaveAsOntoANameWhereOnlyAWindowsFileStandsAsksFirst) {
    frame_->NewClick();
    const std::string plant = SaveProgram(projects_ / "plant.kzp", {"LD X0", "OUT Y0", "END"}, true);
    Open(plant);
    // The only file named "press" in the folder, the answer, where its bytes are afterwards.
    const std::tuple<const char*, qel::Answer, const char*> rows[] = {
        {"press.kzl", qel::Answer::Cancel, "press.kzl"},
        {"PRESS.QFT", qel::Answer::Cancel, "PRESS.QFT"},
        {"press.kl~", qel::Answer::Cancel, "press.kl~"},
        {"press.qft", qel::Answer::Ok, "press.qf~"},
    };
    int n = 0;
    for (const auto& [theirs, answer, keptAs] : rows) {
        SCOPED_TRACE(theirs);
        const fs::path dir = projects_ / std::to_string(++n);
        fs::create_directories(dir);
        std::ofstream(dir / theirs, std::ios::binary) << "their values";
        messages_.Clear();
        messages_.QueueAnswer(answer);
        dialogs_.QueuePath((dir / "press").string());
        frame_->SaveAsClick();
        const std::string asked = gMsgTable.Get(kMsgReplaceProject) + " " + (dir / theirs).string();
        EXPECT_EQ(messages_.Asked(), std::vector<std::string>{asked});
        std::ifstream in(dir / keptAs, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "their values");
        EXPECT_EQ(gQel.ProgramFileName, answer == qel::Answer::Ok ? (dir / "press.kzp").string() : plant);
    }
}

// Another project's register data or template that a Save As replaced is
// kept as its backup, as message 271 said; a second Save As onto that name
// keeps that backup under another name before it writes the project's own
// file's backup there, and says where.
TEST_F(SideFilesTest, AnotherProjectsFileKeptAsBackupOutlivesTheNextSaveAsOntoItsName) {
    struct Row {
        const char* what;
        const char* theirs;
        const char* backup;
    };
    const Row rows[] = {
        {"register data", "press.kzl", "press.kl~"},
        {"template", "press.qft", "press.qf~"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path dir = projects_ / ("twice" + std::to_string(++n));
        fs::create_directories(dir);
        frame_->NewClick();
        ASSERT_TRUE(frame_->ApplyModelSetting(2, 0, false));
        const std::string plant = SaveProgram(dir / "plant.kzp", {"LD X0", "OUT Y0", "END"}, true);
        Open(plant);
        // The project's own values, saved beside it.
        if (std::string_view(row.theirs).ends_with(".kzl")) {
            ASSERT_TRUE(frame_->RunCommand("MmViewReg"));
            ASSERT_NE(_DevReg, nullptr);
            TypeInCell(_DevReg->RegGrid, 3, "77");
        } else {
            ASSERT_TRUE(frame_->RunCommand("MmFileTmp"));
            ASSERT_NE(_FileTmp, nullptr);
            TypeInCell(_FileTmp->PgRegGrid, 7, "9");
        }
        ASSERT_TRUE(frame_->RunCommand("MmSave"));
        std::ofstream(dir / row.theirs, std::ios::binary) << "their values";

        messages_.Clear();
        messages_.QueueAnswer(qel::Answer::Ok);
        dialogs_.QueuePath((dir / "press").string());
        frame_->SaveAsClick();
        ASSERT_EQ(gQel.ProgramFileName, (dir / "press.kzp").string());
        ASSERT_EQ(Bytes(dir / row.backup), "their values");
        dialogs_.QueuePath((dir / "mixer").string());
        frame_->SaveAsClick();
        ASSERT_EQ(gQel.ProgramFileName, (dir / "mixer.kzp").string());

        // Back onto press: its files are replaced again, the project's own.
        messages_.Clear();
        messages_.QueueAnswer(qel::Answer::Ok);
        dialogs_.QueuePath((dir / "press").string());
        frame_->SaveAsClick();
        EXPECT_EQ(gQel.ProgramFileName, (dir / "press.kzp").string());
        EXPECT_NE(Bytes(dir / row.backup), "their values") << "the backup keeps the project's own file now";
        std::vector<std::string> holding;
        for (const auto& e : fs::directory_iterator(dir))
            if (Bytes(e.path()) == "their values") holding.push_back(e.path().filename().string());
        EXPECT_EQ(holding.size(), 1u) << "their values are kept";
        std::vector<std::string> said;
        for (const std::string& m : messages_.Shown())
            if (m.rfind(gMsgTable.Get(kMsgBackupsKeptAside), 0) == 0) said.push_back(m);
        EXPECT_EQ(said.size(), 1u) << testing::PrintToString(messages_.Shown());
        if (holding.size() == 1 && said.size() == 1) {
            EXPECT_EQ(holding[0].rfind(std::string(row.backup) + ".", 0), 0u) << holding[0];
            EXPECT_NE(said[0].find((dir / holding[0]).string()), std::string::npos) << said[0];
        }
        EXPECT_FALSE(messages_.UnscriptedQuestion());
        if (_DevReg) _DevReg->Modified = 0;
        if (_FileTmp) _FileTmp->Modified = 0;
    }
}

// The function title typed into the register view or the template is the
// one its file gives back: a title longer than the file keeps is cut where it
// is typed, on a character boundary, so what the window shows is what opens.
TEST_F(SideFilesTest, AWindowsTitleIsTheOneItsFileGivesBack) {
    NewProject(1, false, projects_ / "titled.kzp");
    const std::string typed = "a" + [] {
        std::string s;
        for (int i = 0; i < 20; ++i) s += "档";
        return s;
    }();  // 61 bytes
    std::string kept = typed.substr(0, 58);  // "a" and 19 characters: 58 bytes
    ASSERT_EQ(kept.size(), 58u);
    auto asked = [&](const std::string&, const std::string&) { return std::optional<std::string>(typed); };
    struct Row {
        const char* name;
        std::function<std::string()> typeSaveAndRead;  // the title shown, then the title read back
    };
    std::string shown;
    const Row rows[] = {
        {"template",
         [&] {
             EXPECT_TRUE(frame_->RunCommand("MmFileTmp"));
             _FileTmp->AskTitle = asked;
             _FileTmp->FunTitleBtnClick();
             shown = _FileTmp->Title;
             EXPECT_TRUE(_FileTmp->SaveWithPrompt());
             qel::link::TFileTemplate t;
             EXPECT_EQ(ReadTemplate(projects_ / "titled.qft", 1, t), qel::link::TQftRead::Ok);
             EXPECT_TRUE(CloseWindow(_FileTmp));
             return t.title;
         }},
        {"register view",
         [&] {
             EXPECT_TRUE(frame_->RunCommand("MmViewReg"));
             _DevReg->AskTitle = asked;
             _DevReg->FunTitleBtnClick();
             shown = _DevReg->Data.Title;
             EXPECT_TRUE(_DevReg->SaveRegisterFile());
             qel::link::TRegisterData d;
             EXPECT_EQ(qel::link::ReadRegisterFile((projects_ / "titled.kzl").string(), 1, d),
                       qel::link::TRegFileResult::Ok);
             EXPECT_TRUE(CloseWindow(_DevReg));
             return d.Title;
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string read = row.typeSaveAndRead();
        EXPECT_EQ(read, kept);
        EXPECT_EQ(shown, read);
    }
    EXPECT_FALSE(messages_.UnscriptedQuestion());
}
