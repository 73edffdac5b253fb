// The memory card against the emulator over a pseudo-terminal: the card
// status, the PLC's own copies between PLC and card, the project's program
// written to the card and read back (with and without the card password),
// every refusal of the PLC with its message, and a fault in the middle of a
// read that leaves the project as it was.
#include <algorithm>
#include <fstream>
#include <random>
#include <tuple>
#include <unistd.h>

#include "core/ProgramImage.h"
#include "link/jobs/Fileregs.h"
#include "link/jobs/Memcard.h"
#include "project/Commentrules.h"
#include "project/Fileio.h"
#include "project/Projectfiles.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/support/ScriptedMessages.h"

using namespace qel::test;
using namespace qel::link;
using qel::test::BytesReadSoFar;
using qel::test::ReturnsWithoutAWriter;

namespace {

class MemCardTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        link->SetComTmrIntervalMs(0);
        emu.Configure(1, 3, 90);
        SetModelFamily(1);
        SetProgramCapacity(3);
        gQel.CapacityIndex = 3;
        card = std::make_unique<TMemCard>(*link, host);
    }
    void PutProgram(std::uint8_t seed) {
        std::fill(gProgram, gProgram + gProgramCapacity, 0xFF);
        for (int i = 0; i < 600; i += 2) {
            gProgram[i] = static_cast<std::uint8_t>(seed + i);
            gProgram[i + 1] = 0x10;
        }
        gProgram[600] = 0x0F;  // END
        gProgram[601] = 0x00;
    }
    std::vector<std::uint8_t> Image() const { return {gProgram, gProgram + gProgramCapacity}; }

    TestProject project_{"qel-card-"};
    TTransferHost host;
    std::unique_ptr<TMemCard> card;
};

}  // namespace

