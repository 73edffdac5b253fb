// The cells of one typed element. Contacts and coils are written by the
// ladder's own device writer; boxes and compares are assembled and then laid
// out by the code-to-ladder conversion, so that a typed box holds exactly the
// cells a converted program would hold and the compile reads it back the same.
#include <array>
#include <cstring>

#include "core/Codetranslate.h"
#include "core/DeviceLimits.h"
#include "core/Instruction.h"
#include "core/InstructionTable.h"
#include "ladder/edit/Ladderedit.h"
#include "ladder/model/LadderConvert.h"
#include "ladder/model/Ladtranslate.h"

namespace {

// The blank-separated tokens of a line.
std::vector<std::string> Tokens(std::string_view line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
        if (i > start) out.emplace_back(line.substr(start, i - start));
    }
    return out;
}

// Assembles one line for the current family; no bytes when refused.
TInstruction Assemble(std::string_view line) {
    const int family = CurrentFamily();
    TAssembly a = AssembleLine(line, family);
    if (!a || !ValidateCode(a.instruction->bytes, family)) return {};
    return std::move(*a.instruction);
}

// Row 0 of the ladder the conversion draws for `code`; empty when it refuses.
std::vector<std::uint8_t> ConvertedRow(const std::vector<std::uint8_t>& code) {
    constexpr std::int32_t kRows = 16;
    std::vector<std::uint8_t> grid(static_cast<std::size_t>(kRows) * kLdbRowBytes, 0);
    std::array<std::int32_t, kPLabelCount> p{};
    std::array<std::int32_t, kILabelCount> i{};
    TLadderTarget target;
    target.grid = grid.data();
    target.rowCapacity = kRows;
    target.labels = {p.data(), i.data()};
    TConvertInput in;
    in.code = code.data();
    in.length = in.used = static_cast<std::uint32_t>(code.size());
    // The conversion keeps module state of its own; the editor's caller does not expect it to change.
    const std::uint8_t abort = gConvertAbort;
    const TConvertResult r = ConvertCodeToGrid(in, target);
    gConvertAbort = abort;
    if (!r.ok || r.rowCount < 1) return {};
    return std::vector<std::uint8_t>(grid.begin(), grid.begin() + kLdbRowBytes);
}

std::vector<std::uint8_t> BoxCells(std::string_view line) {
    std::vector<std::uint8_t> insn = Assemble(line).bytes;
    if (insn.empty()) return {};
    // A box needs a contact in front of it, except the instructions that
    // start their own rung (END, MCR, RET ...): try both.
    std::vector<std::uint8_t> withContact = Assemble("LD X0").bytes;
    withContact.insert(withContact.end(), insn.begin(), insn.end());
    for (const std::vector<std::uint8_t>* code : {&withContact, &insn}) {
        const std::vector<std::uint8_t> row = ConvertedRow(*code);
        for (std::size_t col = 0; col < row.size(); col += kLdbCellBytes) {
            if (CellKind(&row[col]) == TLdbKind::Spec_Fun)
                return std::vector<std::uint8_t>(row.begin() + static_cast<std::ptrdiff_t>(col), row.end());
        }
    }
    return {};
}

std::vector<std::uint8_t> CompareCells(std::string_view line) {
    const TInstruction compare = Assemble(line);
    std::vector<std::uint8_t> insn = compare.bytes;
    if (insn.empty()) return {};
    const int code = CompareCodeOfIndex(compare.index);
    if (code < 0) return {};
    // The cell does not tell LD, AND and OR compares apart: lay it out as a load.
    const std::uint16_t opcode = gInstOpcode[CompareIndex(0, code)];
    insn[0] = static_cast<std::uint8_t>(opcode & 0xFF);
    insn[1] = static_cast<std::uint8_t>(opcode >> 8);
    const std::vector<std::uint8_t> out = Assemble("OUT Y0").bytes;
    insn.insert(insn.end(), out.begin(), out.end());
    std::vector<std::uint8_t> row = ConvertedRow(insn);
    if (row.empty() || CellKind(row.data()) != TLdbKind::Comp_Ry) return {};
    const std::size_t width = static_cast<std::size_t>((code & 1) ? 5 : 3) * kLdbCellBytes;
    return std::vector<std::uint8_t>(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(width));
}

