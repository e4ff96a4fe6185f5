#pragma once
#include <QString>

class GridModel;
class QWidget;

// "CSVで書き出し" of a window's grid: asks for the file name (offering
// `baseName`.csv in the folder written to last) and writes the grid as it is
// shown. A file the program itself keeps (its database, its INI file) is
// refused, and a file that cannot be written is reported with the reason;
// neither leaves anything behind. Returns the path written, or an empty
// string when nothing was written.
QString exportGridCsv(QWidget* parent, const GridModel& grid, const QString& baseName);

// The command's caption.
inline const QString CsvExportCaption = QStringLiteral("CSVで書き出し");