TEST_F(MemCardTest, EveryFunctionEndToEnd) {
    // Status: no password, then one.
    emu.S.cardPassword.reset();
    EXPECT_TRUE(Ran([&] { return card->QueryStatus(); }).empty());
    EXPECT_EQ(card->StatusMsg, kMsgCardNoPassword);
    EXPECT_EQ(card->CardHasPassword, 0);

    // The program to the card without a password: no sub-code 16, 992 blocks.
    PutProgram(1);
    const std::vector<std::uint8_t> written = Image();
    EXPECT_EQ(Ran([&] { return card->WriteProgram(""); }), std::vector<int>{139});
    EXPECT_EQ(emu.RequestCount(), 1u + 992u);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), emu.S.cardArea[4].begin()));
    EXPECT_FALSE(emu.S.cardPassword.has_value());

    // With a password: it is set first; the status then tells.
    EXPECT_EQ(Ran([&] { return card->WriteProgram("k9Zz"); }), std::vector<int>{139});
    EXPECT_EQ(emu.S.cardPassword, "k9Zz");
    EXPECT_EQ(emu.Log()[1].bytes[3], 16);
    EXPECT_TRUE(Ran([&] { return card->QueryStatus(); }).empty());
    EXPECT_EQ(card->StatusMsg, kMsgCardHasPassword);

    // Read back into another program: a wrong password is refused and the
    // project stays; the right one brings the card's program.
    PutProgram(7);
    const std::vector<std::uint8_t> other = Image();
    EXPECT_EQ(Ran([&] { return card->ReadProgram("k9ZZ"); }), std::vector<int>{kMsgCardPasswordWrong});
    EXPECT_EQ(Image(), other);
    EXPECT_EQ(Ran([&] { return card->ReadProgram("k9Z"); }), std::vector<int>{kMsgCardPasswordWrong});
    // The pattern is no ladder: reported after the read's own message.
    EXPECT_EQ(Ran([&] { return card->ReadProgram("k9Zz"); }), (std::vector<int>{138, kMsgNotDrawn}));
    EXPECT_EQ(Image(), written);
    EXPECT_EQ(gQel.Family, 1);

    // The PLC's own copies both ways.
    emu.S.program.assign(emu.S.program.size(), 0x22);
    EXPECT_EQ(Ran([&] { return card->CopyInternal(true); }), std::vector<int>{139});
    EXPECT_EQ(emu.S.cardArea[4][0], 0x22);
    emu.S.cardArea[4][0] = 0x33;
    EXPECT_EQ(Ran([&] { return card->CopyInternal(false); }), std::vector<int>{138});
    EXPECT_EQ(emu.S.program[0], 0x33);
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(MemCardTest, EachCardErrorShownAndNothingHalfDone) {
    PutProgram(3);
    const std::vector<std::uint8_t> project = Image();
    const std::vector<std::uint8_t> cardBefore = emu.S.cardArea[4];

    emu.S.cardPresent = false;
    EXPECT_EQ(Ran([&] { return card->QueryStatus(); }), std::vector<int>{kMsgCardMissing});
    EXPECT_EQ(Ran([&] { return card->CopyInternal(true); }), std::vector<int>{kMsgCardCopyFailed});
    EXPECT_EQ(Ran([&] { return card->ReadProgram(""); }), std::vector<int>{kMsgCardMissing});
    EXPECT_EQ(Image(), project);
    emu.S.cardPresent = true;

    emu.S.cardWriteProtected = true;
    EXPECT_EQ(Ran([&] { return card->WriteProgram(""); }), std::vector<int>{kMsgCardWriteProtected});
    EXPECT_EQ(Ran([&] { return card->CopyInternal(true); }), std::vector<int>{kMsgCardWriteProtected});
    EXPECT_EQ(emu.S.cardArea[4], cardBefore);
    emu.S.cardWriteProtected = false;
    emu.S.cardFull = true;
    EXPECT_EQ(Ran([&] { return card->WriteProgram(""); }), std::vector<int>{kMsgCardFull});
    EXPECT_EQ(emu.S.cardArea[4], cardBefore);
    emu.S.cardFull = false;

    // A fault in the middle of a read: the project is untouched.
    emu.S.cardPassword.reset();
    card->CardHasPassword = 0;
    emu.AddFault({.action = FaultAction::Fn100Error, .function = 100, .subCode = 24, .skip = 500, .param = 2});
    EXPECT_EQ(Ran([&] { return card->ReadProgram(""); }), std::vector<int>{kMsgCardError});
    EXPECT_EQ(Image(), project);
    emu.ClearFaults();
    emu.AddFault({.action = FaultAction::Drop, .function = 100, .subCode = 24, .skip = 300});
    EXPECT_EQ(Ran([&] { return card->ReadProgram(""); }), std::vector<int>{kMsgTimeout});
    EXPECT_EQ(Image(), project);
    EXPECT_FALSE(card->Running());

    // A project or PLC of another family.
    emu.ClearFaults();
    SetModelFamily(2);
    EXPECT_EQ(Ran([&] { return card->QueryStatus(); }), std::vector<int>{kMsgCardOtherModel});
    SetModelFamily(1);
    emu.Configure(2, 1, 90);
    EXPECT_EQ(Ran([&] { return card->QueryStatus(); }), std::vector<int>{kMsgCardNotFamily});
}

