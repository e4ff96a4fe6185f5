#pragma once
#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

class GridModel;
class QWidget;

// Writing what a window shows to a file the user names: a CSV of a grid, a
// picture of a chart. The program's own files (its database, its INI file)
// are refused, and a file that cannot be written is reported with the
// reason; neither leaves anything behind.

// Asks for the name (offering `baseName` + `suffix` in the folder written to
// last); nullopt when the user cancels or names one of the program's files
// (the user has been told).
std::optional<QString> askExportPath(QWidget* parent, const QString& caption,
                                     const QString& baseName, const QString& suffix,
                                     const QString& filter);
// Writes `bytes` as the whole file, or tells the user why it could not
// (`kind` names the file in the message: "CSVファイル").
bool writeExportFile(QWidget* parent, const QString& caption, const QString& kind,
                     const QString& path, const QByteArray& bytes);

class CsvWriter;

// "CSVで書き出し" of a file that `fill` builds once the user has named it.
// Returns the path written, or an empty string when nothing was written.
QString exportCsv(QWidget* parent, const QString& baseName,
                  const std::function<void(CsvWriter&)>& fill);
// "CSVで書き出し" of a window's grid, as it is shown. Returns the path
// written, or an empty string when nothing was written.
QString exportGridCsv(QWidget* parent, const GridModel& grid, const QString& baseName);

// The command's caption.
inline const QString CsvExportCaption = QStringLiteral("CSVで書き出し");
