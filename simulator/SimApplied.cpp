// Bodies of the applied instructions (rows CMP onwards). The engine calls a
// body only while its rung is ON, or once per rising edge for pulse rows, with
// the row's operands decoded into slots (TSimEngine::ReadOperand and
// WriteOperand). Rows without a body advance by their length.
#include "simulator/SimEngine.h"

TSimHandler SimAppliedBody(int index) {
    switch (index) {
        default: return nullptr;
    }
}
