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

constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;

// The debug item "装置名称测试" of the original menu is left out: it read a
// cell at a typed row and column without any bounds.
const TLadderPopupItem kPopup[] = {
    {"PopUndo", "恢复", 1, Qt::Key_Z, kCtrl, "MmUndo", false},
    {"PopRedo", "撤消", 1, 0, kNone, "MmRedo", false},
    {"PopDel", "删除", 1, 0, kNone, "MmDel", true},  // Del: the key table's
    {"PopCut", "剪切", 1, Qt::Key_X, kCtrl, "MmCut", false},
    {"PopCopy", "复制", 1, Qt::Key_C, kCtrl, "MmCopy", false},
    {"PopPaste", "粘贴", 1, Qt::Key_V, kCtrl, "MmPaste", false},
    {"PopSelAll", "全选", 1, Qt::Key_A, kCtrl, "MmSelAll", false},
    {"PopInsBk", "插入区块", 1, Qt::Key_Insert, kCtrl, "MmInsBk", true},
    {"PopInsLine", "插入一行", 1, Qt::Key_I, kCtrl, "MmInsLine", false},
    {"PopDelLine", "删除一行", 1, Qt::Key_Y, kCtrl, "MmDelLine", true},
    {"PopDelTk", "删除一元件", 1, Qt::Key_Delete, kCtrl, "MmDelTk", false},
    {"PopDelVline", "删除垂直线", 1, Qt::Key_D, kCtrl, "MmDelVline", false},
    {"PopBkCmt", "区段批注输入", 1, Qt::Key_F3, kCtrl, "PopBkCmt", true},
    {"PopDevCmt", "装置批注输入", 1, Qt::Key_F2, kCtrl, "PopDevCmt", false},
    {"PopLineCmt", "列批注输入", 1, Qt::Key_F12, kCtrl, "PopLineCmt", false},
    {"PopON", "强制 ON", 2, 0, kNone, "PopON", true},
    {"PopOFF", "强制 OFF", 2, 0, kNone, "PopOFF", false},
    {"PopChgVal", "改变当前值", 2, 0, kNone, "PopChgVal", false},
    {"PopPulseUp", "上升沿触发", 2, 0, kNone, "PopPulseUp", false},
    {"PopPulseDn", "下降沿触发", 2, 0, kNone, "PopPulseDn", false},
};

}  // namespace

const TLadderPopupItem* LadderPopupItems(int& count) {
    count = static_cast<int>(std::size(kPopup));
    return kPopup;
}

const TLadderPopupItem* FindLadderPopupShortcut(int key, Qt::KeyboardModifiers modifiers) {
    const Qt::KeyboardModifiers mods = modifiers & ~Qt::KeypadModifier;
    for (const TLadderPopupItem& item : kPopup)
        if (item.key != 0 && item.key == key && item.modifiers == mods) return &item;
    return nullptr;
}

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
