#include "project/Commentrules.h"

#include <algorithm>

#include "project/Fileio.h"

bool IsCommentControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u < 0x20 && c != '\t') || u == 0x7F;
}

bool CommentAcceptable(std::string_view text, std::size_t maxBytes) {
    return text.size() <= maxBytes && std::none_of(text.begin(), text.end(), IsCommentControl) &&
           qelfile::IsUtf8(text);
}

std::string CleanComment(std::string_view text, std::size_t maxBytes) {
    std::string clean = qelfile::ToValidUtf8(text);
    std::replace_if(clean.begin(), clean.end(), IsCommentControl, ' ');
    return qelfile::CutUtf8(clean, maxBytes);
}
