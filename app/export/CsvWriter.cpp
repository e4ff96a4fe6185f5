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

void CsvWriter::addField(QStringView text) {
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
    std::vector<int> cols;
    for (int c = 0; c < grid.cols(); ++c)
        if (grid.colWidth(c) > 0) cols.push_back(c);
    mBytes.reserve(mBytes.size() + qsizetype(grid.rows()) * qsizetype(cols.size()) * 8);
    for (int r = 0; r < grid.rows(); ++r) {
        // hidden rows (an empty grid's placeholder) are not shown either
        if (grid.rowHeight(r) == 0) continue;
        for (int c : cols)
            addField(grid.text(r, c));
        endRow();
    }
}

bool CsvWriter::save(const QString& path, QString* error) const {
    return writeWholeFile(path, mBytes, error);
}
