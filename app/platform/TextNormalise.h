#pragma once
#include <QString>

// What the user typed, as it is stored and compared: an input method in
// full-width mode gives "２０２６" for 2026, and a summary must not count it
// as another year. The full-width forms of the ASCII range (U+FF01..U+FF5E)
// become their ASCII characters, the ideographic space U+3000 a blank, and
// blanks at either end go. Katakana and every other text stay as typed.
// A lone surrogate (half of a character, from a broken paste) cannot be
// stored: it becomes U+FFFD, the replacement character.
namespace TextNormalise {

struct Result {
    QString text;
    bool replacedSurrogate = false;
};

Result normalise(const QString& text);
inline QString normalised(const QString& text) {
    return normalise(text).text;
}

} // namespace TextNormalise
