#pragma once
// The batch compile test without its window: the program files of a folder,
// the test of one file (open it as the project, compile its ladder, check the
// result) with its result text and lamp colour, and the results file.
#include <functional>
#include <string>
#include <vector>

/// The result lamp: white while a file is tested, red on failure, lime on
/// success, black when something unexpected went wrong.
enum class TBatchLamp { White, Red, Lime, Black };

struct TBatchOutcome {
    std::string suffix;  ///< appended to the file's line (" : Ladder OK!!" ...)
    TBatchLamp lamp = TBatchLamp::White;
};

/// What a test step needs done. `load` opens the file as the current project
/// (false when it was refused); `compile` compiles the project's ladder into
/// its program (false on failure); `check` runs the syntax check on the
/// compiled program (false when it finds an error).
struct TBatchHooks {
    std::function<bool(const std::string& path)> load;
    std::function<bool()> compile;
    std::function<bool()> check;
};

/// Tests one file. A refused file is reported as such and nothing is
/// compiled; an exception while compiling or checking is reported as a
/// system error. Never throws.
TBatchOutcome TestProgramFile(const std::string& path, bool passCheck, const TBatchHooks& hooks);

/// The program files (".kzp", any case) of a folder, sorted by name without
/// regard to case. Empty for a folder that cannot be read.
std::vector<std::string> ListProgramFiles(const std::string& folder);

/// Writes the lines, each ended by a line feed, the way the project's files
/// are replaced (a new file beside `path`, renamed over it only when
/// complete). False when it cannot be written; `path` is then untouched.
bool SaveResultLines(const std::string& path, const std::vector<std::string>& lines);

/// The compile and check of the program's own ladder and code, as the batch
/// test runs them.
bool CompileProjectLadder();
bool CheckProjectSyntax();
