// Shared buffers, message table, settings file and device-comment lists.
#include <filesystem>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "core/DeviceLimits.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "project/Settings.h"
#include "tests/project/ProjectTestSupport.h"

using namespace shelltest;
namespace fs = std::filesystem;

namespace {

void WriteText(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

class BuffersTest : public ShellTest {};
class MessageTableTest : public ShellTest {};
class SettingsTest : public ShellTest {};
class DeviceCommentTest : public ShellTest {};

TEST_F(BuffersTest, CapacityReallocatesErasedAndRefusesBadIndex) {
    const std::uint32_t sizes[] = {3616, 7584, 15840, 31744};
    for (int i = 0; i < 4; ++i) {
        gProgram[0] = 0;
        ASSERT_TRUE(SetProgramCapacity(i));
        EXPECT_EQ(gProgramCapacity, sizes[i]);
        EXPECT_EQ(gProgramCopySize, sizes[i]);
        EXPECT_EQ(gQel.CapacityIndex, i);
        for (std::uint32_t k = 0; k < gProgramCapacity; ++k) ASSERT_EQ(gProgram[k], 0xFF);
    }
    EXPECT_FALSE(SetProgramCapacity(4));
    EXPECT_FALSE(SetProgramCapacity(-1));
    EXPECT_EQ(gProgramCapacity, 31744u);
}

TEST_F(BuffersTest, GrowthKeepsContents) {
    gProgramCopy[10] = 0x12;
    GrowProgramCopy(gProgramCopySize + 256);
    EXPECT_EQ(gProgramCopySize, 3616u + 256);
    EXPECT_EQ(gProgramCopy[10], 0x12);
    EXPECT_EQ(gProgramCopy[3616 + 255], 0xFF);
    GrowProgramCopy(100);  // never shrinks
    EXPECT_EQ(gProgramCopySize, 3616u + 256);

    gInterLadderGrid[5] = 7;
    GrowInterLadderGrid(3000);
    EXPECT_EQ(gInterLadderRowCapacity, 3000);
    EXPECT_EQ(gInterLadderGrid[5], 7);
    EXPECT_EQ(gInterLadderGrid[2999 * kLadderRowBytes], 0);

    gSfcGrid[0] = 1;
    ResizeSfcGrid(300);
    EXPECT_EQ(gSfcGrid[0], 1);
    EXPECT_EQ(gSfcGrid[299 * kSfcRowBytes], 0xFF);
}

TEST_F(BuffersTest, ProgramEndFollowsCode) {
    const std::uint8_t code[] = {0x00, 0x24, 0x00, 0xC5, 0x0F, 0x00};  // LD X0, OUT Y0, END
    std::memcpy(gProgram, code, sizeof code);
    EXPECT_EQ(LocateProgramEnd(), 6u);
    EXPECT_EQ(gProgramUsed, 6u);
    std::memcpy(gProgramCopy, code, 4);
    EXPECT_EQ(LocateProgramCopyEnd(), 4u);
    EXPECT_EQ(gProgramCopyLastOffset, 2u);
}

TEST_F(BuffersTest, FamilyAndZoom) {
    EXPECT_TRUE(SetModelFamily(2));
    EXPECT_EQ(CurrentFamily(), 2);
    EXPECT_FALSE(SetModelFamily(3));
    EXPECT_EQ(gQel.Family, 2);
    EXPECT_EQ(CurrentFamily(), 2);

    // The zoom items' sizes are the frame's test; an index past them takes the largest.
    ApplyZoomIndex(99);
    EXPECT_EQ(gQel.Zoom, 6);
    EXPECT_EQ(gCellWidth, 110);
}

TEST_F(BuffersTest, RecentFilesNewestFirstWithoutDuplicates) {
    for (const char* f : {"/p/a", "/p/b", "/p/c", "/p/d", "/p/e", "/p/f"}) AddRecentFile(f);
    EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{"/p/f", "/p/e", "/p/d", "/p/c", "/p/b"}));
    AddRecentFile("/p/c");
    EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{"/p/c", "/p/f", "/p/e", "/p/d", "/p/b"}));
}