TEST_F(MemCardTest, CommentsToTheCardAndBack) {
    auto& lists = gQel.DevComments;
    for (auto& l : lists) l.assign(l.size() < 300 ? 300 : l.size(), "");
    lists[0][8] = "Start button";  // X10: list index 8
    lists[2][100] = "马达运转";
    lists[6][0] = "Setpoint";
    const bool chosen[9] = {true, false, true, false, false, false, false, false, false};
    std::vector<std::uint8_t> packed;
    ASSERT_TRUE(PackComments(chosen, packed));
    EXPECT_EQ(packed[0], 'X');
    EXPECT_EQ(packed[1], 8);
    EXPECT_EQ(packed[2], 0);
    EXPECT_EQ(packed.size(), 3u + 12u + 1u + 3u + std::string("马达运转").size() + 1u);  // D not chosen

    EXPECT_EQ(Ran([&] { return card->WriteComments(chosen); }), std::vector<int>{139});
    EXPECT_EQ(emu.RequestCount(), 1u + (packed.size() / 2 + 15) / 16);
    EXPECT_TRUE(std::equal(packed.begin(), packed.end(), emu.S.cardArea[1].begin()));

    // Read back over changed comments: the card's records come back, the
    // rest stays; a fault in the middle changes nothing.
    lists[0][8] = "changed";
    lists[2][100].clear();
    lists[6][0] = "kept";
    emu.AddFault({.action = FaultAction::Fn100Error, .function = 100, .subCode = 24, .skip = 50, .param = 2});
    EXPECT_EQ(Ran([&] { return card->ReadComments(); }), std::vector<int>{kMsgCardError});
    EXPECT_EQ(lists[0][8], "changed");
    emu.ClearFaults();
    std::fill(emu.S.cardArea[1].begin() + static_cast<std::ptrdiff_t>(packed.size()), emu.S.cardArea[1].end(), 0);
    EXPECT_EQ(Ran([&] { return card->ReadComments(); }), std::vector<int>{138});
    EXPECT_EQ(lists[0][8], "Start button");
    EXPECT_EQ(lists[2][100], "马达运转");
    EXPECT_EQ(lists[6][0], "kept");

    // Comments that do not fit the card's area are refused; nothing is sent.
    // (500 records of the longest comment, 64 bytes: 34000 bytes.)
    lists[2].resize(std::max<std::size_t>(lists[2].size(), 500));
    for (std::size_t n = 0; n < 500; ++n) lists[2][n] = std::string(64, 'c');
    EXPECT_EQ(Ran([&] { return card->WriteComments(chosen); }), std::vector<int>{kMsgCardCommentsTooLarge});
    EXPECT_EQ(emu.RequestCount(), 0u);

    // Unpacking stops at a record without its end and never reads past the area.
    std::vector<std::uint8_t> broken{'X', 1, 0, 'a', 'b'};
    lists[0][1] = "old";
    UnpackComments(broken);
    EXPECT_EQ(lists[0][1], "old");
}

TEST_F(MemCardTest, CardCommentsOfAnyBytesBecomeTextThatSavesAndOpensAgain) {
    // A comment ends at a NUL; what is not UTF-8 (another code page, a cut or
    // overlong character, a surrogate) becomes U+FFFD, one per sequence.
    const std::string r = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"Motor\xD4\xCB", "Motor" + r + r},         {std::string("ab\0cd", 5), "ab"},
        {"\xE9\xA9\xAC\xE9\xA9x", "\xE9\xA9\xAC" + r + "x"}, {"\xED\xA0\x80", r + r + r},
        {"\xC0\xAF\xF4\x90\x80\x80", r + r + r + r + r + r}, {"\xF0\x9F\x98\x80 ok", "\xF0\x9F\x98\x80 ok"},
    };
    auto& lists = gQel.DevComments;
    std::vector<std::uint8_t> area;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        area.insert(area.end(), {'M', static_cast<std::uint8_t>(i), 0});
        area.insert(area.end(), cases[i].first.begin(), cases[i].first.end());
        area.push_back(0x0A);
    }
    UnpackComments(area);
    for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(lists[2][i], cases[i].second) << i;

    // Random areas: records of every letter with random bytes, NULs, cut
    // characters and stray line feeds. Whatever they leave is saved, and the
    // project opens again with exactly those comments.
    qel::test::ScriptedMessages messages;
    SetProjectPath((project_.home / "card.kzp").string());
    std::mt19937 rng(38);
    const std::string pieces[] = {"a", "马", "\xE9\xA9", "\xFF", std::string(1, '\0'), "\x0A", "\xC3", "\xBF", "\\t"};
    for (int round = 0; round < 100; ++round) {
        area.clear();
        while (area.size() < 2000) {
            const char letter = round % 5 == 0 ? static_cast<char>(rng()) : kCommentLetters[rng() % 9];
            area.insert(area.end(), {static_cast<std::uint8_t>(letter), static_cast<std::uint8_t>(rng() % 200), 0});
            for (int n = rng() % 12; n > 0; --n) {
                const std::string& p = pieces[rng() % std::size(pieces)];
                area.insert(area.end(), p.begin(), p.end());
            }
            area.push_back(rng() % 8 ? 0x0A : static_cast<std::uint8_t>(rng()));
        }
        UnpackComments(area);
        const auto unpacked = lists;
        for (const auto& l : lists)
            for (const std::string& c : l) ASSERT_TRUE(qelfile::IsUtf8(c) && c.find('\0') == std::string::npos) << c;
        ASSERT_TRUE(SaveProject()) << round;
        for (auto& l : lists) std::fill(l.begin(), l.end(), "x");
        gQel.OpenFileName = (project_.home / "card.kzp").string();
        ASSERT_TRUE(ReadProgramFile()) << round;
        ASSERT_EQ(lists, unpacked) << round;
    }
    EXPECT_TRUE(messages.Shown().empty());
    EXPECT_FALSE(messages.UnscriptedQuestion());
}

