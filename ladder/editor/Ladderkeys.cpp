#include "ladder/editor/Ladderkeys.h"

#include <iterator>

namespace {

using A = TLadderKeyAction;
constexpr Qt::KeyboardModifiers kNone = Qt::NoModifier;

const TLadderKey kKeys[] = {
    {Qt::Key_Left, kNone, A::Left, -1},
    {Qt::Key_Right, kNone, A::Right, -1},
    {Qt::Key_Up, kNone, A::Up, -1},
    {Qt::Key_Down, kNone, A::Down, -1},
    {Qt::Key_PageUp, kNone, A::PageUp, -1},
    {Qt::Key_PageDown, kNone, A::PageDown, -1},
    {Qt::Key_Home, kNone, A::Home, -1},
    {Qt::Key_End, kNone, A::End, -1},
    {Qt::Key_Return, kNone, A::Enter, -1},
    {Qt::Key_Enter, Qt::KeypadModifier, A::Enter, -1},
    {Qt::Key_Insert, kNone, A::Insert, -1},
    {Qt::Key_Delete, kNone, A::Delete, -1},
    {Qt::Key_Backspace, kNone, A::Backspace, -1},
    {Qt::Key_F1, kNone, A::Element, 0},   // normally open contact
    {Qt::Key_F2, kNone, A::Element, 1},   // normally closed contact
    {Qt::Key_F3, kNone, A::Element, 2},   // rising-edge contact
    {Qt::Key_F4, kNone, A::Element, 3},   // falling-edge contact
    {Qt::Key_F5, kNone, A::Element, 4},   // step contact
    {Qt::Key_F6, kNone, A::Element, 5},   // applied-instruction box
    {Qt::Key_F7, kNone, A::Element, 6},   // coil
    {Qt::Key_F8, kNone, A::Element, 7},   // horizontal line
    {Qt::Key_F9, kNone, A::Element, 8},   // vertical line
    {Qt::Key_F10, kNone, A::Nothing, -1},
    {Qt::Key_F11, kNone, A::Element, 9},  // inverter
    {Qt::Key_F12, kNone, A::Element, 10}, // comparison
    {Qt::Key_F9, Qt::AltModifier, A::VLineDown, 8},
};

}  // namespace

const TLadderKey* FindLadderKey(int key, Qt::KeyboardModifiers modifiers) {
    // The keypad flag only tells where a key sits; arrows and Enter act alike.
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    for (const TLadderKey& k : kKeys) {
        if (k.key != key) continue;
        if ((k.modifiers & ~Qt::KeypadModifier) == mods) return &k;
    }
    return nullptr;
}

const TLadderKey* LadderKeyTable(int& count) {
    count = static_cast<int>(std::size(kKeys));
    return kKeys;
}
