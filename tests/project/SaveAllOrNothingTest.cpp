// A save writes the whole file set and its backups or nothing: a full disk,
// a file that cannot be replaced or a rename that fails half-way leave the
// previous set and the previous backups on disk, and the message says so.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "project/Projectfiles.h"
#include "tests/project/ProjectTestSupport.h"

using namespace shelltest;
namespace fs = std::filesystem;

namespace {

// Every file of the folder with its bytes.
std::map<std::string, std::vector<std::uint8_t>> Folder(const fs::path& dir) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (!e.is_regular_file()) continue;
        std::vector<std::uint8_t> b;
        EXPECT_EQ(qelfile::ReadWholeFile(e.path(), b), qelfile::ReadResult::Ok) << e.path();
        files[e.path().filename().string()] = std::move(b);
    }
    return files;
}

// Makes the open ladder exactly `rows` rows long.
void SetLadderRows(int rows) {
    std::memcpy(gLadderRows + static_cast<std::size_t>(rows - 1) * kLadderRowBytes, gLadderRows, kLadderRowBytes);
    std::memset(gLadderRows + static_cast<std::size_t>(rows) * kLadderRowBytes, 0,
                static_cast<std::size_t>(kLadderRows - rows) * kLadderRowBytes);
    gLadderRowCount = rows;
}

class SaveAllOrNothing : public ShellTest {
protected:
    // A project saved twice into `dir`, so that every backup exists; then a
    // different project is open and modified, ready to be saved over it.
    void PrepareSet(const fs::path& dir, int oldLadderRows, int newLadderRows) {
        FillProject(0, 0, 31);
        SetLadderRows(oldLadderRows);
        SetProjectPath((dir / "p.kzp").string());
        ASSERT_TRUE(SaveProject());
        gQel.Title = "second";
        ASSERT_TRUE(SaveProject());
        before_ = Folder(dir);
        ASSERT_EQ(before_.size(), 16u);  // eight files and their eight backups
        FillProject(0, 0, 32);
        SetLadderRows(newLadderRows);
        SetProjectPath((dir / "p.kzp").string());
        gQel.Modified = 1;
        messages_.Clear();
    }
    // The save was refused with one message naming a file of the set, and the
    // folder holds exactly what it held before.
    void ExpectRefusedAndUnchanged(const fs::path& dir) {
        EXPECT_EQ(gQel.Modified, 1);
        ASSERT_EQ(messages_.Shown().size(), 1u);
        EXPECT_NE(messages_.Shown()[0].find(gMsgTable.Get(kMsgFileSaveFailed)), std::string::npos)
            << messages_.Shown()[0];
        EXPECT_NE(messages_.Shown()[0].find((dir / "p.").string()), std::string::npos) << messages_.Shown()[0];
        const auto after = Folder(dir);
        EXPECT_EQ(after.size(), before_.size()) << "no temporary file is left";
        EXPECT_TRUE(after == before_) << "the previous set and its backups are unchanged";
    }
    std::map<std::string, std::vector<std::uint8_t>> before_;
};

struct TmpfsMount {
    explicit TmpfsMount(const fs::path& dir) : dir_(dir) {
        fs::create_directories(dir);
        mounted = ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=128k") == 0;
    }
    ~TmpfsMount() {
        if (mounted) ::umount2(dir_.c_str(), MNT_DETACH);
    }
    bool mounted = false;
    fs::path dir_;
};

// Fills the file system of `dir` until a write fails for want of room.
void FillUp(const fs::path& dir) {
    std::FILE* f = std::fopen((dir / "filler").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<char> block(512, 'x');
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
    struct statvfs vs {};
    ASSERT_EQ(::statvfs(dir.c_str(), &vs), 0);
    EXPECT_EQ(vs.f_bavail, 0u);
}

}  // namespace

