// Shared line and instruction buffers and the tokenizer over gInputText.
#include "core/Codetranslate.h"

#include <cstring>

char gInputText[kInputTextSize];
int32_t gLinePos = 0;
int32_t gInstIndex = 0;
TInsnBuf gInsnBuf;
char gInstText[kInstTextSize];

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool EndsToken(char c) { return c == '\0' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A line ends at its NUL; a buffer without one is read up to its last byte only.
int LineLength() {
    const void* nul = std::memchr(gInputText, 0, kInputTextSize);
    return nul ? static_cast<int>(static_cast<const char*>(nul) - gInputText) : kInputTextSize;
}

}  // namespace

bool SetInputText(std::string_view line) {
    if (line.size() >= static_cast<std::size_t>(kInputTextSize)) return false;
    std::memset(gInputText, 0, sizeof gInputText);
    std::memcpy(gInputText, line.data(), line.size());
    gLinePos = 0;
    return true;
}

void SkipBlanks() {
    const int end = LineLength();
    if (gLinePos < 0) gLinePos = 0;
    while (gLinePos < end && IsBlank(gInputText[gLinePos])) ++gLinePos;
}

int ReadToken(char* dest) {
    SkipBlanks();
    const int end = LineLength();
    int n = 0;
    while (gLinePos < end && !EndsToken(gInputText[gLinePos])) {
        if (n < kTokenMax) dest[n] = gInputText[gLinePos];
        ++n;
        ++gLinePos;
    }
    dest[n < kTokenMax ? n : kTokenMax] = '\0';
    return n;
}
