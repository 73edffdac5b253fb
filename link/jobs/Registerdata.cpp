#include "link/jobs/Registerdata.h"

#include <algorithm>

#include "project/Fileio.h"
#include "project/Msgtable.h"
#include "project/Qelglobals.h"

namespace qel::link {

void TRegisterData::ClearRegisters() {
    DRegs.fill(0);
    TRegs.fill(0);
    CRegs.fill(0);
    C32Regs.fill(0);
}

bool IsRvlPath(const std::string& path) { return path.find(".rvl") != std::string::npos; }

namespace {

// One counted block of a ".kzl" file: its count must not exceed the array
// (a smaller count fills the start of the array and leaves the rest as zero).
template <class T, std::size_t N>
TRegFileResult ReadBlock(qelfile::ByteReader& r, std::array<T, N>& out) {
    const std::uint32_t count = r.U32();
    if (r.Failed()) return TRegFileResult::Short;
    if (count > N) return TRegFileResult::Damaged;
    if (r.Remaining() < count * sizeof(T)) return TRegFileResult::Short;
    out.fill(0);
    for (std::uint32_t i = 0; i < count; ++i) out[i] = sizeof(T) == 4 ? static_cast<T>(r.U32()) : static_cast<T>(r.U16());
    return TRegFileResult::Ok;
}

template <class T, std::size_t N>
void ReadPlain(qelfile::ByteReader& r, std::array<T, N>& out) {
    for (auto& v : out) v = sizeof(T) == 4 ? static_cast<T>(r.U32()) : static_cast<T>(r.U16());
}

template <class T, std::size_t N>
void PutBlock(std::string& out, const std::array<T, N>& values) {
    qelfile::PutU32(out, static_cast<std::uint32_t>(N));
    for (T v : values) {
        if constexpr (sizeof(T) == 4)
            qelfile::PutU32(out, v);
        else
            qelfile::PutU16(out, v);
    }
}

}  // namespace

TRegFileResult DecodeRegisterFile(const std::vector<std::uint8_t>& bytes, bool rvl, int family, TRegisterData& data) {
    // Decoded into a copy; the caller's data changes only when all is sound.
    TRegisterData in = data;
    qelfile::ByteReader r(bytes);
    if (rvl) {
        if (bytes.size() < kRvlFileBytes) return TRegFileResult::Short;
        if (bytes.size() > kRvlFileBytes) return TRegFileResult::Damaged;
        ReadPlain(r, in.DRegs);
        ReadPlain(r, in.CRegs);
        ReadPlain(r, in.C32Regs);
        ReadPlain(r, in.TRegs);
        data = in;  // the title stays as it was
        return TRegFileResult::Ok;
    }
    qelfile::FileHeader h;
    switch (qelfile::ReadHeader(bytes, h)) {
    case qelfile::Refusal::Short: return TRegFileResult::Short;
    case qelfile::Refusal::Foreign: return TRegFileResult::Foreign;
    case qelfile::Refusal::Corrupt: return TRegFileResult::Damaged;
    default: break;
    }
    if (h.family != family) return TRegFileResult::OtherModel;
    in.Title = h.title;
    r.Seek(qelfile::kHeaderBytes);
    for (TRegFileResult block : {ReadBlock(r, in.DRegs), ReadBlock(r, in.CRegs), ReadBlock(r, in.C32Regs), ReadBlock(r, in.TRegs)})
        if (block != TRegFileResult::Ok) return block;
    if (r.Remaining() != 0) return TRegFileResult::Damaged;  // bytes after the last block
    data = in;
    return TRegFileResult::Ok;
}

TRegFileResult ReadRegisterFile(const std::string& path, int family, TRegisterData& data) {
    std::vector<std::uint8_t> bytes;
    switch (qelfile::ReadWholeFile(path, bytes)) {
    case qelfile::ReadResult::Missing: return TRegFileResult::Missing;
    case qelfile::ReadResult::Unreadable:
    case qelfile::ReadResult::NotRegular: return TRegFileResult::Unreadable;
    case qelfile::ReadResult::TooLarge: return TRegFileResult::Damaged;
    case qelfile::ReadResult::Ok: break;
    }
    qelfile::NoteFileSeen(path, bytes);  // a save of it later replaces what was read here
    return DecodeRegisterFile(bytes, IsRvlPath(path), family, data);
}

std::string EncodeRegisterFile(const TRegisterData& data, int family, int capacityIndex) {
    std::string out;
    out.reserve(kKzlFileBytes);
    qelfile::PutHeader(out, family, capacityIndex, data.Title);
    PutBlock(out, data.DRegs);
    PutBlock(out, data.CRegs);
    PutBlock(out, data.C32Regs);
    PutBlock(out, data.TRegs);
    return out;
}

bool WriteRegisterFile(const std::string& path, const TRegisterData& data, int family, int capacityIndex) {
    return qelfile::WriteFileReplacing(path, EncodeRegisterFile(data, family, capacityIndex));
}

int RegisterFileMessage(TRegFileResult r) {
    switch (r) {
    case TRegFileResult::Unreadable: return kMsgFileOpenFailed;
    case TRegFileResult::Short: return kMsgFileTooShort;
    case TRegFileResult::Foreign: return kMsgFileNotProgram;
    case TRegFileResult::Damaged: return kMsgFileCorrupt;
    case TRegFileResult::OtherModel: return kMsgFileOtherModel;
    default: return 0;
    }
}

}  // namespace qel::link
