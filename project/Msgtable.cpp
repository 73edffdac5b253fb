#include "project/Msgtable.h"

#include <fstream>

#include "platform/Messages.h"
#include "platform/Paths.h"

TMsgTable gMsgTable;

bool TMsgTable::LoadFromFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lines.empty() && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
        lines.push_back(std::move(line));
    }
    if (in.bad()) return false;
    lines_ = std::move(lines);
    return true;
}

std::string TMsgTable::Get(int id) const {
    if (id < 0 || static_cast<std::size_t>(id) >= lines_.size()) return {};
    return lines_[static_cast<std::size_t>(id)];
}

std::filesystem::path MessageFilePath() { return qel::InstallDir() / "QEL.Txt"; }

bool LoadMessageTable() {
    const auto path = MessageFilePath();
    if (gMsgTable.LoadFromFile(path)) return true;
    qel::ShowMessage("File " + path.string() + " was lost !!", qel::MsgKind::Error);
    return false;
}

void ShowMsg(int id, const std::string& detail) {
    qel::ShowMessage(gMsgTable.Get(id) + detail, qel::MsgKind::Warning);
}
