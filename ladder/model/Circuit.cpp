#include "ladder/model/Circuit.h"

#include <string>
#include <string_view>
#include <utility>

#include "core/InstructionTable.h"

namespace {

// The detail of a layout error for a box whose operand cells do not match it.
const char* const kMsgBoxWithoutOperands = "應用命令之後不是接參數";

// How an element is reached: 0 top-level series, 1 a parallel-block path,
// 2 a path of an output-branch group.
enum TMode { kTopSeries = 0, kBlockPath = 1, kGroupPath = 2 };

// The operator text of compare code c (even: 16-bit, odd: the 32-bit form).
std::string CompareMnemonic(const char* family, std::uint16_t code) {
    static const char* const kOperator[] = {"=", ">", "<", "<>", "<=", ">="};
    std::string m = (code & 1) ? "D" : "";
    return m + family + kOperator[(code / 2) % 6];
}

class TEmitter {
public:
    TEmitter(std::vector<TInstNode>& nodes, TLayoutError& err) : nodes_(nodes), err_(err) {}

    bool Series(const TCircuitPath& top);

private:
    bool Fail(const TLadElement& e, std::string detail = {}) {
        err_ = TLayoutError{33, e.row, e.col, std::move(detail)};
        return false;
    }
    void Bare(const char* mnemonic) {
        // MPS entries open at this point of the code.
        if (mnemonic == std::string_view("MPS")) ++stack_;
        if (mnemonic == std::string_view("MPP")) --stack_;
        TInstNode n;
        n.cls = InstNodeClass::Bare;
        n.mnemonic = mnemonic;
        nodes_.push_back(std::move(n));
    }
    int stack_ = 0;
    bool LastIsStl() const { return !nodes_.empty() && nodes_.back().mnemonic == "STL"; }
    bool EmitElement(const TLadElement& e, TMode mode, int index, bool afterStl, int lastStl);
    bool OrForm(const TLadElement& e);
    enum class TContactForm { Load, And, Or };
    // Pushes a contact or compare in the given form; false when e is neither.
    bool PushContact(const TLadElement& e, TContactForm form);
    static TInstNode NodeOf(const TLadElement& e, std::uint8_t cls, std::string mnemonic);
    void Operands(const TLadElement& e, std::size_t from);
    bool EmitParallelBlock(const TCircuitNode& block);
    bool EmitBranchGroup(const TCircuitNode& group);
    static int ContactCount(const TCircuitPath& path);