TEST_F(SaveAllOrNothing, SmallFullFileSystemKeepsTheOldSetAndItsBackups) {
    const fs::path dir = Dir() / "small";
    TmpfsMount tmpfs(dir);
    if (tmpfs.mounted) {
        // A 128 KB file system holding the set with its backups, then full.
        const fs::path src = Dir() / "src";
        fs::create_directories(src);
        PrepareSet(src, 3, 2);
        for (const auto& e : fs::directory_iterator(src)) fs::copy_file(e.path(), dir / e.path().filename());
        // The copies stand for the project's own set, as its save wrote it.
        for (const auto& [name, bytes] : Folder(dir)) qelfile::NoteFileSeen(dir / name, bytes);
        SetProjectPath((dir / "p.kzp").string());
        gQel.Modified = 1;
        FillUp(dir);
        before_ = Folder(dir);
        EXPECT_FALSE(SaveProject());
        ExpectRefusedAndUnchanged(dir);
    }
    // Room for the new files but not for the backups: the old ladder is
    // larger than any new file, and no file may grow past that size. (Also
    // the way to run this where mounting is not allowed.)
    const fs::path limited = Dir() / "limited";
    fs::create_directories(limited);
    PrepareSet(limited, 200, 1);
    std::uintmax_t largestNew = 0;
    {
        // The sizes the new files will have, from a save elsewhere.
        const fs::path probe = Dir() / "probe";
        fs::create_directories(probe);
        SetProjectPath((probe / "p.kzp").string());
        ASSERT_TRUE(SaveProject());
        for (const auto& [name, bytes] : Folder(probe)) largestNew = std::max<std::uintmax_t>(largestNew, bytes.size());
        SetProjectPath((limited / "p.kzp").string());
        gQel.Modified = 1;
        messages_.Clear();
    }
    const std::uintmax_t oldLadder = before_.at("p.lad").size();
    ASSERT_LT(largestNew, oldLadder) << "the scenario needs an old ladder larger than every new file";
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = static_cast<rlim_t>(largestNew + (oldLadder - largestNew) / 2);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = SaveProject();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved_ok);
    ExpectRefusedAndUnchanged(limited);
}

// A save that cannot complete, case by case over a set saved twice (so with
// its backups): refused, said once naming the file, still modified, and the
// folder holds exactly what it held. A case marked `asUser` saves from a child
// that has given up root for an unprivileged user (write bits do not bind
// root), and reports the broken promises as bits of its exit status.
TEST_F(SaveAllOrNothing, SaveThatCannotCompleteKeepsTheSetAndNamesTheFile) {
    const bool root = ::geteuid() == 0;
    const auto open = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                      fs::perms::others_read | fs::perms::others_exec;
    struct Case {
        const char* what;
        const char* file;  // the file the message names
        bool asUser;
        std::function<void(const fs::path&)> spoil;
    };
    static const std::string kCut = "\xC2\xB0\xC2", kNul("a\0b", 3);
    const Case cases[] = {
        {"folder that cannot be written", "p.kzp", root,
         [&](const fs::path& dir) {
             fs::permissions(Dir(), open);
             fs::permissions(dir, root ? open : fs::perms::owner_read | fs::perms::owner_exec);
         }},
        {"name taken by a folder", "p.smt", false,
         [](const fs::path& dir) {
             fs::remove(dir / "p.smt");
             fs::create_directories(dir / "p.smt" / "inside");
         }},
        // As in a sticky folder where one file belongs to another user.
        {"rename failing half-way", "p.smt", false,
         [](const fs::path&) {
             qelfile::SetRenameFunction([](const char* from, const char* to) -> int {
                 if (fs::path(to).filename() == "p.smt") {
                     errno = EPERM;
                     return -1;
                 }
                 return std::rename(from, to);
             });
         }},
        {"another user's file in a sticky folder", "p.lmt", true,
         [&](const fs::path& dir) {
             fs::permissions(Dir(), fs::perms::all);
             fs::permissions(dir, fs::perms::all | fs::perms::sticky_bit);
             for (const auto& e : fs::directory_iterator(dir)) {
                 if (e.path().filename() != "p.lmt") {
                     ASSERT_EQ(::chown(e.path().c_str(), 65534, 65534), 0);
                 }
             }
         }},
        // Text that is not UTF-8 or holds a NUL, which its reader would refuse.
        {"comment NUL", "p.rcm", false, [](const fs::path&) { gQel.DevComments[2][7] = kNul; }},
        {"comment code page", "p.rcm", false, [](const fs::path&) { gQel.DevComments[0][1] = kCut; }},
        {"title", "p.kzp", false, [](const fs::path&) { gQel.Title = kCut; }},
        {"designer", "p.rcm", false, [](const fs::path&) { gQel.Designer = kCut; }},
        {"rung comment", "p.lmt", false, [](const fs::path&) { gQel.RungComments.assign(3, kCut); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asUser && !root) continue;  // needs root to hand the folder to another user
        const fs::path dir = Dir() / c.what;
        fs::create_directories(dir);
        PrepareSet(dir, 5, 4);
        const TQelState kept = gQel;
        c.spoil(dir);
        before_ = Folder(dir);
        const std::string named = (dir / c.file).string();
        auto refusal = [&] {
            messages_.Clear();
            int broken = SaveProject() ? 1 : 0;
            if (gQel.Modified != 1) broken |= 2;
            if (messages_.Shown().size() != 1 || messages_.Shown()[0].find(named) == std::string::npos) broken |= 4;
            else if (messages_.Shown()[0].find(gMsgTable.Get(kMsgFileSaveFailed)) == std::string::npos) broken |= 8;
            return broken;
        };
        int broken = 0;
        if (c.asUser) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(100);
                ::_exit(refusal());
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status));
            broken = WEXITSTATUS(status);
            ASSERT_NE(broken, 100) << "could not leave root for an unprivileged user";
        } else {
            broken = refusal();
        }
        qelfile::SetRenameFunction(nullptr);
        fs::permissions(dir, fs::perms::owner_all);
        gQel = kept;
        EXPECT_EQ(broken, 0) << "1: save reported success, 2: modified flag lost, 4: no single message naming "
                             << named << ", 8: not the save-failed message" << (messages_.Shown().empty() ? "" : ": " + messages_.Shown()[0]);
        EXPECT_TRUE(Folder(dir) == before_) << "the previous set and its backups are unchanged, no file is left";
    }
}

