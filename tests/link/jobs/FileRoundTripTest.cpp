// Every file the program writes opens again through its own reader, from the
// states the windows leave: the program's file set with the device monitor's
// list (typed with its empty row, cleared, full), the longest comments and
// title page in Chinese, the last rows; the register data, the template and
// the settings, also when another run wrote the settings in between.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "link/jobs/Fileregs.h"
#include "link/jobs/Registerdata.h"
#include "link/online/Devmonilist.h"
#include "project/Projectfiles.h"
#include "project/Settings.h"
#include "tests/project/ProjectTestSupport.h"

namespace fs = std::filesystem;
using namespace shelltest;

namespace {

class FileRoundTripTest : public ShellTest {
protected:
    // A new project of family 0, as New leaves it.
    static void NewProject() {
        ClearProject();
        ASSERT_TRUE(SetModelFamily(0));
        LoadDeviceCommentInit();  // none in the test's install folder
        std::memset(gDevMoniEntries, 0, sizeof gDevMoniEntries);
        gDevMoniEntryCount = 0;
    }
    // Each row's project has a name of its own (`set_`).
    void SaveSet() {
        SetProjectPath(ProjectPath(set_ + ".kzp"));
        ASSERT_TRUE(SaveProject());
    }
    void OpenSet() {
        gQel.OpenFileName = ProjectPath(set_ + ".kzp");
        ASSERT_TRUE(ReadProgramFile());
    }
    std::string set_;
    // Devices typed into the monitor-input dialog at grid row `row`.
    static void Type(qel::link::TDevMoniList& list, int row, const char* name, const char* count) {
        EXPECT_TRUE(list.AddDevices(row, name, count, nullptr).empty()) << name;
    }
    // The names the project's monitor list holds, and the grid rows a monitor
    // window opened on it shows (its empty row to type into included).
    static std::vector<std::string> Listed() {
        std::vector<std::string> names;
        for (int i = 0; i < gDevMoniEntryCount; ++i) names.emplace_back(gDevMoniEntries[i].Name, strnlen(gDevMoniEntries[i].Name, 6));
        return names;
    }
    static std::vector<std::string> Shown() {
        qel::link::TDevMoniList window;
        window.LoadRecords();
        std::vector<std::string> names;
        for (const auto& r : window.Rows) names.push_back(r.Name);
        return names;
    }
    static std::string Repeat(const char* text, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += text;
        return s;
    }
    static void WriteText(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }
    static void ReadSettingsAfresh() {
        SetDefaultSettings();
        gQel.OpenDir.clear();
        gQel.SaveDir.clear();
        gQel.RecentFiles.clear();
        ASSERT_TRUE(ReadSettings());
    }
};

TEST_F(FileRoundTripTest, EveryFileKindOpensAgainFromTheStatesTheWindowsLeave) {
    using qel::link::TDevMoniList;
    qel::link::TRegisterData regs, regsRead;
    qel::link::TFileTemplate tmp, tmpRead;
    const fs::path kzl = Dir() / "set.kzl", qft = Dir() / "set.qft";
    // Settings as an earlier run left them: port 1, a.kzp the only recent file.
    const std::string iniRead = "206\n0\n0\n1\n9600\n1\n4\n0\n0\n\n\n/p/a.kzp\n";
    // What another run wrote at its end meanwhile: press.kzp opened, port 7.
    const std::string iniOther = "206\n0\n0\n7\n9600\n1\n4\n0\n0\n\n\n/p/press.kzp\n/p/a.kzp\n";

    struct Row {
        const char* name;
        std::function<void()> write;  // the state a user reaches, written
        std::function<void()> reopen;  // read back into another project's state
        std::function<void()> check;
    };
    const auto openSet = [&] { OpenSet(); };
    const Row rows[] = {
        {"monitor list typed, with its empty row to type into",
         [&] {
             TDevMoniList m;
             Type(m, 1, "d100", "2");
             Type(m, 3, "Y0", "2");
             SaveSet();
         },
         openSet,
         [&] {
             EXPECT_EQ(Listed(), (std::vector<std::string>{"D100", "D101", "Y0", "Y1"}));
             EXPECT_EQ(Shown(), (std::vector<std::string>{"D100", "D101", "Y0", "Y1", ""}));
         }},
        {"monitor list cleared to its one empty row",
         [&] {
             TDevMoniList m;
             Type(m, 1, "X0", "3");
             m.ClearAll();
             SaveSet();
         },
         openSet,
         [&] {
             EXPECT_EQ(gDevMoniEntryCount, 0);
             EXPECT_EQ(Shown(), (std::vector<std::string>{""}));
         }},
        {"monitor list of 96 devices, the grid full",
         [&] {
             TDevMoniList m;
             Type(m, 1, "M0", "96");
             SaveSet();
         },
         openSet,
         [&] {
             ASSERT_EQ(gDevMoniEntryCount, 96);
             EXPECT_STREQ(gDevMoniEntries[95].Name, "M95");
             EXPECT_EQ(Shown().size(), 96u);
             EXPECT_EQ(Shown().back(), "M95");
         }},
        {"monitor list file ending in an empty record",
         [&] {
             SaveSet();
             std::string dev(132 + 2 * 16, '\0');
             dev[0] = static_cast<char>(206);
             dev[128] = 16;
             dev[130] = 2;
             std::memcpy(&dev[132], "D0", 2);
             WriteText(Dir() / (set_ + ".dev"), dev);
         },
         openSet,
         [&] {
             EXPECT_EQ(Listed(), std::vector<std::string>{"D0"});
             EXPECT_EQ(Shown(), (std::vector<std::string>{"D0", ""}));
         }},
        {"title page and device comments in Chinese at their longest",
         [&] {
             gQel.Title = Repeat("标", 60);
             gQel.Company = Repeat("公", 60);
             gQel.Designer = Repeat("设", 60);
             SetDeviceComment("X17", Repeat("启", 21));  // 63 bytes
             SetDeviceComment("D100", Repeat("a\t", 32));
             SaveSet();
         },
         openSet,
         [&] {
             EXPECT_EQ(gQel.Title, Repeat("标", 60));
             EXPECT_EQ(gQel.Company, Repeat("公", 60));
             EXPECT_EQ(gQel.Designer, Repeat("设", 60));
             EXPECT_EQ(GetCommentByDeviceName("X17"), Repeat("启", 21));
             EXPECT_EQ(GetCommentByDeviceName("D100"), Repeat("a\t", 32));
             EXPECT_EQ(GetCommentByDeviceName("X0"), "");
         }},
        {"rung comment and labels on the last row",
         [&] {
             gQel.RungComments.assign(kLadderRows, std::string());
             gQel.RungComments[kLadderRows - 1] = Repeat("末", 42) + "\t.";
             gPLabelRows[255] = kLadderRows - 1;
             gILabelRows[899] = kLadderRows - 1;
             SaveSet();
         },
         openSet,
         [&] {
             ASSERT_EQ(gQel.RungComments.size(), static_cast<std::size_t>(kLadderRows));
             EXPECT_EQ(gQel.RungComments.back(), Repeat("末", 42) + "\t.");
             EXPECT_EQ(gPLabelRows[255], 9999);
             EXPECT_EQ(gILabelRows[899], 9999);
         }},
        {"register data at its largest values with a 60-byte Chinese title",
         [&] {
             regs.DRegs.fill(0xFFFF);
             regs.TRegs.fill(0xFFFF);
             regs.CRegs.fill(0xFFFF);
             regs.C32Regs.fill(0xFFFFFFFF);
             regs.Title = Repeat("寄", 20);
             ASSERT_TRUE(qel::link::WriteRegisterFile(kzl.string(), regs, 1, 3));
         },
         [&] { ASSERT_EQ(qel::link::ReadRegisterFile(kzl.string(), 1, regsRead), qel::link::TRegFileResult::Ok); },
         [&] { EXPECT_TRUE(regsRead == regs); }},
        {"template of the card's 32768 registers with a 60-byte Chinese title",
         [&] {
             tmp = {.version = 206, .family = 1, .capacityIndex = 3, .extraMemory = true, .title = Repeat("档", 20),
                    .values = std::vector<std::uint16_t>(32768, 0xFFFF)};
             ASSERT_TRUE(qel::link::WriteQftFile(qft, tmp));
         },
         [&] { ASSERT_EQ(qel::link::ReadQftFile(qft, 1, tmpRead), qel::link::TQftRead::Ok); },
         [&] {
             EXPECT_EQ(tmpRead.title, Repeat("档", 20));
             EXPECT_EQ(tmpRead.values, tmp.values);
             EXPECT_TRUE(tmpRead.extraMemory);
         }},
        {"settings with Chinese folders, five recent files and the fastest line",
         [&] {
             gQel.ComPort = 256;
             gQel.BaudRate = 115200;
             gQel.Station = 255;
             gQel.OpenDir = "/数据/程序";
             gQel.SaveDir = "/数据/输出";
             gQel.RecentFiles = {"/p/一.kzp", "/p/二.kzp", "/p/三.kzp", "/p/四.kzp", "/p/五.kzp"};
             gQel.ComDevice = "/dev/ttyUSB0";
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.ComPort, 256);
             EXPECT_EQ(gQel.BaudRate, 115200);
             EXPECT_EQ(gQel.Station, 255);
             EXPECT_EQ(gQel.OpenDir, "/数据/程序");
             EXPECT_EQ(gQel.SaveDir, "/数据/输出");
             EXPECT_EQ(gQel.RecentFiles,
                       (std::vector<std::string>{"/p/一.kzp", "/p/二.kzp", "/p/三.kzp", "/p/四.kzp", "/p/五.kzp"}));
             EXPECT_EQ(gQel.ComDevice, "/dev/ttyUSB0");
         }},
        {"settings of a run that changed nothing, after another run's",
         [&] {
             WriteText(SettingsFilePath(), iniRead);
             ReadSettingsAfresh();
             WriteText(SettingsFilePath(), iniOther);
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.ComPort, 7);
             EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{"/p/press.kzp", "/p/a.kzp"}));
         }},
        {"settings of a run that opened a file and zoomed, after another run's",
         [&] {
             WriteText(SettingsFilePath(), iniRead);
             ReadSettingsAfresh();
             AddRecentFile("/p/c.kzp");
             gQel.Zoom = 2;
             WriteText(SettingsFilePath(), iniOther);
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.ComPort, 7);
             EXPECT_EQ(gQel.Zoom, 2);
             EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{"/p/c.kzp", "/p/press.kzp", "/p/a.kzp"}));
         }},
        {"settings where both runs changed the port: the last to end keeps its port, and the other's zoom",
         [&] {
             WriteText(SettingsFilePath(), iniRead);
             ReadSettingsAfresh();
             gQel.ComPort = 3;
             WriteText(SettingsFilePath(), "206\n0\n0\n7\n9600\n1\n2\n0\n0\n\n\n/p/a.kzp\n");
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.ComPort, 3);
             EXPECT_EQ(gQel.Zoom, 2);
             EXPECT_EQ(gQel.RecentFiles, std::vector<std::string>{"/p/a.kzp"});
         }},
        {"settings after another run opened five files, pushing out the one this run read",
         [&] {
             WriteText(SettingsFilePath(), iniRead);
             ReadSettingsAfresh();
             AddRecentFile("/p/c.kzp");
             WriteText(SettingsFilePath(), "206\n0\n0\n1\n9600\n1\n4\n0\n0\n\n\n/q/5.kzp\n/q/4.kzp\n/q/3.kzp\n"
                                           "/q/2.kzp\n/q/1.kzp\n");
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.RecentFiles,
                       (std::vector<std::string>{"/p/c.kzp", "/q/5.kzp", "/q/4.kzp", "/q/3.kzp", "/q/2.kzp"}));
         }},
        {"settings of a run that opened a file again from its full recent list list it once, and lose none",
         [&] {
             WriteText(SettingsFilePath(), "206\n0\n0\n1\n9600\n1\n4\n0\n0\n\n\n/p/a.kzp\n/p/b.kzp\n/p/c.kzp\n"
                                           "/p/d.kzp\n/p/e.kzp\n");
             ReadSettingsAfresh();
             AddRecentFile("/p/b.kzp");
             ASSERT_TRUE(WriteSettings());
             std::ifstream in(SettingsFilePath());
             std::vector<std::string> lines;
             for (std::string line; std::getline(in, line);) lines.push_back(line);
             ASSERT_GE(lines.size(), 16u);
             EXPECT_EQ(std::vector<std::string>(lines.begin() + 11, lines.begin() + 16),
                       (std::vector<std::string>{"/p/b.kzp", "/p/a.kzp", "/p/c.kzp", "/p/d.kzp", "/p/e.kzp"}));
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.RecentFiles,
                       (std::vector<std::string>{"/p/b.kzp", "/p/a.kzp", "/p/c.kzp", "/p/d.kzp", "/p/e.kzp"}));
         }},
        {"settings of a run that opened a file again through a relative entry of its full recent list",
         [&] {
             WriteText(SettingsFilePath(), "206\n0\n0\n1\n9600\n1\n4\n0\n0\n\n\n/p/a.kzp\nb.kzp\n/p/c.kzp\n"
                                           "/p/d.kzp\n/p/e.kzp\n");
             ReadSettingsAfresh();
             AddRecentFile((fs::current_path() / "b.kzp").string());
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{(fs::current_path() / "b.kzp").string(), "/p/a.kzp",
                                                                   "/p/c.kzp", "/p/d.kzp", "/p/e.kzp"}));
         }},
        {"settings of an earlier version read at start are written anew in this version",
         [&] {
             WriteText(SettingsFilePath(), "205\n1\n2\n9\n");
             SetDefaultSettings();
             gQel.RecentFiles.clear();  // as a run starts
             EXPECT_FALSE(ReadSettings());
             EXPECT_EQ(gQel.ComPort, 1);
             gQel.Station = 5;
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.ComPort, 1);
             EXPECT_EQ(gQel.Family, 0);
             EXPECT_EQ(gQel.Station, 5);
         }},
        {"settings of a run that started with none, after another run created them",
         [&] {
             fs::remove(SettingsFilePath());
             SetDefaultSettings();
             gQel.RecentFiles.clear();  // as a run starts
             EXPECT_FALSE(ReadSettings());
             AddRecentFile("/p/c.kzp");
             gQel.Zoom = 6;
             WriteText(SettingsFilePath(), iniOther);
             ASSERT_TRUE(WriteSettings());
         },
         [&] { ReadSettingsAfresh(); },
         [&] {
             EXPECT_EQ(gQel.ComPort, 7);
             EXPECT_EQ(gQel.Zoom, 6);
             EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{"/p/c.kzp", "/p/press.kzp", "/p/a.kzp"}));
         }},
    };
    int n = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        set_ = "set" + std::to_string(n++);
        NewProject();
        SetDefaultSettings();
        // A step that fails ends its row; the next rows still run.
        row.write();
        // Another project and its monitor list in memory: the files must bring theirs.
        FillProject(0, 0, 7);
        row.reopen();
        row.check();
        EXPECT_TRUE(messages_.Shown().empty()) << messages_.Shown().front();
        messages_.Clear();
    }
}

}  // namespace
