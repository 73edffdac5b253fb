#include "tools/check/Batchtest.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "ladder/model/Laddercompile.h"
#include "ladder/model/Test.h"
#include "project/Fileio.h"
#include "project/Qelglobals.h"

namespace fs = std::filesystem;

namespace {

const char* const kOpenFailed = " :開檔有問題!!";
const char* const kLadderError = " :Ladder ERROR!!";
const char* const kSyntaxError = " :文法檢查錯誤!!";
const char* const kTestOk = " : 測試 OK!!";
const char* const kLadderOk = " : Ladder OK!!";
const char* const kSystemError = " :發生系統錯誤!!";

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

TBatchOutcome TestProgramFile(const std::string& path, bool passCheck, const TBatchHooks& hooks) {
    bool loaded = false;
    try {
        loaded = hooks.load && hooks.load(path);
    } catch (...) {
        loaded = false;
    }
    // A refused file is reported on its own line: compiling whatever project
    // happens to be in memory would log that project's result under this name.
    if (!loaded) return {kOpenFailed, TBatchLamp::White};
    try {
        if (!hooks.compile || !hooks.compile()) return {kLadderError, TBatchLamp::Red};
        if (!passCheck) return {kLadderOk, TBatchLamp::Lime};
        if (!hooks.check || !hooks.check()) return {kSyntaxError, TBatchLamp::Red};
        return {kTestOk, TBatchLamp::Lime};
    } catch (...) {
        return {kSystemError, TBatchLamp::Black};
    }
}

std::vector<std::string> ListProgramFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const std::string name = it->path().filename().string();
        if (Lower(it->path().extension().string()) == ".kzp") names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = Lower(a), lb = Lower(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

bool SaveResultLines(const std::string& path, const std::vector<std::string>& lines) {
    if (path.empty()) return false;
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return qelfile::WriteFileReplacing(path, text);
}

// The structure check runs on its own (CheckProjectSyntax), only when asked.
bool CompileProjectLadder() { return CompileProgramLadder(nullptr, false) == 0; }

bool CheckProjectSyntax() {
    const std::uint32_t used = LocateProgramEnd();
    std::int32_t errSteps[2] = {0, 0};
    CheckProgramSyntax(gProgram, used, errSteps);
    return gSyntaxError == 0 && gCompileResult == 0;
}
