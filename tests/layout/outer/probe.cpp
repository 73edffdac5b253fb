// Uses the core and the ladder model from outside the checkout: a mnemonic is
// found, a device text is read back from a ladder cell, and the data copy exists.
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/InstructionTable.h"
#include "ladder/model/LadderGrid.h"

int main() {
    int faults = 0;
    if (FindMnemonic("mov") != inst::MOV) {
        std::puts("core: MOV not found");
        ++faults;
    }
    if (std::string(LdbKindName(TLdbKind::Out_Ry)).empty()) {
        std::puts("ladder model: no name for a coil");
        ++faults;
    }
    if (!std::filesystem::exists(QEL_OUTER_DATA)) {
        std::printf("data: %s was not copied\n", QEL_OUTER_DATA);
        ++faults;
    }
    if (faults == 0) std::puts("outer project: core, ladder model and data copy usable");
    return faults == 0 ? 0 : 1;
}
