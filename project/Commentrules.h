#pragma once
// What a device or rung comment may hold: one rule for every way a comment
// comes in. The comment windows refuse a text that breaks it; the readers of
// project files, of the comment defaults and of the memory card clean what
// they read to it, so that a comment held in the project can always be shown
// on one grid row, saved, and packed for the card without being split.
#include <cstddef>
#include <string>
#include <string_view>

/// Longest comments, in bytes as the project files store them (UTF-8).
inline constexpr std::size_t kDeviceCommentMaxBytes = 64;
inline constexpr std::size_t kRungCommentMaxBytes = 128;

/// A byte no comment holds: a control character (a line feed, a NUL, ...)
/// other than the tab.
bool IsCommentControl(char c);

/// Whether `text` may be stored as a comment of at most `maxBytes` bytes:
/// not too long, valid UTF-8, and no control character but the tab.
bool CommentAcceptable(std::string_view text, std::size_t maxBytes);

/// `text` made a comment that CommentAcceptable takes: each byte sequence that
/// is not UTF-8 becomes U+FFFD, each control character a space, and a text
/// still longer than `maxBytes` is cut there without splitting a character.
/// A text CommentAcceptable takes comes back unchanged.
std::string CleanComment(std::string_view text, std::size_t maxBytes);
