#include "Profile.h"
#include "WholeFile.h"

#include <QFile>
#include <QFileInfo>
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

// Printable ASCII and tab are the same bytes in the code page; the common
// lines of the file (keys, numbers) need no converter.
bool plainAscii(QStringView s) {
    for (QChar c : s)
        if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() > 0x7E) return false;
    return true;
}
bool plainAscii(const QByteArray& b) {
    for (char ch : b) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t') || c > 0x7E) return false;
    }
    return true;
}

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
    // The file as read. The lines read from it point into it rather than
    // holding copies, so it is declared first and goes last.
    QByteArray bytes;
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

// The lines point into the file's bytes rather than holding copies.
IniFile parseFile(const QByteArray& read) {
    IniFile file;
    file.bytes = read;
    const QByteArray& all = file.bytes;
    if (all.startsWith(ByteOrderMark)) file.bom = ByteOrderMark;
    file.lines.reserve(all.count('\n') + 1);
    QStringDecoder dec("CP932");
    forEachLine(all, -1, [&](const Span& s) {
        Line line;
        line.raw = QByteArray::fromRawData(all.constData() + s.start, s.end - s.start);
        // the three line ends share their bytes instead of each line
        // holding a copy
        static const QByteArray crlf("\r\n"), lf("\n"), cr("\r");
        const qsizetype eolSize = s.next - s.end;
        if (eolSize == 2)
            line.eol = crlf;
        else if (eolSize == 1)
            line.eol = all[s.end] == '\n' ? lf : cr;
        line.text = plainAscii(line.raw) ? QString::fromLatin1(line.raw) : decodeLine(dec, all, s);
        file.lines.append(std::move(line));
        return true;
    });
    return file;
}

// The file as it is, or nullopt (and why) when it cannot be read whole; a
// missing file is an error too, so that nothing is written in its place.
std::optional<IniFile> readExisting(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error) *error = f.errorString();
        return std::nullopt;
    }
    const QByteArray all = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error) *error = f.errorString();
        return std::nullopt;
    }
    return parseFile(all);
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

