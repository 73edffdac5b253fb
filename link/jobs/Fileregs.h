#pragma once
// File registers: the template file ".qft" that keeps their values with a
// title, and their transfer with the PLC (jobs 11 write and 12 read of the
// link): the PLC is identified with D1001-D1003, then the values move in
// blocks of at most 16 words with function 100 (sub-codes 17 and 24, area 0,
// words high byte first).
//
// A read collects the values apart and stores them only when every block has
// arrived, so a fault or a cancel in the middle leaves them as they were. A
// template file is checked whole before anything of it is taken.
// No windows: the template window and its transfer dialog are the hosts.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/engine/Transdata.h"

namespace qel::link {

// Message ids of the file registers.
inline constexpr int kMsgFileRegReadDone = 138;
inline constexpr int kMsgFileRegWriteDone = 139;
inline constexpr int kMsgFileRegWriteError = 214;
inline constexpr int kMsgFileRegReadError = 241;
inline constexpr int kMsgFileRegNone = 222;
inline constexpr int kMsgFileRegTitle = 218;
inline constexpr int kMsgFileRegClear = 219;
inline constexpr int kMsgFileRegOtherFamily = 220;
inline constexpr int kMsgFileRegBadFile = 221;

// ---------------------------------------------------------------------------
// The template file (binary, little-endian): version u16, family u16,
// capacity index u16, card flag u8, title (60 bytes, NUL padded), 61 zero
// bytes, count u32 at offset 128, then count u16 values.
inline constexpr std::size_t kQftHeaderSize = 132;
inline constexpr std::size_t kQftTitleMax = 60;

struct TFileTemplate {
    std::uint16_t version = 0;
    std::uint16_t family = 0;
    std::uint16_t capacityIndex = 0;
    bool extraMemory = false;
    std::string title;
    std::vector<std::uint16_t> values;
};

// Number of file registers of a family (with the external memory card for family 1).
int FileRegisterCount(int family, bool extraMemory);

std::vector<std::uint8_t> EncodeQft(const TFileTemplate& t);
// Decodes a whole file; false (t unchanged) when its size, family, card flag
// or count do not agree with each other.
bool DecodeQft(const std::uint8_t* data, std::size_t size, TFileTemplate& t);

// Missing: no such file. Unreadable: something stands under the name that
// cannot be read, or is no regular file. OtherFamily: a sound template of
// another family. Damaged: anything else that does not decode.
enum class TQftRead { Missing, Ok, Unreadable, OtherFamily, Damaged };
// Reads a template for a project of `family`; `t` is set only for Ok.
TQftRead ReadQftFile(const std::filesystem::path& path, int family, TFileTemplate& t);
// Replaces the file as the project's files are replaced, so a failed write
// leaves the old file and a link beside it is never written through. A
// template that DecodeQft would refuse (a card flag, family and count that
// disagree) is not written: false, the old file kept.
bool WriteQftFile(const std::filesystem::path& path, const TFileTemplate& t);

// ---------------------------------------------------------------------------
// The transfer.

class TFileRegHost {
public:
    virtual ~TFileRegHost() = default;
    virtual void StartProgress(int maximum) {}
    virtual void SetProgress(int position) {}
    // The transfer ended; `stored` when a read changed the values.
    virtual void TransferEnded(bool stored) {}
};

class TFileRegTransfer final : public TLinkJob {
public:
    TFileRegTransfer(TTransData& link, TFileRegHost& host);
    ~TFileRegTransfer() override;

    // Moves values [first, end) of `values` (the whole when first = 0 and end
    // = its size). False, and nothing sent, for a bad range, a busy link or
    // a port that does not open.
    bool Start(std::vector<std::uint16_t>& values, bool write, int first, int end);
    void Cancel();
    bool Running() const { return values_ != nullptr; }

    void RequestStep(TTransData& link) override;
    void ReplyStep(TTransData& link) override;
    void Aborted(TTransData& link) override;
    bool Writes() const override { return Running() && write_; }
    bool Reads() const override { return Running() && !write_; }

    // 255 identifying, 0 writing blocks, 1 reading blocks.
    int State = 0;
    int Offset = 0;
    int RangeStart = 0;
    int RangeEnd = 0;

private:
    int BlockWords() const;
    void Finish(int msgId, bool stored);

    TTransData& link_;
    TFileRegHost& host_;
    std::vector<std::uint16_t>* values_ = nullptr;
    std::vector<std::uint16_t> work_;  // read: values collected so far; write: the values sent
    bool write_ = false;
};

// Checks the partial-range texts of the transfer dialog: decimal numbers of
// at most 5 digits with start <= last < count. Gives [first, end).
bool ParseFileRegRange(const std::string& startText, const std::string& lastText, int count, int& first, int& end);

}  // namespace qel::link
