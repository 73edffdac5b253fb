// A save writes the project the user opened and nothing beside it: Save As
// asks before it writes over another project's files, whatever name was
// typed; a program opened from a backup is saved under a name the user
// chooses; a set whose names are in capitals is read and written under its
// own names; the recent list opens the same file from any folder; the
// previous version a failed roll-back kept aside outlives the next save.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include <QAction>
#include <QMenu>

#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"
#include "shell/Startup.h"
#include "tests/shell/FrameFixture.h"

namespace fs = std::filesystem;
using qel::Answer;

namespace {

constexpr int kMsgReplaceProject = 271;

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> Folder(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.is_directory()) {
            files[e.path().filename().string()] = "(folder)";
            continue;
        }
        std::ifstream in(e.path(), std::ios::binary);
        files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

std::vector<std::uint8_t> Image() { return {gProgram, gProgram + gProgramCapacity}; }

// The program image a program file holds (behind its header and length).
std::vector<std::uint8_t> ImageIn(const fs::path& kzp) {
    std::ifstream in(kzp, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (bytes.size() < 132) return {};
    return {bytes.begin() + 132, bytes.end()};
}

class FrameFileSetTest : public FrameTest {
protected:
    // A project with every file of its set: a program, a title, a device and a
    // rung comment; saved through Save As at `path`.
    void SaveWholeProject(const fs::path& path, std::initializer_list<const char*> lines, const std::string& comment) {
        frame_->NewClick();
        PutProgram(lines);
        gQel.Title = comment;
        ASSERT_TRUE(SetDeviceComment("X0", comment));
        gQel.RungComments.assign(1, comment);
        dialogs_.QueuePath(path.string());
        ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
        ASSERT_EQ(gQel.ProgramFileName, path.string());
    }
    void OpenThrough(const fs::path& path) {
        dialogs_.QueuePath(path.string());
        ASSERT_TRUE(frame_->RunCommand("MmOpen"));
    }
    // The questions asked that name the replacement of `path`.
    int ReplaceQuestions(const fs::path& path) const {
        int n = 0;
        for (const std::string& q : messages_.Asked())
            if (q.rfind(gMsgTable.Get(kMsgReplaceProject), 0) == 0 && q.find(path.string()) != std::string::npos) ++n;
        return n;
    }
};

}  // namespace

TEST_F(FrameFileSetTest, SaveAsOntoAnotherProjectAsksWhateverIsTypedAndCarriesTheNameWritten) {
    ASSERT_TRUE(Start());
    const fs::path press = projects_ / "press.kzp";
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(press, {"LD X0", "OUT Y0", "END"}, "press"));
    ASSERT_EQ(Folder(projects_).size(), 8u) << "the whole set of press";
    const auto pressSet = Folder(projects_);

    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "mixer.kzp", {"LD X1", "OUT Y1", "END"}, "mixer"));
    const auto mixer = Image();
    gQel.Modified = 1;
    // Cancel keeps press whole and the open project as it was, however the
    // name was typed: without extension, with it, in other letter case.
    for (const fs::path& typed : {projects_ / "press", press, projects_ / "PRESS.kzp"}) {
        SCOPED_TRACE(typed.string());
        messages_.Clear();
        messages_.QueueAnswer(Answer::Cancel);
        dialogs_.QueuePath(typed.string());
        frame_->RunCommand("MmSaveAs");
        EXPECT_EQ(messages_.Asked().size(), 1u);
        EXPECT_EQ(ReplaceQuestions(press), 1) << "the question names the project written over";
        EXPECT_FALSE(messages_.UnscriptedQuestion());
        for (const auto& [name, bytes] : pressSet) EXPECT_EQ(Folder(projects_).at(name), bytes) << name;
        EXPECT_FALSE(fs::exists(projects_ / "PRESS.kzp"));
        EXPECT_EQ(gQel.ProgramFileName, (projects_ / "mixer.kzp").string());
        EXPECT_EQ(gQel.Modified, 1);
    }

    // Another extension is a name of its own: the program file written is
    // that name with ".kzp", and it is what the project, caption and recent
    // list carry.
    messages_.Clear();
    dialogs_.QueuePath((projects_ / "press.v2").string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    EXPECT_TRUE(messages_.Asked().empty());
    const fs::path v2 = projects_ / "press.v2.kzp";
    EXPECT_EQ(gQel.ProgramFileName, v2.string());
    EXPECT_EQ(ImageIn(v2), mixer);
    ASSERT_FALSE(gQel.RecentFiles.empty());
    EXPECT_EQ(gQel.RecentFiles[0], v2.string());
    EXPECT_TRUE(frame_->windowTitle().contains("press.v2.kzp"));
    for (const auto& [name, bytes] : pressSet) EXPECT_EQ(Folder(projects_).at(name), bytes) << name;

    // OK writes over press, and every file it replaces is kept as its backup.
    messages_.Clear();
    messages_.QueueAnswer(Answer::Ok);
    dialogs_.QueuePath((projects_ / "press").string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    EXPECT_EQ(ReplaceQuestions(press), 1);
    EXPECT_EQ(gQel.ProgramFileName, press.string());
    EXPECT_EQ(ImageIn(press), mixer);
    const auto after = Folder(projects_);
    for (const auto& [file, backup] : {std::pair{"press.kzp", "press.kz~"}, std::pair{"press.lad", "press.la~"},
                                       std::pair{"press.lab", "press.lb~"}, std::pair{"press.rcm", "press.rc~"},
                                       std::pair{"press.lmt", "press.lm~"}, std::pair{"press.smt", "press.sm~"},
                                       std::pair{"press.dev", "press.dv~"}, std::pair{"press.sfc", "press.sf~"}}) {
        ASSERT_EQ(after.count(backup), 1u) << backup;
        EXPECT_EQ(after.at(backup), pressSet.at(file)) << backup;
    }

    // Saving the project's own set again asks nothing.
    messages_.Clear();
    dialogs_.QueuePath(press.string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    EXPECT_TRUE(messages_.Asked().empty());
}

TEST_F(FrameFileSetTest, AProgramOpenedFromItsBackupIsSavedUnderANameTheUserChooses) {
    ASSERT_TRUE(Start());
    const fs::path plant = projects_ / "plant.kzp";
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(plant, {"LD X0", "OUT Y0", "END"}, "first"));
    const auto first = Image();
    PutProgram({"LD X1", "OUT Y1", "END"});
    gQel.Modified = 1;
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    const auto current = Folder(projects_);

    frame_->NewClick();
    ASSERT_NO_FATAL_FAILURE(OpenThrough(projects_ / "plant.kz~"));
    ASSERT_EQ(Image(), first);
    gQel.Modified = 1;
    // Save asks for a name; the one offered is the project's, and taking it
    // asks before the current version is replaced. Cancel keeps it.
    const int dialogs = dialogs_.Calls();
    messages_.Clear();
    messages_.QueueAnswer(Answer::Cancel);
    dialogs_.QueuePath(plant.string());
    frame_->RunCommand("MmSave");
    EXPECT_EQ(dialogs_.Calls(), dialogs + 1) << "Save of a backup goes through Save As";
    EXPECT_EQ(dialogs_.LastOffered(), plant.string());
    EXPECT_EQ(ReplaceQuestions(plant), 1);
    EXPECT_EQ(Folder(projects_), current) << "the current version and its backups stay";
    EXPECT_EQ(gQel.Modified, 1);

    // Under a name of its own it is saved, and from then on Save writes there.
    messages_.Clear();
    dialogs_.QueuePath((projects_ / "plant-first").string());
    EXPECT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(gQel.ProgramFileName, (projects_ / "plant-first.kzp").string());
    EXPECT_EQ(ImageIn(projects_ / "plant-first.kzp"), first);
    for (const auto& [name, bytes] : current) EXPECT_EQ(Folder(projects_).at(name), bytes) << name;
    gQel.Modified = 1;
    EXPECT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(dialogs_.Calls(), dialogs + 2);
    EXPECT_TRUE(messages_.Asked().empty());
}

TEST_F(FrameFileSetTest, ASetNamedInCapitalsIsReadAndSavedUnderItsOwnNames) {
    ASSERT_TRUE(Start());
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "plant.kzp", {"LD X0", "OUT Y0", "END"}, "Pump"));
    frame_->NewClick();
    // As copied from a system that writes names in capitals; one companion in
    // a case of its own.
    std::vector<fs::path> saved;
    for (const auto& e : fs::directory_iterator(projects_)) saved.push_back(e.path());
    for (const fs::path& file : saved) {
        std::string name = file.filename().string();
        for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (name == "PLANT.RCM") name = "Plant.Rcm";
        fs::rename(file, projects_ / name);
    }
    const fs::path plant = projects_ / "PLANT.KZP";
    messages_.Clear();
    ASSERT_NO_FATAL_FAILURE(OpenThrough(plant));
    EXPECT_TRUE(messages_.Shown().empty());
    EXPECT_EQ(GetDeviceComment('X', 0), "Pump");
    EXPECT_NE(std::find(gQel.RungComments.begin(), gQel.RungComments.end(), "Pump"), gQel.RungComments.end());
    EXPECT_EQ(gQel.ProgramFileName, plant.string());

    PutProgram({"LD X2", "OUT Y2", "END"});
    const auto typed = Image();
    ASSERT_TRUE(SetDeviceComment("X2", "Valve"));
    const int dialogs = dialogs_.Calls();
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_EQ(dialogs_.Calls(), dialogs);
    std::set<std::string> names;
    for (const auto& [name, bytes] : Folder(projects_)) names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{"PLANT.KZP", "PLANT.LAD", "PLANT.LAB", "Plant.Rcm", "PLANT.LMT",
                                            "PLANT.SMT", "PLANT.DEV", "PLANT.SFC", "PLANT.KZ~", "PLANT.LA~",
                                            "PLANT.LB~", "PLANT.RC~", "PLANT.LM~", "PLANT.SM~", "PLANT.DV~",
                                            "PLANT.SF~"}))
        << "the set's own names, nothing beside them";

    // Save As offers the program file under its own name.
    dialogs_.QueuePath("");
    frame_->RunCommand("MmSaveAs");
    EXPECT_EQ(dialogs_.LastOffered(), plant.string());

    // The name in the recent list opens what was saved.
    frame_->NewClick();
    frame_->RecentMenu->actions().at(0)->trigger();
    EXPECT_EQ(gQel.ProgramFileName, plant.string());
    EXPECT_EQ(Image(), typed);
    EXPECT_EQ(GetDeviceComment('X', 2), "Valve");
}

