// A 32-bit operand names its register and the next one: the program never
// takes one whose next register the model lacks (the last D, T or C of a kind,
// C199 before the 32-bit counters, D4095 before D4096), whichever way it would
// come in: typed into the list or the ladder, written by a replacement in
// either view, pasted from another run into either view. A program that holds
// one already (from a file or a PLC) stays as it is, and a new model names it
// before the user chooses that model.
#include "tests/ladder/editor/OperandPathsFixture.h"

namespace {

const OperandRow kRows[] = {
    {"KA: DMOV D1311 D200 is refused (D1311 is the last D)", 0, "DMOV D1311 D200", "D1311", "D100", false},
    {"KA: DMOV D1310 D200 is accepted", 0, "DMOV D1310 D200", "D1310", "D100", true},
    {"KA: the last D as destination is refused", 0, "DMOV D0 D1311", "D1311", "D100", false},
    {"KA: DMOV T127 D0 is refused (T127 is the last T)", 0, "DMOV T127 D0", "T127", "T10", false},
    {"KA: DMOV T126 D0 is accepted", 0, "DMOV T126 D0", "T126", "T10", true},
    {"KA: C199 is followed by the 32-bit C200", 0, "DMOV C199 D0", "C199", "C10", false},
    {"KA: DMOV C198 D0 is accepted", 0, "DMOV C198 D0", "C198", "C10", true},
    {"KA: a DCNT set value on the last D is refused", 0, "DCNT C200 D1311", "D1311", "D100", false},
    {"KD: D4095 at 32 bits is refused (D4096 begins the next block)", 1, "DMOV D4095 D0", "D4095", "D100", false},
    {"KD: DMOV D4094 D0 is accepted", 1, "DMOV D4094 D0", "D4094", "D100", true},
    {"KD: DMOV D4096 D0 is accepted", 1, "DMOV D4096 D0", "D4096", "D100", true},
    {"KD: DMOV D9999 D0 is refused (D9999 is the last D)", 1, "DMOV D9999 D0", "D9999", "D100", false},
    {"KD: DMOV D9998 D0 is accepted", 1, "DMOV D9998 D0", "D9998", "D100", true},
    {"KD: DMOV T255 D0 is refused (T255 is the last T)", 1, "DMOV T255 D0", "T255", "T10", false},
    {"KD: C199 is followed by the 32-bit C200", 1, "DMOV C199 D0", "C199", "C10", false},
    {"KE: DMOV D4999 D0 is refused (D4999 is the last D)", 2, "DMOV D4999 D0", "D4999", "D100", false},
    {"KE: DMOV D4998 D0 is accepted", 2, "DMOV D4998 D0", "D4998", "D100", true},
    {"KE: D4095 at 32 bits is refused", 2, "DMOV D4095 D0", "D4095", "D100", false},
    {"KE: DMOV T255 D0 is refused", 2, "DMOV T255 D0", "T255", "T10", false},
    {"KE: C199 is followed by the 32-bit C200", 2, "DMOV C199 D0", "C199", "C10", false},
    {"KE: the 32-bit counter C255 is one register", 2, "DMOV C255 D0", "C255", "C10", true},
};

using LadderPairOperandTest = OperandPathsTest;

}  // namespace

TEST_F(LadderPairOperandTest, A32BitOperandWhoseNextRegisterTheModelLacksNeverComesIn) {
    for (const OperandRow& r : kRows) TryRow(r);
}