// A name given relative to the folder the program runs in is kept whole: the
// list is read again by runs started elsewhere.
TEST_F(BuffersTest, RecentFilesHoldWholePathsWhereverTheRunStarted) {
    AddRecentFile("site1/../site1/plant.kzp");
    ASSERT_EQ(gQel.RecentFiles.size(), 1u);
    EXPECT_EQ(gQel.RecentFiles[0], (std::filesystem::current_path() / "site1" / "plant.kzp").string());
    AddRecentFile((std::filesystem::current_path() / "site1" / "plant.kzp").string());
    EXPECT_EQ(gQel.RecentFiles.size(), 1u) << "the same file once";
}

// A list written by an earlier version holds names relative to the folder
// its run started in: the entry just opened through it gives way to the
// whole path, rather than staying to open another folder's file elsewhere.
TEST_F(BuffersTest, ARelativeEntryOfAnEarlierListGivesWayToTheWholePathItOpened) {
    gQel.RecentFiles = {"plant.kzp", "/p/other.kzp"};
    const std::string whole = (std::filesystem::current_path() / "plant.kzp").string();
    AddRecentFile(whole);
    EXPECT_EQ(gQel.RecentFiles, (std::vector<std::string>{whole, "/p/other.kzp"}));
}

TEST_F(MessageTableTest, LinesAreIdsAndOutOfRangeIsEmpty) {
    WriteText(Dir() / "install" / "QEL.Txt", "\xEF\xBB\xBFzero\r\none\n\n三\n");
    ASSERT_TRUE(LoadMessageTable());
    EXPECT_EQ(gMsgTable.Count(), 4u);
    const std::pair<int, const char*> lines[] = {{0, "zero"}, {1, "one"}, {2, ""},  {3, "三"},
                                                 {4, ""},     {-1, ""},   {1 << 30, ""}};
    for (auto [id, text] : lines) EXPECT_EQ(gMsgTable.Get(id), text) << id;
}

TEST_F(MessageTableTest, ShippedFileHoldsEveryMessageInUse) {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    TMsgTable table;
    ASSERT_TRUE(table.LoadFromFile(fs::path(src) / "data" / "QEL.Txt"));
    EXPECT_GE(table.Count(), 249u);
    // Ids the windows and the link show; each needs a text of its own.
    const int used[] = {0,   1,   2,   3,   4,   5,   6,   7,   13,  14,  15,  16,  17,  18,  19,  20,  21,  22,
                        23,  24,  25,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35,  36,  37,  38,  39,  40,
                        41,  42,  43,  46,  50,  51,  62,  63,  68,  69,  72,  73,  76,  78,  90,  91,  137, 138,
                        142, 144, 145, 146, 149, 159, 162, 168, 177, 180, 184, 190, 199, 200, 213, 215, 216, 218,
                        219, 220, 222, 227, 230, 233, 238, 241, 244, 248, 74, 181};
    for (int id : used) EXPECT_FALSE(table.Get(id).empty()) << "message " << id;
    EXPECT_NE(table.Get(4), table.Get(5));
    EXPECT_NE(table.Get(4), "ASCII");
    EXPECT_NE(table.Get(5), "ASCII");
}

