#include "project/Qelglobals.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/ProgramImage.h"

namespace {
// Storage behind the raw pointers of the header.
std::vector<std::uint8_t> sProgram, sProgramCopy, sLadder, sInterLadder, sSfc;
}  // namespace

std::uint8_t* gProgram = nullptr;
std::uint32_t gProgramCapacity = 0;
std::uint32_t gProgramUsed = 0;
std::uint8_t* gProgramCopy = nullptr;
std::uint32_t gProgramCopySize = 0;
std::uint32_t gProgramCopyUsed = 0;
std::uint32_t gProgramCopyLastOffset = 0;

std::uint8_t* gLadderRows = nullptr;
std::int32_t gLadderRowCount = 0;
std::int32_t gPLabelRows[kPLabelCount];
std::int32_t gILabelRows[kILabelCount];

std::uint8_t* gInterLadderGrid = nullptr;
std::int32_t gInterLadderRowCapacity = 0;
std::int32_t gInterPLabelRows[kPLabelCount];
std::int32_t gInterILabelRows[kILabelCount];

std::uint8_t* gSfcGrid = nullptr;
std::int32_t gSfcRowCount = 0;
std::vector<std::unique_ptr<TSfcCodeRec>> gSfcCodeList;

std::vector<std::uint16_t> gFileRegValues;
std::int32_t gFileRegCount = 0;

std::int32_t gActiveView = 0;
std::int32_t gCellWidth = kZoomCellWidths[4];
std::int32_t gCellHeight = kZoomCellHeights[4];
std::uint8_t gShowComments = 0;
std::uint8_t gMonitorMode = 0;

TDevMoniEntry gDevMoniEntries[kDevMoniMaxEntries];
std::int32_t gDevMoniEntryCount = 0;

TQelState gQel;
std::uint64_t gProjectSerial = 0;

std::uint32_t ProgramCapacityOf(int index) {
    if (index < 0 || index >= kCapacityCount) return 0;
    return kProgramCapacities[static_cast<std::size_t>(index)];
}

bool SetProgramCapacity(int index) {
    const std::uint32_t bytes = ProgramCapacityOf(index);
    if (bytes == 0) return false;
    sProgram.assign(bytes, 0xFF);
    sProgramCopy.assign(bytes, 0xFF);
    gProgram = sProgram.data();
    gProgramCopy = sProgramCopy.data();
    gProgramCapacity = bytes;
    gProgramCopySize = bytes;
    gProgramUsed = 0;
    gProgramCopyUsed = 0;
    gProgramCopyLastOffset = 0;
    gQel.CapacityIndex = index;
    return true;
}

void GrowProgramCopy(std::uint32_t bytes) {
    if (bytes <= sProgramCopy.size()) return;
    sProgramCopy.resize(bytes, 0xFF);
    gProgramCopy = sProgramCopy.data();
    gProgramCopySize = bytes;
}

void GrowInterLadderGrid(std::int32_t rows) {
    if (rows <= gInterLadderRowCapacity) return;
    sInterLadder.resize(static_cast<std::size_t>(rows) * kLadderRowBytes, 0);
    gInterLadderGrid = sInterLadder.data();
    gInterLadderRowCapacity = rows;
}

void ResizeSfcGrid(std::int32_t rows) {
    rows = std::max<std::int32_t>(rows, 0);
    sSfc.resize(static_cast<std::size_t>(rows) * kSfcRowBytes, 0xFF);
    gSfcGrid = sSfc.empty() ? nullptr : sSfc.data();
    gSfcRowCount = rows;
}

void SetFileRegCount(std::int32_t count) {
    count = std::max<std::int32_t>(count, 0);
    gFileRegValues.resize(static_cast<std::size_t>(count), 0);
    gFileRegCount = count;
}

std::string FileRegValuesBeyond(std::int32_t count) {
    int values = 0;
    std::size_t first = 0, last = 0;
    for (std::size_t i = static_cast<std::size_t>(std::max<std::int32_t>(count, 0)); i < gFileRegValues.size(); ++i) {
        if (gFileRegValues[i] == 0) continue;
        if (values++ == 0) first = i;
        last = i;
    }
    if (values == 0) return {};
    std::string text = std::to_string(values) + " (" + std::to_string(first);
    if (last != first) text += "-" + std::to_string(last);
    return text + ")";
}

