#include "Profile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <vector>

namespace Profile {

QByteArray toCp932(const QString& s) {
    QStringEncoder enc("CP932");
    QByteArray out = enc.encode(s);
    return out;
}

namespace {
// The bytes are decoded with a line end behind them and the line end taken
// off again: a lead byte at their end then meets a byte that cannot be its
// trail and is read as a substitute, where the decoder would otherwise hold
// it back for a trail that never comes and the character would be lost.
QString decodeWhole(QStringDecoder& dec, const QByteArray& b) {
    QString text = dec.decode(b + '\n');
    text.chop(1);
    dec.resetState();
    return text;
}
} // namespace

QString fromCp932(const QByteArray& b) {
    QStringDecoder dec("CP932");
    return decodeWhole(dec, b);
}

namespace {

// A CP932 lead byte starts a two-byte character.
bool isLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Cuts `bytes` to at most `max` bytes without splitting a character.
QByteArray cutBytes(const QByteArray& bytes, int max) {
    if (max <= 0) return {};
    if (bytes.size() <= max) return bytes;
    int i = 0;
    while (i < max) {
        const int len = isLead(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        if (i + len > max) break;
        i += len;
    }
    return bytes.left(i);
}

// One line of the file: its bytes as stored, its line end as stored ("\r\n",
// "\n", "\r", or nothing for a last line without one), and its text. Lines
// are decoded before they are parsed: the second byte of a double-byte
// character may be "[" or "]" (ゾ is 83 5D), so brackets are looked for in
// characters, never in bytes.
struct Line {
    QByteArray raw;
    QByteArray eol;
    QString text;
};

struct IniFile {
    QByteArray bom; // a leading UTF-8 byte order mark, kept as it was
    QList<Line> lines;
};

QByteArray readBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

// Where one line lies in the file's bytes: its text [start, end), its line
// end [end, next).
struct Span {
    qsizetype start, end, next;
};

// Calls f(span) for every line from `from` (the first line when negative)
// while f returns true. CR and LF never occur inside a double-byte character
// of the code page, so the bytes can be split at them before decoding.
template <typename F> void forEachLine(const QByteArray& all, qsizetype from, F&& f) {
    const char* d = all.constData();
    const qsizetype n = all.size();
    qsizetype p = from >= 0 ? from : all.startsWith(ByteOrderMark) ? ByteOrderMark.size() : 0;
    while (p < n) {
        qsizetype e = p;
        while (e < n && d[e] != '\n' && d[e] != '\r')
            ++e;
        qsizetype next = e;
        if (e < n) next += (d[e] == '\r' && e + 1 < n && d[e + 1] == '\n') ? 2 : 1;
        if (!f(Span{p, e, next})) return;
        p = next;
    }
}

// A line's text, decoded together with the first byte of its line end (see
// decodeWhole).
QString decodeLine(QStringDecoder& dec, const QByteArray& all, const Span& s) {
    if (s.next == s.end) return decodeWhole(dec, all.mid(s.start, s.end - s.start));
    QString text = dec.decode(QByteArrayView(all.constData() + s.start, s.end - s.start + 1));
    text.chop(1);
    dec.resetState();
    return text;
}

// Whether a line may be a section head: its first byte after the blanks is
// "[". A blank is a character of one byte, so that byte starts a character;
// only the characters decide whether the line really is a head.
bool mayBeHead(const QByteArray& all, const Span& s) {
    const char* d = all.constData();
    qsizetype i = s.start;
    while (i < s.end && (d[i] == ' ' || d[i] == '\t' || d[i] == '\v' || d[i] == '\f'))
        ++i;
    return i < s.end && d[i] == '[';
}

IniFile readFile(const QString& path) {
    IniFile file;
    const QByteArray all = readBytes(path);
    if (all.startsWith(ByteOrderMark)) file.bom = ByteOrderMark;
    QStringDecoder dec("CP932");
    forEachLine(all, -1, [&](const Span& s) {
        file.lines.append(Line{all.mid(s.start, s.end - s.start), all.mid(s.end, s.next - s.end),
                               decodeLine(dec, all, s)});
        return true;
    });
    return file;
}

// The blanks that surround a line (those of the C locale).
QStringView trimBlanks(QStringView s) {
    auto blank = [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
    };
    qsizetype a = 0, b = s.size();
    while (a < b && blank(s[a]))
        ++a;
    while (b > a && blank(s[b - 1]))
        --b;
    return s.mid(a, b - a);
}

// "[name]" -> name (trimmed), or nullopt when the line is not a section head.
std::optional<QString> sectionOf(const QString& line) {
    const QStringView t = trimBlanks(line);
    if (t.size() < 2 || t[0] != u'[') return std::nullopt;
    const qsizetype close = t.indexOf(u']');
    if (close < 0) return std::nullopt;
    return t.mid(1, close - 1).toString().trimmed();
}

// "key = value" -> (key, value), both trimmed; nullopt for other lines.
std::optional<std::pair<QString, QString>> entryOf(const QString& line) {
    const QStringView t = trimBlanks(line);
    if (t.isEmpty() || t[0] == u';') return std::nullopt;
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0) return std::nullopt;
    QString value = t.mid(eq + 1).toString().trimmed();
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\'')))
        value = value.mid(1, value.size() - 2);
    return std::make_pair(t.left(eq).toString().trimmed(), value);
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A section head: the section's name, and where the head line lies.
struct Head {
    QString name;
    Span span;
};

