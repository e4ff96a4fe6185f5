#include "CsvReader.h"

#include <QStringDecoder>

namespace CsvReader {

namespace {
const QByteArray Bom("\xEF\xBB\xBF");

bool validUtf8(const QByteArray& bytes) {
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = dec.decode(bytes);
    return !dec.hasError();
}

// The line (from 1) of the first character that did not decode: the decoder
// puts U+FFFD there, where a valid file holds none of its own.
int lineOfReplacement(const QString& text) {
    const qsizetype at = text.indexOf(QChar::ReplacementCharacter);
    return at < 0 ? 0 : int(text.left(at).count(QLatin1Char('\n'))) + 1;
}
} // namespace

QString detectEncoding(const QByteArray& bytes) {
    if (bytes.startsWith(Bom) || validUtf8(bytes)) return Utf8;
    return Cp932;
}

QString decode(const QByteArray& bytes, const QString& encoding, QString* error) {
    if (bytes.contains('\0')) {
        *error = QStringLiteral("文字のファイルではありません（NUL の文字が含まれています）。");
        return {};
    }
    const bool utf8 = encoding == Utf8;
    QStringDecoder dec = utf8 ? QStringDecoder(QStringDecoder::Utf8) : QStringDecoder("CP932");
    if (!dec.isValid()) {
        *error = QStringLiteral("文字コード「%1」を読めません。").arg(encoding);
        return {};
    }
    QString text = dec.decode(utf8 && bytes.startsWith(Bom) ? bytes.mid(Bom.size()) : bytes);
    if (dec.hasError()) {
        *error = QStringLiteral("%1 行目に %2 として読めない文字があります。文字コードを選び直してください。")
                     .arg(lineOfReplacement(text))
                     .arg(encoding);
        return {};
    }
    return text;
}

QChar detectSeparator(QStringView text) {
    int commas = 0, tabs = 0, lines = 0;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) quoted = !quoted;
        else if (quoted) continue;
        else if (c == QLatin1Char(',')) ++commas;
        else if (c == QLatin1Char('\t')) ++tabs;
        else if (c == QLatin1Char('\n') && ++lines == 20) break;
    }
    return tabs > commas ? QLatin1Char('\t') : QLatin1Char(',');
}

QList<QStringList> parse(QStringView text, QChar separator) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, wasQuoted = false, any = false;
    auto endField = [&] {
        record << field;
        field.clear();
        wasQuoted = false;
    };
    auto endRecord = [&] {
        endField();
        records << record;
        record.clear();
        any = false;
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c != QLatin1Char('"')) field += c;
            else if (i + 1 < n && text[i + 1] == QLatin1Char('"')) field += text[++i];
            else quoted = false;
            continue;
        }
        if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = wasQuoted = any = true;
        } else if (c == separator) {
            any = true;
            endField();
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
            if (any || !field.isEmpty() || !record.isEmpty()) endRecord();
            else records << QStringList{}; // a blank line keeps its place
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty() || !record.isEmpty()) endRecord();
    return records;
}

File read(const QByteArray& bytes, const QString& encoding, QChar separator) {
    File f;
    f.encoding = encoding.isEmpty() ? detectEncoding(bytes) : encoding;
    const QString text = decode(bytes, f.encoding, &f.error);
    if (!f.error.isEmpty()) return f;
    f.separator = separator.isNull() ? detectSeparator(text) : separator;
    f.records = parse(text, f.separator);
    if (f.records.isEmpty()) f.error = QStringLiteral("ファイルに行がありません。");
    return f;
}

} // namespace CsvReader
