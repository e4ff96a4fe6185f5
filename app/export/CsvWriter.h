#pragma once
#include <QByteArray>
#include <QString>
#include <QStringEncoder>

class GridModel;

// Builds a CSV file the way spreadsheet programs on Japanese desktops open
// it without asking: UTF-8 with a byte order mark, rows ended by CR LF, a
// field quoted when it holds a comma, a quote or a line break (its quotes
// doubled). No widgets: the windows hand it their texts.
//
// A text field that a spreadsheet would take for a formula (one beginning
// with =, +, -, @, a tab or a CR) is written with an apostrophe in front, so
// that it opens as the text it is. A field of a numeric column that is a
// plain number ("-500") is written as it is.
class CsvWriter {
public:
    CsvWriter();

    // The next field of the row being written: a text.
    void addField(QStringView text);
    // The next field, from a numeric column: a number written as a number,
    // its digit groups dropped ("-1,500" gives -1500); any other text is a
    // text field.
    void addNumber(QStringView text);
    // Ends the row (an empty row too).
    void endRow();
    template <typename List> void addRow(const List& fields) {
        for (const auto& f : fields)
            addField(f);
        endRow();
    }
    // The grid as the user sees it: the shown rows and columns (height and
    // width above 0) in the order shown, header rows first; an empty grid's
    // hidden placeholder row is no row of the file. Right-aligned columns
    // are the numeric ones.
    void addShownGrid(const GridModel& grid);

    const QByteArray& bytes() const { return mBytes; }
    // Writes the file in one piece; false, with the reason, when it could
    // not be written (an old file of that name then stays as it was).
    bool save(const QString& path, QString* error = nullptr) const;

private:
    void appendUtf8(QStringView text);
    void addQuotedIfNeeded(QStringView text);

    QByteArray mBytes;
    QStringEncoder mUtf8;
    bool mRowStarted = false;
};
