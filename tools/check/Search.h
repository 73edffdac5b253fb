#pragma once
// Find and replace without the dialog: devices found in machine code (operand
// by operand) and in ladder cells, runs of devices replaced with the class
// rules that keep an instruction what it is, and instructions found by
// mnemonic. Every walk shows its places and asks its questions through
// TSearchUi, so a window or a test decides what the user answers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Messages.h"

/// What a step of a walk decided.
enum class TSearchStep : int { Stop = 2, Ignored = 5, Match = 6, NoMatch = 7, ReplaceAll = 8 };

/// Message ids of the walks.
enum TSearchMsg : int {
    kMsgSearchBadName = 0,     ///< empty or refused device name, unfindable mnemonic
    kMsgSearchFound = 63,      ///< question: found here; go on?
    kMsgSearchDone = 64,       ///< the walk has ended
    kMsgReplaceDone = 65,      ///< the instruction-list replace has ended; also N = 0
    kMsgReplaceAsk = 66,       ///< question: replace here? (Yes, All, Cancel, Ignore)
    kMsgReplaceGoOn = 67,      ///< question: replaced; go on?
    kMsgReplaceRefused = 68,   ///< question: cannot be replaced here; go on?
};

/// Where a walk starts and which way it goes.
struct TSearchStart {
    bool fromEnds = false;  ///< from the start (down) or the end (up) instead of the cursor
    bool up = false;
};

/// A place the walk selects: an instruction (offset, line) or a ladder cell.
struct TSearchPlace {
    std::uint32_t offset = 0;
    int line = 0;
    std::int32_t row = -1;
    std::int32_t col = -1;
};

/// The user's side of a walk.
class TSearchUi {
public:
    virtual ~TSearchUi() = default;
    virtual void Select(const TSearchPlace& place) = 0;
    virtual qel::Answer Ask(int messageId, qel::AskButtons buttons) = 0;
    virtual void Show(int messageId, const std::string& detail = {}) = 0;
};

/// A code buffer to search: the program or a chart element's code.
struct TCodeTarget {
    std::uint8_t* code = nullptr;
    std::uint32_t capacity = 0;
    std::uint32_t end = 0;           ///< offset of the program's last instruction (END)
    std::uint32_t cursorOffset = 0;
};

/// A ladder grid to search, with the rows its P and I labels stand on
/// (entry n: the row of P n or I n, -1 when free; null: no labels).
struct TGridTarget {
    std::uint8_t* grid = nullptr;
    std::int32_t lastRow = 0;
    std::int32_t cursorRow = 0;
    std::int32_t cursorCol = 0;
    const std::int32_t* pLabelRows = nullptr;  ///< kPLabelCount entries
    const std::int32_t* iLabelRows = nullptr;  ///< kILabelCount entries
};

/// A replacement: a run of `count` devices from `search` by as many from
/// `replacement`; the ladder's element types ("None", "LD", "LDI", "LDP",
/// "LDF", "STL", "Out", "Fun.") filter and rewrite the element kind: a
/// replacement type rewrites only elements of its own sort (a contact type
/// contacts, "Out" coils, "STL" steps, "Fun." operands of boxes and compares)
/// and refuses any other. The instruction list has no element types and
/// ignores them.
struct TReplaceRequest {
    std::string search;
    std::string replacement;
    long count = 1;
    std::string searchType = "None";
    std::string repType = "None";
};

/// The device name as the views show it ("x010" is "X10", "K+05" "K5"), when
/// the text typed names a device or constant of the current family; empty
/// when refused. On the find page a "*" after the first character stands for
/// any ending; such a name is kept as typed, trimmed and upper-cased.
std::string NormalizeDeviceName(std::string_view text, bool findPage);

/// The last device of a run of n from `name` (X and Y octal, H hexadecimal),
/// as the views show it; false when the name's number cannot be counted on.
bool LastDeviceOfRun(std::string_view name, long n, std::string& out);

/// Checks a replacement request as the dialog reads it; the message id of the
/// refusal (0 a bad name or run, 65 a count of 0), or -1 when it is sound.
int CheckReplaceRequest(const TReplaceRequest& request);

/// The element-type texts of the ladder filters, in list order.
const std::vector<std::string>& SearchTypeTexts();

/// Finds a device (wildcard "*" allowed) in code; asks 63 at each match, shows 64 at the end.
/// The name is read as a replacement reads it ("X010" finds X10), so a find
/// lands on every place a replacement of that name would change.
void FindDeviceInCode(const TCodeTarget& target, const std::string& name, TSearchStart start, TSearchUi& ui);
/// Finds a device in a ladder grid, optionally only in cells of one element type.
/// A ladder and the instruction list of the same program match the same
/// operands: a cell's whole operand text (digit group, index register, 32-bit
/// value) and the row's labels are compared, as the list compares its operands.
void FindDeviceInLadder(const TGridTarget& target, const std::string& name, const std::string& type,
                        TSearchStart start, TSearchUi& ui);

/// Replaces a run of devices in code. Each written instruction is checked as a
/// whole first; after "All" the rest of the walk is checked before anything
/// more is written, and nothing more is written when any of it is refused.
/// Returns the number of operands written.
int ReplaceInCode(const TCodeTarget& target, const TReplaceRequest& request, TSearchStart start, TSearchUi& ui);
/// Replaces a run of devices in ladder cells, with the same rules, the same
/// classes (by the instruction a cell stands for when both element types are
/// "None") and the same closing message with the count written.
int ReplaceInLadder(const TGridTarget& target, const TReplaceRequest& request, TSearchStart start, TSearchUi& ui);

/// The instruction row a mnemonic names when it may be searched for; -1 otherwise.
int FindableInstruction(std::string_view mnemonic);
/// Finds an instruction by row in code, or in the right-most output element of ladder rows.
void FindInstructionInCode(const TCodeTarget& target, int index, TSearchStart start, TSearchUi& ui);
void FindInstructionInLadder(const TGridTarget& target, int index, TSearchStart start, TSearchUi& ui);