TEST_F(FrameFileSetTest, TheRecentListOpensTheSameFileFromARunStartedInAnotherFolder) {
    ASSERT_TRUE(Start());
    fs::create_directories(projects_ / "site1");
    fs::create_directories(projects_ / "site2");
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "site1" / "plant.kzp", {"LD X1", "OUT Y1", "END"}, "one"));
    const auto site1 = Image();
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "site2" / "plant.kzp", {"LD X2", "OUT Y2", "END"}, "two"));
    frame_->close();
    frame_.reset();

    // The folder each run is started in, put back whatever the test finds.
    struct Folder {
        fs::path started = fs::current_path();
        ~Folder() { fs::current_path(started); }
    } keep;
    fs::current_path(projects_ / "site1");
    frame_.reset(StartQel({"plant.kzp"}, TStartupOptions{false, 0}));
    fs::current_path(projects_ / "site2");
    ASSERT_TRUE(frame_);
    EXPECT_EQ(gQel.ProgramFileName, (projects_ / "site1" / "plant.kzp").string());
    ASSERT_FALSE(gQel.RecentFiles.empty());
    EXPECT_EQ(gQel.RecentFiles[0], (projects_ / "site1" / "plant.kzp").string());
    frame_->NewClick();
    frame_->RecentMenu->actions().at(0)->trigger();
    EXPECT_EQ(Image(), site1) << "the entry opens the file it was made for";
}

