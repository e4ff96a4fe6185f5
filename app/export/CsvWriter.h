#pragma once
#include <QByteArray>
#include <QString>
#include <QStringEncoder>

class GridModel;

// Builds a CSV file the way spreadsheet programs on Japanese desktops open
// it without asking: UTF-8 with a byte order mark, rows ended by CR LF, a
// field quoted when it holds a comma, a quote or a line break (its quotes
// doubled). No widgets: the windows hand it their texts.
class CsvWriter {
public:
    CsvWriter();

    // The next field of the row being written.
    void addField(QStringView text);
    // Ends the row (an empty row too).
    void endRow();
    template <typename List> void addRow(const List& fields) {
        for (const auto& f : fields)
            addField(f);
        endRow();
    }
    // The grid as the user sees it: the shown rows and columns (height and
    // width above 0) in the order shown, header rows first; an empty grid's
    // hidden placeholder row is no row of the file.
    void addShownGrid(const GridModel& grid);

    const QByteArray& bytes() const { return mBytes; }
    // Writes the file in one piece; false, with the reason, when it could
    // not be written (an old file of that name then stays as it was).
    bool save(const QString& path, QString* error = nullptr) const;

private:
    void appendUtf8(QStringView text);

    QByteArray mBytes;
    QStringEncoder mUtf8;
    bool mRowStarted = false;
};
