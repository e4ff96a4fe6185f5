#include "CsvWriter.h"
#include "GridModel.h"
#include "WholeFile.h"

CsvWriter::CsvWriter() : mUtf8(QStringEncoder::Utf8) {
    mBytes = QByteArrayLiteral("\xEF\xBB\xBF");
}

void CsvWriter::appendUtf8(QStringView text) {
    // straight into the file's bytes, without a converted copy per field
    const qsizetype at = mBytes.size();
    mBytes.resize(at + mUtf8.requiredSpace(text.size()));
    char* end = mUtf8.appendToBuffer(mBytes.data() + at, text);
    mBytes.truncate(end - mBytes.constData());
}

namespace {
bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A number as a spreadsheet reads it: a sign, digits (in groups of three
// separated by commas, or not), a decimal part. The digits without the
// group commas go to `plain`.
bool plainNumber(QStringView t, QString& plain) {
    qsizetype i = 0;
    const qsizetype n = t.size();
    plain.clear();
    if (i < n && (t[i] == u'-' || t[i] == u'+')) plain += t[i++];
    qsizetype run = 0, digits = 0;
    bool grouped = false;
    for (; i < n; ++i) {
        if (isDigit(t[i])) {
            plain += t[i];
            ++run;
            ++digits;
        } else if (t[i] == u',') {
            if (run == 0 || run > 3 || (grouped && run != 3)) return false;
            grouped = true;
            run = 0;
        } else {
            break;
        }
    }
    if (digits == 0 || (grouped && run != 3)) return false;
    if (i < n && t[i] == u'.') {
        plain += u'.';
        ++i;
        const qsizetype from = i;
        while (i < n && isDigit(t[i]))
            plain += t[i++];
        if (i == from) return false;
    }
    return i == n;
}

bool looksLikeFormula(QStringView text) {
    if (text.isEmpty()) return false;
    switch (text.front().unicode()) {
    case u'=':
    case u'+':
    case u'-':
    case u'@':
    case u'\t':
    case u'\r':
        return true;
    default:
        return false;
    }
}
} // namespace

void CsvWriter::addField(QStringView text) {
    if (looksLikeFormula(text)) {
        QString prefixed;
        prefixed.reserve(text.size() + 1);
        prefixed += QLatin1Char('\'');
        prefixed += text;
        addQuotedIfNeeded(prefixed);
    } else
        addQuotedIfNeeded(text);
}

void CsvWriter::addNumber(QStringView text) {
    QString plain;
    if (plainNumber(text, plain))
        addQuotedIfNeeded(plain);
    else
        addField(text);
}

void CsvWriter::addQuotedIfNeeded(QStringView text) {
    if (mRowStarted) mBytes.append(',');
    mRowStarted = true;
    bool quote = false;
    for (const QChar ch : text)
        if (ch == u',' || ch == u'"' || ch == u'\r' || ch == u'\n') {
            quote = true;
            break;
        }
    if (!quote) {
        appendUtf8(text);
        return;
    }
    mBytes.append('"');
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'"') {
            appendUtf8(text.mid(from, i + 1 - from));
            mBytes.append('"');
            from = i + 1;
        }
    appendUtf8(text.mid(from));
    mBytes.append('"');
}

void CsvWriter::endRow() {
    mBytes.append("\r\n");
    mRowStarted = false;
}

void CsvWriter::addShownGrid(const GridModel& grid) {
    // the shown columns, each with whether it holds numbers (right-aligned)
    std::vector<std::pair<int, bool>> cols;
    for (int c = 0; c < grid.cols(); ++c)
        if (grid.colWidth(c) > 0)
            cols.emplace_back(c,
                              (grid.colAlignment(c) & Qt::AlignHorizontal_Mask) == Qt::AlignRight);
    mBytes.reserve(mBytes.size() + qsizetype(grid.rows()) * qsizetype(cols.size()) * 8);
    const int fixed = grid.fixedRows();
    for (int r = 0; r < grid.rows(); ++r) {
        // hidden rows (an empty grid's placeholder) are not shown either
        if (grid.rowHeight(r) == 0) continue;
        for (const auto& [c, numeric] : cols) {
            // the header row names the columns: always text
            if (numeric && r >= fixed)
                addNumber(grid.text(r, c));
            else
                addField(grid.text(r, c));
        }
        endRow();
    }
}

bool CsvWriter::save(const QString& path, QString* error) const {
    return writeWholeFile(path, mBytes, error);
}