// "plant.kzp" with its set, and beside it only "PLANT.KZP" (a set copied
// half): the capitals' program is saved into a set of its own, never into
// the companions of the other.
TEST_F(FrameFileSetTest, TwoProgramsDifferingOnlyInCaseNeverWriteIntoEachOthersSet) {
    ASSERT_TRUE(Start());
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "plant.kzp", {"LD X0", "OUT Y0", "END"}, "lower"));
    frame_->NewClick();
    fs::copy_file(projects_ / "plant.kzp", projects_ / "PLANT.KZP");
    const auto lower = Folder(projects_);
    ASSERT_NO_FATAL_FAILURE(OpenThrough(projects_ / "PLANT.KZP"));
    ASSERT_TRUE(SetDeviceComment("X1", "upper"));
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    for (const auto& [name, bytes] : lower)
        if (name != "PLANT.KZP") {
            EXPECT_EQ(Folder(projects_).at(name), bytes) << name << " of the other set changed";
        }
    EXPECT_TRUE(fs::exists(projects_ / "PLANT.RCM"));
    frame_->NewClick();
    ASSERT_NO_FATAL_FAILURE(OpenThrough(projects_ / "PLANT.KZP"));
    EXPECT_EQ(GetDeviceComment('X', 1), "upper");
}

// A program file opened through a link is the project the link names: its
// comments are read from beside the file linked to, and saved there.
TEST_F(FrameFileSetTest, AProgramOpenedThroughALinkIsTheSetBesideTheFileLinkedTo) {
    ASSERT_TRUE(Start());
    fs::create_directories(projects_ / "real");
    const fs::path real = projects_ / "real" / "plant.kzp";
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(real, {"LD X0", "OUT Y0", "END"}, "Pump"));
    frame_->NewClick();
    fs::create_symlink(real, projects_ / "current.kzp");
    messages_.Clear();
    ASSERT_NO_FATAL_FAILURE(OpenThrough(projects_ / "current.kzp"));
    EXPECT_EQ(GetDeviceComment('X', 0), "Pump");
    EXPECT_EQ(gQel.ProgramFileName, real.string());
    PutProgram({"LD X1", "OUT Y1", "END"});
    const auto typed = Image();
    gQel.Modified = 1;
    ASSERT_TRUE(frame_->RunCommand("MmSave"));
    EXPECT_TRUE(fs::is_symlink(projects_ / "current.kzp"));
    EXPECT_EQ(ImageIn(real), typed);
    EXPECT_FALSE(fs::exists(projects_ / "current.lad")) << "no half set beside the link";
}

// A new project is never named after a set one of whose files is left in the
// folder: its first save would be offered over them.
TEST_F(FrameFileSetTest, ANewProjectIsNotNamedAfterAFileLeftInTheFolder) {
    ASSERT_TRUE(Start());
    gQel.SaveDir = projects_.string();
    std::ofstream(projects_ / "Untitled1.lad") << "another project's";
    frame_->NewClick();
    EXPECT_EQ(gQel.ProgramFileName, (projects_ / "Untitled2.kzp").string());
}

// Save As under a name that differs from an existing project's only in letter
// case, answered OK: what it writes is the set that name opens, and the other
// project never opens with companions written for this one.
TEST_F(FrameFileSetTest, SaveAsUnderANameDifferingInCaseOpensWhatItWrote) {
    ASSERT_TRUE(Start());
    for (const char* name : {"PRESS.kzp", "press.KZP"}) {
        SCOPED_TRACE(name);
        const fs::path folder = projects_ / name;
        fs::create_directories(folder);
        const fs::path press = folder / "press.kzp", typed = folder / name;
        ASSERT_NO_FATAL_FAILURE(SaveWholeProject(press, {"LD X0", "OUT Y0", "END"}, "press"));
        const auto pressCode = Image();
        ASSERT_NO_FATAL_FAILURE(SaveWholeProject(folder / "mixer.kzp", {"LD X1", "OUT Y1", "END"}, "mixer"));
        const auto mixerCode = Image();
        messages_.Clear();
        messages_.QueueAnswer(Answer::Ok);
        dialogs_.QueuePath(typed.string());
        ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
        EXPECT_EQ(ReplaceQuestions(press), 1);
        EXPECT_EQ(gQel.ProgramFileName, typed.string());

        frame_->NewClick();
        messages_.Clear();
        ASSERT_NO_FATAL_FAILURE(OpenThrough(typed));
        EXPECT_EQ(Image(), mixerCode);
        EXPECT_EQ(GetDeviceComment('X', 0), "mixer") << "the comments saved under the name open with it";
        EXPECT_TRUE(messages_.Shown().empty());

        frame_->NewClick();
        messages_.Clear();
        ASSERT_NO_FATAL_FAILURE(OpenThrough(press));
        const bool pressWhole = Image() == pressCode && GetDeviceComment('X', 0) == "press";
        const bool pressReplaced = Image() == mixerCode && GetDeviceComment('X', 0) == "mixer";
        EXPECT_TRUE(pressWhole || pressReplaced) << "press opens as one project, not pieces of two";
        EXPECT_TRUE(messages_.Shown().empty());
    }
}

