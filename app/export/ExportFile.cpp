#include "ExportFile.h"
#include "CsvWriter.h"
#include "Dialogs.h"
#include "WaitCursor.h"
#include "WholeFile.h"
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
QString fileNameOf(const QString& baseName, const QString& suffix) {
    QString name = baseName;
    for (QChar& ch : name)
        if (ch == u'/' || ch == u'\\' || ch == u':' || ch == u'*' || ch == u'?' || ch == u'"' ||
            ch == u'<' || ch == u'>' || ch == u'|' || ch.unicode() < 0x20)
            ch = u'_';
    name = name.trimmed();
    return (name.isEmpty() ? QStringLiteral("Tamroc") : name) + suffix;
}

bool sameFile(const QString& a, const QString& b) {
    if (b.isEmpty()) return false;
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}
} // namespace

std::optional<QString> askExportPath(QWidget* parent, const QString& caption,
                                     const QString& baseName, const QString& suffix,
                                     const QString& filter) {
    const auto chosen = dialogs().saveFileName(
        parent, caption, startFolder() + u'/' + fileNameOf(baseName, suffix), filter);
    if (!chosen || chosen->isEmpty()) return std::nullopt;
    if (sameFile(*chosen, modMorvi::strDbPath) || sameFile(*chosen, modMorvi::strIniPath)) {
        dialogs().message(parent,
                          QStringLiteral("「%1」はTamrocのデータを保存しているファイルです。"
                                         "別のファイル名を指定して下さい。")
                              .arg(QDir::toNativeSeparators(*chosen)),
                          caption, Dialogs::Icon::Warning);
        return std::nullopt;
    }
    return chosen;
}

bool writeExportFile(QWidget* parent, const QString& caption, const QString& kind,
                     const QString& path, const QByteArray& bytes) {
    QString why;
    if (!writeWholeFile(path, bytes, &why)) {
        dialogs().message(parent,
                          QStringLiteral("%1「%2」を書き出せませんでした。\n%3")
                              .arg(kind, QDir::toNativeSeparators(path), why),
                          caption, Dialogs::Icon::Warning);
        return false;
    }
    lastFolder = QFileInfo(path).absolutePath();
    return true;
}

QString exportCsv(QWidget* parent, const QString& baseName,
                  const std::function<void(CsvWriter&)>& fill) {
    const auto path = askExportPath(parent, CsvExportCaption, baseName, QStringLiteral(".csv"),
                                    QStringLiteral("CSVファイル (*.csv)"));
    if (!path) return {};
    CsvWriter csv;
    {
        WaitCursor wait;
        fill(csv);
    }
    if (!writeExportFile(parent, CsvExportCaption, QStringLiteral("CSVファイル"), *path,
                         csv.bytes()))
        return {};
    return *path;
}

QString exportGridCsv(QWidget* parent, const GridModel& grid, const QString& baseName) {
    return exportCsv(parent, baseName, [&](CsvWriter& csv) { csv.addShownGrid(grid); });
}
