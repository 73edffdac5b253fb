#include "link/jobs/Memcard.h"

#include <algorithm>
#include <cstring>

#include "project/Commentrules.h"
#include "project/Fileio.h"
#include "project/Projectfiles.h"
#include "project/Qelglobals.h"

namespace qel::link {

namespace {

constexpr std::uint16_t kD1001 = 0x13E9;
constexpr std::uint8_t kAreaProgram = 4, kAreaComments = 1;
enum : int {
    kIdle = 0,
    kStatus = 1,
    kProgWrite = 3,
    kProgRead = 4,
    kSetPassword = 5,
    kReadPassword = 6,
    kPlcToCard = 7,
    kCardToPlc = 8,
    kCmtWrite = 9,
    kCmtRead = 10,
    kUserWrite = 11,
    kIdentify = 255,
};

// A comment as the card holds it: it ends at a NUL. The setter makes the
// rest text (bytes of another code page become replacement characters).
std::string CardText(const std::uint8_t* first, const std::uint8_t* last) {
    const std::uint8_t* end = std::find(first, last, std::uint8_t{0});
    return std::string(reinterpret_cast<const char*>(first), static_cast<std::size_t>(end - first));
}

void Overwrite(std::string& s) {
    std::fill(s.begin(), s.end(), '\0');
    s.clear();
}

}  // namespace

bool PackComments(const bool chosen[9], std::vector<std::uint8_t>& out) {
    out.clear();
    for (int l = 0; l < kCommentListCount; ++l) {
        if (!chosen[l]) continue;
        const auto& list = gQel.DevComments[static_cast<std::size_t>(l)];
        for (std::size_t n = 0; n < list.size() && n <= 0xFFFF; ++n) {
            // The unpacker ends a record at its first line feed: the text
            // goes out as the comment rule has it, which holds none (nor any
            // other control character), so it comes back as it went.
            const std::string text = CleanComment(list[n], kDeviceCommentMaxBytes);
            if (text.empty()) continue;
            if (out.size() + 4 + text.size() > kCardCommentBytes) {
                out.clear();
                return false;
            }
            out.push_back(static_cast<std::uint8_t>(kCommentLetters[l]));
            out.push_back(static_cast<std::uint8_t>(n & 0xFF));
            out.push_back(static_cast<std::uint8_t>(n >> 8));
            out.insert(out.end(), text.begin(), text.end());
            out.push_back(0x0A);
        }
    }
    return true;
}

void UnpackComments(const std::vector<std::uint8_t>& area) {
    std::vector<TDeviceCommentEntry> read;
    std::size_t p = 0;
    while (p + 3 < area.size() && area[p] != 0) {
        const std::size_t n = area[p + 1] | static_cast<std::size_t>(area[p + 2]) << 8;
        const auto end = std::find(area.begin() + static_cast<std::ptrdiff_t>(p + 3), area.end(), std::uint8_t{0x0A});
        if (end == area.end()) break;
        const char* letter = std::strchr(kCommentLetters, static_cast<char>(area[p]));
        if (letter && *letter)
            read.push_back({static_cast<int>(letter - kCommentLetters), static_cast<int>(n), CardText(&area[p + 3], &*end)});
        p = static_cast<std::size_t>(end - area.begin()) + 1;
    }
    // Through the setter the windows use: the project is marked changed and
    // every window that shows comments follows, once for the whole card.
    SetDeviceComments(read);
}

TMemCard::TMemCard(TTransData& link, TTransferHost& host) : link_(link), host_(host) {
    link_.RegisterJob(kJobMemoryCard, this);
}

TMemCard::~TMemCard() {
    if (Running()) link_.CancelJob();
    Overwrite(password_);
    link_.RegisterJob(kJobMemoryCard, nullptr);
}

bool TMemCard::Begin(int next) {
    if (link_.JobNo == kJobMemoryCard || !link_.MayPutRequests()) return false;
    if (link_.Monitoring()) {
        // The monitors keep the line; the user stops them first.
        link_.ShowMessage(kMsgMonitoring, "");
        return false;
    }
    // Writes the user queued before (RUN, a force, a monitor's coil) go out
    // first: the order of service sends them before the job's first step.
    link_.PlcInfoMode = 0;
    if (!link_.OpenPort()) return false;
    CardOp = kIdentify;
    NextCardOp = next;
    reading_ = false;
    readAfterStatus_ = false;
    writes_ = next != kStatus && next != kProgRead && next != kReadPassword && next != kCmtRead;
    CardWordOffset = 0;
    link_.PlcFamilyClass = -1;
    link_.StartJob(kJobMemoryCard, 0);
    return true;
}

bool TMemCard::QueryStatus() {
    if (!Begin(kStatus)) return false;
    // Asked again, the card (or another one put in since) is not known
    // until it answers: a read meanwhile asks it first.
    CardProtection(-1);
    return true;
}

bool TMemCard::CopyInternal(bool plcToCard) { return Begin(plcToCard ? kPlcToCard : kCardToPlc); }

bool TMemCard::WriteProgram(const std::string& password) {
    if (!password.empty() && password.size() != 4) {
        link_.ShowMessage(kMsgCardPasswordWrong, "");
        return false;
    }
    if (!gProgram || gProgramCapacity == 0) return false;
    // The card's program area, from the image as far as it reaches.
    const std::size_t bytes = std::min<std::size_t>(gProgramCapacity, 2 * kCardProgramWords);
    image_.assign(gProgram, gProgram + bytes);
    words_ = static_cast<int>(bytes / 2);
    password_ = password;
    if (!Begin(password.empty() ? kProgWrite : kSetPassword)) {
        Overwrite(password_);
        image_.clear();
        return false;
    }
    host_.StartProgress("记忆卡与PLC内部程序传输", words_, 1);
    return true;
}

bool TMemCard::ReadProgram(const std::string& password) {
    if (!password.empty() && password.size() != 4) {
        link_.ShowMessage(kMsgCardPasswordWrong, "");
        return false;
    }
    password_ = password;
    image_.clear();
    words_ = kCardProgramWords;
    // Whether the card wants its password is asked first when it is not known.
    const bool statusFirst = StatusMsg < 0;
    if (!Begin(statusFirst ? kStatus : CardHasPassword ? kReadPassword : kProgRead)) {
        Overwrite(password_);
        return false;
    }
    // The program read replaces the project when it ends.
    reading_ = true;
    readAfterStatus_ = statusFirst;
    link_.HoldEditsUntilJobEnds();
    host_.StartProgress("记忆卡与PLC内部程序传输", words_, 1);
    return true;
}

bool TMemCard::WriteComments(const bool chosen[9]) {
    std::vector<std::uint8_t> packed;
    if (!PackComments(chosen, packed)) {
        link_.ShowMessage(kMsgCardCommentsTooLarge, "");
        return false;
    }
    if (packed.size() % 2) packed.push_back(0);  // whole words
    if (packed.empty()) packed.assign(2, 0);
    image_ = std::move(packed);
    words_ = static_cast<int>(image_.size() / 2);
    if (!Begin(kCmtWrite)) {
        image_.clear();
        return false;
    }
    host_.StartProgress("记忆卡批注读写", words_, 1);
    return true;
}

bool TMemCard::ReadComments() {
    image_.clear();
    words_ = static_cast<int>(kCardCommentBytes / 2);
    if (!Begin(kCmtRead)) return false;
    // The comments read replace the project's when the read ends.
    reading_ = true;
    link_.HoldEditsUntilJobEnds();
    host_.StartProgress("记忆卡批注读写", words_, 1);
    return true;
}

bool TMemCard::WriteUserInstruction(const std::string& path, int which) {
    std::vector<std::uint8_t> bytes;
    if (qelfile::ReadWholeFile(path, bytes, kCardUserFileBytes) != qelfile::ReadResult::Ok || bytes.empty() ||
        which < 0 || which > 1) {
        link_.ShowMessage(kMsgCardUserFileBad, "");
        return false;
    }
    if (bytes.size() % 2) bytes.push_back(0);
    image_ = std::move(bytes);
    words_ = static_cast<int>(image_.size() / 2);
    userArea_ = static_cast<std::uint8_t>(2 + which);
    if (!Begin(kUserWrite)) {
        image_.clear();
        return false;
    }
    host_.StartProgress("记忆卡批注读写", words_, 1);
    return true;
}

int TMemCard::BlockWords() const { return std::min(16, words_ - CardWordOffset); }

void TMemCard::RequestStep(TTransData&) {
    switch (CardOp) {
    case kIdentify: link_.SendCommand(kD1001, 3, 3); return;
    case kStatus:
        gCommData[0] = 0;
        gCommDataLen = 1;
        link_.SendCmd64(1, 15, 1);
        return;
    case kSetPassword:
        for (int i = 0; i < 4; ++i) gCommData[i] = static_cast<std::uint8_t>(password_[static_cast<std::size_t>(i)]);
        gCommDataLen = 4;
        link_.SendCmd64(1, 16, 4);
        std::fill(gCommData, gCommData + 4, std::uint8_t{0});
        return;
    case kReadPassword:
        gCommDataLen = 0;
        link_.SendCmd64(1, 19, 0);
        return;
    case kPlcToCard:
    case kCardToPlc:
        gCommDataLen = 0;
        link_.SendCmd64(1, CardOp == kPlcToCard ? 9 : 10, 0);
        return;
    case kProgWrite:
    case kProgRead:
    case kCmtWrite:
    case kCmtRead:
    case kUserWrite: {
        const int n = BlockWords();
        if (n <= 0) return;
        const bool write = CardOp == kProgWrite || CardOp == kCmtWrite || CardOp == kUserWrite;
        gCommData[0] = CardOp == kUserWrite                         ? userArea_
                       : CardOp == kCmtWrite || CardOp == kCmtRead ? kAreaComments
                                                                   : kAreaProgram;
        gCommData[1] = static_cast<std::uint8_t>(CardWordOffset >> 8);
        gCommData[2] = static_cast<std::uint8_t>(CardWordOffset);
        gCommData[3] = static_cast<std::uint8_t>(n);
        gCommDataLen = 4;
        if (write) {
            // The image's bytes unchanged: its words travel low byte first.
            std::memcpy(gCommData + 4, image_.data() + 2 * CardWordOffset, static_cast<std::size_t>(2 * n));
            gCommDataLen += static_cast<std::uint32_t>(2 * n);
        }
        link_.SendCmd64(1, write ? 17 : 24, static_cast<std::uint8_t>(gCommDataLen));
        return;
    }
    default: return;
    }
}

int TMemCard::ErrorMessage() const {
    if (gCommDataLen < 2) return kMsgCardError;
    switch (gCommData[1]) {
    case kCardErrMissing: return kMsgCardMissing;
    case kCardErrWriteProtected: return kMsgCardWriteProtected;
    case kCardErrFull: return kMsgCardFull;
    default: return kMsgCardError;
    }
}

void TMemCard::ReplyStep(TTransData&) {
    if (CardOp == kIdentify) {
        if (!link_.DecodePlcType(TTransData::ReplyWord(0))) return End(kMsgUnknownPlcType);
        if (gQel.Family != 1) return End(kMsgCardOtherModel);
        if (link_.PlcFamilyClass != 1) return End(kMsgCardNotFamily);
        CardOp = NextCardOp;
        NextCardOp = 0;
        return;
    }
    // Function 100 replies: an error reply (or one ending in ACK without
    // sound bytes) is the PLC's refusal; its data is never taken.
    if (gCommDataLen < 4 || (gCommData[0] & 0x80)) {
        const int msg = (CardOp == kPlcToCard || CardOp == kCardToPlc) && gCommDataLen >= 2 &&
                                gCommData[1] == kCardErrMissing
                            ? kMsgCardCopyFailed
                            : ErrorMessage();
        // A password sent without a sound answer may have been taken or not;
        // a card that is missing holds no protection to show.
        const bool refused = gCommDataLen >= 2 && (gCommData[0] & 0x80);
        if ((CardOp == kSetPassword && !refused) || (refused && gCommData[1] == kCardErrMissing)) CardProtection(-1);
        return End(msg);
    }
    switch (CardOp) {
    case kStatus: {
        const std::uint8_t b = gCommDataLen >= 5 ? gCommData[4] : 0;
        if (b == 0xAA || b == 0xFF) CardProtection(b == 0xAA ? 1 : 0);
        if (readAfterStatus_) {
            readAfterStatus_ = false;
            if (StatusMsg < 0) return End(kMsgCardError);
            CardOp = CardHasPassword ? kReadPassword : kProgRead;
            return;
        }
        return End(-1);
    }
    case kSetPassword:
        // The card holds the password from now on, whatever the write does.
        CardProtection(1);
        CardOp = kProgWrite;
        return;
    case kReadPassword: {
        bool equal = gCommDataLen >= 8 && gCommData[4] != 0xCF && password_.size() == 4;
        for (std::size_t i = 0; equal && i < 4; ++i) equal = gCommData[4 + i] == static_cast<std::uint8_t>(password_[i]);
        std::fill(gCommData, gCommData + gCommDataLen, std::uint8_t{0});
        if (!equal) return End(kMsgCardPasswordWrong);
        CardOp = kProgRead;
        return;
    }
    case kPlcToCard: return End(139);
    case kCardToPlc: return End(138);
    case kProgWrite:
    case kProgRead:
    case kCmtWrite:
    case kCmtRead:
    case kUserWrite: {
        const int n = BlockWords();
        if (CardOp == kProgRead || CardOp == kCmtRead) {
            // Exactly the block asked for, or the read fails.
            if (gCommData[3] != 4 + 2 * n || gCommDataLen < static_cast<std::uint32_t>(8 + 2 * n)) return End(kMsgCardError);
            image_.insert(image_.end(), gCommData + 8, gCommData + 8 + 2 * n);
        }
        CardWordOffset += n;
        host_.SetProgress(CardWordOffset);
        if (CardWordOffset < words_) return;
        if (CardOp == kProgWrite || CardOp == kCmtWrite || CardOp == kUserWrite) return End(139);
        if (CardOp == kCmtRead) {
            // Every block arrived: only now do the comments change.
            UnpackComments(image_);
            return End(138);
        }
        // The job is over (the windows take edits again) before the project
        // is replaced, as after a program read from the PLC.
        const std::vector<std::uint8_t> image = std::move(image_);
        End(0);
        host_.BeforeProgramReplaced();
        const bool changed = InstallReceivedProgram(image, 1, 3);
        host_.AfterProgramReplaced(changed);
        link_.ShowMessage(138, "");
        return ReportUndrawnProgram(link_);
    }
    default: return End(-1);
    }
}

void TMemCard::End(int msgId) {
    CardOp = 0;
    NextCardOp = 0;
    Overwrite(password_);
    image_.clear();
    if (link_.JobNo == kJobMemoryCard) link_.EndJob();
    link_.Frame->CloseProgress();
    if (msgId > 0) link_.ShowMessage(msgId, "");
}

void TMemCard::Cancel() {
    if (!Reading()) return;
    link_.CancelJob();
    End(kMsgTransferCancelled);
}

void TMemCard::CardProtection(int state) {
    CardHasPassword = state == 1 ? 1 : 0;
    StatusMsg = state == 1 ? kMsgCardHasPassword : state == 0 ? kMsgCardNoPassword : -1;
    if (StatusChanged) StatusChanged();
}

void TMemCard::Aborted(TTransData&) {
    // The answer to the password never came sound: the card may hold it.
    if (CardOp == kSetPassword) CardProtection(-1);
    CardOp = 0;
    NextCardOp = 0;
    Overwrite(password_);
    image_.clear();
}

}  // namespace qel::link