// Save As whose write fails, onto a new name and onto another project's set
// (OK given): the project keeps its name and stays modified, the caption and
// the recent list name nothing that was not saved, and the other set holds
// what it held.
TEST_F(FrameFileSetTest, ASaveAsThatCannotWriteKeepsTheProjectAndEveryFileAsTheyWere) {
    ASSERT_TRUE(Start());
    const fs::path press = projects_ / "press.kzp";
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(press, {"LD X0", "OUT Y0", "END"}, "press"));
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "mixer.kzp", {"LD X1", "OUT Y1", "END"}, "mixer"));
    // A folder that is gone (renamed meanwhile), and a name of the other set
    // taken by a folder: nothing can be written.
    fs::remove(projects_ / "press.sfc");
    fs::create_directory(projects_ / "press.sfc");
    PutProgram({"LD X2", "OUT Y2", "END"});
    gQel.Modified = 1;
    const auto before = Folder(projects_);
    const auto recent = gQel.RecentFiles;
    const QString caption = frame_->windowTitle();
    for (const fs::path& typed : {projects_ / "gone" / "line", projects_ / "press"}) {
        SCOPED_TRACE(typed.string());
        messages_.Clear();
        if (typed.filename() == "press") messages_.QueueAnswer(Answer::Ok);
        dialogs_.QueuePath(typed.string());
        EXPECT_FALSE(frame_->RunCommand("MmSaveAs") && gQel.Modified == 0);
        EXPECT_FALSE(messages_.Shown().empty()) << "the user hears the save failed";
        EXPECT_EQ(gQel.ProgramFileName, (projects_ / "mixer.kzp").string());
        EXPECT_EQ(gQel.Modified, 1);
        EXPECT_EQ(gQel.RecentFiles, recent);
        EXPECT_EQ(frame_->windowTitle(), caption);
        EXPECT_EQ(Folder(projects_), before);
        EXPECT_FALSE(fs::exists(projects_ / "gone"));
    }
}

// The project's folder renamed while it is open: Save says it failed and the
// project stays modified under its name, nothing is written into the folder
// under its new name, and Save As into that folder writes the whole set.
TEST_F(FrameFileSetTest, SaveAfterTheProjectFolderWasRenamedFailsAndKeepsTheWork) {
    ASSERT_TRUE(Start());
    fs::create_directories(projects_ / "site");
    const fs::path plant = projects_ / "site" / "plant.kzp";
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(plant, {"LD X0", "OUT Y0", "END"}, "Pump"));
    fs::rename(projects_ / "site", projects_ / "moved");
    const auto moved = Folder(projects_ / "moved");
    PutProgram({"LD X1", "OUT Y1", "END"});
    const auto typed = Image();
    gQel.Modified = 1;
    messages_.Clear();
    EXPECT_FALSE(frame_->RunCommand("MmSave") && gQel.Modified == 0);
    EXPECT_FALSE(messages_.Shown().empty());
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_EQ(gQel.ProgramFileName, plant.string());
    EXPECT_EQ(Folder(projects_ / "moved"), moved);
    EXPECT_FALSE(fs::exists(projects_ / "site"));

    messages_.Clear();
    messages_.QueueAnswer(Answer::Ok);
    dialogs_.QueuePath((projects_ / "moved" / "plant.kzp").string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    EXPECT_EQ(ReplaceQuestions(projects_ / "moved" / "plant.kzp"), 1);
    EXPECT_EQ(gQel.Modified, 0);
    EXPECT_EQ(ImageIn(projects_ / "moved" / "plant.kzp"), typed);
    EXPECT_EQ(Folder(projects_ / "moved").size(), 16u) << "the set and a backup of each file replaced";
}

// A name typed without its extension stands for the program file of that name
// there in whatever case: "PLANT" for the project's own PLANT.KZP saves the
// project's set, asking nothing; "press" beside another project's PRESS.KZP
// asks, and OK replaces that set rather than starting a second one beside it.
TEST_F(FrameFileSetTest, ANameTypedWithoutExtensionIsTheProgramFileOfThatNameInAnyCase) {
    ASSERT_TRUE(Start());
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "PLANT.KZP", {"LD X0", "OUT Y0", "END"}, "plant"));
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / "PRESS.KZP", {"LD X1", "OUT Y1", "END"}, "press"));
    frame_->NewClick();
    ASSERT_NO_FATAL_FAILURE(OpenThrough(projects_ / "PLANT.KZP"));
    PutProgram({"LD X2", "OUT Y2", "END"});
    const auto typed = Image();
    gQel.Modified = 1;
    const std::size_t files = Folder(projects_).size();
    messages_.Clear();
    dialogs_.QueuePath((projects_ / "PLANT").string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    EXPECT_TRUE(messages_.Asked().empty());
    EXPECT_EQ(gQel.ProgramFileName, (projects_ / "PLANT.KZP").string());
    EXPECT_EQ(ImageIn(projects_ / "PLANT.KZP"), typed);
    EXPECT_EQ(Folder(projects_).size(), files + 8) << "the set's own backups, no second set";

    messages_.Clear();
    messages_.QueueAnswer(Answer::Ok);
    dialogs_.QueuePath((projects_ / "press").string());
    EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
    EXPECT_EQ(ReplaceQuestions(projects_ / "PRESS.KZP"), 1);
    EXPECT_EQ(gQel.ProgramFileName, (projects_ / "PRESS.KZP").string());
    EXPECT_EQ(ImageIn(projects_ / "PRESS.KZP"), typed);
    EXPECT_FALSE(fs::exists(projects_ / "press.kzp"));
}