// Seeded random comments (control characters, tabs, line feeds, NULs and
// characters of two to four bytes, many longer than a comment may be) stored
// as the windows store them, written to the card and read back: every comment
// comes back exactly as the project held it. A line feed inside a comment no
// longer ends its record early, nor does one at its end swallow the next.
TEST_F(MemCardTest, RandomCommentsWrittenToTheCardComeBackTheSame) {
    auto& lists = gQel.DevComments;
    const std::string pieces[] = {"a", " ", "Z9", "\t", "\n", "\r", "\x01", "\x7F", std::string(1, '\0'),
                                  "é", "马", "\xF0\x9F\x98\x80"};
    std::mt19937 rng(43);
    const bool all[9] = {true, true, true, true, true, true, true, true, true};
    int changed = 0, notified = 0;
    const int listener = AddDeviceCommentListener([&] { ++notified; });
    for (int round = 0; round < 3; ++round) {
        for (auto& l : lists) std::fill(l.begin(), l.end(), std::string());
        for (int k = 0; k < 300; ++k) {
            const int list = static_cast<int>(rng() % 9);
            const int number = static_cast<int>(rng() % std::min<std::size_t>(lists[list].size(), 300));
            std::string text;
            for (int n = 1 + static_cast<int>(rng() % 30); n > 0; --n) text += pieces[rng() % std::size(pieces)];
            SetDeviceComments({{list, number, text}});
            const std::string& stored = lists[static_cast<std::size_t>(list)][static_cast<std::size_t>(number)];
            changed += stored != text;
            EXPECT_TRUE(CommentAcceptable(stored, kDeviceCommentMaxBytes)) << stored;
        }
        const auto held = lists;
        std::fill(emu.S.cardArea[1].begin(), emu.S.cardArea[1].end(), 0);  // a card without comments
        ASSERT_EQ(Ran([&] { return card->WriteComments(all); }), std::vector<int>{139});
        for (auto& l : lists) std::fill(l.begin(), l.end(), std::string());
        gQel.Modified = 0;
        notified = 0;
        ASSERT_EQ(Ran([&] { return card->ReadComments(); }), std::vector<int>{138});
        ASSERT_EQ(lists, held) << round;
        EXPECT_EQ(gQel.Modified, 1) << "a card read is a change of the project";
        EXPECT_EQ(notified, 1) << "the windows refresh once for the whole card";
    }
    RemoveDeviceCommentListener(listener);
    EXPECT_GT(changed, 600) << "most random comments needed the rule";
}

