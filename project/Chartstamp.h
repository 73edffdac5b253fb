#pragma once
// Which code the SFC chart belongs to. The chart is the program's other form,
// like the ladder: drawn from the code, or the source the code is converted
// from. It stays in the project (and in its chart file) whether or not it
// converts, so the project keeps what the chart and its code were when they
// last matched: a chart that is only a drawing of code changed since can then
// be told from one holding the user's own edits, which are never replaced.
#include <cstdint>
#include <string>

// Stamp (ProgramImageStamp) of the program image the chart last matched: drawn
// from it, or converted into it. 0 when not known (a chart file written before
// the stamps existed).
extern std::uint64_t gSfcProgramStamp;
// Stamp (CodeImageStamp over its length) of the code the chart converted to then.
extern std::uint64_t gSfcCodeStamp;
// Stamp (SfcChartContentStamp) of the chart's cells and records then.
extern std::uint64_t gSfcChartStamp;
// The chart is the one read from the project's chart file and has not matched
// the program since.
extern bool gSfcChartFromFile;

// The three stamps and the file flag together: what an undo step of the chart
// puts back when the step replaced a chart drawn for other code.
struct TSfcStamps {
    std::uint64_t program = 0, code = 0, chart = 0;
    bool fromFile = false;
};
TSfcStamps CaptureSfcStamps();
void RestoreSfcStamps(const TSfcStamps& s);

// The chart's used rows and its element records, as the chart file holds them
// after its header: u32 row count, the rows, u32 record count, the records.
// Records outside the rows, on cells without code or on a cell already given
// are left out (they carry nothing).
std::string SfcChartBody();
// FNV-1a 64 over SfcChartBody().
std::uint64_t SfcChartContentStamp();

// The shared chart now matches the program: it converts to `code` (`length`
// bytes) for the program image as it stands, or was drawn from it.
void MarkChartOfProgram(const std::uint8_t* code, std::uint32_t length);
// The chart is only a drawing of other code, nothing in it the user's own:
// the chart model's one answer (its chart state, which converts the chart),
// asked here by the save. The program installs it where it is put together
// (InstallSfcChartJudge); without it no chart is taken for a mere drawing, so
// nothing of a chart is dropped.
bool SfcChartIsOldDrawing();
void SetSfcChartJudge(bool (*isOldDrawing)());
