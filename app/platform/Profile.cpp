#include "Profile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

namespace Profile {

QByteArray toCp932(const QString& s) {
    QStringEncoder enc("CP932");
    QByteArray out = enc.encode(s);
    return out;
}

QString fromCp932(const QByteArray& b) {
    QStringDecoder dec("CP932");
    return dec.decode(b);
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

QList<QByteArray> readLines(const QString& path, bool* ok = nullptr) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (ok) *ok = false;
        return {};
    }
    if (ok) *ok = true;
    const QByteArray all = f.readAll();
    QList<QByteArray> lines = all.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QByteArray& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    return lines;
}

// "[name]" -> name (trimmed), or nullopt when the line is not a section head.
std::optional<QString> sectionOf(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (t.size() < 2 || t[0] != '[') return std::nullopt;
    const int close = t.indexOf(']');
    if (close < 0) return std::nullopt;
    return fromCp932(t.mid(1, close - 1)).trimmed();
}

// "key = value" -> (key, value), both trimmed; nullopt for other lines.
std::optional<std::pair<QString, QString>> entryOf(const QByteArray& line) {
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t[0] == ';') return std::nullopt;
    const int eq = t.indexOf('=');
    if (eq < 0) return std::nullopt;
    QString value = fromCp932(t.mid(eq + 1)).trimmed();
    if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                              (value.front() == '\'' && value.back() == '\'')))
        value = value.mid(1, value.size() - 2);
    return std::make_pair(fromCp932(t.left(eq)).trimmed(), value);
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString GetString(const QString& section, const QString& key, const QString& def, int bufferSize,
                  const QString& path) {
    if (bufferSize <= 0) return {};
    const QList<QByteArray> lines = readLines(path);
    if (section.isNull()) {
        QByteArray list;
        for (const QByteArray& l : lines)
            if (auto s = sectionOf(l)) list += toCp932(*s) + '\0';
        // As the platform does: a list that does not fit is cut two bytes
        // short of the buffer and closed with two NULs.
        if (list.size() + 1 > bufferSize) {
            list = cutBytes(list, bufferSize - 2);
            list += '\0';
        }
        list += '\0';
        return fromCp932(list);
    }
    bool inSection = false;
    std::optional<QString> found;
    for (const QByteArray& l : lines) {
        if (auto s = sectionOf(l)) {
            if (inSection) break;
            inSection = sameName(*s, section);
            continue;
        }
        if (!inSection) continue;
        if (key.isNull()) continue;
        if (auto e = entryOf(l); e && sameName(e->first, key)) {
            found = e->second;
            break;
        }
    }
    const QString result = found.value_or(def);
    return fromCp932(cutBytes(toCp932(result), bufferSize - 1));
}

bool WriteString(const QString& section, const QString& key, const QString& value,
                 const QString& path) {
    bool existed = false;
    QList<QByteArray> lines = readLines(path, &existed);
    // Keep the file's own line ends.
    QByteArray eol = "\r\n";
    if (existed) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray head = f.read(65536);
            const int nl = head.indexOf('\n');
            if (nl >= 0 && (nl == 0 || head[nl - 1] != '\r')) eol = "\n";
        }
    }
    int secStart = -1, secEnd = -1; // head line, and one past the section's last entry line
    for (int i = 0; i < lines.size(); ++i) {
        if (auto s = sectionOf(lines[i])) {
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
    while (secStart >= 0 && insertAt - 1 > secStart && lines[insertAt - 1].trimmed().isEmpty())
        --insertAt;

    const QByteArray newLine = toCp932(key) + '=' + toCp932(value);
    if (key.isNull()) {
        if (secStart < 0) return true;
        lines.erase(lines.begin() + secStart, lines.begin() + secEnd);
    } else if (secStart < 0) {
        if (value.isNull()) return true;
        lines << QByteArray('[' + toCp932(section) + ']') << newLine;
    } else {
        int at = -1;
        for (int i = secStart + 1; i < secEnd; ++i)
            if (auto e = entryOf(lines[i]); e && sameName(e->first, key)) {
                at = i;
                break;
            }
        if (value.isNull()) {
            if (at >= 0) lines.removeAt(at);
        } else if (at >= 0) {
            lines[at] = newLine;
        } else {
            lines.insert(insertAt, newLine);
        }
    }

    QByteArray bytes;
    for (const QByteArray& l : lines)
        bytes += l + eol;
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