std::string WholePath(const std::string& name) {
    if (name.empty()) return name;
    std::error_code ec;
    const std::filesystem::path whole = std::filesystem::absolute(std::filesystem::path(name), ec).lexically_normal();
    return ec ? name : whole.string();
}

void AddRecentFile(const std::string& name) {
    // The list outlives the folder the program was started in: whole paths only.
    const std::string path = WholePath(name);
    auto& list = gQel.RecentFiles;
    // An entry of an earlier list relative to this run's folder names the same
    // file: it gives way to the whole path.
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const std::string& e) {
                                  return e == path || (!e.empty() && std::filesystem::path(e).is_relative() &&
                                                       WholePath(e) == path);
                              }),
               list.end());
    list.insert(list.begin(), path);
    if (list.size() > static_cast<std::size_t>(kRecentFileMax)) list.resize(kRecentFileMax);
}

void ApplyZoomIndex(int zoom) {
    zoom = std::clamp(zoom, 0, 6);
    gQel.Zoom = zoom;
    gCellWidth = kZoomCellWidths[static_cast<std::size_t>(zoom)];
    gCellHeight = kZoomCellHeights[static_cast<std::size_t>(zoom)] * (gShowComments ? 2 : 1);
}

void AllocateSharedBuffers() {
    gQel = TQelState{};
    SetProgramCapacity(0);
    sLadder.assign(static_cast<std::size_t>(kLadderRows) * kLadderRowBytes, 0);
    gLadderRows = sLadder.data();
    gLadderRowCount = 0;
    std::fill(std::begin(gPLabelRows), std::end(gPLabelRows), -1);
    std::fill(std::begin(gILabelRows), std::end(gILabelRows), -1);
    sInterLadder.clear();
    gInterLadderRowCapacity = 0;
    GrowInterLadderGrid(kInterLadderRowsAtStart);
    std::fill(std::begin(gInterPLabelRows), std::end(gInterPLabelRows), -1);
    std::fill(std::begin(gInterILabelRows), std::end(gInterILabelRows), -1);
    sSfc.clear();
    ResizeSfcGrid(kSfcRowsAtStart);
    gSfcCodeList.clear();
    SetFileRegCount(0);
    std::memset(gDevMoniEntries, 0, sizeof gDevMoniEntries);
    gDevMoniEntryCount = 0;
    gActiveView = 0;
    gShowComments = 0;
    gMonitorMode = 0;
    ApplyZoomIndex(4);
    SetModelFamily(0);
}

void FreeSharedBuffers() {
    for (auto* v : {&sProgram, &sProgramCopy, &sLadder, &sInterLadder, &sSfc}) {
        v->clear();
        v->shrink_to_fit();
    }
    gProgram = gProgramCopy = gLadderRows = gInterLadderGrid = gSfcGrid = nullptr;
    gProgramCapacity = gProgramUsed = gProgramCopySize = gProgramCopyUsed = gProgramCopyLastOffset = 0;
    gLadderRowCount = gInterLadderRowCapacity = gSfcRowCount = 0;
    gSfcCodeList.clear();
    gFileRegValues.clear();
    gFileRegCount = 0;
}

std::uint32_t LocateProgramEnd() {
    gProgramUsed = gProgram ? LocateCodeEnd(gProgram, gProgramCapacity) : 0;
    return gProgramUsed;
}

std::uint32_t LocateProgramCopyEnd() {
    std::uint32_t last = 0;
    gProgramCopyUsed = gProgramCopy ? LocateCodeEnd(gProgramCopy, gProgramCopySize, &last) : 0;
    gProgramCopyLastOffset = last;
    return gProgramCopyUsed;
}

std::uint32_t NewLadderRowId() {
    static std::uint32_t next = 0;
    return ++next;
}

void GiveLadderRowIds(std::vector<std::uint32_t>& ids, std::int32_t lastRow, std::size_t commentRows) {
    const std::size_t rows = std::max(static_cast<std::size_t>(std::max(lastRow + 1, 0)), commentRows);
    ids.reserve(rows);
    while (ids.size() < rows) ids.push_back(NewLadderRowId());
}
