#include "files/yamltokens.h"

namespace files {
namespace {

// A carriage return breaks a line only before a line feed; alone the library reads it as
// part of a word.
bool isBlank(const char* data, std::size_t size, std::size_t i)
{
    const char c = data[i];
    return c == ' ' || c == '\t' || c == '\n' || (c == '\r' && i + 1 < size && data[i + 1] == '\n');
}

// Bytes that end a plain word in some context and may be followed at once by a token.
bool isIndicator(char c)
{
    switch (c) {
    case ',': case '[': case ']': case '{': case '}': case ':': case '"': case '\'': return true;
    default: return false;
    }
}

}   // namespace

std::size_t yamlTokenStarts(const char* data, std::size_t size)
{
    std::size_t starts = 0;
    bool afterBreak = true;   // the start of the text, a blank, a line break or an indicator
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (isBlank(data, size, i)) {
            afterBreak = true;
            continue;
        }
        const bool indicator = isIndicator(c);
        if (afterBreak || indicator) ++starts;
        afterBreak = indicator;
    }
    return starts;
}

}   // namespace files