// File > Save replaces only what this project read or wrote. Another run's
// save since Open is asked about (Cancel keeps both it and the project's
// edits); a read-only file is refused, naming it, and keeps its mode; a file
// deleted since is written again; the project's own saves ask nothing.
TEST_F(FrameFileSetTest, SaveReplacesOnlyWhatThisProjectReadOrWrote) {
    ASSERT_TRUE(Start());
    const fs::path theirs = projects_ / "theirs";
    fs::create_directories(theirs);
    // Another run's save of plant: a rung LD X1 / OUT Y1 added.
    ASSERT_NO_FATAL_FAILURE(SaveWholeProject(theirs / "plant.kzp", {"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"}, "theirs"));
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    auto theirSave = [&](const fs::path& dir, const char* ext) {
        fs::copy_file(theirs / (std::string("plant") + ext), dir / (std::string("plant") + ext),
                      fs::copy_options::overwrite_existing);
    };
    struct Row {
        const char* what;
        std::function<void(const fs::path& dir)> meanwhile;  // on disk, after Open
        std::vector<Answer> answers;
        const char* asked;    // the file the one question names; null: nothing asked
        const char* refused;  // the file the refusal names; null: none
        int refusal;          // its message
        bool written;         // the project's program is on disk afterwards
        const char* saveAs;   // Save As onto this set instead of File > Save
    };
    const Row rows[] = {
        {"another run's save, Cancel", [&](const fs::path& d) { theirSave(d, ".kzp"); }, {Answer::Cancel},
         "plant.kzp", nullptr, 0, false, nullptr},
        {"another run's save, OK", [&](const fs::path& d) { theirSave(d, ".kzp"); }, {Answer::Ok}, "plant.kzp",
         nullptr, 0, true, nullptr},
        {"a companion changed on disk", [&](const fs::path& d) { theirSave(d, ".rcm"); }, {Answer::Cancel},
         "plant.rcm", nullptr, 0, false, nullptr},
        {"a file deleted since Open", [](const fs::path& d) { fs::remove(d / "plant.lmt"); }, {}, nullptr, nullptr, 0,
         true, nullptr},
        {"read-only program file", [&](const fs::path& d) { fs::permissions(d / "plant.kzp", readOnly); }, {},
         nullptr, "plant.kzp", kMsgFileReadOnly, false, nullptr},
        {"read-only companion", [&](const fs::path& d) { fs::permissions(d / "plant.lab", readOnly); }, {}, nullptr,
         "plant.lab", kMsgFileReadOnly, false, nullptr},
        {"read-only folder", [&](const fs::path& d) { fs::permissions(d, readOnly | fs::perms::owner_exec); }, {},
         nullptr, "plant.kzp", kMsgFileSaveFailed, false, nullptr},
        {"Save As onto a read-only set",
         [&](const fs::path& d) {
             fs::create_directories(d / "ro");
             for (const auto& e : fs::directory_iterator(theirs)) {
                 fs::copy_file(e.path(), d / "ro" / e.path().filename());
                 fs::permissions(d / "ro" / e.path().filename(), readOnly);
             }
         },
         {}, nullptr, "ro/plant.kzp", kMsgFileReadOnly, false, "ro/plant.kzp"},
        {"two saves in a row of a private file",
         [](const fs::path& d) { fs::permissions(d / "plant.kzp", fs::perms::owner_read | fs::perms::owner_write); }, {},
         nullptr, nullptr, 0, true, nullptr},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path dir = projects_ / std::to_string(++n);
        fs::create_directories(dir);
        const fs::path plant = dir / "plant.kzp";
        ASSERT_NO_FATAL_FAILURE(SaveWholeProject(plant, {"LD X0", "OUT Y0", "END"}, "ours"));
        ASSERT_NO_FATAL_FAILURE(OpenThrough(plant));
        row.meanwhile(dir);
        PutProgram({"LD X0", "OUT Y0", "LD X5", "OUT Y5", "END"});
        gQel.Modified = 1;
        const auto ours = Image();
        const auto before = Folder(dir);
        const fs::perms mode = fs::status(plant).permissions();
        messages_.Clear();
        for (const Answer a : row.answers) messages_.QueueAnswer(a);
        if (row.saveAs) dialogs_.QueuePath((dir / row.saveAs).string());
        frame_->RunCommand(row.saveAs ? "MmSaveAs" : "MmSave");
        if (row.answers == std::vector<Answer>{Answer::Ok}) {
            EXPECT_EQ(ImageIn(dir / "plant.kz~"), ImageIn(theirs / "plant.kzp")) << "their save is the backup";
        }
        if (row.written) {
            // And at once again: the project's own save asks nothing.
            PutProgram({"LD X0", "OUT Y0", "LD X6", "OUT Y6", "END"});
            gQel.Modified = 1;
            frame_->RunCommand("MmSave");
        }

        EXPECT_FALSE(messages_.UnscriptedQuestion());
        EXPECT_EQ(messages_.Asked().size(), row.asked ? 1u : 0u);
        if (row.asked && !messages_.Asked().empty()) {
            EXPECT_EQ(messages_.Asked()[0].rfind(gMsgTable.Get(kMsgChangedOnDisk), 0), 0u) << messages_.Asked()[0];
            EXPECT_NE(messages_.Asked()[0].find((dir / row.asked).string()), std::string::npos) << "names the file";
        }
        const std::string refusal = row.refused ? gMsgTable.Get(row.refusal) + " " + (dir / row.refused).string() : "";
        EXPECT_EQ(messages_.Shown(), row.refused ? std::vector<std::string>{refusal} : std::vector<std::string>{});
        fs::permissions(dir, fs::perms::owner_all);
        if (row.written) {
            EXPECT_EQ(ImageIn(plant), Image()) << "the project's program is saved";
            EXPECT_EQ(fs::status(plant).permissions(), mode) << "the file replaced keeps its mode";
            EXPECT_TRUE(fs::exists(dir / "plant.lmt")) << "a file deleted since Open is written again";
            EXPECT_EQ(gQel.Modified, 0);
        } else {
            EXPECT_TRUE(Folder(dir) == before) << "nothing on disk changed";
            EXPECT_EQ(Image(), ours);
            EXPECT_EQ(gQel.Modified, 1) << "the project stays modified";
            EXPECT_EQ(gQel.ProgramFileName, plant.string());
        }
        if (row.refusal == kMsgFileReadOnly) {
            EXPECT_EQ(fs::status(dir / row.refused).permissions() & fs::perms::all, readOnly) << "keeps its mode";
        }
        gQel.Modified = 0;
    }
}