TEST_F(SaveAllOrNothing, RollBackThatCannotPutAFileBackSaysWhereThePreviousWent) {
    PrepareSet(Dir(), 5, 4);
    qelfile::SetRenameFunction([](const char* from, const char* to) -> int {
        const std::string name = fs::path(to).filename().string();
        if (name == "p.smt" || (name == "p.lad" && std::string(from).find(".keep") != std::string::npos)) {
            errno = EIO;
            return -1;
        }
        return std::rename(from, to);
    });
    EXPECT_FALSE(SaveProject());
    qelfile::SetRenameFunction(nullptr);
    ASSERT_EQ(messages_.Shown().size(), 1u);
    const std::string text = messages_.Shown()[0];
    EXPECT_NE(text.find(gMsgTable.Get(kMsgSaveLeftMixed)), std::string::npos) << text;
    EXPECT_NE(text.find((Dir() / "p.lad").string() + " (new)"), std::string::npos) << text;
    EXPECT_NE(text.find(".keep (previous)"), std::string::npos) << text;
    const auto after = Folder(Dir());
    EXPECT_EQ(after.at("p.kzp"), before_.at("p.kzp"));  // put back
    EXPECT_NE(after.at("p.lad"), before_.at("p.lad"));  // could not be
}

TEST_F(SaveAllOrNothing, NextSaveKeepsBackupsOfThePreviousAndRemovesAnInterruptedSavesFiles) {
    PrepareSet(Dir(), 5, 4);
    // What a save stopped by a signal leaves: new contents and roll-back links
    // (or, where the folder takes no link, copies) of the files in place.
    for (const char* name : {"p.kzp.0badcafe.part", "p.kz~.1234abcd.part"}) std::ofstream(Dir() / name) << "left over";
    fs::create_hard_link(Dir() / "p.lad", Dir() / "p.lad.deadbeef.keep");
    fs::copy_file(Dir() / "p.rcm", Dir() / "p.rcm.0000abcd.keep");
    // A kept file of other contents than the file under its name is the only
    // copy of a previous version (what a roll-back that failed named): it stays.
    std::ofstream(Dir() / "p.lab.feedf00d.keep") << "the previous labels";
    // Names that only look alike are not ours.
    for (const char* name : {"p.kzp.notours.part", "q.kzp.0badcafe.part", "p.kzp.0badcafe.part.txt"})
        std::ofstream(Dir() / name) << "someone else's";
    ASSERT_TRUE(SaveProject());
    const auto after = Folder(Dir());
    EXPECT_EQ(after.size(), 16u + 4u);
    for (const char* name : {"p.kzp.notours.part", "q.kzp.0badcafe.part", "p.kzp.0badcafe.part.txt"})
        EXPECT_EQ(after.count(name), 1u) << name;
    ASSERT_EQ(after.count("p.lab.feedf00d.keep"), 1u);
    const std::string kept = "the previous labels";
    EXPECT_EQ(after.at("p.lab.feedf00d.keep"), std::vector<std::uint8_t>(kept.begin(), kept.end()));
    // Each backup is the previous file.
    for (const auto& [backup, previous] : {std::pair{"p.kz~", "p.kzp"}, std::pair{"p.la~", "p.lad"},
                                           std::pair{"p.rc~", "p.rcm"}, std::pair{"p.dv~", "p.dev"},
                                           std::pair{"p.lb~", "p.lab"}, std::pair{"p.lm~", "p.lmt"},
                                           std::pair{"p.sm~", "p.smt"}, std::pair{"p.sf~", "p.sfc"}})
        EXPECT_EQ(after.at(backup), before_.at(previous)) << backup;
    EXPECT_NE(after.at("p.kzp"), before_.at("p.kzp"));
    EXPECT_TRUE(messages_.Shown().empty());
}