// The message section of docs/file-formats.md against the shipped file: each
// text it quotes after an id is that id's text, each id of its tables has a
// text, and the ids it calls free are exactly the empty lines.
TEST_F(MessageTableTest, FileFormatsDocumentAgreesWithTheMessageFile) {
    const char* src = std::getenv("QEL_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    TMsgTable table;
    ASSERT_TRUE(table.LoadFromFile(fs::path(src) / "data" / "QEL.Txt"));
    std::ifstream in(fs::path(src) / "docs" / "file-formats.md");
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string doc = buffer.str();
    const std::size_t from = doc.find("## `QEL.Txt` messages");
    ASSERT_NE(from, std::string::npos);
    std::string section = doc.substr(from, doc.find("\n## ", from + 1) - from);
    for (char& c : section) c = c == '\n' ? ' ' : c;
    auto lower = [](std::string t) {
        for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return t;
    };
    // `N "text"`: the message N holds the text; `| N |`: a table row names message N.
    auto number = [](const std::string& t, std::size_t& i) {
        const std::size_t from = i;
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        return i > from ? std::stoi(t.substr(from, i - from)) : -1;
    };
    int quotes = 0, rows = 0;
    for (std::size_t i = 0; i < section.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(section[i])) ||
            (i > 0 && std::isdigit(static_cast<unsigned char>(section[i - 1]))))
            continue;
        const bool inRow = i >= 2 && section.compare(i - 2, 2, "| ") == 0;
        const int id = number(section, i);
        if (inRow && section.compare(i, 2, " |") == 0) {
            EXPECT_FALSE(table.Get(id).empty()) << "message " << id;
            ++rows;
        }
        if (section.compare(i, 2, " \"") != 0) continue;
        const std::size_t close = section.find('"', i + 2);
        if (close == std::string::npos || close == i + 2) continue;
        const std::string quoted = section.substr(i + 2, close - i - 2);
        EXPECT_NE(lower(table.Get(id)).find(lower(quoted)), std::string::npos)
            << "message " << id << " is not \"" << quoted << "\"";
        ++quotes;
        i = close;
    }
    EXPECT_GE(quotes, 20);
    EXPECT_GE(rows, 10);

    const std::size_t at = section.find("Free ids");
    ASSERT_NE(at, std::string::npos);
    const std::string list = section.substr(section.find(':', at) + 1, section.find('.', at) - section.find(':', at));
    std::set<int> listed, empty;
    // "N" or "N-M", however separated.
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(list[i]))) continue;
        const int first = number(list, i);
        int last = first;
        if (i + 1 < list.size() && list[i] == '-' && std::isdigit(static_cast<unsigned char>(list[i + 1]))) {
            ++i;
            last = number(list, i);
        }
        for (int id = first; id <= last; ++id) listed.insert(id);
        --i;
    }
    for (int id = 0; id < static_cast<int>(table.Count()); ++id)
        if (table.Get(id).empty()) empty.insert(id);
    EXPECT_EQ(listed, empty);
}

TEST_F(SettingsTest, WrittenAtShutDownReadBackAtStartUp) {
    gQel.Family = 2;
    gQel.CapacityIndex = 3;
    gQel.ComPort = 4;
    gQel.BaudRate = 115200;
    gQel.Station = 7;
    gQel.Zoom = 1;
    gQel.ValueFormat = 2;
    gQel.MatchSize = 1;
    gQel.OpenDir = "/data/程序";
    gQel.SaveDir = "/data/out";
    gQel.RecentFiles = {"/a/one.kzp", "/b/two.kzp"};
    ASSERT_TRUE(WriteSettings());
    const TQelState written = gQel;

    SetDefaultSettings();
    gQel.OpenDir.clear();
    gQel.SaveDir.clear();
    gQel.RecentFiles.clear();
    ASSERT_TRUE(ReadSettings());
    const auto fields = [](const TQelState& q) {
        return std::tie(q.Family, q.CapacityIndex, q.ComPort, q.BaudRate, q.Station, q.Zoom, q.ValueFormat,
                        q.MatchSize, q.OpenDir, q.SaveDir, q.RecentFiles);
    };
    EXPECT_TRUE(fields(gQel) == fields(written));
}