namespace {

// The rename a failing disk gives: the new file cannot go in under
// `sRenameFails`, and the file kept aside cannot go back under `sStuck`.
std::string sRenameFails, sStuck;
int RenameOnAFailingDisk(const char* from, const char* to) {
    const std::string name = fs::path(to).filename().string();
    const bool back = std::string_view(from).ends_with(".keep");
    if ((!back && name == sRenameFails) || (back && name == sStuck)) {
        errno = EIO;
        return -1;
    }
    return std::rename(from, to);
}

}  // namespace

// A save fails part-way and its roll-back cannot put one file back: message
// 170 says where that file's previous contents are kept. The next save (File
// > Save, OK to the changed file; or Save As onto that set again, OK to
// replacing it) leaves the previous version of every file of the set, and
// the one kept aside, in a file of the folder: the file message 170 named
// still holds it.
TEST_F(FrameFileSetTest, TheNextSaveKeepsThePreviousVersionAFailedRollBackNamed) {
    ASSERT_TRUE(Start());
    // What the user does after the failed save, before the save that succeeds.
    enum class Then {
        Save,             // the next save straight away
        FailAgain,        // new edits, a save that fails the same way, then the save
        OpenFirst,        // File > Open of the set the failure left (changes let go), new edits, the save
        SaveAsElsewhere,  // Save As under another name in the folder, then Save As back onto the set
    };
    struct Row {
        const char* what;
        const char* stuck;        // the file the roll-back cannot put back
        const char* renameFails;  // the file whose new contents cannot go in
        bool saveAs;              // Save As onto the set from another project, twice
        Then then = Then::Save;
    };
    const Row rows[] = {
        {"program file", "plant.kzp", "plant.smt", false},
        {"ladder", "plant.lad", "plant.la~", false},
        {"labels", "plant.lab", "plant.lb~", false},
        {"device comments", "plant.rcm", "plant.rc~", false},
        {"rung comments", "plant.lmt", "plant.lm~", false},
        {"block comments", "plant.smt", "plant.sm~", false},
        {"monitor list", "plant.dev", "plant.dv~", false},
        {"chart", "plant.sfc", "plant.sf~", false},
        {"program file's backup", "plant.kz~", "plant.lad", false},
        {"Save As: program file", "plant.kzp", "plant.smt", true},
        {"Save As: chart", "plant.sfc", "plant.sf~", true},
        {"two failed saves in a row: program file", "plant.kzp", "plant.smt", false, Then::FailAgain},
        {"two failed saves in a row: program file's backup", "plant.kz~", "plant.lad", false, Then::FailAgain},
        {"two failed saves in a row: chart, its backup failing", "plant.sfc", "plant.sf~", false, Then::FailAgain},
        {"File > Open of the set left, then Save", "plant.kzp", "plant.smt", false, Then::OpenFirst},
        {"File > Open of the set left, then Save: ladder", "plant.lad", "plant.la~", false, Then::OpenFirst},
        {"Save As another name, then back onto the set", "plant.kzp", "plant.smt", false, Then::SaveAsElsewhere},
    };
    const char* const set[] = {"plant.kzp", "plant.lad", "plant.lab", "plant.rcm",
                               "plant.lmt", "plant.smt", "plant.dev", "plant.sfc"};
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path dir = projects_ / ("rollback" + std::to_string(++n));
        fs::create_directories(dir / "own");
        const fs::path plant = dir / "plant.kzp";
        // Saved, then saved again, so that every backup exists.
        ASSERT_NO_FATAL_FAILURE(SaveWholeProject(plant, {"LD X0", "OUT Y0", "END"}, "first"));
        gQel.Title = "second";
        gQel.RungComments.assign(1, "second");
        gQel.Modified = 1;
        ASSERT_TRUE(frame_->RunCommand("MmSave"));
        const auto before = Folder(dir);
        ASSERT_EQ(before.size(), 17u) << "the set, its backups and the other project's folder";
        if (row.saveAs) {
            ASSERT_NO_FATAL_FAILURE(SaveWholeProject(dir / "own" / "mixer.kzp", {"LD X2", "END"}, "mixer"));
        }
        // New contents for every file of the set.
        PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
        gQel.Title = "third";
        gQel.RungComments.assign(1, "third");
        gDevMoniEntries[0] = TDevMoniEntry{};
        std::memcpy(gDevMoniEntries[0].Name, "D5", 3);
        gDevMoniEntryCount = 1;
        gQel.Modified = 1;
        const std::string save = row.saveAs ? "MmSaveAs" : "MmSave";

        sRenameFails = row.renameFails;
        sStuck = row.stuck;
        qelfile::SetRenameFunction(&RenameOnAFailingDisk);
        messages_.Clear();
        if (row.saveAs) {
            messages_.QueueAnswer(Answer::Ok);
            dialogs_.QueuePath(plant.string());
        }
        EXPECT_FALSE(frame_->RunCommand(save) && gQel.Modified == 0);
        qelfile::SetRenameFunction(nullptr);
        const auto failed = Folder(dir);
        EXPECT_NE(failed.at(row.stuck), before.at(row.stuck)) << "the roll-back left the new contents";
        std::vector<std::string> keeps;
        for (const auto& [name, bytes] : failed)
            if (name.starts_with(std::string(row.stuck) + ".") && name.ends_with(".keep")) keeps.push_back(name);
        EXPECT_EQ(keeps.size(), 1u);
        EXPECT_EQ(messages_.Shown().size(), 1u);
        if (keeps.size() != 1 || messages_.Shown().size() != 1) {
            gQel.Modified = 0;
            continue;
        }
        const std::string mixed = messages_.Shown()[0];
        EXPECT_EQ(mixed.rfind(gMsgTable.Get(kMsgSaveLeftMixed), 0), 0u) << mixed;
        EXPECT_NE(mixed.find((dir / keeps[0]).string() + " (previous)"), std::string::npos) << mixed;

        // Every kept file a message named, with what it holds and whether that
        // differed from what stood under its name then (a copy of that may go).
        struct Named {
            std::string bytes;
            bool onlyCopy;
        };
        std::map<std::string, Named> named = {{keeps[0], {before.at(row.stuck), true}}};
        if (row.then == Then::FailAgain) {
            PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "LD X2", "OUT Y2", "END"});
            gQel.Title = "fourth";
            gQel.RungComments.assign(1, "fourth");
            gQel.Modified = 1;
            qelfile::SetRenameFunction(&RenameOnAFailingDisk);
            messages_.Clear();
            messages_.QueueAnswer(Answer::Ok);  // the file changed on disk
            EXPECT_FALSE(frame_->RunCommand(save) && gQel.Modified == 0);
            qelfile::SetRenameFunction(nullptr);
            const auto twice = Folder(dir);
            std::vector<std::string> second;
            for (const auto& [name, bytes] : twice)
                if (name.starts_with(std::string(row.stuck) + ".") && name.ends_with(".keep") && name != keeps[0])
                    second.push_back(name);
            EXPECT_EQ(second.size(), 1u) << "the second failure kept one more file";
            EXPECT_EQ(twice.count(keeps[0]), 1u) << "the second save left the first kept file";
            EXPECT_EQ(messages_.Shown().size(), 1u);
            if (second.size() != 1 || !twice.count(keeps[0]) || messages_.Shown().size() != 1) {
                gQel.Modified = 0;
                continue;
            }
            EXPECT_EQ(twice.at(keeps[0]), before.at(row.stuck));
            EXPECT_EQ(twice.at(second[0]), failed.at(row.stuck)) << "what the first failure left under the name";
            const std::string again = messages_.Shown()[0];
            EXPECT_EQ(again.rfind(gMsgTable.Get(kMsgSaveLeftMixed), 0), 0u) << again;
            EXPECT_NE(again.find((dir / second[0]).string() + " (previous)"), std::string::npos) << again;
            named[second[0]] = {failed.at(row.stuck), failed.at(row.stuck) != twice.at(row.stuck)};
        } else if (row.then == Then::OpenFirst) {
            messages_.Clear();
            messages_.QueueAnswer(Answer::No);  // the changes the failed save did not write
            dialogs_.QueuePath(plant.string());
            EXPECT_TRUE(frame_->RunCommand("MmOpen"));
            PutProgram({"LD X0", "OUT Y0", "LD X3", "OUT Y3", "END"});
            gQel.Modified = 1;
        } else if (row.then == Then::SaveAsElsewhere) {
            messages_.Clear();
            dialogs_.QueuePath((dir / "plant-2").string());
            EXPECT_TRUE(frame_->RunCommand("MmSaveAs"));
            EXPECT_EQ(gQel.ProgramFileName, (dir / "plant-2.kzp").string());
            EXPECT_EQ(Folder(dir).count(keeps[0]), 1u);
            gQel.Modified = 1;
        }

        // The next save, as the user goes on.
        messages_.Clear();
        messages_.QueueAnswer(Answer::Ok);
        const bool throughSaveAs = row.saveAs || row.then == Then::SaveAsElsewhere;
        if (throughSaveAs) dialogs_.QueuePath(plant.string());
        EXPECT_TRUE(frame_->RunCommand(throughSaveAs ? "MmSaveAs" : save));
        EXPECT_EQ(gQel.ProgramFileName, plant.string());
        EXPECT_EQ(ImageIn(plant), Image()) << "the program is saved";
        EXPECT_FALSE(messages_.UnscriptedQuestion());
        const auto after = Folder(dir);
        auto heldBySomeFile = [&](const std::string& bytes) {
            return std::any_of(after.begin(), after.end(), [&](const auto& f) { return f.second == bytes; });
        };
        for (const char* file : set) EXPECT_TRUE(heldBySomeFile(before.at(file))) << "the previous " << file;
        EXPECT_TRUE(heldBySomeFile(before.at(row.stuck))) << "the previous " << row.stuck;
        for (const auto& [keep, kept] : named) {
            EXPECT_TRUE(heldBySomeFile(kept.bytes)) << "what message 170 said " << keep << " holds";
            if (!kept.onlyCopy) continue;
            EXPECT_EQ(after.count(keep), 1u) << "the file message 170 named is still there: " << keep;
            if (after.count(keep)) {
                EXPECT_EQ(after.at(keep), kept.bytes) << keep;
            }
        }
        frame_->NewClick();
    }
}

