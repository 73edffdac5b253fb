#pragma once
// The ladder window's key table: what each key does with no modifier (and the
// one Alt combination). Kept as data so that the window, the frame's shortcut
// scoping and the tests read the same table.
#include <Qt>

/// What a key does in the ladder window.
enum class TLadderKeyAction {
    Left, Right, Up, Down, PageUp, PageDown, Home, End,
    Enter,        ///< opens the instruction input (the block-comment entry on a comment row)
    Insert,       ///< toggles insert and overwrite mode
    Delete,       ///< deletes the element at the cursor
    Backspace,    ///< moves left and deletes the element there
    Element,      ///< an element button (Btn0..Btn10) of the frame
    VLineDown,    ///< Alt+F9: a vertical line, then the cursor goes down a row
    Nothing,      ///< taken by the window, does nothing (F10)
};

struct TLadderKey {
    int key;                       ///< Qt::Key
    Qt::KeyboardModifiers modifiers;
    TLadderKeyAction action;
    int button;                    ///< Btn index for Element and VLineDown, else -1
};

/// The table entry for a key press; nullptr when the table has none (typed
/// characters and Ctrl combinations are not in it).
const TLadderKey* FindLadderKey(int key, Qt::KeyboardModifiers modifiers);

/// Every entry, in table order.
const TLadderKey* LadderKeyTable(int& count);

/// An item of the ladder window's popup menu `LDBPopup`: the frame command it
/// runs in this window, its group (1 editing, 2 on-line) and its shortcut.
struct TLadderPopupItem {
    const char* name;       ///< PopUndo, PopDel, ...
    const char* caption;    ///< the item's own text
    int group;              ///< 1 shown while editing, 2 while monitoring on line
    int key;                ///< Qt::Key of the shortcut, 0 for none
    Qt::KeyboardModifiers modifiers;
    const char* command;    ///< the command run through the window's link
    bool separatorBefore;
};

/// The popup's items in menu order.
const TLadderPopupItem* LadderPopupItems(int& count);
/// The popup item whose shortcut the key is (Ctrl combinations), or nullptr.
const TLadderPopupItem* FindLadderPopupShortcut(int key, Qt::KeyboardModifiers modifiers);
