#pragma once
// The memory card of a family 1 PLC, job 14 of the link: the card's status,
// the program copied between the PLC and the card inside the PLC, and the
// project's program written to or read from the card, with the card's
// optional 4-character password. Every run identifies the PLC first
// (D1001-D1003) and refuses a project or PLC of another family.
//
// A program read from the card replaces the project's program only when
// every block has arrived; a refusal or fault leaves the project as it was.
// Each refusal of the PLC (card missing, write-protected, full) ends the run
// with its own message. No windows: the dialog is the host.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/jobs/Programtransfer.h"
#include "link/engine/Transdata.h"

namespace qel::link {

inline constexpr int kMsgCardOtherModel = 142;
inline constexpr int kMsgCardNotFamily = 222;
inline constexpr int kMsgCardNoPassword = 229;
inline constexpr int kMsgCardHasPassword = 230;
inline constexpr int kMsgCardPasswordWrong = 54;
inline constexpr int kMsgCardCopyFailed = 244;
inline constexpr int kMsgCardMissing = 223;
inline constexpr int kMsgCardWriteProtected = 224;
inline constexpr int kMsgCardFull = 225;
inline constexpr int kMsgCardError = 226;
// Function 100 error codes of the card.
inline constexpr std::uint8_t kCardErrMissing = 4;
inline constexpr std::uint8_t kCardErrWriteProtected = 6;
inline constexpr std::uint8_t kCardErrFull = 7;
// Words of the card's program area.
inline constexpr int kCardProgramWords = 15872;
// Bytes of the card's comment area.
inline constexpr std::size_t kCardCommentBytes = 31744;
inline constexpr int kMsgCardCommentsTooLarge = 235;
inline constexpr int kMsgCardUserFileBad = 144;
// Largest user-instruction file the card takes.
inline constexpr std::size_t kCardUserFileBytes = 32768;

// Packs the comments of the chosen lists (letters of kCommentLetters) as
// records: letter, index (u16 low byte first), text, 0x0A; each text as the
// comment rule has it (CleanComment: no line feed or other control
// character, at most 64 bytes), empty comments skipped. False when they do
// not fit the card's comment area.
bool PackComments(const bool chosen[9], std::vector<std::uint8_t>& out);
// Stores the records of a card's comment area into the comment lists (within
// their sizes) through SetDeviceComments: the project is marked modified and
// the comment listeners called once. A record without its 0x0A ends the area.
// A text ends at a NUL and keeps the comment rule (U+FFFD for what is not
// UTF-8, a space for a control character, cut at 64 bytes).
void UnpackComments(const std::vector<std::uint8_t>& area);

class TMemCard final : public TLinkJob {
public:
    TMemCard(TTransData& link, TTransferHost& host);
    ~TMemCard() override;

    // Each start returns false (message shown where there is one, nothing
    // sent) when it cannot start.
    bool QueryStatus();
    bool CopyInternal(bool plcToCard);
    // `password` empty or 4 characters: set on the card before the write.
    bool WriteProgram(const std::string& password);
    // A card with a password (from the last status) is asked for it first;
    // with no status known the card's status is asked before the read.
    bool ReadProgram(const std::string& password);
    // Device comments of the chosen lists to the card (message 235 when
    // they do not fit), and the card's comments into the project.
    bool WriteComments(const bool chosen[9]);
    bool ReadComments();
    // A user-instruction file (a regular file of 1 to 32768 bytes, read
    // without waiting and never beyond that; message 144 otherwise) into
    // user instruction 1 or 2 of the card. An odd last byte goes out padded
    // to a whole word.
    bool WriteUserInstruction(const std::string& path, int which);
    bool Running() const { return link_.JobNo == kJobMemoryCard && CardOp != 0; }
    // A read of the card's program or comments runs: nothing is stored
    // before its last block, so the user may stop it (Cancel).
    bool Reading() const { return Running() && reading_; }
    // Ends a running read with message 245; the project stays as it was.
    void Cancel();

    void RequestStep(TTransData& link) override;
    void ReplyStep(TTransData& link) override;
    void Aborted(TTransData& link) override;
    // Every job but the status query and the reads writes into the card or the PLC.
    bool Writes() const override { return Running() && writes_; }
    bool Reads() const override { return Reading(); }

    int CardOp = 0;
    int NextCardOp = 0;
    int CardWordOffset = 0;
    std::uint8_t CardHasPassword = 0;
    // Status panel message of the card's protection (229 or 230): from the
    // last status reply, or from a password the card has taken since; -1
    // when it is not known (no status yet, or a password sent whose answer
    // never came sound) until the status is asked again.
    int StatusMsg = -1;
    // Called each time StatusMsg changes (the dialog's status bar).
    std::function<void()> StatusChanged;

private:
    bool Begin(int next);
    void End(int msgId);
    int BlockWords() const;
    int ErrorMessage() const;
    // The card's protection as it now is: 1 password, 0 none, -1 unknown.
    void CardProtection(int state);

    TTransData& link_;
    TTransferHost& host_;
    std::string password_;
    std::vector<std::uint8_t> image_;  // write: the image sent; read: the blocks so far
    int words_ = 0;                    // words of the area moved
    std::uint8_t userArea_ = 2;        // card area of the user instruction
    bool reading_ = false;             // the job reads the program or the comments
    bool readAfterStatus_ = false;     // the status step goes on into the program read
    bool writes_ = false;              // the job writes into the card or the PLC
};

}  // namespace qel::link