// A backup a save filled with what a message named, files of the set that
// were not read (message 270) or another project's files that Save As
// replaced (message 271), is not written over by the next save without a
// word: that save keeps it under another name and says where. The save
// after that, and any save of the project's own previous version, keeps
// its backups as always.
TEST_F(FrameFileSetTest, ABackupHoldingFilesAMessageNamedOutlivesTheNextSave) {
    ASSERT_TRUE(Start());
    enum class Named { NotRead, AnotherProject, Nothing };
    struct Row {
        const char* what;
        Named named;
        const char* file;  // the file whose contents the message named
        int opened = kMsgSetPartsNotRead;  // the message Open names it in (NotRead)
        // A backup that holds what the message named and the same as this
        // project's until its monitor list changes after the next save.
        const char* laterBackup = nullptr;
    };
    const Row rows[] = {
        {"rung comments not read, then Save twice", Named::NotRead, "plant.lmt"},
        {"ladder file of other code, then Save twice", Named::NotRead, "plant.lad", kMsgLadderFileStale},
        {"another project replaced by Save As, then Save twice", Named::AnotherProject, "plant.kzp"},
        {"another project's monitor list, the same as this one's until it changes", Named::AnotherProject, "plant.kzp",
         kMsgSetPartsNotRead, "plant.dv~"},
        {"the project's own set saved three times", Named::Nothing, "plant.kzp"},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path dir = projects_ / ("backups" + std::to_string(++n));
        fs::create_directories(dir);
        const fs::path plant = dir / "plant.kzp";
        ASSERT_NO_FATAL_FAILURE(SaveWholeProject(plant, {"LD X0", "OUT Y0", "END"}, "first"));
        std::string told;  // what the message named
        if (row.named == Named::NotRead) {
            // The file of the first save stands beside the second's set.
            told = Folder(dir).at(row.file);
            gQel.RungComments.assign(1, "second");
            PutProgram({"LD X0", "OUT Y0", "LD X1", "OUT Y1", "END"});
            gQel.Modified = 1;
            ASSERT_TRUE(frame_->RunCommand("MmSave"));
            std::ofstream(dir / row.file, std::ios::binary | std::ios::trunc) << told;
            frame_->NewClick();
            messages_.Clear();
            ASSERT_NO_FATAL_FAILURE(OpenThrough(plant));
            EXPECT_TRUE(messages_.WasShown(gMsgTable.Get(row.opened))) << "the open names the file";
            EXPECT_TRUE(messages_.WasShown((dir / row.file).string()));
        } else if (row.named == Named::AnotherProject) {
            told = Folder(dir).at(row.file);
            ASSERT_NO_FATAL_FAILURE(SaveWholeProject(projects_ / ("mixer" + std::to_string(n) + ".kzp"),
                                                     {"LD X2", "OUT Y2", "END"}, "mixer"));
            messages_.Clear();
            messages_.QueueAnswer(Answer::Ok);
            dialogs_.QueuePath(plant.string());
            ASSERT_TRUE(frame_->RunCommand("MmSaveAs"));
            EXPECT_EQ(ReplaceQuestions(plant), 1);
        } else {
            told = Folder(dir).at(row.file);
        }
        // The save that replaces the file named keeps it as its backup.
        gQel.Title = "third";
        gQel.Modified = 1;
        if (row.named != Named::AnotherProject) {
            messages_.Clear();
            ASSERT_TRUE(frame_->RunCommand("MmSave"));
            EXPECT_TRUE(messages_.Asked().empty());
        }
        std::string backup = row.file;
        backup.back() = '~';  // "plant.kz~" keeps "plant.kzp"
        ASSERT_EQ(Folder(dir).at(backup), told) << backup;

        // The next save, and the one after: each keeps aside, under a name
        // it says, the backups it would write other contents over.
        std::map<std::string, std::string> kept;  // every file kept aside, with its bytes
        std::string laterTold;
        if (row.laterBackup) {
            laterTold = Folder(dir).at(row.laterBackup);
            gDevMoniEntries[0] = TDevMoniEntry{};
            std::memcpy(gDevMoniEntries[0].Name, "D5", 3);
            gDevMoniEntryCount = 1;
        }
        for (int save = 0; save < 2; ++save) {
            SCOPED_TRACE(save == 0 ? "next save" : "save after that");
            std::vector<std::pair<std::string, std::string>> tell;  // backup, what it held
            if (save == 0 && row.named != Named::Nothing) tell.emplace_back(backup, told);
            if (save == 1 && row.laterBackup) tell.emplace_back(row.laterBackup, laterTold);
            PutProgram({"LD X0", "OUT Y0", "LD X4", "OUT Y4", "END"});
            gQel.Title = save == 0 ? "fourth" : "fifth";
            gQel.Modified = 1;
            messages_.Clear();
            EXPECT_TRUE(frame_->RunCommand("MmSave"));
            EXPECT_TRUE(messages_.Asked().empty());
            const auto after = Folder(dir);
            for (const auto& [name, bytes] : kept) {
                EXPECT_EQ(after.count(name), 1u) << "a file kept aside stays: " << name;
                if (after.count(name)) {
                    EXPECT_EQ(after.at(name), bytes) << name;
                }
            }
            std::vector<std::string> added;
            for (const auto& [name, bytes] : after)
                if (name.ends_with(".kept") && !kept.count(name)) added.push_back(name);
            std::vector<std::string> said;
            for (const std::string& m : messages_.Shown())
                if (m.rfind(gMsgTable.Get(kMsgBackupsKeptAside), 0) == 0) said.push_back(m);
            EXPECT_EQ(said.size(), tell.empty() ? 0u : 1u) << testing::PrintToString(messages_.Shown());
            if (tell.empty()) {
                EXPECT_TRUE(added.empty()) << "no more files beside the set";
            }
            for (const auto& [was, bytes] : tell) {
                // What the message named is in a file the save names, named
                // after the backup it was.
                std::vector<std::string> holding;
                for (const std::string& k : added)
                    if (after.at(k) == bytes && k.rfind(was + ".", 0) == 0) holding.push_back(k);
                EXPECT_EQ(holding.size(), 1u) << "one file holds what " << was << " held";
                if (holding.size() == 1 && said.size() == 1) {
                    EXPECT_NE(said[0].find((dir / holding[0]).string()), std::string::npos) << said[0];
                }
            }
            for (const std::string& k : added) kept[k] = after.at(k);
        }
        EXPECT_EQ(ImageIn(plant), Image()) << "the program is saved";
        frame_->NewClick();
    }
}