TEST_F(SettingsTest, MissingShortOrBadFileKeepsDefaults) {
    SetDefaultSettings();
    EXPECT_FALSE(ReadSettings());
    EXPECT_EQ(gQel.ComPort, 1);

    // Short file: only the lines present count.
    WriteText(SettingsFilePath(), "206\n1\n");
    ASSERT_TRUE(ReadSettings());
    EXPECT_EQ(gQel.Family, 1);
    EXPECT_EQ(gQel.ComPort, 1);
    EXPECT_EQ(gQel.BaudRate, 9600);

    // Values out of range or not numbers keep what was there.
    SetDefaultSettings();
    WriteText(SettingsFilePath(), "206\n7\n-1\n0\n12345\n300\n9\nx\n");
    ASSERT_TRUE(ReadSettings());
    EXPECT_EQ(gQel.Family, 0);
    EXPECT_EQ(gQel.CapacityIndex, 0);
    EXPECT_EQ(gQel.ComPort, 1);
    EXPECT_EQ(gQel.BaudRate, 9600);
    EXPECT_EQ(gQel.Station, 1);
    EXPECT_EQ(gQel.Zoom, 4);

    // A file of another layout version is not read at all.
    WriteText(SettingsFilePath(), "205\n2\n");
    EXPECT_FALSE(ReadSettings());
    EXPECT_EQ(gQel.Family, 0);
}

TEST_F(DeviceCommentTest, NamesListsAndRanges) {
    ASSERT_TRUE(SetModelFamily(0));
    EXPECT_TRUE(SetDeviceComment("X17", "octal"));
    EXPECT_EQ(GetDeviceComment('X', 15), "octal");
    EXPECT_EQ(GetCommentByDeviceName("X17"), "octal");
    EXPECT_EQ(GetCommentByDeviceName("X15"), "");

    gQel.Modified = 0;
    EXPECT_FALSE(SetDeviceComment("X8", "not octal"));
    EXPECT_EQ(gQel.Modified, 1);
    EXPECT_FALSE(SetDeviceComment("D99999", "too far"));
    EXPECT_FALSE(SetDeviceComment("K5", "no list"));
    EXPECT_FALSE(SetDeviceComment("", "empty"));
    EXPECT_EQ(GetDeviceComment('D', 1000000), "");
    EXPECT_EQ(GetDeviceComment('Z', 0), "");
    EXPECT_EQ(GetDeviceComment('\0', 0), "");
    EXPECT_EQ(GetDeviceComment('M', -1), "");

    // A larger family keeps what fits and makes room for more.
    EXPECT_TRUE(SetDeviceComment("D1311", "last D of family 0"));
    ASSERT_TRUE(SetModelFamily(1));
    EXPECT_EQ(GetCommentByDeviceName("D1311"), "last D of family 0");
    EXPECT_TRUE(SetDeviceComment("D9999", "family 1"));
    ASSERT_TRUE(SetModelFamily(0));
    EXPECT_EQ(GetCommentByDeviceName("X17"), "octal");
    EXPECT_EQ(GetCommentByDeviceName("D9999"), "");
}

TEST_F(DeviceCommentTest, DefaultsFileReplacesAllComments) {
    SetDeviceComment("Y0", "old");
    WriteText(Dir() / "install" / "DeviceCommentInit.txt",
              "# remark\nM1000\tRUN 运行\nD9999\tbeyond family 0\nnonsense line\nX7\ttab\\tinside\n");
    LoadDeviceCommentInit();
    EXPECT_EQ(GetCommentByDeviceName("Y0"), "");
    EXPECT_EQ(GetCommentByDeviceName("M1000"), "RUN 运行");
    EXPECT_EQ(GetCommentByDeviceName("X7"), "tab\tinside");

    // Without a defaults file every comment is simply cleared.
    fs::remove(Dir() / "install" / "DeviceCommentInit.txt");
    LoadDeviceCommentInit();
    EXPECT_EQ(GetCommentByDeviceName("M1000"), "");
}

}  // namespace