// The key of an entry line, trimmed, without copying; empty for other lines.
QStringView keyOf(const QString& line) {
    const QStringView t = trimBlanks(line);
    if (t.isEmpty() || t[0] == u';') return {};
    const qsizetype eq = t.indexOf(u'=');
    if (eq < 0) return {};
    return t.left(eq).trimmed();
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

// Converts texts to be written, one pair of converters for many texts.
class Storer {
public:
    // The code page's bytes for `s`, or nullopt when a character has none
    // (an emoji, a character outside JIS) or the text would break the line
    // apart.
    std::optional<QByteArray> operator()(const QString& s) {
        if (s.contains(u'\n') || s.contains(u'\r')) return std::nullopt;
        if (plainAscii(s)) return s.toLatin1();
        mEnc.resetState();
        QByteArray bytes = mEnc.encode(s);
        if (mEnc.hasError()) return std::nullopt;
        mDec.resetState();
        if (QString(mDec.decode(bytes)) != s) return std::nullopt;
        return bytes;
    }

private:
    QStringEncoder mEnc{"CP932"};
    QStringDecoder mDec{"CP932"};
};

std::optional<QByteArray> storable(const QString& s) {
    return Storer()(s);
}

// New lines end the way the line before them ends, or as the file's first
// line end does; CR LF in a file that has none. A file without a final line
// end keeps that: the old last line gets one, the new last line goes without.
void insertRawLines(QList<Line>& lines, int at, const QList<QByteArray>& raws) {
    if (raws.isEmpty()) return;
    QByteArray eol;
    if (at > 0 && !lines[at - 1].eol.isEmpty()) {
        eol = lines[at - 1].eol;
    } else {
        for (const Line& l : lines)
            if (!l.eol.isEmpty()) {
                eol = l.eol;
                break;
            }
        if (eol.isEmpty()) eol = QByteArrayLiteral("\r\n");
    }
    const bool last = at == lines.size() && at > 0 && lines[at - 1].eol.isEmpty();
    if (last) lines[at - 1].eol = eol;
    QList<Line> added;
    added.reserve(raws.size());
    for (const QByteArray& r : raws)
        added.append(Line{r, eol, QString()});
    lines.insert(at, raws.size(), Line());
    std::move(added.begin(), added.end(), lines.begin() + at);
    if (last) lines[at + raws.size() - 1].eol.clear();
}

// Writes the file beside itself and renames it over the old one.
bool writeFile(const IniFile& file, const QString& path, QString* error) {
    qsizetype size = file.bom.size();
    for (const Line& l : file.lines)
        size += l.raw.size() + l.eol.size();
    QByteArray bytes;
    bytes.reserve(size);
    bytes += file.bom;
    for (const Line& l : file.lines) {
        bytes += l.raw;
        bytes += l.eol;
    }
    return writeWholeFile(path, bytes, error);
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

    // A missing file is started afresh; one that exists but cannot be read
    // is left alone rather than replaced by the one new line.
    IniFile file;
    if (QFileInfo::exists(path)) {
        auto existing = readExisting(path, nullptr);
        if (!existing) return false;
        file = std::move(*existing);
    }
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

    auto insertLines = [&](int at, const QList<QByteArray>& raws) {
        insertRawLines(lines, at, raws);
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

    return writeFile(file, path, nullptr);
}

std::optional<QList<Entry>> ReadSection(const QString& section, const QString& path) {
    IniFile file;
    if (QFile::exists(path)) {
        auto existing = readExisting(path, nullptr);
        if (!existing) return std::nullopt;
        file = std::move(*existing);
    }
    QList<Entry> out;
    bool inSection = false;
    for (const Line& l : file.lines) {
        if (auto s = sectionOf(l.text)) {
            if (inSection) break;
            inSection = sameName(*s, section);
            continue;
        }
        if (!inSection) continue;
        if (auto e = entryOf(l.text)) out.append({std::move(e->first), std::move(e->second)});
    }
    return out;
}

bool ReplaceEntries(const QString& section, const QString& keyPrefix, const QList<Entry>& entries,
                    const QString& path, QString* error) {
    Storer storable;
    const auto sectionBytes = storable(section);
    QList<QByteArray> newLines;
    newLines.reserve(entries.size());
    for (const Entry& e : entries) {
        const auto k = storable(e.key);
        const auto v = storable(e.value);
        if (!sectionBytes || !k || !v) {
            if (error) *error = QStringLiteral("text the code page cannot hold");
            return false;
        }
        QByteArray line;
        line.reserve(k->size() + 1 + v->size());
        line += *k;
        line += '=';
        line += *v;
        newLines.append(std::move(line));
    }
    auto read = readExisting(path, error);
    if (!read) return false;
    IniFile& file = *read;
    QList<Line>& lines = file.lines;

    int secStart = -1, secEnd = -1;
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

    if (secStart < 0) {
        if (newLines.isEmpty()) return true;
        newLines.prepend('[' + *sectionBytes + ']');
        insertRawLines(lines, lines.size(), newLines);
        return writeFile(file, path, error);
    }
    // Only the entries themselves go; comments and blank lines among them stay.
    int at = -1;
    int kept = secStart + 1;
    for (int i = secStart + 1; i < secEnd; ++i) {
        const QStringView key = keyOf(lines[i].text);
        if (!key.isEmpty() && key.startsWith(keyPrefix, Qt::CaseInsensitive)) {
            if (at < 0) at = kept;
            continue;
        }
        if (kept != i) lines[kept] = std::move(lines[i]);
        ++kept;
    }
    const int removed = secEnd - kept;
    if (removed == 0 && newLines.isEmpty()) return true;
    lines.erase(lines.begin() + kept, lines.begin() + secEnd);
    if (at < 0) {
        at = kept;
        while (at - 1 > secStart && trimBlanks(lines[at - 1].text).isEmpty())
            --at;
    }
    insertRawLines(lines, at, newLines);
    return writeFile(file, path, error);
}

} // namespace Profile
