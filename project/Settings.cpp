#include "project/Settings.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "project/Fileio.h"
#include "project/Qelglobals.h"

namespace {

// The line order of Qel.ini. New settings are only ever appended, so an older
// file still reads back by position.
enum Line {
    kLineVersion,
    kLineFamily,
    kLineCapacity,
    kLineComPort,
    kLineBaud,
    kLineStation,
    kLineZoom,
    kLineValueFormat,
    kLineMatchSize,
    kLineOpenDir,
    kLineSaveDir,
    kLineRecentFirst,
    kLineComDevice = kLineRecentFirst + kRecentFileMax,
    kLineCount
};

constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

bool ToInt(const std::string& s, long& v) {
    const char* b = s.data();
    const char* e = s.data() + s.size();
    while (b < e && *b == ' ') ++b;
    while (e > b && e[-1] == ' ') --e;
    if (b == e) return false;
    auto [p, ec] = std::from_chars(b, e, v);
    return ec == std::errc() && p == e;
}

// Stores the line's number into `field` when it lies within [lo, hi].
template <typename T>
void TakeInt(const std::vector<std::string>& lines, int index, long lo, long hi, T& field) {
    long v;
    if (static_cast<std::size_t>(index) < lines.size() && ToInt(lines[static_cast<std::size_t>(index)], v) &&
        v >= lo && v <= hi)
        field = static_cast<T>(v);
}

// The settings file's lines for the values gQel holds.
std::vector<std::string> SettingsLines() {
    std::vector<std::string> lines(kLineCount);
    lines[kLineVersion] = std::to_string(kProgramVersion);
    lines[kLineFamily] = std::to_string(gQel.Family);
    lines[kLineCapacity] = std::to_string(gQel.CapacityIndex);
    lines[kLineComPort] = std::to_string(gQel.ComPort);
    lines[kLineBaud] = std::to_string(gQel.BaudRate);
    lines[kLineStation] = std::to_string(gQel.Station);
    lines[kLineZoom] = std::to_string(gQel.Zoom);
    lines[kLineValueFormat] = std::to_string(gQel.ValueFormat);
    lines[kLineMatchSize] = std::to_string(gQel.MatchSize);
    // A folder or file name holding a line break cannot be kept by position.
    auto oneLine = [](const std::string& s) {
        return s.find_first_of("\r\n") == std::string::npos ? s : std::string();
    };
    lines[kLineOpenDir] = oneLine(gQel.OpenDir);
    lines[kLineSaveDir] = oneLine(gQel.SaveDir);
    for (int i = 0; i < kRecentFileMax && static_cast<std::size_t>(i) < gQel.RecentFiles.size(); ++i)
        lines[static_cast<std::size_t>(kLineRecentFirst + i)] = oneLine(gQel.RecentFiles[static_cast<std::size_t>(i)]);
    lines[kLineComDevice] = oneLine(gQel.ComDevice);
    return lines;
}

// The recent files of settings lines, without empty lines.
std::vector<std::string> RecentOf(const std::vector<std::string>& lines) {
    std::vector<std::string> recent;
    for (int i = kLineRecentFirst; i < kLineRecentFirst + kRecentFileMax && static_cast<std::size_t>(i) < lines.size(); ++i)
        if (!lines[static_cast<std::size_t>(i)].empty()) recent.push_back(lines[static_cast<std::size_t>(i)]);
    return recent;
}

// The settings as this run read them (the lines of the values it started
// with) and from where. Other runs write the same file: at shut-down a run
// writes only what it changed since, over what the file holds then.
struct TSettingsRead {
    std::filesystem::path Path;
    std::vector<std::string> Lines;
};
TSettingsRead& SettingsRead() {
    static TSettingsRead read;
    return read;
}

// The recent files this run opened or saved, newest first: the shortest
// front of `ours` after which the list read at start explains the rest
// (entries this run did not open again keep their order behind them).
std::vector<std::string> RecentAddedBy(const std::vector<std::string>& ours, const std::vector<std::string>& read) {
    std::size_t k = 0;
    for (; k < ours.size(); ++k) {
        auto at = read.begin();
        bool explained = true;
        for (std::size_t i = k; i < ours.size() && explained; ++i) {
            at = std::find(at, read.end(), ours[i]);
            explained = at != read.end();
            if (explained) ++at;
        }
        if (explained) break;
    }
    return std::vector<std::string>(ours.begin(), ours.begin() + static_cast<std::ptrdiff_t>(k));
}

}  // namespace

std::filesystem::path SettingsFilePath() { return qel::InstallDir() / "Qel.ini"; }

