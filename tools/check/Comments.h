#pragma once
// Device and rung comments apart from their windows: the rows each device
// letter lists, the rung labels, and the plain-text clipboard form of comment
// rows. What a comment may hold is the project's rule (project/Commentrules.h).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "project/Commentrules.h"

/// Message ids of the comment windows.
enum TCommentMsg : int {
    kMsgBadDevice = 0,           ///< a device the family does not have
    kMsgDeviceHeader = 2,        ///< "Device" column header
    kMsgCommentHeader = 3,       ///< "Comment" column header
    kMsgRowHeader = 14,          ///< "Row" column header
    kMsgNoDevice = 40,           ///< nothing to comment at the cursor
    kMsgCommentTooLong = 247,    ///< a comment longer than it may be stored; the limit follows
    kMsgPasteLeftOut = 264,      ///< a paste had more lines than rows; how many were left out follows
};

/// The device numbers the comment window lists for letter index `list` (0..8
/// over "XYMSTCDPI") of a model family: every number up to the family's limit,
/// except family 0's C (C0-C127 and the high-speed counters), I (I0, I1,
/// I100 ... I401) and D (D0-D599 and D1000 up).
std::vector<int> CommentRowNumbers(int family, int list);

/// A device's name: its letter and number, octal for X and Y ("X17", "D200").
std::string DeviceNameOf(int list, int number);

/// The label of ladder row `row` in the rung-comment list: "*" before the
/// number when the row's last cell holds an output element.
std::string RungRowLabel(const std::uint8_t* rowBytes, int row);

/// The clipboard text of comment rows: each followed by CR LF.
std::string EncodeCommentLines(const std::vector<std::string>& comments);

/// The comment lines of clipboard text: split at CR LF, LF or CR, line ends
/// dropped, no empty line after the last break. Empty when the text holds
/// anything but comment text (a NUL or another control character).
std::vector<std::string> DecodeCommentLines(const std::string& text);