// Comments that reach the lists without passing the setter are still packed
// as the comment rule has them: a line feed inside one cannot end its record
// early and make the rest a record of another device, and no record is longer
// than a comment may be. Read back, each lands on its own device only.
TEST_F(MemCardTest, CommentsPutStraightIntoTheListsArePackedCleanAndComeBackOnTheirOwnDevices) {
    auto& lists = gQel.DevComments;
    for (auto& l : lists) std::fill(l.begin(), l.end(), std::string());
    lists[0][8] = "Start\nY\x05" + std::string(1, '\0') + "Lamp";  // X10: would forge a record for Y5
    lists[2][7] = "Valve\x1B" "2";                                  // M7
    lists[6][3] = std::string(60, 'a') + "马达";                     // D3: 66 bytes
    const bool all[9] = {true, true, true, true, true, true, true, true, true};
    std::vector<std::uint8_t> packed;
    ASSERT_TRUE(PackComments(all, packed));
    // The records as the card's reader splits them: at each line feed.
    std::vector<std::tuple<char, int, std::string>> records;
    for (std::size_t p = 0; p + 3 < packed.size();) {
        const auto end = std::find(packed.begin() + static_cast<std::ptrdiff_t>(p + 3), packed.end(), std::uint8_t{0x0A});
        records.emplace_back(static_cast<char>(packed[p]), packed[p + 1] | packed[p + 2] << 8,
                             std::string(packed.begin() + static_cast<std::ptrdiff_t>(p + 3), end));
        p = static_cast<std::size_t>(end - packed.begin()) + 1;
    }
    const std::vector<std::tuple<char, int, std::string>> expected = {
        {'X', 8, "Start Y  Lamp"}, {'M', 7, "Valve 2"}, {'D', 3, std::string(60, 'a') + "马"}};
    EXPECT_EQ(records, expected);
    EXPECT_EQ(packed.back(), 0x0A);

    std::fill(emu.S.cardArea[1].begin(), emu.S.cardArea[1].end(), 0);
    ASSERT_EQ(Ran([&] { return card->WriteComments(all); }), std::vector<int>{139});
    for (auto& l : lists) std::fill(l.begin(), l.end(), "kept");
    ASSERT_EQ(Ran([&] { return card->ReadComments(); }), std::vector<int>{138});
    EXPECT_EQ(lists[0][8], "Start Y  Lamp");
    EXPECT_EQ(lists[2][7], "Valve 2");
    EXPECT_EQ(lists[6][3], std::string(60, 'a') + "马");
    EXPECT_EQ(lists[1][5], "kept");  // Y5
    std::size_t kept = 0, entries = 0;
    for (const auto& l : lists) {
        kept += static_cast<std::size_t>(std::count(l.begin(), l.end(), "kept"));
        entries += l.size();
    }
    EXPECT_EQ(kept, entries - 3) << "no other device's comment changes";
}

TEST_F(MemCardTest, UserInstructionFiles) {
    const auto file = project_.home / "fn.Bin";
    auto put = [&](std::size_t n) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        for (std::size_t i = 0; i < n; ++i) out.put(static_cast<char>(i * 7 + 1));
    };
    // 35 bytes: two blocks, the odd byte padded to a word.
    put(35);
    EXPECT_EQ(Ran([&] { return card->WriteUserInstruction(file.string(), 1); }), std::vector<int>{139});
    EXPECT_EQ(emu.RequestCount(), 3u);
    for (std::size_t i = 0; i < 35; ++i) EXPECT_EQ(emu.S.cardArea[3][i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
    EXPECT_EQ(emu.S.cardArea[3][35], 0);
    EXPECT_EQ(emu.S.cardArea[2][0], 0xFF);  // the other user instruction untouched
    // Missing, empty and oversized files are refused before anything is sent.
    for (std::size_t n : {std::size_t{0}, std::size_t{32769}}) {
        put(n);
        EXPECT_EQ(Ran([&] { return card->WriteUserInstruction(file.string(), 0); }), std::vector<int>{kMsgCardUserFileBad});
        EXPECT_EQ(emu.RequestCount(), 0u);
    }
    EXPECT_EQ(Ran([&] { return card->WriteUserInstruction((project_.home / "none.Bin").string(), 0); }),
              std::vector<int>{kMsgCardUserFileBad});
    // Only a regular file is read, without waiting, and never beyond the
    // card's limit and one byte: a FIFO, a folder, a sparse file of 64 MiB.
    const auto huge = project_.home / "huge.Bin";
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, 64u << 20);
    std::filesystem::create_directory(project_.home / "folder.Bin");
    const std::uint64_t before = BytesReadSoFar();
    for (const auto& p : {huge, project_.home / "folder.Bin"})
        EXPECT_EQ(Ran([&] { return card->WriteUserInstruction(p.string(), 0); }), std::vector<int>{kMsgCardUserFileBad});
    EXPECT_LE(BytesReadSoFar() - before, kCardUserFileBytes + 1);
    EXPECT_TRUE(ReturnsWithoutAWriter(project_.home / "fifo.Bin", [&] {
        EXPECT_EQ(Ran([&] { return card->WriteUserInstruction((project_.home / "fifo.Bin").string(), 0); }),
                  std::vector<int>{kMsgCardUserFileBad});
    }));
    EXPECT_EQ(emu.RequestCount(), 0u);
    put(32768);
    emu.S.cardWriteProtected = true;
    EXPECT_EQ(Ran([&] { return card->WriteUserInstruction(file.string(), 0); }), std::vector<int>{kMsgCardWriteProtected});
}

