#include "project/Msgtable.h"

#include "platform/Messages.h"
#include "platform/Paths.h"
#include "project/Fileio.h"

TMsgTable gMsgTable;

bool TMsgTable::LoadFromFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes;
    if (qelfile::ReadWholeFile(path, bytes, kMaxMessageFileBytes) != qelfile::ReadResult::Ok) return false;
    std::vector<std::string> lines = qelfile::SplitLines(bytes);
    if (!lines.empty() && lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
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
    std::error_code ec;
    if (std::filesystem::symlink_status(path, ec).type() == std::filesystem::file_type::not_found)
        qel::ShowMessage("File " + path.string() + " was lost !!", qel::MsgKind::Error);
    else
        qel::ShowMessage("File " + path.string() + " cannot be read as the message file !!", qel::MsgKind::Error);
    return false;
}

void ShowMsg(int id, const std::string& detail) {
    qel::ShowMessage(gMsgTable.Get(id) + detail, qel::MsgKind::Warning);
}

std::string CellPositionText(int row, int col) {
    constexpr int kMsgRowLabel = 14, kMsgColumnLabel = 15;
    return " [" + gMsgTable.Get(kMsgRowLabel) + ": " + std::to_string(row) + " " + gMsgTable.Get(kMsgColumnLabel) + ": " +
           std::to_string(col) + " ]";
}