    std::vector<TInstNode>& nodes_;
    TLayoutError& err_;
};

void TEmitter::Operands(const TLadElement& e, std::size_t from) {
    for (std::size_t i = from; i < e.operands.size(); ++i) {
        TInstNode n;
        n.cls = InstNodeClass::Operand;
        n.elem = &e;
        n.op = &e.operands[i];
        n.row = e.row;
        n.col = e.operands[i].col;
        nodes_.push_back(std::move(n));
    }
}

// Contacts take one of three forms: starting a path (LD), in series (AND) or
// in parallel (OR). Row: contact kind; column: form.
constexpr const char* kContactMnemonics[4][3] = {
    {"LD", "AND", "OR"}, {"LDI", "ANI", "ORI"}, {"LDP", "ANDP", "ORP"}, {"LDF", "ANDF", "ORF"}};
constexpr const char* kCompareForms[3] = {"LD", "AND", "OR"};

int ContactRow(TLdbKind kind) {
    switch (kind) {
        case TLdbKind::Open_Ry: return 0;
        case TLdbKind::Close_Ry: return 1;
        case TLdbKind::Tu_Ry: return 2;
        case TLdbKind::Td_Ry: return 3;
        default: return -1;
    }
}

TInstNode TEmitter::NodeOf(const TLadElement& e, std::uint8_t cls, std::string mnemonic) {
    TInstNode n;
    n.elem = &e;
    n.row = e.row;
    n.col = e.col;
    n.cls = cls;
    n.mnemonic = std::move(mnemonic);
    return n;
}

bool TEmitter::PushContact(const TLadElement& e, TContactForm form) {
    const int f = static_cast<int>(form);
    if (e.kind == TLdbKind::Comp_Ry) {
        nodes_.push_back(NodeOf(e, InstNodeClass::Compare, CompareMnemonic(kCompareForms[f], e.operand)));
    } else {
        const int row = ContactRow(e.kind);
        if (row < 0) return false;
        nodes_.push_back(NodeOf(e, InstNodeClass::Device, kContactMnemonics[row][f]));
    }
    Operands(e, 0);
    return true;
}

bool TEmitter::EmitElement(const TLadElement& e, TMode mode, int index, bool afterStl, int lastStl) {
    bool load;
    if (!afterStl) load = mode != kGroupPath && index == 0;
    else load = mode == kGroupPath ? index == 0 : index == lastStl + 1;
    if (PushContact(e, load ? TContactForm::Load : TContactForm::And)) return true;

    std::string mnemonic;
    std::uint8_t cls = InstNodeClass::Device;
    switch (e.kind) {
        case TLdbKind::non_inst: return true;  // the open end of a condition: no instruction
        case TLdbKind::Inv_Ry: mnemonic = "INV"; break;
        case TLdbKind::Out_Ry: mnemonic = "OUT"; break;
        case TLdbKind::State_Ry:
            if (mode != kTopSeries) return Fail(e);  // a step contact inside a branch
            mnemonic = "STL";
            break;
        case TLdbKind::Spec_Fun: {
            const int row = OpcodeToIndex(e.operand);
            if (row >= kInstError) return Fail(e);
            // A box must be followed by exactly its operands.
            if (InstOperandForm(row).count != e.operands.size()) return Fail(e, kMsgBoxWithoutOperands);
            cls = InstNodeClass::Applied;
            mnemonic = gInstMnemonic[row];
            break;
        }
        default:
            return Fail(e);
    }
    nodes_.push_back(NodeOf(e, cls, std::move(mnemonic)));
    Operands(e, 0);
    return true;
}

bool TEmitter::OrForm(const TLadElement& e) { return PushContact(e, TContactForm::Or) || Fail(e); }

bool TEmitter::EmitParallelBlock(const TCircuitNode& block) {
    for (std::size_t p = 0; p < block.paths.size(); ++p) {
        const TCircuitPath& path = block.paths[p];
        const bool single = path.size() == 1 && path[0]->type == TCircuitType::Element;
        if (p > 0 && single) {
            if (!OrForm(*path[0]->leaf)) return false;
            continue;
        }
        for (std::size_t i = 0; i < path.size(); ++i) {
            const TCircuitNode& item = *path[i];
            if (item.type == TCircuitType::Element) {
                if (!EmitElement(*item.leaf, kBlockPath, static_cast<int>(i), false, -1)) return false;
            } else if (item.type == TCircuitType::ParallelBlock) {
                const bool stlBefore = LastIsStl();
                if (!EmitParallelBlock(item)) return false;
                if (i > 0 && !stlBefore) Bare("ANB");
            } else {
                err_ = TLayoutError{33, 0, 0, {}};  // output branches never lie inside a parallel block
                return false;
            }
        }
        if (p > 0) Bare("ORB");
    }
    return true;
}

int TEmitter::ContactCount(const TCircuitPath& path) {
    int n = 0;
    for (const auto& item : path) {
        if (item->type == TCircuitType::Element) {
            const TLdbKind k = item->leaf->kind;
            if (k != TLdbKind::Out_Ry && k != TLdbKind::Spec_Fun && k != TLdbKind::non_inst) ++n;
        } else if (item->type == TCircuitType::ParallelBlock) {
            ++n;
        } else {
            for (const auto& p : item->paths) n += ContactCount(p);
        }
    }
    return n;
}

bool TEmitter::EmitBranchGroup(const TCircuitNode& group) {
    const bool afterStl = LastIsStl();  // a group hanging off a step needs no stack
    const int n = static_cast<int>(group.paths.size());
    std::vector<int> c(n);
    for (int p = 0; p < n; ++p) c[p] = ContactCount(group.paths[p]);
    // A later branch that begins with a block (LD .. ANB) needs the stack even
    // when the first has no contacts: with no MPS open, a load right after an
    // output starts the next rung when the code is read back.
    bool blockLater = false;
    for (int p = 1; p < n && stack_ == 0; ++p)
        if (!group.paths[p].empty() && group.paths[p][0]->type == TCircuitType::ParallelBlock) blockLater = true;
    bool pushed = false, popped = false;
    for (int p = 0; p < n; ++p) {
        if (!afterStl) {
            if (p == 0) {
                if (c[0] > 0 || blockLater) Bare("MPS"), pushed = true;
            } else if (p == n - 1) {
                if (pushed && !popped) Bare("MPP"), popped = true;
            } else {
                int rest = 0;
                for (int q = p + 1; q <= n - 2; ++q) rest += c[q];
                if (c[p] > 0) {
                    if (pushed) Bare("MRD");
                    else Bare("MPS"), pushed = true;
                } else if (rest > 0) {
                    if (c[p - 1] > 0 && pushed) Bare("MRD");
                } else if (pushed && !popped) {
                    Bare("MPP"), popped = true;
                }
            }
        }
        const TCircuitPath& path = group.paths[p];
        for (std::size_t i = 0; i < path.size(); ++i) {
            const TCircuitNode& item = *path[i];
            if (item.type == TCircuitType::Element) {
                if (!EmitElement(*item.leaf, kGroupPath, static_cast<int>(i), afterStl, -1)) return false;
            } else if (item.type == TCircuitType::ParallelBlock) {
                if (!EmitParallelBlock(item)) return false;
                if (!(afterStl && i == 0)) Bare("ANB");
            } else if (!EmitBranchGroup(item)) {
                return false;
            }
        }
    }
    return true;
}

bool TEmitter::Series(const TCircuitPath& top) {
    bool afterStl = false;
    int lastStl = -1;
    for (std::size_t i = 0; i < top.size(); ++i) {
        const TCircuitNode& item = *top[i];
        const bool prevIsStl = i > 0 && top[i - 1]->type == TCircuitType::Element &&
                               top[i - 1]->leaf->kind == TLdbKind::State_Ry;
        if (prevIsStl) afterStl = true, lastStl = static_cast<int>(i) - 1;
        if (item.type == TCircuitType::Element) {
            // A step contact may only follow other step contacts.
            if (item.leaf->kind == TLdbKind::State_Ry && static_cast<int>(i) != lastStl + 1) return Fail(*item.leaf);
            if (!EmitElement(*item.leaf, kTopSeries, static_cast<int>(i), afterStl, lastStl)) return false;
        } else if (item.type == TCircuitType::ParallelBlock) {
            if (!EmitParallelBlock(item)) return false;
            // The block is ANDed with what stands before it, unless it opens the
            // rung or the step it follows.
            if (static_cast<int>(i) > lastStl + 1) Bare("ANB");
        } else if (!EmitBranchGroup(item)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EmitCircuit(const TCircuitPath& top, std::vector<TInstNode>& nodes, TLayoutError& err) {
    TEmitter emitter(nodes, err);
    return emitter.Series(top);
}