// ---------------------------------------------------------------------------
// File registers: the template file round trip and its refusals (including
// a fuzzed file), and the transfer with the emulator over a pseudo-terminal
// for each family that has file registers: written, read back and equal,
// partial ranges in blocks of 16, and faults that leave the values as they were.

namespace {

class Host : public TFileRegHost {
public:
    void StartProgress(int maximum) override { this->maximum = maximum; }
    void SetProgress(int p) override { position = p; }
    void TransferEnded(bool s) override {
        ++ended;
        stored = s;
    }
    int maximum = -1, position = -1, ended = 0;
    bool stored = false;
};

std::vector<std::uint16_t> RandomValues(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> v(n);
    for (auto& x : v) x = static_cast<std::uint16_t>(rng());
    return v;
}

class FileRegsTest : public LinkFixture {
protected:
    void SetUp() override {
        LinkFixture::SetUp();
        link->SetComTmrIntervalMs(0);
        transfer = std::make_unique<TFileRegTransfer>(*link, host);
    }
    std::vector<int> Run(std::vector<std::uint16_t>& values, bool write, int first, int end) {
        return Ran([&] { return transfer->Start(values, write, first, end); });
    }
    Host host;
    std::unique_ptr<TFileRegTransfer> transfer;
};

}  // namespace