// The section heads of a file's bytes, in file order. A catalog is read key
// by key, tens of reads for every window that opens: the heads of the bytes
// read last are kept and used again while the file holds exactly those bytes
// (compared whole, so that a change by anyone at all is seen). Only lines
// that may be heads are decoded.
const std::vector<Head>& headsOf(const QByteArray& all) {
    struct Last {
        QByteArray bytes;
        std::vector<Head> heads;
    };
    thread_local Last last;
    if (last.bytes != all) {
        last.heads.clear();
        QStringDecoder dec("CP932");
        forEachLine(all, -1, [&](const Span& l) {
            if (mayBeHead(all, l))
                if (auto s = sectionOf(decodeLine(dec, all, l))) last.heads.push_back({*s, l});
            return true;
        });
        last.bytes = all;
    }
    return last.heads;
}

// The code page's bytes for `s`, or nullopt when a character has none (an
// emoji, a character outside JIS) or the text would break the line apart.
std::optional<QByteArray> storable(const QString& s) {
    if (s.contains(u'\n') || s.contains(u'\r')) return std::nullopt;
    QStringEncoder enc("CP932");
    QByteArray bytes = enc.encode(s);
    if (enc.hasError() || fromCp932(bytes) != s) return std::nullopt;
    return bytes;
}

} // namespace

QString GetString(const QString& section, const QString& key, const QString& def, int bufferSize,
                  const QString& path) {
    if (bufferSize <= 0) return {};
    const QByteArray all = readBytes(path);
    const std::vector<Head>& heads = headsOf(all);
    if (section.isNull()) {
        QByteArray list;
        for (const Head& h : heads)
            list += toCp932(h.name) + '\0';
        // As the platform does: a list that does not fit is cut two bytes
        // short of the buffer and closed with two NULs.
        if (list.size() + 1 > bufferSize) {
            list = cutBytes(list, bufferSize - 2);
            list += '\0';
        }
        list += '\0';
        return fromCp932(list);
    }
    // The first section of the name; its lines run to the next head.
    size_t h = 0;
    while (h < heads.size() && !sameName(heads[h].name, section))
        ++h;
    std::optional<QString> found;
    if (h < heads.size() && !key.isNull()) {
        const qsizetype end = h + 1 < heads.size() ? heads[h + 1].span.start : all.size();
        QStringDecoder dec("CP932");
        forEachLine(all, heads[h].span.next, [&](const Span& l) {
            if (l.start >= end) return false;
            if (auto e = entryOf(decodeLine(dec, all, l)); e && sameName(e->first, key)) {
                found = e->second;
                return false;
            }
            return true;
        });
    }
    const QString result = found.value_or(def);
    return fromCp932(cutBytes(toCp932(result), bufferSize - 1));
}

bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& path) {
    // Text the file cannot hold is refused before anything is touched.
    const auto sectionBytes = storable(section);
    const auto keyBytes = key.isNull() ? std::optional<QByteArray>(QByteArray()) : storable(key);
    const auto valueBytes =
        value.isNull() ? std::optional<QByteArray>(QByteArray()) : storable(value);
    if (!sectionBytes || !keyBytes || !valueBytes) return false;

    IniFile file = readFile(path);
    QList<Line>& lines = file.lines;
    int secStart = -1, secEnd = -1; // head line, and one past the section's last entry line
    for (int i = 0; i < lines.size(); ++i) {
        if (auto s = sectionOf(lines[i].text)) {
            if (secStart >= 0) {
                secEnd = i;
                break;
            }
            if (sameName(*s, section)) secStart = i;
        }
    }
    if (secStart >= 0 && secEnd < 0) secEnd = lines.size();
    // Appended entries go after the section's last non-blank line.
    int insertAt = secEnd;
    while (secStart >= 0 && insertAt - 1 > secStart &&
           trimBlanks(lines[insertAt - 1].text).isEmpty())
        --insertAt;

    // New lines end the way the line before them ends, or as the file's
    // first line end does; CR LF in a file that has none.
    auto lineEndAt = [&](int at) -> QByteArray {
        if (at > 0 && !lines[at - 1].eol.isEmpty()) return lines[at - 1].eol;
        for (const Line& l : lines)
            if (!l.eol.isEmpty()) return l.eol;
        return QByteArrayLiteral("\r\n");
    };
    auto insertLines = [&](int at, const QList<QByteArray>& raws) {
        const QByteArray eol = lineEndAt(at);
        // A file without a final line end keeps that: the old last line gets
        // one, the new last line goes without.
        const bool last = at == lines.size() && at > 0 && lines[at - 1].eol.isEmpty();
        if (last) lines[at - 1].eol = eol;
        for (int i = 0; i < raws.size(); ++i)
            lines.insert(at + i, Line{raws[i], eol, QString()});
        if (last) lines[at + raws.size() - 1].eol.clear();
    };

    const QByteArray newLine = *keyBytes + '=' + *valueBytes;
    if (key.isNull()) {
        if (secStart < 0) return true;
        lines.erase(lines.begin() + secStart, lines.begin() + secEnd);
    } else if (secStart < 0) {
        if (value.isNull()) return true;
        insertLines(lines.size(), {'[' + *sectionBytes + ']', newLine});
    } else {
        int at = -1;
        for (int i = secStart + 1; i < secEnd; ++i)
            if (auto e = entryOf(lines[i].text); e && sameName(e->first, key)) {
                at = i;
                break;
            }
        if (value.isNull()) {
            if (at < 0) return true;
            lines.removeAt(at);
        } else if (at >= 0) {
            lines[at].raw = newLine;
        } else {
            insertLines(insertAt, {newLine});
        }
    }

    QByteArray bytes = file.bom;
    for (const Line& l : lines)
        bytes += l.raw + l.eol;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    // A short write (full disk, size limit) must not replace the old file;
    // the temporary file's real size is checked before it takes its place.
    if (out.write(bytes) != bytes.size() || !out.flush() || out.size() != bytes.size()) {
        out.cancelWriting();
        out.commit();
        return false;
    }
    return out.commit();
}

} // namespace Profile
