#include "project/Chartstamp.h"

#include <algorithm>
#include <vector>

#include "project/Fileio.h"
#include "project/Ladderstamp.h"
#include "project/Qelglobals.h"

std::uint64_t gSfcProgramStamp = 0;
std::uint64_t gSfcCodeStamp = 0;
std::uint64_t gSfcChartStamp = 0;
bool gSfcChartFromFile = false;

namespace {

bool (*sIsOldDrawing)() = nullptr;

bool CarriesCode(std::uint8_t type) { return type == 0 || type == 1 || type == 2 || type == 4 || type == 8; }

}  // namespace

std::string SfcChartBody() {
    std::int32_t rows = 0;
    for (std::int32_t r = gSfcGrid ? gSfcRowCount - 1 : -1; r >= 0 && rows == 0; --r) {
        const std::uint8_t* row = gSfcGrid + static_cast<std::size_t>(r) * kSfcRowBytes;
        if (std::any_of(row, row + kSfcRowBytes, [](std::uint8_t b) { return b != 0xFF; })) rows = r + 1;
    }
    std::string out;
    qelfile::PutU32(out, static_cast<std::uint32_t>(rows));
    if (rows > 0) out.append(reinterpret_cast<const char*>(gSfcGrid), static_cast<std::size_t>(rows) * kSfcRowBytes);
    std::string body;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> taken(static_cast<std::size_t>(rows) * 16, 0);
    for (const auto& rec : gSfcCodeList) {
        if (rec->row < 0 || rec->row >= rows || rec->col < 0 || rec->col > 60 || rec->col % 4) continue;
        const std::size_t cell = static_cast<std::size_t>(rec->row) * 16 + static_cast<std::size_t>(rec->col / 4);
        if (taken[cell] || !CarriesCode(gSfcGrid[cell * 4])) continue;
        taken[cell] = 1;
        qelfile::PutU32(body, static_cast<std::uint32_t>(rec->row));
        qelfile::PutU32(body, static_cast<std::uint32_t>(rec->col));
        qelfile::PutU32(body, static_cast<std::uint32_t>(rec->code.size()));
        body.append(reinterpret_cast<const char*>(rec->code.data()), rec->code.size());
        ++count;
    }
    qelfile::PutU32(out, count);
    return out + body;
}

std::uint64_t SfcChartContentStamp() {
    const std::string body = SfcChartBody();
    return CodeImageStamp(reinterpret_cast<const std::uint8_t*>(body.data()), static_cast<std::uint32_t>(body.size()));
}

TSfcStamps CaptureSfcStamps() { return {gSfcProgramStamp, gSfcCodeStamp, gSfcChartStamp, gSfcChartFromFile}; }

void RestoreSfcStamps(const TSfcStamps& s) {
    gSfcProgramStamp = s.program;
    gSfcCodeStamp = s.code;
    gSfcChartStamp = s.chart;
    gSfcChartFromFile = s.fromFile;
}

void MarkChartOfProgram(const std::uint8_t* code, std::uint32_t length) {
    gSfcProgramStamp = ProgramImageStamp();
    gSfcCodeStamp = CodeImageStamp(code, length);
    gSfcChartStamp = SfcChartContentStamp();
    gSfcChartFromFile = false;
}

bool SfcChartIsOldDrawing() { return sIsOldDrawing && sIsOldDrawing(); }

void SetSfcChartJudge(bool (*isOldDrawing)()) { sIsOldDrawing = isOldDrawing; }