void SetDefaultSettings() {
    gQel.Version = kProgramVersion;
    gQel.Family = 0;
    gQel.CapacityIndex = 0;
    gQel.ComPort = 1;
    gQel.BaudRate = 9600;
    gQel.Station = 1;
    gQel.Zoom = 4;
    gQel.ValueFormat = 0;
    gQel.MatchSize = 0;
    gQel.ComDevice.clear();
}

namespace {

// The settings are a few hundred bytes; anything far larger is no settings file.
constexpr std::uintmax_t kMaxSettingsBytes = 64u * 1024u;

// The lines of the settings file at `path`; false when there is none of this
// layout (missing, unreadable, another version).
bool ReadSettingsLines(const std::filesystem::path& path, std::vector<std::string>& lines) {
    std::vector<std::uint8_t> bytes;
    if (qelfile::ReadWholeFile(path, bytes, kMaxSettingsBytes) != qelfile::ReadResult::Ok) return false;
    lines = qelfile::SplitLines(bytes);
    // The version line names the layout; a file of another version keeps the defaults.
    long version = 0;
    return !lines.empty() && ToInt(lines[0], version) && version == kProgramVersion;
}

}  // namespace

bool ReadSettings(const std::filesystem::path& path) {
    std::vector<std::string> lines;
    const bool read = ReadSettingsLines(path, lines);
    if (!read) {
        // What this run starts with is what it did not change.
        SettingsRead() = {path, SettingsLines()};
        return false;
    }

    TakeInt(lines, kLineFamily, 0, kModelFamilyCount - 1, gQel.Family);
    TakeInt(lines, kLineCapacity, 0, kCapacityCount - 1, gQel.CapacityIndex);
    TakeInt(lines, kLineComPort, 1, 256, gQel.ComPort);
    long baud;
    if (lines.size() > kLineBaud && ToInt(lines[kLineBaud], baud) &&
        std::find(std::begin(kBaudRates), std::end(kBaudRates), baud) != std::end(kBaudRates))
        gQel.BaudRate = static_cast<std::int32_t>(baud);
    TakeInt(lines, kLineStation, 0, 255, gQel.Station);
    TakeInt(lines, kLineZoom, 0, 6, gQel.Zoom);
    TakeInt(lines, kLineValueFormat, 0, 2, gQel.ValueFormat);
    TakeInt(lines, kLineMatchSize, 0, 1, gQel.MatchSize);
    auto text = [&](int index, std::string& field) {
        if (static_cast<std::size_t>(index) < lines.size() && qelfile::IsUtf8(lines[static_cast<std::size_t>(index)]))
            field = lines[static_cast<std::size_t>(index)];
    };
    text(kLineOpenDir, gQel.OpenDir);
    text(kLineSaveDir, gQel.SaveDir);
    std::vector<std::string> recent;
    for (int i = 0; i < kRecentFileMax; ++i) {
        std::string entry;
        text(kLineRecentFirst + i, entry);
        if (!entry.empty() && std::find(recent.begin(), recent.end(), entry) == recent.end())
            recent.push_back(entry);
    }
    gQel.RecentFiles = std::move(recent);
    text(kLineComDevice, gQel.ComDevice);
    SettingsRead() = {path, SettingsLines()};
    return true;
}

bool WriteSettings(const std::filesystem::path& path) {
    std::vector<std::string> lines = SettingsLines();
    // Another run may have written the file since this one read it: its
    // settings stay where this run kept the value it read, and the files it
    // added to the recent list stay listed after those this run added.
    const TSettingsRead& read = SettingsRead();
    std::vector<std::string> now;
    if (read.Path == path && ReadSettingsLines(path, now)) {
        for (std::size_t i = 0; i < lines.size() && i < now.size(); ++i) {
            const bool recent = i >= kLineRecentFirst && i < kLineRecentFirst + kRecentFileMax;
            if (!recent && i < read.Lines.size() && lines[i] == read.Lines[i]) lines[i] = now[i];
        }
        std::vector<std::string> recent = RecentAddedBy(RecentOf(lines), RecentOf(read.Lines));
        for (const std::string& e : RecentOf(now)) {
            // An entry relative to the folder a run started in names the
            // whole path this run lists.
            const std::string whole = std::filesystem::path(e).is_relative() ? WholePath(e) : e;
            if (std::find(recent.begin(), recent.end(), e) == recent.end() &&
                std::find(recent.begin(), recent.end(), whole) == recent.end())
                recent.push_back(e);
        }
        recent.resize(kRecentFileMax);
        std::copy(recent.begin(), recent.end(), lines.begin() + kLineRecentFirst);
    }
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return qelfile::WriteFileReplacing(path, out);
}
