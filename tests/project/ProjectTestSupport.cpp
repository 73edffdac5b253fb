#include "tests/project/ProjectTestSupport.h"

#include <cstring>
#include <random>
#include <unistd.h>

#include "platform/Paths.h"
#include "project/Ladderstamp.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"

namespace shelltest {

ProjectSnapshot TakeSnapshot() {
    ProjectSnapshot s;
    s.family = gQel.Family;
    s.capacityIndex = gQel.CapacityIndex;
    s.program.assign(gProgram, gProgram + gProgramCapacity);
    s.ladder.assign(gLadderRows, gLadderRows + static_cast<std::size_t>(kLadderRows) * kLadderRowBytes);
    s.pLabels.assign(std::begin(gPLabelRows), std::end(gPLabelRows));
    s.iLabels.assign(std::begin(gILabelRows), std::end(gILabelRows));
    s.title = gQel.Title;
    s.company = gQel.Company;
    s.designer = gQel.Designer;
    s.programFile = gQel.ProgramFileName;
    s.comments = gQel.DevComments;
    s.rungComments = gQel.RungComments;
    // Trailing empty rung comments carry nothing.
    while (!s.rungComments.empty() && s.rungComments.back().empty()) s.rungComments.pop_back();
    const auto* m = reinterpret_cast<const std::uint8_t*>(gDevMoniEntries);
    s.monitor.assign(m, m + sizeof(TDevMoniEntry) * static_cast<std::size_t>(gDevMoniEntryCount));
    // The chart up to its last used row, and its records.
    std::size_t used = static_cast<std::size_t>(gSfcRowCount) * kSfcRowBytes;
    while (used >= kSfcRowBytes &&
           std::all_of(gSfcGrid + used - kSfcRowBytes, gSfcGrid + used, [](std::uint8_t b) { return b == 0xFF; }))
        used -= kSfcRowBytes;
    s.chart.assign(gSfcGrid, gSfcGrid + used);
    for (const auto& rec : gSfcCodeList) s.chartRecords.push_back({rec->row, rec->col, rec->code});
    return s;
}

void FillProject(int family, int capacityIndex, std::uint32_t seed) {
    std::mt19937 rng(seed);
    ClearProject();
    ASSERT_TRUE(SetProgramCapacity(capacityIndex));
    ASSERT_TRUE(SetModelFamily(family));
    // LD X0, OUT Y0, then seeded words, then END; the rest stays 0xFF.
    const std::uint16_t head[] = {0x2400, 0xC500};
    std::uint32_t off = 0;
    auto put = [&](std::uint16_t w) {
        gProgram[off] = static_cast<std::uint8_t>(w);
        gProgram[off + 1] = static_cast<std::uint8_t>(w >> 8);
        off += 2;
    };
    for (auto w : head) put(w);
    for (int i = 0; i < 200; ++i) put(static_cast<std::uint16_t>(0x2000 + (rng() % 0x6000)));
    put(0x000F);

    const int rows = 40;
    for (int r = 0; r < rows; ++r) {
        std::uint8_t* row = gLadderRows + static_cast<std::size_t>(r) * kLadderRowBytes;
        if (r % 7 == 3) {
            row[0] = 0x10;
            const char* text = (r % 2) ? "启动条件 start" : "Block comment";
            std::memcpy(row + 1, text, std::strlen(text));
            continue;
        }
        for (int c = 0; c < 12; ++c) {
            row[c * 5 + 1] = static_cast<std::uint8_t>(((rng() % 15) << 4) | (rng() % 16));
            row[c * 5 + 2] = static_cast<std::uint8_t>(rng());
            row[c * 5 + 3] = static_cast<std::uint8_t>(rng());
            row[c * 5 + 4] = static_cast<std::uint8_t>(rng());
        }
    }
    gLadderRowCount = rows;
    MarkLadderOfProgram();  // the rows stand for this code
    gPLabelRows[0] = 0;
    gPLabelRows[255] = 12;
    gILabelRows[899] = 20;

    gQel.Title = "输送带控制 Conveyor";
    gQel.Company = "Acme\tWorks\\Ltd";
    gQel.Designer = "王工程师";
    SetDeviceComment("X0", "启动按钮");
    SetDeviceComment("X17", "Stop\nbutton");
    SetDeviceComment("Y7", "马达");
    SetDeviceComment("M100", "Auxiliary");
    SetDeviceComment("D200", "计数值");
    SetDeviceComment("P255", "Subroutine");
    SetDeviceComment("I899", "Interrupt");
    gQel.RungComments.assign(30, std::string());
    gQel.RungComments[0] = "第一列";
    gQel.RungComments[29] = "last rung";

    std::memset(gDevMoniEntries, 0, sizeof gDevMoniEntries);
    const char* names[] = {"X0", "Y17", "T5", "C200", "D1000"};
    for (int i = 0; i < 5; ++i) std::memcpy(gDevMoniEntries[i].Name, names[i], std::strlen(names[i]));
    gDevMoniEntries[2].SetValue[0] = 10;
    gDevMoniEntries[3].SetValue[3] = 0x12;
    gDevMoniEntryCount = 5;

    // A chart that has grown (its file holds only the rows in use), with element code.
    ResizeSfcGrid(320);
    auto cell = [](int row, int col, std::uint8_t type, std::uint16_t n) {
        std::uint8_t* p = gSfcGrid + static_cast<std::size_t>(row) * kSfcRowBytes + col * 4;
        p[0] = type;
        p[1] = static_cast<std::uint8_t>(n);
        p[2] = static_cast<std::uint8_t>(n >> 8);
    };
    cell(0, 0, 1, static_cast<std::uint16_t>(seed % 10));
    cell(1, 0, 4, 0xFFFF);
    cell(2, 0, 5, 8);
    cell(40, 15, 2, 1000);
    gSfcCodeList.clear();
    for (auto [row, col] : {std::pair{0, 0}, std::pair{1, 0}, std::pair{40, 60}}) {
        auto rec = std::make_unique<TSfcCodeRec>();
        rec->row = row;
        rec->col = col;
        for (int i = 0; i < 2 * (2 + row % 7); ++i) rec->code.push_back(static_cast<std::uint8_t>(rng()));
        gSfcCodeList.push_back(std::move(rec));
    }
}

void ShellTest::SetUp() {
    dir_ = std::filesystem::temp_directory_path() /
           ("qel-shell-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "install");
    qel::SetInstallDir(dir_ / "install");
    gMsgTable.Assign({});
    AllocateSharedBuffers();
}

void ShellTest::TearDown() {
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_, ec);
    FreeSharedBuffers();
}

}  // namespace shelltest
