#include "TextNormalise.h"

namespace TextNormalise {

namespace {
bool needsWork(const QString& s) {
    if (s.isEmpty()) return false;
    if (s.front().isSpace() || s.back().isSpace()) return true;
    for (const QChar c : s) {
        const char16_t u = c.unicode();
        if ((u >= 0xFF01 && u <= 0xFF5E) || u == 0x3000 || QChar::isSurrogate(u)) return true;
    }
    return false;
}
} // namespace

Result normalise(const QString& text) {
    Result r;
    if (!needsWork(text)) {
        r.text = text; // shared, not copied
        return r;
    }
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) {
            out += QChar(static_cast<char16_t>(u - 0xFF01 + 0x21));
        } else if (u == 0x3000) {
            out += QLatin1Char(' ');
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += text[i];
            out += text[++i];
        } else if (QChar::isSurrogate(u)) {
            out += QChar(QChar::ReplacementCharacter);
            r.replacedSurrogate = true;
        } else {
            out += text[i];
        }
    }
    r.text = out.trimmed();
    return r;
}

} // namespace TextNormalise