TEST_F(FileRegsTest, EveryFamilyWritesAndReadsBackItsFileRegisters) {
    struct Case {
        int family;
        bool extra;
    };
    for (const Case c : {Case{1, false}, Case{2, false}, Case{1, true}}) {
        SCOPED_TRACE("family " + std::to_string(c.family) + (c.extra ? " with card" : ""));
        emu.Configure(c.family, 3, 90);
        const int count = FileRegisterCount(c.family, c.extra);
        emu.S.fileRegs.assign(static_cast<std::size_t>(count), 0);
        std::vector<std::uint16_t> values = RandomValues(static_cast<std::size_t>(count), static_cast<unsigned>(count));
        EXPECT_EQ(Run(values, true, 0, count), std::vector<int>{kMsgFileRegWriteDone});
        EXPECT_EQ(emu.S.fileRegs, values);
        EXPECT_EQ(static_cast<int>(emu.RequestCount()), 1 + (count + 15) / 16);
        EXPECT_EQ(host.maximum, count);
        EXPECT_EQ(host.position, count);

        std::vector<std::uint16_t> back(values.size(), 0);
        EXPECT_EQ(Run(back, false, 0, count), std::vector<int>{kMsgFileRegReadDone});
        EXPECT_EQ(back, values);
        EXPECT_TRUE(host.stored);
        EXPECT_FALSE(port->IsOpen());
    }

    // A partial range of 20 registers moves a block of 16 and one of 4; the
    // rest stays as it is on both sides.
    emu.Configure(2, 1, 90);
    std::vector<std::uint16_t> values(1600, 7);
    EXPECT_EQ(Run(values, true, 1580, 1600), std::vector<int>{kMsgFileRegWriteDone});
    ASSERT_EQ(emu.RequestCount(), 3u);
    EXPECT_EQ(emu.Log()[1].bytes, (std::vector<std::uint8_t>{1, 100, 1, 17, 36, 0, 0x06, 0x2C, 16, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7,
                                                              0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7, 0, 7}));
    EXPECT_EQ(emu.Log()[2].bytes[8], 4);
    EXPECT_EQ(emu.S.fileRegs[1579], 0);
    EXPECT_EQ(emu.S.fileRegs[1580], 7);
    EXPECT_EQ(emu.S.fileRegs[1599], 7);
    std::vector<std::uint16_t> back(1600, 1);
    EXPECT_EQ(Run(back, false, 1579, 1581), std::vector<int>{kMsgFileRegReadDone});
    EXPECT_EQ(back[1578], 1);
    EXPECT_EQ(back[1579], 0);
    EXPECT_EQ(back[1580], 7);
    EXPECT_EQ(back[1581], 1);

    // Ranges outside the values start nothing.
    for (auto [a, b] : {std::pair{0, 0}, {5, 4}, {0, 1601}, {-1, 3}}) EXPECT_FALSE(transfer->Start(back, false, a, b));
    int first = -1, end = -1;
    EXPECT_TRUE(ParseFileRegRange("0", "1599", 1600, first, end));
    EXPECT_EQ(end, 1600);
    EXPECT_FALSE(ParseFileRegRange("0", "1600", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("", "5", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("1x", "5", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("000001", "5", 1600, first, end));
    EXPECT_FALSE(ParseFileRegRange("6", "5", 1600, first, end));
}

TEST_F(FileRegsTest, RefusalsAndFaultsLeaveTheValuesAsTheyWere) {
    // Family 0 has no file registers: message 222, the job ends.
    emu.Configure(0, 0, 90);
    std::vector<std::uint16_t> values(1600, 3);
    EXPECT_EQ(Run(values, false, 0, 1600), std::vector<int>{kMsgFileRegNone});
    EXPECT_EQ(emu.RequestCount(), 1u);
    EXPECT_EQ(values, std::vector<std::uint16_t>(1600, 3));

    emu.Configure(2, 1, 90);
    emu.S.fileRegs = RandomValues(1600, 5);
    struct Fault {
        FaultAction action;
        int param;
        bool write;
        int msg;
    };
    for (const Fault f : {Fault{FaultAction::Fn100Error, 2, false, kMsgFileRegReadError},
                          Fault{FaultAction::Fn100Error, 2, true, kMsgFileRegWriteError},
                          Fault{FaultAction::Drop, 0, false, kMsgTimeout},
                          Fault{FaultAction::BadLrc, 0, false, 199}}) {
        SCOPED_TRACE(static_cast<int>(f.action));
        emu.ClearFaults();
        emu.AddFault({.action = f.action, .function = 100, .skip = 3, .times = -1, .param = f.param});
        const std::vector<std::uint16_t> plc = emu.S.fileRegs;
        values.assign(1600, 3);
        EXPECT_EQ(Run(values, f.write, 0, 1600), std::vector<int>{f.msg});
        EXPECT_FALSE(transfer->Running());
        EXPECT_EQ(link->JobNo, 0);
        if (!f.write) {
            EXPECT_EQ(values, std::vector<std::uint16_t>(1600, 3));  // nothing of a half read
            EXPECT_EQ(emu.S.fileRegs, plc);
        }
    }
}

TEST(QftFile, RoundTripOfEveryFamilyAndDamagedFilesRefused) {
    const auto dir = std::filesystem::temp_directory_path() / ("qel-qft-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    struct Case {
        int family;
        bool extra;
        std::size_t size;
    };
    for (const Case c : {Case{1, false, 20132}, Case{1, true, 65668}, Case{2, false, 3332}}) {
        // A title of 70 characters is cut to 60.
        const TFileTemplate t{.version = 206, .family = static_cast<std::uint16_t>(c.family), .capacityIndex = 2,
                              .extraMemory = c.extra, .title = std::string(70, 'T'),
                              .values = RandomValues(static_cast<std::size_t>(FileRegisterCount(c.family, c.extra)), c.size)};
        const auto path = dir / "a.qft";
        ASSERT_TRUE(WriteQftFile(path, t));
        EXPECT_EQ(std::filesystem::file_size(path), c.size);
        TFileTemplate back;
        ASSERT_EQ(ReadQftFile(path, c.family, back), TQftRead::Ok);
        EXPECT_EQ(back.values, t.values);
        EXPECT_EQ(back.title, std::string(60, 'T'));
        EXPECT_EQ(back.extraMemory, c.extra);
        EXPECT_EQ(back.capacityIndex, 2);
        TFileTemplate other{.title = "kept"};
        EXPECT_EQ(ReadQftFile(path, c.family == 1 ? 2 : 1, other), TQftRead::OtherFamily);
        EXPECT_EQ(other.title, "kept");
    }
    TFileTemplate none;
    EXPECT_EQ(ReadQftFile(dir / "missing.qft", 1, none), TQftRead::Missing);

    // A save never writes through a link planted beside the template (at the
    // name a save once used); the template lands where it was asked to go.
    const TFileTemplate saved{.family = 2, .values = std::vector<std::uint16_t>(1600, 5)};
    const auto target = dir / "t.qft";
    EXPECT_TRUE(qel::test::SavesPastALinkPlantedAt(dir / "t.qft.tmp", [&] { return WriteQftFile(target, saved); }));
    EXPECT_EQ(ReadQftFile(target, 2, none), TQftRead::Ok);
    EXPECT_EQ(none.values, saved.values);

    // Damaged files: cut short, grown, wrong count, wrong flag, family 0.
    const std::vector<std::uint8_t> good = EncodeQft({.family = 2, .values = std::vector<std::uint16_t>(1600, 9)});
    auto refused = [](std::vector<std::uint8_t> b) {
        TFileTemplate r{.title = "kept"};
        const bool ok = DecodeQft(b.data(), b.size(), r);
        return !ok && r.title == "kept";
    };
    EXPECT_TRUE(refused({good.begin(), good.end() - 1}));
    EXPECT_TRUE(refused({good.begin(), good.begin() + 131}));
    auto grown = good;
    grown.push_back(0);
    EXPECT_TRUE(refused(grown));
    auto count = good;
    count[128] ^= 1;
    EXPECT_TRUE(refused(count));
    auto flag = good;
    flag[6] = 1;  // the card flag belongs to family 1 only
    EXPECT_TRUE(refused(flag));
    auto fam0 = good;
    fam0[2] = 0;
    EXPECT_TRUE(refused(fam0));

    // Fuzzed: random bytes changed, cut or added never crash, and whatever is
    // accepted is whole.
    std::mt19937 rng(21);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> b = good;
        const int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng() % 4) {
            case 0: b[rng() % b.size()] = static_cast<std::uint8_t>(rng()); break;
            case 1: b[rng() % std::min<std::size_t>(140, b.size())] = static_cast<std::uint8_t>(rng()); break;
            case 2: b.resize(rng() % (b.size() + 1)); break;
            default: b.insert(b.end(), rng() % 8, static_cast<std::uint8_t>(rng())); break;
            }
            if (b.empty()) break;
        }
        TFileTemplate r;
        if (DecodeQft(b.data(), b.size(), r)) {
            ++accepted;
            EXPECT_EQ(r.values.size(), static_cast<std::size_t>(FileRegisterCount(r.family, r.extraMemory)));
            EXPECT_LE(r.title.size(), 60u);
        }
    }
    EXPECT_GT(accepted, 0);  // changes to values and title are no damage
    std::filesystem::remove_all(dir);
}