// A contact, step contact or coil: the second token is the device.
std::vector<std::uint8_t> DeviceCell(TLdbKind kind, std::string_view line) {
    const std::vector<std::string> t = Tokens(line);
    if (t.size() != 2) return {};
    std::uint8_t row[kLdbRowBytes] = {};
    if (!SetCellDevice(t[1], row, 0, 0, kind)) return {};
    return std::vector<std::uint8_t>(row, row + kLdbCellBytes);
}

std::vector<std::uint8_t> PlainCell(TLdbKind kind) {
    std::vector<std::uint8_t> cell(kLdbCellBytes, 0);
    SetCellKind(cell.data(), kind);
    return cell;
}

}  // namespace

std::vector<std::uint8_t> BuildElementCells(TLadderClass cls, std::string_view line) {
    switch (cls) {
        case TLadderClass::Open: return DeviceCell(TLdbKind::Open_Ry, line);
        case TLadderClass::Close: return DeviceCell(TLdbKind::Close_Ry, line);
        case TLadderClass::Rise: return DeviceCell(TLdbKind::Tu_Ry, line);
        case TLadderClass::Fall: return DeviceCell(TLdbKind::Td_Ry, line);
        case TLadderClass::Step: return DeviceCell(TLdbKind::State_Ry, line);
        case TLadderClass::Coil: return DeviceCell(TLdbKind::Out_Ry, line);
        case TLadderClass::Box: return BoxCells(line);
        case TLadderClass::Compare: return CompareCells(line);
        case TLadderClass::HLine: return PlainCell(TLdbKind::H_Line);
        case TLadderClass::Inv: return PlainCell(TLdbKind::Inv_Ry);
        default: return {};
    }
}

bool TLadderEdit::ClassOfLine(std::string_view line, TLadderClass& cls) {
    const std::vector<std::string> t = Tokens(line);
    if (t.empty()) return false;
    if (PLabelNumber(t[0]) >= 0 && t.size() == 1) {
        cls = TLadderClass::PLabel;
        return true;
    }
    if (ILabelNumber(t[0]) >= 0 && t.size() == 1) {
        cls = TLadderClass::ILabel;
        return true;
    }
    const TInstruction insn = Assemble(line);
    if (insn.bytes.empty()) return false;
    const int index = insn.index;
    if (CompareCodeOfIndex(index) >= 0) {
        cls = TLadderClass::Compare;
        return true;
    }
    switch (index) {
        case inst::LD: case inst::AND: case inst::OR:
        case inst::LONG_LD: case inst::LONG_AND: case inst::LONG_OR:
            cls = TLadderClass::Open; return true;
        case inst::LDI: case inst::ANI: case inst::ORI:
        case inst::LONG_LDI: case inst::LONG_ANI: case inst::LONG_ORI:
            cls = TLadderClass::Close; return true;
        case inst::LDP: case inst::ANDP: case inst::ORP: cls = TLadderClass::Rise; return true;
        case inst::LDF: case inst::ANDF: case inst::ORF: cls = TLadderClass::Fall; return true;
        case inst::STL: cls = TLadderClass::Step; return true;
        case inst::OUT: case inst::LONG_OUT: cls = TLadderClass::Coil; return true;
        case inst::INV: cls = TLadderClass::Inv; return true;
        case inst::PLABEL: case inst::ILABEL: case inst::ANB: case inst::ORB: case inst::MPS:
        case inst::MRD: case inst::MPP: case inst::NOP:
            return false;
        default:
            cls = TLadderClass::Box;
            return true;
    }
}
