#include "GridExport.h"
#include "CsvWriter.h"
#include "Dialogs.h"
#include "WaitCursor.h"
#include "modMorvi.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString lastFolder;

QString startFolder() {
    if (!lastFolder.isEmpty() && QFileInfo(lastFolder).isDir()) return lastFolder;
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QFileInfo(docs).isDir() ? docs : QDir::homePath();
}

// A window's title as a file name: without the characters that cannot be in one.
QString fileNameOf(const QString& baseName) {
    QString name = baseName;
    for (QChar& ch : name)
        if (ch == u'/' || ch == u'\\' || ch == u':' || ch == u'*' || ch == u'?' || ch == u'"' ||
            ch == u'<' || ch == u'>' || ch == u'|' || ch.unicode() < 0x20)
            ch = u'_';
    name = name.trimmed();
    return (name.isEmpty() ? QStringLiteral("Tamroc") : name) + QStringLiteral(".csv");
}

bool sameFile(const QString& a, const QString& b) {
    if (b.isEmpty()) return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}
} // namespace

QString exportGridCsv(QWidget* parent, const GridModel& grid, const QString& baseName) {
    const auto chosen = dialogs().saveFileName(parent, CsvExportCaption,
                                               startFolder() + u'/' + fileNameOf(baseName),
                                               QStringLiteral("CSVファイル (*.csv)"));
    if (!chosen || chosen->isEmpty()) return {};
    const QString path = *chosen;
    if (sameFile(path, modMorvi::strDbPath) || sameFile(path, modMorvi::strIniPath)) {
        dialogs().message(parent,
                          QStringLiteral("「%1」はTamrocのデータを保存しているファイルです。"
                                         "別のファイル名を指定して下さい。")
                              .arg(QDir::toNativeSeparators(path)),
                          CsvExportCaption, Dialogs::Icon::Warning);
        return {};
    }
    QString why;
    bool written = false;
    {
        WaitCursor wait;
        CsvWriter csv;
        csv.addShownGrid(grid);
        written = csv.save(path, &why);
    }
    if (!written) {
        dialogs().message(parent,
                          QStringLiteral("CSVファイル「%1」を書き出せませんでした。\n%2")
                              .arg(QDir::toNativeSeparators(path), why),
                          CsvExportCaption, Dialogs::Icon::Warning);
        return {};
    }
    lastFolder = QFileInfo(path).absolutePath();
    return path;
}
